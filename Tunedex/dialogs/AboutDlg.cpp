#include "AboutDlg.h"

#include "tunedeck_version.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

HAboutDlg::HAboutDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("TuneDeck"));
    auto *icon = new QLabel(this);
    QIcon programIcon = QApplication::windowIcon();
    if (programIcon.isNull())
        programIcon = style()->standardIcon(QStyle::SP_DriveHDIcon);
    icon->setPixmap(programIcon.pixmap(32, 32));
    auto *version = new QLabel(tr("TuneDeck Version 1.94 - 2"), this);
    auto *build = new QLabel(tr("(Build Number #57)"), this);
    // The two lines above are the texts the player's PC software has always
    // shown; this one names the release of this program.
    auto *more = new QLabel(tr("TuneDeck for Linux %1: music and recordings manager for ZVC450 players")
                                .arg(QStringLiteral(TUNEDECK_VERSION)),
                            this);
    // The button speaks the user's language ("확인" in Korean, where the
    // player's software came from, "OK" in English).
    auto *ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto *grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(build, 1, 1);
    grid->addWidget(more, 2, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    setFixedSize(sizeHint());
}
