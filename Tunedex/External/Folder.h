// Folder items of the desktop pane's place tree, and the platform facts behind them:
// special places, mounted volumes ("drives") and mounted network file systems.
#pragma once

#include <QIcon>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QStyle;

// Kinds of places. The special ones keep the numbers the shell gave its special
// folders, so that stored values and the desktop view's listing rules stay the same.
enum HFolderKind : int {
    kFolderDesktop = 0,
    kFolderControlPanel = 3,  // no such place on Linux; never created
    kFolderPersonal = 5,
    kFolderDrives = 17,       // "the computer": the list of mounted volumes
    kFolderNetwork = 18,      // the network level: mounted network file systems
    kFolderDrive = -2,
    kFolderOrdinary = -1,     // an ordinary folder or a network level
};

// The ten cells of the place image list (folder tree and the desktop list's drive and
// network rows share them).
enum HFolderImage : int {
    kImageFolder = 0,
    kImageFolderOpen = 1,
    kImageNetwork = 2,
    kImageDesktop = 3,
    kImageComputer = 4,
    kImageRemovable = 5,
    kImageDrive = 6,
    kImageOptical = 7,
    kImageControlPanel = 8,
    kImageDocuments = 9,
    kImageCount = 10,
};

// Builds the ten place images from the style (the theme icons where the theme has them).
QList<QIcon> hFolderImageList(const QStyle *style);

// Display type values of a network resource.
enum HNetDisplayType : int {
    kNetDisplayGeneric = 0,
    kNetDisplayServer = 2,
    kNetDisplayShare = 3,
    kNetDisplayNetwork = 6,
};

// A network level. On Linux every level we can show is a mounted network file system:
// remoteName is what was mounted ("//server/share", "host:/export"), localName the
// mount point, which is where its files are read.
struct HNetResource {
    int scope = 0;
    int type = 0;
    int displayType = kNetDisplayGeneric;
    int usage = 0;
    QString localName;
    QString remoteName;
    QString comment;
    QString provider;  // the file-system type (cifs, nfs4, fuse.sshfs, ...)
};

// One place of the tree.
struct HFolder {
    int image = kImageFolder;
    int openImage = kImageFolderOpen;
    int kind = kFolderOrdinary;
    QString displayName;
    QString path;  // empty for places without one (the computer, the network level)
    std::optional<HNetResource> netResource;

    bool isFileSystemFolder() const { return kind == kFolderOrdinary || kind == kFolderDrive; }
};

// A mounted volume or network file system.
struct HVolume {
    enum Type { Fixed, Removable, Optical, Network };
    QString rootPath;     // mount point
    QString displayName;  // as shown in the tree and the drive list
    QString device;       // what is mounted there
    QString fsType;
    Type type = Fixed;
};

// What the shell told the original program, asked of this machine. The desktop view and
// the tree only ever ask through here, so that tests can put fixtures in place of the
// machine's own mounts and folders.
class HFolderSource {
public:
    virtual ~HFolderSource() = default;
    virtual QList<HVolume> drives() const;         // local volumes, mount-point order
    virtual QList<HVolume> networkMounts() const;  // mounted network file systems
    virtual QString desktopPath() const;           // never empty
    virtual QString documentsPath() const;         // empty when there is none of its own

    // The source in use; replaceable (not owned; null restores the machine's own).
    static const HFolderSource &instance();
    static void setInstance(const HFolderSource *source);
};

// Path helpers shared by the tree and the desktop view. Paths use "/" and carry no
// trailing "/" except the root itself.
namespace HFolderPath {
// The folder path, a "/" unless the folder path already ends with one, and the name.
QString join(const QString &folder, const QString &name);
// An absolute, cleaned form ("a/../b/" -> "/.../b"); symbolic links are kept as named.
QString normalize(const QString &path);
// The part after the last "/" (after the last "\\" as well, for names that came from
// the other side of a network).
QString fileNamePart(const QString &path);
// True when `path` is `root` or lies below it.
bool isUnder(const QString &path, const QString &root);
// The volume among `volumes` with the longest mount point containing `path`, or null.
const HVolume *volumeOf(const QList<HVolume> &volumes, const QString &path);
}  // namespace HFolderPath

// Description of a network mount shown as a share: name, comment and resource.
HNetResource hNetResourceOf(const HVolume &mount);

// The file a shell link stands for: the target of a symbolic link, or the local file named
// by the URL of a ".desktop" entry of type Link. Anything else, a link without a target
// or a target that is not a local file, comes back unchanged.
QString hResolveShellLink(const QString &path);
