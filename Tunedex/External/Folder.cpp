#include "Folder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyle>
#include <QUrl>

#include <algorithm>

QList<QIcon> hFolderImageList(const QStyle *style)
{
    // Cell order is fixed: stored kinds and listing rows refer to images by number.
    struct Cell {
        const char *theme;
        QStyle::StandardPixmap fallback;
    };
    static const Cell cells[kImageCount] = {
        {"folder", QStyle::SP_DirClosedIcon},
        {"folder-open", QStyle::SP_DirOpenIcon},
        {"network-workgroup", QStyle::SP_DriveNetIcon},
        {"user-desktop", QStyle::SP_DesktopIcon},
        {"computer", QStyle::SP_ComputerIcon},
        {"drive-removable-media", QStyle::SP_DriveFDIcon},
        {"drive-harddisk", QStyle::SP_DriveHDIcon},
        {"drive-optical", QStyle::SP_DriveCDIcon},
        {"preferences-system", QStyle::SP_FileDialogDetailedView},
        {"folder-documents", QStyle::SP_DirHomeIcon},
    };
    QList<QIcon> icons;
    icons.reserve(kImageCount);
    for (const Cell &c : cells) {
        QIcon fallback = style ? style->standardIcon(c.fallback) : QIcon();
        icons.append(QIcon::fromTheme(QString::fromLatin1(c.theme), fallback));
    }
    return icons;
}

namespace {

bool isNetworkFsType(const QByteArray &type)
{
    static const char *const kTypes[] = {
        "cifs", "smb3", "smbfs", "nfs", "nfs4", "ncpfs", "afs", "9p", "davfs", "ceph",
        "fuse.sshfs", "sshfs", "fuse.gvfsd-fuse", "fuse.gvfs-fuse-daemon", "fuse.davfs2",
        "fuse.rclone", "fuse.smbnetfs", "fuse.curlftpfs",
    };
    return std::any_of(std::begin(kTypes), std::end(kTypes),
                       [&](const char *t) { return type == t; });
}

// The kernel's "removable" flag of the block device behind /dev/<name>, looking at the
// whole disk when the name is a partition.
bool blockDeviceRemovable(const QString &device)
{
    if (!device.startsWith(QLatin1String("/dev/")))
        return false;
    const QString name = QFileInfo(device).canonicalFilePath().section(QLatin1Char('/'), -1);
    if (name.isEmpty())
        return false;
    QString dir = QFileInfo(QStringLiteral("/sys/class/block/") + name).canonicalFilePath();
    for (int up = 0; up < 2 && !dir.isEmpty(); ++up) {
        QFile f(dir + QStringLiteral("/removable"));
        if (f.open(QIODevice::ReadOnly))
            return f.readAll().trimmed() == "1";
        dir = QFileInfo(dir).path();
    }
    return false;
}

QString driveDisplayName(const QStorageInfo &v)
{
    const QString root = v.rootPath();
    const QString label = v.name();
    // The shell's "Local Disk (C:)": the label and the mount point, or a plain name.
    return QStringLiteral("%1 (%2)").arg(label.isEmpty() ? QCoreApplication::translate("HFolder", "Drive") : label, root);
}

}  // namespace

QList<HVolume> HFolderSource::drives() const
{
    QList<HVolume> out;
    const QList<QStorageInfo> all = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &v : all) {
        const QByteArray fs = v.fileSystemType();
        const QByteArray dev = v.device();
        const QString root = v.rootPath();
        if (!v.isValid() || isNetworkFsType(fs) || fs == "squashfs")
            continue;
        // Only what a user would call a drive: the root and real block devices mounted on
        // folders (containers also bind single files such as /etc/hosts).
        if (root != QLatin1String("/") && (!dev.startsWith("/dev/") || !QFileInfo(root).isDir()))
            continue;
        HVolume vol;
        vol.rootPath = root;
        vol.displayName = driveDisplayName(v);
        vol.device = QString::fromLocal8Bit(dev);
        vol.fsType = QString::fromLatin1(fs);
        if (dev.startsWith("/dev/sr") || fs == "iso9660" || fs == "udf")
            vol.type = HVolume::Optical;
        else if (blockDeviceRemovable(vol.device) || root.startsWith(QLatin1String("/media/"))
                 || root.startsWith(QLatin1String("/run/media/")))
            vol.type = HVolume::Removable;
        if (std::none_of(out.cbegin(), out.cend(),
                         [&](const HVolume &o) { return o.rootPath == vol.rootPath; }))
            out.append(vol);
    }
    std::sort(out.begin(), out.end(),
              [](const HVolume &a, const HVolume &b) { return a.rootPath < b.rootPath; });
    return out;
}

