/*
 * zvc450usb.h - C interface of the ZVC450 device library.
 *
 * The library owns everything that touches the player: the USB link, the
 * command protocol, file transfers, maintenance, the progress windows of
 * long operations and the conversion of voice recordings to WAV.
 *
 * Conventions: BOOL results are 1 for success and 0 for failure; on failure
 * the library error code (ZVC450_GetError) says why, refined by the player's
 * internal code (error 5) or by an errno value (error 6).  The library is
 * single-threaded: call it from one thread, one operation at a time.
 */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define ZVC450_API __attribute__((visibility("default")))
#else
#define ZVC450_API
#endif

typedef void *HZVC450;

/* ---- Library error codes ---------------------------------------------- */
#define ZVC450USB_ERR_NONE                0
#define ZVC450USB_ERR_DEVICEDRIVER_OPEN   1
#define ZVC450USB_ERR_DEVICEDRIVER_VERSION 2
#define ZVC450USB_ERR_DEVICE_OPEN         3
#define ZVC450USB_ERR_USB                 4
#define ZVC450USB_ERR_INTERNAL            5
#define ZVC450USB_ERR_WINDOWS             6
#define ZVC450USB_ERR_MEMORY_ALLOC        7
#define ZVC450USB_ERR_FILE_TOOBIG         8
#define ZVC450USB_ERR_DISKFULL            9
#define ZVC450USB_ERR_FORMAT              10
#define ZVC450USB_ERR_UNSUPPORTED         11
#define ZVC450USB_ERR_NODISK              12
#define ZVS450USB_ERR_INVALID_FILENAME    13
#define ZVS450USB_ERR_USERBREAK           14

/* ---- Internal error codes reported by the player ----------------------- */
#define ZVC450INT_ERR_UNKNOWN             0
#define ZVC450INT_ERR_FLASH_STATUS        1
#define ZVC450INT_ERR_CARD_NOT_DETECTED   2
#define ZVC450INT_ERR_CARD_CHANGED        3
#define ZVC450INT_ERR_NOT_ERASED          4
#define ZVC450INT_ERR_NOT_FORMATTED       5
#define ZVC450INT_ERR_INVALID_MBR         6
#define ZVC450INT_ERR_INVALID_PBR         7
#define ZVC450INT_ERR_INVALID_FAT         8
#define ZVC450INT_ERR_INVALID_NAME        9
#define ZVC450INT_ERR_INVALID_HANDLE      10
#define ZVC450INT_ERR_INVALID_PARAM       11
#define ZVC450INT_ERR_NO_EMPTY_BLOCK      12
#define ZVC450INT_ERR_INVALID_BLOCK       13
#define ZVC450INT_ERR_ECC                 14
#define ZVC450INT_ERR_FILE_OPENED         15
#define ZVC450INT_ERR_FILE_EXIST          16
#define ZVC450INT_ERR_TOTAL_FILE_NUM      17
#define ZVC450INT_ERR_EOF                 18
#define ZVC450INT_ERR_FILE_NOT_OPENED     19
#define ZVC450INT_ERR_FILE_NOT_EXIST      20
#define ZVC450INT_ERR_NOT_FOUND           21
#define ZVC450INT_ERR_ROOT_DIR            22
#define ZVC450INT_ERR_LOCKED              23
#define ZVC450INT_ERR_NOT_PERMITTED       24
#define ZVC450INT_ERR_OUT_OF_MEMORY       25
#define ZVC450INT_ERR_SYSTEM_PARAMETER    26
#define ZVC450INT_ERR_INTERNAL            27
#define ZVC450INT_ERR_MMC                 28
#define ZVC450INT_ERR_CANNOT_FORMATTING   29
#define ZVC450INT_ERR_ENCODER_FILE_SYSTEM 30
#define ZVC450INT_ERR_GET_USED_BLOCK      31
#define ZVC450INT_ERR_USB_SEND            32
#define ZVC450INT_ERR_USB_RECEIVE         33
#define ZVC450INT_ERR_OVER_MAX_DRIVE      34
#define ZVC450INT_ERR_INVALID_ADDRESS     35
#define ZVC450INT_ERR_DEVICE_ID           36
#define ZVC450INT_ERR_REOPEN_FILE         37
#define ZVC450INT_NOT_IMPLEMENTED         38
#define ZVC450INT_NO_EMPTY_ENTRY          39
#define ZVC450INT_FONT_BLOCK_CHAIN        40

/* Memory indexes. */
#define ZVC450_MEMORY_INTERNAL 0
#define ZVC450_MEMORY_EXTERNAL 1

/* Conversion kinds of ZVC450_Upload. */
#define ZVC450_UPLOAD_COPY    0
#define ZVC450_UPLOAD_BCW2WAV 1
#define ZVC450_UPLOAD_BVF2WAV 2

