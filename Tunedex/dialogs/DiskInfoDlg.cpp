#include "DiskInfoDlg.h"

#include "zvs450.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString goodOrInvalid(uint8_t v)
{
    return v ? QCoreApplication::translate("HDiskInfoDlg", "Good") : QCoreApplication::translate("HDiskInfoDlg", "Invalid");
}

// "0x%04X"
QString hex4(unsigned v) { return QStringLiteral("0x") + QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper(); }

} // namespace

const QList<int> &HDiskInfoDlg::fieldIds()
{
    static const QList<int> ids{1029, 1030, 1032, 1031, 1033, 1034, 1035, 1036,
                                1038, 1037, 1039, 1040, 1042, 1043, 1044, 1041};
    return ids;
}

HDiskInfoDlg::HDiskInfoDlg(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Disk Medium Information"));
    auto field = [this](int id) {
        auto *e = new QLineEdit(this);
        e->setReadOnly(true);
        e->setObjectName(QStringLiteral("field%1").arg(id));
        m_fields.insert(id, e);
        return e;
    };

    auto *medium = new QGroupBox(tr("Medium Info"), this);
    auto *mf = new QFormLayout(medium);
    mf->addRow(tr("Device I/O Status :"), field(1029));
    mf->addRow(tr("Medium Type :"), field(1030));
    mf->addRow(tr("Total Block Count :"), field(1032));
    mf->addRow(tr("Used Block Count :"), field(1031));
    mf->addRow(tr("Physical Block Count :"), field(1033));
    mf->addRow(tr("Bad Block Count :"), field(1034));

    auto *fs = new QGroupBox(tr("File System Info"), this);
    auto *ff = new QFormLayout(fs);
    ff->addRow(tr("FAT Status :"), field(1035));
    ff->addRow(tr("FAT Type :"), field(1036));
    ff->addRow(tr("FAT Start Sector :"), field(1038));
    ff->addRow(tr("FAT Sector Count :"), field(1037));
    ff->addRow(tr("Root Start Sector :"), field(1039));
    ff->addRow(tr("Root Entry Count :"), field(1040));
    auto *geometry = new QVBoxLayout;
    geometry->addWidget(field(1042));
    geometry->addWidget(field(1043));
    geometry->addWidget(field(1044));
    ff->addRow(tr("Geometry :"), geometry);
    ff->addRow(tr("Total File Count :"), field(1041));

    auto *groups = new QHBoxLayout;
    groups->addWidget(medium, 0, Qt::AlignTop);
    groups->addWidget(fs);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(buttons);
}

QString HDiskInfoDlg::blockText(unsigned blocks)
{
    const quint64 bytes = quint64(blocks) * 16384;
    quint64 size;
    const char *unit;
    if (bytes < 1048576) {
        size = (bytes + 1023) / 1024;
        unit = "KB";
    } else {
        size = (bytes + 1048575) / 1048576;
        unit = "MB";
    }
    return QStringLiteral("%1 (%2 %3)").arg(blocks).arg(size).arg(QLatin1String(unit));
}

QMap<int, QString> HDiskInfoDlg::fieldTexts(const ZVC450_MEDIUMINFO &info)
{
    QMap<int, QString> t;
    t[1029] = goodOrInvalid(info.bDeviceIOStatus);
    switch (info.bMediumType) {
    case 1: {
        QString kind;
        switch (info.bBlockSizeCode) {
        case 0: kind = QStringLiteral(" (16 KB/block)"); break;
        case 1: kind = QStringLiteral(" (128 KB/block)"); break;
        default: kind = QStringLiteral(" (??? bytes/page)"); break;
        }
        t[1030] = QStringLiteral("NAND/SMC") + kind;
        break;
    }
    case 2:
        t[1030] = QStringLiteral("MMC/SD");
        break;
    default:
        t[1030] = tr("Unknown Medium");
        break;
    }
    t[1032] = blockText(info.wTotalBlockCount);
    t[1031] = blockText(info.wUsedBlockCount);
    t[1033] = blockText(info.wPhysicalBlockCount);
    t[1034] = blockText(info.wBadBlockCount);
    t[1035] = goodOrInvalid(info.bFATStatus);
    t[1036] = info.bFATType == 1 ? QStringLiteral("FAT12") : info.bFATType == 2 ? QStringLiteral("FAT16") : tr("Unknown");
    t[1038] = hex4(info.wFATStartSector);
    t[1037] = QString::number(info.wFATSectorCount);
    t[1039] = hex4(info.wRootStartSector);
    t[1040] = QString::number(info.wRootEntryCount);
    t[1042] = tr("%1 (bytes/sector)").arg(info.wBytesPerSector);
    t[1043] = tr("%1 (sectors/cluster)").arg(info.bSectorsPerCluster);
    t[1044] = tr("%1 (clusters/block)").arg(info.bClustersPerBlock);
    t[1041] = QString::number(info.wTotalFileCount);
    return t;
}

void HDiskInfoDlg::setTexts(const QMap<int, QString> &texts)
{
    for (auto it = m_fields.begin(); it != m_fields.end(); ++it)
        it.value()->setText(texts.value(it.key()));
}

bool HDiskInfoDlg::load()
{
    m_loaded = true;
    ZVC450_MEDIUMINFO info{};
    if (zvs450_GetMediumInfo(m_memory, &info) != 0) {
        setTexts({});
        return false;
    }
    setTexts(fieldTexts(info));
    return true;
}

QString HDiskInfoDlg::fieldText(int id) const
{
    const QLineEdit *e = m_fields.value(id);
    return e ? e->text() : QString();
}

void HDiskInfoDlg::showEvent(QShowEvent *e)
{
    if (!m_loaded)
        load();
    QDialog::showEvent(e);
}
