// Error texts and their display without a GUI.

#include "protocol.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

using namespace zvc450;

TEST(ErrorText, LibraryAndInternalCodes)
{
    struct Row {
        int code, internal;
        unsigned sys;
        std::string text;
    } rows[] = {
        {0, 0, 0, "ZVC450 No Error"},
        {1, 0, 0, "ZVC450USB_ERR_DEVICEDRIVER_OPEN"},
        {3, 0, 0, "ZVC450USB_ERR_DEVICE_OPEN"},
        {4, 0, 0, "ZVC450USB_ERR_USB or TIMEOUT\nPlease check Timeout Value"},
        {5, 2, 0, "ZVC450USB_ERR_INTERNAL - ZVC450INT_ERR_CARD_NOT_DETECTED"},
        {5, 0, 0, "ZVC450USB_ERR_INTERNAL - ZVC450INT_ERR_UNKNOWN"},
        {5, 25, 0, "ZVC450USB_ERR_INTERNAL - ZVC450INT_ERR_OUT_OF_MEMORY"},
        {5, 40, 0, "ZVC450USB_ERR_INTERNAL - ZVC450INT_FONT_BLOCK_CHAIN"},
        {5, 41, 0, "ZVC450USB_ERR_INTERNAL(41)"},
        {5, -1, 0, "ZVC450USB_ERR_INTERNAL(-1)"},
        {6, 0, ENOENT, std::strerror(ENOENT)},
        {6, 0, 100000, "System Internal Errors(null)"},
        {9, 0, 0, "ZVC450USB_ERR_DISKFULL"},
        {12, 0, 0, "ZVC450USB_ERR_NODISK"},
        {13, 0, 0, "ZVS450USB_ERR_INVALID_FILENAME"},
        {14, 0, 0, "ZVS450USB_ERR_USERBREAK"},
        {15, 0, 0, "ZVC450 Unknown Error(15)"},
        {99, 0, 0, "ZVC450 Unknown Error(99)"},
        {-3, 0, 0, "ZVC450 Unknown Error(-3)"},
    };
    for (const Row &row : rows)
        EXPECT_EQ(errorText(row.code, row.internal, row.sys), row.text) << row.code << "/" << row.internal;
}

TEST(ErrorText, StringTableIsComplete)
{
    for (int id = 1; id <= 14; ++id)
        EXPECT_NE(stringTable(id), nullptr) << id;
    for (int id = 1000; id <= 1040; ++id)
        EXPECT_NE(stringTable(id), nullptr) << id;
    for (int id : {0, 15, 999, 1041, -1})
        EXPECT_EQ(stringTable(id), nullptr) << id;
    EXPECT_STREQ(stringTable(1038), "ZVC450INT_NOT_IMPLEMENTED");
    EXPECT_STREQ(stringTable(1021), "ZVC450INT_ERR_NOT_FOUND");
}

TEST(DispError, OneLineOnStderrWithoutGui)
{
    struct Row {
        int code;
        unsigned sys;
        const char *line;
    } rows[] = {
        {0, 0, "ZVC450 No Error\n"},  // right after load: nothing has failed
        {4, 0, "ZVC450USB_ERR_USB or TIMEOUT Please check Timeout Value\n"},
        {99, 0, "ZVC450 Unknown Error(99)\n"},
        {6, EACCES, "Permission denied\n"},
    };
    for (const Row &row : rows) {
        testing::internal::CaptureStderr();
        ZVC450_DispError(nullptr, row.code, row.sys);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.line) << row.code;
    }
}

TEST(DispError, CallersLinesFollowTheLibrarysLine)
{
    struct Row {
        const char *detail;
        const char *out;
    } rows[] = {
        {nullptr, "ZVS450USB_ERR_INVALID_FILENAME\n"},
        {"", "ZVS450USB_ERR_INVALID_FILENAME\n"},
        {"a:b.mp3", "ZVS450USB_ERR_INVALID_FILENAME\na:b.mp3\n"},
        {"a:b.mp3\nRename it.\n", "ZVS450USB_ERR_INVALID_FILENAME\na:b.mp3\nRename it.\n"},
    };
    for (const Row &row : rows) {
        testing::internal::CaptureStderr();
        ZVC450_DispErrorEx(nullptr, ZVS450USB_ERR_INVALID_FILENAME, 0, row.detail);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), row.out) << (row.detail ? row.detail : "null");
    }
}

TEST(DispError, ZeroArgumentsMeanTheCurrentCodes)
{
    ZVC450_SetInternalError(2);
    testing::internal::CaptureStderr();
    ZVC450_DispError(nullptr, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "ZVC450USB_ERR_INTERNAL - ZVC450INT_ERR_CARD_NOT_DETECTED\n");

    ZVC450_SetWindowsError(ENOENT);
    errno = EACCES;  // DispError's 0 means the thread's last system error, not the stored one
    testing::internal::CaptureStderr();
    ZVC450_DispError(nullptr, 0, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(std::strerror(EACCES)) + "\n");
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS) << "display changes no code";
    EXPECT_EQ(ZVC450_GetWindowsError(), unsigned(ENOENT));
}
