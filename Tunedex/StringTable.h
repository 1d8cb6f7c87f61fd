#pragma once
// The program's string table: the texts it shows of its own, each under the
// number that the player's PC software has always given it (in the comment;
// a text without a number came later). Users of the player know these texts,
// misspellings included, so they are written here exactly as it showed them.
//
// A text is marked for translation with the context "TuneDeck" and shown
// through text::tr(), which gives it in the user's language once a
// translation is installed, and as written here until then. Menu texts live
// in the command tables (Commands.cpp, the device view's commands), the texts
// of a dialog's own controls in the dialog.

#include <QCoreApplication>
#include <QString>

namespace text {

// The text in the user's language.
inline QString tr(const char *source)
{
    return QCoreApplication::translate("TuneDeck", source);
}

// Tool tips of the transfer buttons.
inline constexpr const char *kUploadInternal = QT_TRANSLATE_NOOP("TuneDeck", "Upload From Internal Memory");     // 2000
inline constexpr const char *kUploadExternal = QT_TRANSLATE_NOOP("TuneDeck", "Upload From External Memory");     // 2001
inline constexpr const char *kDownloadInternal = QT_TRANSLATE_NOOP("TuneDeck", "Download To Internal Memory");   // 2002
inline constexpr const char *kDownloadExternal = QT_TRANSLATE_NOOP("TuneDeck", "Download To External Memory");   // 2003

// Column headers of the explorer lists.
inline constexpr const char *kName = QT_TRANSLATE_NOOP("TuneDeck", "Name");      // 3000
inline constexpr const char *kSize = QT_TRANSLATE_NOOP("TuneDeck", "Size");      // 3001
inline constexpr const char *kType = QT_TRANSLATE_NOOP("TuneDeck", "Type");      // 3002
inline constexpr const char *kDate = QT_TRANSLATE_NOOP("TuneDeck", "Date");      // 3003
inline constexpr const char *kNumber = QT_TRANSLATE_NOOP("TuneDeck", "Number");  // 3011

// Titles of the device views, and their title strips (%1%2 a size and its unit,
// %5 and %6 the file and directory counts).
inline constexpr const char *kInternalMemory = QT_TRANSLATE_NOOP("TuneDeck", "Internal Memory");  // 3004
inline constexpr const char *kExternalMemory = QT_TRANSLATE_NOOP("TuneDeck", "External Memory");  // 3005
inline constexpr const char *kStatusUsable =
    QT_TRANSLATE_NOOP("TuneDeck", "Total %1%2,  Remain %3%4,  %5 File(s), %6 Directory(s)");  // 3006
inline constexpr const char *kNotConnected = QT_TRANSLATE_NOOP("TuneDeck", "Not Connected");  // 3007
inline constexpr const char *kNotFormatted = QT_TRANSLATE_NOOP("TuneDeck", "Not Formated, Total %1%2");  // 3021
inline constexpr const char *kStatusReadOnly =
    QT_TRANSLATE_NOOP("TuneDeck", "Read Only - Total %1%2,  Remain %3%4,  %5 File(s), %6 Directory(s)");  // 3022
inline constexpr const char *kNewFolder = QT_TRANSLATE_NOOP("TuneDeck", "New Folder");  // 3105

// The file filter box.
inline constexpr const char *kFilterMp3 = QT_TRANSLATE_NOOP("TuneDeck", "Mp3 files(*.mp3)");  // 3009
inline constexpr const char *kFilterAll = QT_TRANSLATE_NOOP("TuneDeck", "All files(*.*)");    // 3010

// Deleting and formatting.
inline constexpr const char *kConfirmDeleteCaption = QT_TRANSLATE_NOOP("TuneDeck", "Confirm file deleting");  // 3008
inline constexpr const char *kDeleteOne = QT_TRANSLATE_NOOP("TuneDeck", "Would delete file %1 ?");            // 4002
inline constexpr const char *kDeleteMany = QT_TRANSLATE_NOOP("TuneDeck", "Would you delete the selected file?");  // 4003
// Where deleted files go: the PC's trash, or nowhere (Shift+Delete, the player).
inline constexpr const char *kToTrashOne = QT_TRANSLATE_NOOP("TuneDeck", "The file will be moved to the trash.");
inline constexpr const char *kToTrashMany = QT_TRANSLATE_NOOP("TuneDeck", "The files will be moved to the trash.");
inline constexpr const char *kForGoodOne =
    QT_TRANSLATE_NOOP("TuneDeck", "The file will be deleted for good: it cannot be recovered.");
inline constexpr const char *kForGoodMany =
    QT_TRANSLATE_NOOP("TuneDeck", "The files will be deleted for good: they cannot be recovered.");
inline constexpr const char *kPlayerHasNoTrash =
    QT_TRANSLATE_NOOP("TuneDeck", "The player has no trash: deleted files cannot be recovered.");
inline constexpr const char *kTrashFailed =
    QT_TRANSLATE_NOOP("TuneDeck", "%1 cannot be moved to the trash.\nDelete it for good? It cannot be recovered.");
inline constexpr const char *kFormatCaption = QT_TRANSLATE_NOOP("TuneDeck", "Format");                      // 3012
inline constexpr const char *kLowFormatCaption = QT_TRANSLATE_NOOP("TuneDeck", "Low Level Format");         // 3020
inline constexpr const char *kFormatQuestion = QT_TRANSLATE_NOOP("TuneDeck", "All file will be deleted.\nAre you sure?");  // 4007

// Firmware and font.
inline constexpr const char *kCodecUpgrade = QT_TRANSLATE_NOOP("TuneDeck", "Codec Upgrade");  // 3013
// File dialog filters: "description\npattern\n" pairs up to an empty entry.
inline constexpr const char *kFilterIntelHex =
    QT_TRANSLATE_NOOP("TuneDeck", "Intel Hex File(*.hex)\n*.hex\nAll Files(*.*)\n*.*\n\n");  // 3014
inline constexpr const char *kBootUpgrade = QT_TRANSLATE_NOOP("TuneDeck", "Boot Code Upgrade");  // 3015
inline constexpr const char *kUpgradeSucceeded = QT_TRANSLATE_NOOP("TuneDeck", "ROM upagde was succeeded.");  // 3016
inline constexpr const char *kUpgradeFailed = QT_TRANSLATE_NOOP("TuneDeck", "ROM upgrade was failed.");       // 3017
inline constexpr const char *kFilterFont =
    QT_TRANSLATE_NOOP("TuneDeck", "Bitmap font(*.fot)\n*.fot\nAll Files(*.*)\n*.*\n\n");  // 3018
inline constexpr const char *kFontDownload = QT_TRANSLATE_NOOP("TuneDeck", "LCD UNICODE Font Download");  // 3019
inline constexpr const char *kUnplug = QT_TRANSLATE_NOOP("TuneDeck", "Please, Unplug USB connector!");    // 4008
inline constexpr const char *kRestart = QT_TRANSLATE_NOOP("TuneDeck", "Please restart this program~");    // 4009

// Pages of the configuration dialog.
inline constexpr const char *kPageTimeout = QT_TRANSLATE_NOOP("TuneDeck", "Setting Timeout");              // 3100
inline constexpr const char *kPageRom = QT_TRANSLATE_NOOP("TuneDeck", "ROM Selection");                    // 3101
inline constexpr const char *kPageAdpcm = QT_TRANSLATE_NOOP("TuneDeck", "ADPCM Configuration");            // 3102
inline constexpr const char *kPageRawData = QT_TRANSLATE_NOOP("TuneDeck", "Raw Data Read Configuration");  // 3103
inline constexpr const char *kPageBvf = QT_TRANSLATE_NOOP("TuneDeck", "BVF Configuration");                // 3104
inline constexpr const char *kPageFirmware = QT_TRANSLATE_NOOP("TuneDeck", "Firmware Version");            // 3106

// The main window.
inline constexpr const char *kAppTitle = QT_TRANSLATE_NOOP("TuneDeck", "TuneDeck");  // 57344, 128
inline constexpr const char *kPlayerNotConnected = QT_TRANSLATE_NOOP("TuneDeck", "ZVC450 is not Connected.");  // 4004
inline constexpr const char *kFirmwarePaneSize =
    QT_TRANSLATE_NOOP("TuneDeck", "BRIGHTFEN ZVC450 FILE SYSTEM JAN 30 2002 99:99:99 9.9 ???");  // 3200
inline constexpr const char *kUnknownFirmware = QT_TRANSLATE_NOOP("TuneDeck", "Unknown Firmware Version");
inline constexpr const char *kCaps = QT_TRANSLATE_NOOP("TuneDeck", "CAP");     // 59137
inline constexpr const char *kNum = QT_TRANSLATE_NOOP("TuneDeck", "NUM");      // 59138
inline constexpr const char *kScroll = QT_TRANSLATE_NOOP("TuneDeck", "SCRL");  // 59139
inline constexpr const char *kReady = QT_TRANSLATE_NOOP("TuneDeck", "Ready");

// Copies between the PC and the player.
inline constexpr const char *kCannotTransferDirectory =
    QT_TRANSLATE_NOOP("TuneDeck", "Cannot download/upload the directory.");  // 4005
inline constexpr const char *kOverwrite = QT_TRANSLATE_NOOP("TuneDeck", "Already exist the file.\nWill you overwrite?");  // 4006
inline constexpr const char *kCopyDiffers = QT_TRANSLATE_NOOP(
    "TuneDeck", "The copy of %1 on the player differs from the file at byte %2.\nIt was removed from the player.");
inline constexpr const char *kCopyMissing =
    QT_TRANSLATE_NOOP("TuneDeck", "The player does not list the copy of %1, so it cannot be verified.");
inline constexpr const char *kIncompleteDeleted = QT_TRANSLATE_NOOP(
    "TuneDeck", "The copy of %1 did not reach the player whole.\nThe incomplete file %2 was deleted from the player.");
inline constexpr const char *kIncompleteKept =
    QT_TRANSLATE_NOOP("TuneDeck", "The copy of %1 did not reach the player whole.\n"
                                  "The incomplete file %2 may still be on the player: delete it there once the player answers again.");
inline constexpr const char *kBusy = QT_TRANSLATE_NOOP(
    "TuneDeck", "The player was busy with another operation.\nWhat was asked of it meanwhile was not done; please try again.");

// Pasting the player's files that were copied to the clipboard.
inline constexpr const char *kClipboardElsewhere = QT_TRANSLATE_NOOP(
    "TuneDeck", "The files on the clipboard were copied in %1 on the player, which its pane no longer shows.\n"
                "Open that directory on the player and paste again.");
inline constexpr const char *kClipboardGone =
    QT_TRANSLATE_NOOP("TuneDeck", "The files on the clipboard are no longer on the player.");

// Raw data.
inline constexpr const char *kRawDataUnset = QT_TRANSLATE_NOOP("TuneDeck", "Raw Data Filename or Range was not specified.");  // 4010
inline constexpr const char *kRawDataRange = QT_TRANSLATE_NOOP("TuneDeck", "Raw Data Range was exceeded.");  // 4011

// The play order of a directory.
inline constexpr const char *kSortByNameQuestion = QT_TRANSLATE_NOOP(
    "TuneDeck", "Put the files of this directory in order by name?\nThe player plays them in this order.");
inline constexpr const char *kNaturalOrderQuestion =
    QT_TRANSLATE_NOOP("TuneDeck", "Put the files of this directory in natural order, numbers by their value (2 before 10)?\n"
                                  "The player plays them in this order.");

} // namespace text