/* ---- Records shared with the program ----------------------------------- */

/* One listed file or directory (natural alignment, 300 bytes). */
typedef struct ZVC450_DIRENTRY {
    char     szName[9];          /* 8 short-name bytes as stored, space padded */
    char     szExt[4];           /* 3 extension bytes, space padded */
    uint8_t  bAttribute;         /* FAT attribute byte */
    uint8_t  bReserved;          /* byte 12 of the short entry */
    uint8_t  bLongNameStatus;    /* bit 0: the long-name entries were irregular */
    uint8_t  bCreateTimeFine;    /* byte 13 of the short entry */
    uint16_t wCreateTime;
    uint16_t wCreateDate;
    uint16_t wAccessDate;
    uint16_t wWriteTime;
    uint16_t wWriteDate;
    uint32_t dwFirstCluster;     /* low 16 bits: the directory key */
    uint32_t dwSize;
    char     szLongName[264];    /* UTF-8, empty when the entry has no long name */
} ZVC450_DIRENTRY;

/* Summary of a listing: six 32-bit words. */
typedef struct ZVC450_SUMMARY {
    uint32_t dwFileCount;        /* files of the current directory, as the player says */
    uint32_t dwTotalBlocks;      /* 16 KiB blocks of the medium */
    uint32_t dwUsedBlocks;
    uint32_t dwStatus;           /* not filled by the library: the program's medium status */
    uint32_t dwFilesFound;       /* every file entry found, stored or not; fewer than
                                    dwFileCount when the listing stopped early */
    uint32_t dwDirsFound;        /* every directory entry found (new players only) */
} ZVC450_SUMMARY;

#pragma pack(push, 1)
/* Medium and file-system parameters of one memory (packed, 27 bytes). */
typedef struct ZVC450_MEDIUMINFO {
    uint16_t wTotalFileCount;
    uint16_t wTotalBlockCount;
    uint16_t wUsedBlockCount;
    uint16_t wPhysicalBlockCount;
    uint16_t wBadBlockCount;
    uint8_t  bDeviceIOStatus;
    uint8_t  bFATStatus;
    uint8_t  bMediumType;        /* 1 NAND/SMC, 2 MMC/SD */
    uint16_t wFATStartSector;
    uint16_t wFATSectorCount;
    uint16_t wRootStartSector;
    uint8_t  bBlockSizeCode;     /* 0: 16 KiB blocks, 1: 128 KiB blocks */
    uint16_t wBytesPerSector;
    uint8_t  bSectorsPerCluster;
    uint8_t  bClustersPerBlock;
    uint16_t wRootEntryCount;
    uint8_t  bFATType;           /* 1 FAT12, 2 FAT16 */
} ZVC450_MEDIUMINFO;
#pragma pack(pop)

/* Name and size of the LCD font stored on the player. */
typedef struct ZVC450_FONTINFO {
    char     szFontName[264];
    uint32_t dwFontSize;
} ZVC450_FONTINFO;

#ifdef __cplusplus
static_assert(sizeof(ZVC450_DIRENTRY) == 300, "ZVC450_DIRENTRY must be 300 bytes");
static_assert(sizeof(ZVC450_SUMMARY) == 24, "ZVC450_SUMMARY must be six words");
static_assert(sizeof(ZVC450_MEDIUMINFO) == 27, "ZVC450_MEDIUMINFO must be 27 bytes");
#else
_Static_assert(sizeof(ZVC450_DIRENTRY) == 300, "ZVC450_DIRENTRY must be 300 bytes");
_Static_assert(sizeof(ZVC450_SUMMARY) == 24, "ZVC450_SUMMARY must be six words");
_Static_assert(sizeof(ZVC450_MEDIUMINFO) == 27, "ZVC450_MEDIUMINFO must be 27 bytes");
#endif

/* ---- Frame and library-wide state -------------------------------------- */
ZVC450_API int      ZVC450_Open(HZVC450 *handle);
ZVC450_API int      ZVC450_Close(HZVC450 h);
ZVC450_API int      ZVC450_Free(HZVC450 h);
ZVC450_API int      ZVC450_IsValidHandle(HZVC450 h);
ZVC450_API void    *ZVC450_GetModuleHandle(void);
ZVC450_API int      ZVC450_GetError(void);
ZVC450_API int      ZVC450_SetError(int code);
ZVC450_API int      ZVC450_GetInternalError(void);
ZVC450_API int      ZVC450_SetInternalError(int code);
ZVC450_API unsigned ZVC450_GetWindowsError(void);
ZVC450_API unsigned ZVC450_SetWindowsError(unsigned code);
/* Time-outs of every later transfer, in milliseconds; 0 sets the default
   (30000 receive, 20000 send): no wait for the player is ever unbounded. */