QList<HVolume> HFolderSource::networkMounts() const
{
    QList<HVolume> out;
    const QList<QStorageInfo> all = QStorageInfo::mountedVolumes();
    for (const QStorageInfo &v : all) {
        if (!isNetworkFsType(v.fileSystemType()))
            continue;
        HVolume vol;
        vol.rootPath = v.rootPath();
        vol.device = QString::fromLocal8Bit(v.device());
        vol.fsType = QString::fromLatin1(v.fileSystemType());
        vol.displayName = HFolderPath::fileNamePart(vol.device);
        vol.type = HVolume::Network;
        out.append(vol);
    }
    return out;
}

QString HFolderSource::desktopPath() const
{
    const QString desk = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desk.isEmpty() && QFileInfo(desk).isDir())
        return HFolderPath::normalize(desk);
    return HFolderPath::normalize(QDir::homePath());
}

QString HFolderSource::documentsPath() const
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty() || !QFileInfo(docs).isDir())
        return QString();
    const QString norm = HFolderPath::normalize(docs);
    return norm == HFolderPath::normalize(QDir::homePath()) ? QString() : norm;
}

namespace {
const HFolderSource *g_source = nullptr;
}

const HFolderSource &HFolderSource::instance()
{
    static const HFolderSource machine;
    return g_source ? *g_source : machine;
}

void HFolderSource::setInstance(const HFolderSource *source)
{
    g_source = source;
}

QString HFolderPath::join(const QString &folder, const QString &name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString HFolderPath::normalize(const QString &path)
{
    if (path.isEmpty())
        return path;
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

QString HFolderPath::fileNamePart(const QString &path)
{
    QString p = path;
    while (p.size() > 1 && (p.endsWith(QLatin1Char('/')) || p.endsWith(QLatin1Char('\\'))))
        p.chop(1);
    const qsizetype cut = std::max(p.lastIndexOf(QLatin1Char('/')), p.lastIndexOf(QLatin1Char('\\')));
    return cut < 0 ? p : p.mid(cut + 1);
}

bool HFolderPath::isUnder(const QString &path, const QString &root)
{
    if (root.isEmpty())
        return false;
    if (path == root || root == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.startsWith(root) && path.size() > root.size() && path.at(root.size()) == QLatin1Char('/');
}

const HVolume *HFolderPath::volumeOf(const QList<HVolume> &volumes, const QString &path)
{
    const HVolume *best = nullptr;
    for (const HVolume &v : volumes) {
        if (isUnder(path, v.rootPath) && (!best || v.rootPath.size() > best->rootPath.size()))
            best = &v;
    }
    return best;
}

HNetResource hNetResourceOf(const HVolume &mount)
{
    HNetResource r;
    r.scope = 1;  // connected
    r.type = 1;   // disk
    r.displayType = kNetDisplayShare;
    r.usage = 1;  // connectable
    r.localName = mount.rootPath;
    r.remoteName = mount.device;
    r.provider = mount.fsType;
    r.comment = QStringLiteral("%1 on %2").arg(mount.fsType, mount.rootPath);
    return r;
}

QString hResolveShellLink(const QString &path)
{
    const QFileInfo fi(path);
    if (fi.isSymLink()) {
        const QString target = fi.canonicalFilePath();  // empty when the target is gone
        return target.isEmpty() ? path : target;
    }
    if (!path.endsWith(QLatin1String(".desktop"), Qt::CaseInsensitive) || !fi.isFile())
        return path;
    // A desktop entry: "[Desktop Entry]" with "Type=Link" and "URL=...". Read by hand, as
    // an ini reader would take commas and backslashes in the URL for syntax.
    QFile f(path);
    if (f.size() > 64 * 1024 || !f.open(QIODevice::ReadOnly | QIODevice::Text))
        return path;
    bool inEntry = false;
    QString type;
    QString url;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (!inEntry || eq < 0)
            continue;
        const QString key = line.left(eq).trimmed();
        if (key == QLatin1String("Type"))
            type = line.mid(eq + 1).trimmed();
        else if (key == QLatin1String("URL"))
            url = line.mid(eq + 1).trimmed();
    }
    const QUrl u(url);
    if (type != QLatin1String("Link") || url.isEmpty())
        return path;
    if (u.isLocalFile())
        return u.toLocalFile();
    return url.startsWith(QLatin1Char('/')) ? url : path;
}
