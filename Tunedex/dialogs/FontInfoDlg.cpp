#include "FontInfoDlg.h"

#include "zvs450.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include <cstring>

HFontInfoDlg::HFontInfoDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("ZVC450 LCD Font Information"));
    m_size = new QLineEdit(this);
    m_size->setObjectName(QStringLiteral("size"));  // 1023
    m_size->setReadOnly(true);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("name"));  // 1024
    m_name->setReadOnly(true);
    auto *form = new QFormLayout;
    form->addRow(tr("Size :"), m_size);
    form->addRow(tr("File Name :"), m_name);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

bool HFontInfoDlg::load()
{
    ZVC450_FONTINFO info{};
    if (zvs450_GetFontInfo(&info) != 0) {
        m_info = ZVC450_FONTINFO{};
        return false;
    }
    setInfo(info);
    return true;
}

void HFontInfoDlg::setInfo(const ZVC450_FONTINFO &info)
{
    m_info = info;
    m_info.szFontName[sizeof m_info.szFontName - 1] = '\0';
    m_size->setText(QString::number(static_cast<int>(m_info.dwFontSize)));
    m_name->setText(QString::fromUtf8(m_info.szFontName, int(std::strlen(m_info.szFontName))));
}

QString HFontInfoDlg::sizeText() const { return m_size->text(); }
QString HFontInfoDlg::nameText() const { return m_name->text(); }

int HFontInfoDlg::exec()
{
    if (!load())
        return 0;
    return QDialog::exec();
}