ZVC450_API void     ZVC450_SetTimeout(unsigned recvMs, unsigned sendMs);
ZVC450_API void     ZVC450_SetUserUSBID(unsigned vid, unsigned pid);
ZVC450_API unsigned ZVC450_GetExpectedFirmwareVersion(void);
ZVC450_API unsigned ZVC450_SetExpectedFirmwareVersion(unsigned version);

/* ---- Connection test and identification -------------------------------- */
ZVC450_API int         ZVC450_TestConnection(void);
ZVC450_API int         ZVC450_RetrieveFirmwareVersion(HZVC450 h);
ZVC450_API unsigned    ZVC450_GetFirmwareVersion(void);
ZVC450_API const char *ZVC450_GetFirmwareVersionString(void);

/* ---- Raw transfers and command packets --------------------------------- */
ZVC450_API int ZVC450_SendUSB(HZVC450 h, const void *buf, int len);
ZVC450_API int ZVC450_RecvUSB(HZVC450 h, void *buf, int len);
ZVC450_API int ZVC450_SendCommandNone(HZVC450 h, unsigned char cmd, const void *payload, int len);
ZVC450_API int ZVC450_SendCommand(HZVC450 h, int memory, unsigned char cmd, const void *payload, int len);
ZVC450_API int ZVC450_SendCommandEx(HZVC450 h, int memory, unsigned short cmd, const void *payload, int len);
ZVC450_API int ZVC450_SendCommandEx2(HZVC450 h, int memory, unsigned short cmd, const void *payload, int len);
ZVC450_API int ZVC450_SendCommandIrregular(HZVC450 h, int memory, unsigned char cmd, unsigned short lengthField,
                                           const void *params, int paramLen, const void *data, int dataLen);
ZVC450_API int ZVC450_SendCommandExIrregular(HZVC450 h, int memory, unsigned short cmd, unsigned short lengthField,
                                             const void *params, int paramLen, const void *data, int dataLen);

/* ---- Errors ------------------------------------------------------------ */
/* owner: a QWidget* or null.  code 0: the current error; sysError 0: errno. */
ZVC450_API void ZVC450_DispError(void *owner, int code, unsigned sysError);
/* As ZVC450_DispError, with the caller's own lines under the library's text in
   the same box (UTF-8; for example what happened in plain words, what to do
   and the file concerned); on the terminal they follow the text's line.
   detail null or empty: exactly ZVC450_DispError. */
ZVC450_API void ZVC450_DispErrorEx(void *owner, int code, unsigned sysError, const char *detail);

/* ---- Medium information and listing ----------------------------------- */
ZVC450_API int ZVC450_GetMediumInfo(HZVC450 h, int memory, ZVC450_MEDIUMINFO *info);
/* count: in, the capacity of entries; out, the number of records filled. */
ZVC450_API int ZVC450_Refresh(HZVC450 h, int memory, ZVC450_SUMMARY *summary,
                              ZVC450_DIRENTRY *entries, int *count);
ZVC450_API int ZVC450_RefreshEx(HZVC450 h, int memory, ZVC450_SUMMARY *summary,
                                ZVC450_DIRENTRY *files, int *fileCount,
                                ZVC450_DIRENTRY *dirs, int *dirCount);
ZVC450_API int ZVC450_GetCurrentDirectory(HZVC450 h, int memory, char *buf, int size);

/* ---- File transfers ------------------------------------------------------ */
/* owner: the QWidget* that owns the progress window, or null. */
ZVC450_API int ZVC450_Download(void *owner, HZVC450 h, int memory, const char *localPath);
/*
 * ZVC450_Download with flags.  ZVC450_DOWNLOAD_KEEP_TIME: the copy is dated
 * with the local file's modification time instead of the moment of the copy
 * (FAT keeps local time, in steps of two seconds).  Other bits are refused
 * with 11.  ZVC450_Download(...) is ZVC450_DownloadEx(..., 0).
 */
#define ZVC450_DOWNLOAD_KEEP_TIME 1u
ZVC450_API int ZVC450_DownloadEx(void *owner, HZVC450 h, int memory, const char *localPath, unsigned flags);
ZVC450_API int ZVC450_Replace(HZVC450 h, int memory, int fileA, int fileB);
ZVC450_API int ZVC450_Upload(void *owner, HZVC450 h, int memory, int fileIndex, const char *localPath,
                             const char *displayName, unsigned size, int kind);
/*
 * Reads file fileIndex of the current directory (size bytes, as listed) back
 * from the player and compares it with the local file localPath, in a
 * "Verifying..." window showing displayName (or localPath).  Nothing is
 * written.  Returns 1 when the comparison ran: *firstDifference receives the
 * offset of the first byte that differs (where one file ends and the other
 * goes on, the end of the shorter), or -1 when both hold the same bytes.
 * Returns 0 on failure with the library error set as by ZVC450_Upload
 * (4, 5, 6, 11, 14).
 */
