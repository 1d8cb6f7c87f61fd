#include "MultiDirDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace {
QString g_lastPattern;  // kept in memory only, for this run of the program
}

HMultiDirDlg::HMultiDirDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Make Multiple Directory"));
    m_pattern = new QLineEdit(g_lastPattern, this);
    m_pattern->setObjectName(QStringLiteral("pattern"));  // 1034
    // Numbers only, as the edits of the original dialog.
    auto *digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,9}")), this);
    m_start = new QLineEdit(QStringLiteral("0"), this);
    m_start->setObjectName(QStringLiteral("start"));  // 1035
    m_start->setValidator(digits);
    m_count = new QLineEdit(QStringLiteral("0"), this);
    m_count->setObjectName(QStringLiteral("count"));  // 1036
    m_count->setValidator(digits);

    auto *form = new QFormLayout;
    form->addRow(tr("Directory Name :"), m_pattern);
    form->addRow(QString(), new QLabel(tr("(Use '%d' for Auto Indexed Directory Name)"), this));
    form->addRow(tr("Start Index :"), m_start);
    form->addRow(tr("Number of Directoyies :"), m_count);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QString HMultiDirDlg::pattern() const { return m_pattern->text(); }
int HMultiDirDlg::startIndex() const { return m_start->text().toInt(); }
int HMultiDirDlg::count() const { return m_count->text().toInt(); }

void HMultiDirDlg::setValues(const QString &pattern, int startIndex, int count)
{
    m_pattern->setText(pattern);
    m_start->setText(QString::number(startIndex));
    m_count->setText(QString::number(count));
}

QString HMultiDirDlg::lastPattern() { return g_lastPattern; }

void HMultiDirDlg::accept()
{
    g_lastPattern = m_pattern->text();
    QDialog::accept();
}

QString HMultiDirDlg::directoryName(const QString &pattern, int number)
{
    // The pattern is the user's text, never a format string handed to printf: only
    // the number conversions are expanded.
    QString out;
    const int n = int(pattern.size());
    for (int i = 0; i < n; ++i) {
        const QChar c = pattern.at(i);
        if (c != QLatin1Char('%') || i + 1 >= n) {
            out += c;
            continue;
        }
        if (pattern.at(i + 1) == QLatin1Char('%')) {
            out += QLatin1Char('%');
            ++i;
            continue;
        }
        int j = i + 1;
        const bool zero = pattern.at(j) == QLatin1Char('0');
        if (zero)
            ++j;
        int width = 0;
        while (j < n && pattern.at(j).isDigit() && width < 100)
            width = width * 10 + pattern.at(j++).digitValue();
        if (j < n && (pattern.at(j) == QLatin1Char('d') || pattern.at(j) == QLatin1Char('i')
                      || pattern.at(j) == QLatin1Char('u'))) {
            out += QStringLiteral("%1").arg(number, qMin(width, 32), 10, zero ? QLatin1Char('0') : QLatin1Char(' '));
            i = j;
            continue;
        }
        out += c;
    }
    return out;
}
