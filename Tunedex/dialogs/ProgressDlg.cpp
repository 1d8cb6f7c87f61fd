#include "ProgressDlg.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

HProgressDlg::HProgressDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("ZVC450"));
    setWindowModality(Qt::ApplicationModal);
    m_index = new QLabel(this);
    m_index->setObjectName(QStringLiteral("index"));  // 1006
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));  // 1005
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_percent = new QLabel(QStringLiteral(" 0 %"), this);
    m_percent->setObjectName(QStringLiteral("percent"));  // 1004
    m_percent->setAlignment(Qt::AlignCenter);
    m_bar = new QProgressBar(this);  // 1003
    m_bar->setTextVisible(false);
    m_bar->setRange(0, 0);
    m_bar->setValue(0);
    auto *cancel = new QPushButton(tr("&Cancel"), this);
    connect(cancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_index);
    layout->addWidget(m_status);
    layout->addWidget(m_percent);
    layout->addWidget(m_bar);
    layout->addLayout(buttons);
    setMinimumWidth(350);
}

void HProgressDlg::setRange(int lower, int upper)
{
    m_lower = lower;
    m_upper = upper;
    // An empty range would make the bar a busy indicator: keep it a still, empty bar.
    m_bar->setRange(lower, qMax(lower + 1, upper));
    setPos(lower);
}

QString HProgressDlg::percentFor(int pos, int upper)
{
    const long long pct = upper == 0 ? 0 : static_cast<long long>(pos) * 100 / upper;
    return QStringLiteral("%1%").arg(pct);
}

void HProgressDlg::setPos(int pos)
{
    m_bar->setValue(pos);
    m_percent->setText(percentFor(pos, m_upper));
}

void HProgressDlg::setStatus(const QString &text) { m_status->setText(text); }
void HProgressDlg::setIndexText(const QString &text) { m_index->setText(text); }
QString HProgressDlg::percentText() const { return m_percent->text(); }
QString HProgressDlg::statusText() const { return m_status->text(); }

void HProgressDlg::pump()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void HProgressDlg::reject()
{
    m_cancelled = true;
}

void HProgressDlg::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    // Escape must reach the window even where no window manager activates it.
    if (QApplication::activeWindow() != this)
        m_previous = QApplication::activeWindow();
    activateWindow();
    if (QPushButton *cancel = findChild<QPushButton *>())
        cancel->setFocus(Qt::ActiveWindowFocusReason);
}

void HProgressDlg::hideEvent(QHideEvent *e)
{
    const bool hadKeyboard = isActiveWindow();
    QDialog::hideEvent(e);
    // The keyboard goes back where it was, as a window manager would do.
    if (hadKeyboard && m_previous && m_previous->isVisible())
        m_previous->activateWindow();
}