ZVC450_API int ZVC450_VerifyFile(void *owner, HZVC450 h, int memory, int fileIndex, const char *localPath,
                                 const char *displayName, unsigned size, long long *firstDifference);

/* ---- Names the player can store ------------------------------------------ */
/*
 * Whether the player can store a file or folder name, before anything is
 * sent.  The last component of a path is checked (only "/" separates
 * folders).  Returns ZVC450_NAME_OK or the reason the library will refuse
 * the name with ZVS450USB_ERR_INVALID_FILENAME; *position (when given)
 * receives the byte offset in name of the character at fault for
 * ZVC450_NAME_BAD_CHARACTER and ZVC450_NAME_TRAILING, else of the start of
 * the last component.  The characters at fault are all ASCII, so a caller
 * can name the one byte and, if the user agrees, put '_' in its place and
 * check again until the name is accepted:
 *
 *     int at, why;
 *     while ((why = ZVC450_CheckFileName(name, &at)) == ZVC450_NAME_BAD_CHARACTER ||
 *            why == ZVC450_NAME_TRAILING)
 *         name[at] = '_';
 *
 * Bytes that are not UTF-8 are no reason: such a name is stored lossy.
 * ZVC450_MakeDirectory also refuses a name that does not fit its one packet
 * (more than 182 characters when it needs long-name entries).
 */
#define ZVC450_NAME_OK             0
#define ZVC450_NAME_BAD_CHARACTER  1  /* a control character or one of " * : < > ? \ | */
#define ZVC450_NAME_RESERVED       2  /* "." or ".." */
#define ZVC450_NAME_BLANK          3  /* empty, or spaces only */
#define ZVC450_NAME_TRAILING       4  /* ends in a dot or a space */
#define ZVC450_NAME_ONLY_EXTENSION 5  /* a dot and an extension only, e.g. ".mp3" */
#define ZVC450_NAME_TOO_LONG       6  /* more than 819 UTF-16 units */
ZVC450_API int ZVC450_CheckFileName(const char *name, int *position);

/* ---- Delete, rename and directories -------------------------------------- */
ZVC450_API int ZVC450_Delete(void *owner, HZVC450 h, int memory, int fileIndex, const char *displayName);
ZVC450_API int ZVC450_Rename(HZVC450 h, int memory, int fileIndex, const char *newName,
                             const ZVC450_DIRENTRY *entry);
ZVC450_API int ZVC450_ChangeDirectory(HZVC450 h, int memory, unsigned key);
ZVC450_API int ZVC450_MakeDirectory(HZVC450 h, int memory, const char *name);
ZVC450_API int ZVC450_RemoveDirectory(HZVC450 h, int memory, unsigned key);
ZVC450_API int ZVC450_RenameDirectory(HZVC450 h, int memory, const char *newName,
                                      const ZVC450_DIRENTRY *entry);

/* ---- Format -------------------------------------------------------------- */
ZVC450_API int ZVC450_Format(void *owner, HZVC450 h, int memory);
ZVC450_API int ZVC450_FormatLow(void *owner, HZVC450 h, int memory);

/* ---- Maintenance --------------------------------------------------------- */
ZVC450_API int ZVC450_UpgradeFirmware(void *owner, HZVC450 h, int bootCode, int romSelect,
                                      const char *imagePath, const char *displayName);
ZVC450_API int ZVC450_DownloadFont(void *owner, HZVC450 h, const char *fontPath);
ZVC450_API int ZVC450_GetFontInfo(HZVC450 h, ZVC450_FONTINFO *info);
ZVC450_API int ZVC450_EraseFont(HZVC450 h);
ZVC450_API int ZVC450_UploadFont(void *owner, HZVC450 h, const char *fontPath, const char *displayName,
                                 unsigned size);
ZVC450_API int ZVC450_UploadRawData(void *owner, HZVC450 h, int memory, unsigned firstBlock,
                                    unsigned blockCount, const char *localPath, const char *displayName,
                                    unsigned size);

/* ---- Offline conversion of recordings ------------------------------------ */
/* progress(pos, total, user) returns non-zero to cancel.  Non-zero on success;
 * on failure or cancel the WAV file is removed. */
typedef int (*ZVC450_PROGRESS_CB)(unsigned pos, unsigned total, void *user);
ZVC450_API int ZVC450_ConvertBcwToWav(const char *src, const char *wav, ZVC450_PROGRESS_CB progress, void *user);
ZVC450_API int ZVC450_ConvertBvfToWav(const char *src, const char *wav, ZVC450_PROGRESS_CB progress, void *user);

#ifdef __cplusplus
}
#endif
