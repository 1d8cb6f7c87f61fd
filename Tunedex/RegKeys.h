#pragma once
// RegKeys: every persistent setting of the program.
//
// The settings live in QSettings under the organisation "Brightfen" and the
// application "TuneDeck" (on Linux ~/.config/Brightfen/TuneDeck.conf). A
// section is a group; the empty section is the top level. Values are read
// when they are needed and written when they change; only the file filter and
// the last directory are cached between the start and the exit of the program.
// A missing or unreadable value yields its default; a failed write is not
// reported.

#include <QByteArray>
#include <QString>

namespace RegKeys {

inline constexpr char kOrganization[] = "Brightfen";
inline constexpr char kApplication[] = "TuneDeck";

// One integer setting: where it lives and what a first run reads.
struct IntKey {
    const char *section;
    const char *key;
    int defaultValue;
};

// One string setting.
struct StringKey {
    const char *section;
    const char *key;
    const char *defaultValue;
};

// The fixed settings. The per-view settings are formed from a view number
// (viewSection) and, for column widths, a column number (columnWidthKey).
namespace Key {
// Link time-outs in milliseconds; the format time-out also covers firmware upgrades.
inline constexpr IntKey TimeoutRecv{"ZVS450", "TIMEOUT_RECV", 300000};
inline constexpr IntKey TimeoutSend{"ZVS450", "TIMEOUT_SEND", 100000};
inline constexpr IntKey TimeoutFormat{"ZVS450", "TIMEOUT_FORMAT", 3000000};
// Files last chosen for the maintenance commands.
inline constexpr StringKey CodecCodeName{"TuneDeck", "CodecCodeName", ""};
inline constexpr StringKey BootCodeName{"TuneDeck", "BootCodeName", ""};
inline constexpr StringKey FontName{"TuneDeck", "FontName", ""};
inline constexpr StringKey RawDataFileName{"TuneDeck", "RawDataFileName", ""};
inline constexpr StringKey RawDataViewer{"TuneDeck", "RawDataViewer", ""};
// First block and number of 16 KB blocks of a raw data upload.
inline constexpr IntKey RawDataAddr{"TuneDeck", "RawDataAddr", 0};
inline constexpr IntKey RawDataCount{"TuneDeck", "RawDataCount", 1};
// 2 = ROM writing in MDS; anything else = ROM writing in stand-alone mode.
inline constexpr IntKey ROMSelect{"TuneDeck", "ROMSelect", 0};
// 0 = convert recordings to WAV on upload, 1 = upload them as they are.
inline constexpr IntKey AdpcmConvert{"ADPCM", "Convert", 0};
inline constexpr IntKey BvfConvert{"BVF", "Convert", 0};
// Expected firmware version code (0 = automatic) and the user's USB ids (0 = none).
inline constexpr IntKey ExpVer{"Firmware", "ExpVer", 0};
inline constexpr IntKey UserVID{"Firmware", "UserVID", 0};
inline constexpr IntKey UserPID{"Firmware", "UserPID", 0};
// Non-zero = list the internal memory only.
inline constexpr IntKey IntOnly{"Firmware", "IntOnly", 0};
// Non-zero = read every copy to the player back and compare it with its file.
inline constexpr IntKey VerifyCopies{"TuneDeck", "VerifyCopies", 0};
// The desktop view's folder; its default is the current directory at start.
inline constexpr StringKey LastDirectory{"Desktop", "LastDirectory", ""};
inline constexpr StringKey FileListFilter{"", "FileListFilter", "*.*"};
// Show state of the main window (3 = maximised, 5 = shown normally).
inline constexpr IntKey WindowState{"", "WindowState", 5};
// Size and place of the main window (QWidget::saveGeometry, base64), and the
// width of the desktop pane left of the divider (-1: share the width equally).
inline constexpr StringKey WindowGeometry{"", "WindowGeometry", ""};
inline constexpr IntKey PaneDivider{"", "PaneDivider", -1};
} // namespace Key

// Per-view settings, in the view's section; default column width in pixels.
inline constexpr char kSortKey[] = "SortKey";
inline constexpr char kSortAscendent[] = "SortAscendent";
inline constexpr int kDefaultColumnWidth = 100;
inline constexpr int kDesktopView = -1;

// The profile operations every accessor goes through.
int readInt(const QString &section, const QString &key, int defaultValue);
QString readString(const QString &section, const QString &key, const QString &defaultValue);
void writeInt(const QString &section, const QString &key, int value);
void writeString(const QString &section, const QString &key, const QString &value);

int value(const IntKey &key);
void setValue(const IntKey &key, int value);
QString value(const StringKey &key);
void setValue(const StringKey &key, const QString &value);

// Section of a view: "Mp3Mem_<n>" for device view n >= 0, "Desktop" for the
// desktop view (kDesktopView). Any other number is a programming error.
QString viewSection(int view);
// Key of a column width: "SubItemWidth_<column>".
QString columnWidthKey(int column);

// Time-outs in milliseconds; each output may be null. A stored 0 reads as the default.
void getTimeouts(unsigned *recvMs, unsigned *sendMs, unsigned *formatMs);
void setTimeouts(unsigned recvMs, unsigned sendMs, unsigned formatMs);

QString codecCodeName();
void setCodecCodeName(const QString &path);
QString bootCodeName();
void setBootCodeName(const QString &path);
QString fontName();
void setFontName(const QString &path);
QString rawDataFileName();
void setRawDataFileName(const QString &path);
QString rawDataViewer();
void setRawDataViewer(const QString &path);

// First block and block count of a raw data upload; each output may be null.
void getRawDataRange(unsigned *firstBlock, unsigned *blockCount);
void setRawDataRange(unsigned firstBlock, unsigned blockCount);

int romSelect();
void setRomSelect(int value);
int adpcmConvert();
void setAdpcmConvert(int value);
int bvfConvert();
void setBvfConvert(int value);
unsigned expectedFirmwareVersion();
void setExpectedFirmwareVersion(unsigned version);
// User USB vendor and product id; each output may be null.
void getUserUsbId(unsigned *vid, unsigned *pid);
void setUserUsbId(unsigned vid, unsigned pid);
bool internalOnly();
void setInternalOnly(bool internalOnly);
bool verifyCopies();
void setVerifyCopies(bool verify);
int windowState();
void setWindowState(int state);
QByteArray windowGeometry();
void setWindowGeometry(const QByteArray &geometry);
int paneDivider();
void setPaneDivider(int desktopWidth);

// Per-view sort column, sort order and column widths (view as for viewSection).
int sortKey(int view);
void setSortKey(int view, int column);
bool sortAscendent(int view);
void setSortAscendent(int view, bool ascending);
int columnWidth(int view, int column);
// A width has been stored for the column (it is the user's, not the first run's).
bool hasColumnWidth(int view, int column);
void setColumnWidth(int view, int column, int width);

// File filter of the desktop file list: read at start, written at exit,
// got and set in between from the cache.
void loadFileListFilter();
void saveFileListFilter();
QString fileListFilter();
void setFileListFilter(const QString &filter);

// Folder of the desktop view: read at start (which also sets the hold flag),
// written at exit. While the hold flag is set, setLastDirectory does nothing:
// the desktop view clears it once it has shown its first folder, so the folder
// it opens with does not overwrite the stored one.
void loadLastDirectory();
void saveLastDirectory();
QString lastDirectory();
void setLastDirectory(const QString &path);
bool lastDirectoryHold();
void setLastDirectoryHold(bool hold);

} // namespace RegKeys
