// identify.cpp - connection test and firmware identification.
//
// Asked "Y", the player answers with a text instead of a status:
//   "BRIGHTFEN ZVC450 FILE SYSTEM" w1 w2 w3 w4 version
// separated by single spaces.  Players that stop after the third word are
// the 1.20 generation, those with a fourth word but no parsable version are
// 1.25; everything newer says its version (e.g. "1.43").

#include "protocol.h"

#include <cstring>

namespace zvc450 {
namespace {

constexpr char kSignature[] = "BRIGHTFEN ZVC450 FILE SYSTEM";
constexpr int kSignatureLen = sizeof kSignature - 1;  // 28
constexpr int kTextOffset = 4;                        // body of the framed answer
constexpr int kAfterSignature = kTextOffset + kSignatureLen;

// What the word count tells about a player that does not name its version.
constexpr unsigned kFwThreeWords = 0x12000;
constexpr unsigned kFwFourWords = 0x12500;

// Advances *pos past the next word and the one space after it; false when
// *pos already stands at the end.
bool skipWord(const uint8_t *p, int end, int *pos)
{
    if (*pos >= end)
        return false;
    while (*pos < end && p[*pos] != ' ')
        ++*pos;
    if (*pos < end)
        ++*pos;
    return true;
}

// Reads the identification answer in g_packet; returns the version it names
// (0 when it names none) and fills the version text.
unsigned readIdentification()
{
    // The identification answer is short on every generation; its length is
    // byte 2 alone even where other answers use a 16-bit length.
    const int n = int(g_packet[2]) - 2;
    if (n < kSignatureLen || std::memcmp(g_packet + kTextOffset, kSignature, kSignatureLen) != 0)
        return 0;
    const int copy = n < int(sizeof g_lib.fwTextBuf) - 1 ? n : int(sizeof g_lib.fwTextBuf) - 1;
    std::memcpy(g_lib.fwTextBuf, g_packet + kTextOffset, size_t(copy));
    g_lib.fwTextBuf[copy] = '\0';

    const int end = g_packet[2] + 2;  // offset of the terminator
    int pos = kAfterSignature;
    if (pos >= end || g_packet[pos] != ' ')
        return 0;
    ++pos;
    for (int i = 0; i < 3; ++i)
        if (!skipWord(g_packet, end, &pos))
            return 0;
    unsigned version = kFwThreeWords;
    if (!skipWord(g_packet, end, &pos))
        return version;
    version = kFwFourWords;
    const unsigned named = parseVersion(reinterpret_cast<const char *>(g_packet + pos), size_t(end - pos));
    return named ? named : version;
}

}  // namespace

unsigned parseVersion(const char *text, size_t len)
{
    size_t i = 0;
    unsigned major = 0;
    for (; i < len && i < 4 && text[i] >= '0' && text[i] <= '9'; ++i)
        major = major * 16 + unsigned(text[i] - '0');
    if (i >= len || text[i] != '.')
        return major << 16;
    ++i;
    unsigned minor = 0, weight = 0x1000;
    for (size_t k = 0; k < 4 && i < len && text[i] >= '0' && text[i] <= '9'; ++k, ++i) {
        minor += unsigned(text[i] - '0') * weight;
        weight /= 16;
    }
    return (major << 16) + minor;
}

}  // namespace zvc450

using namespace zvc450;

extern "C" {

ZVC450_API int ZVC450_TestConnection(void)
{
    std::unique_ptr<Transport> link = makeTransport();
    return link->present(candidateIds(g_lib.userVid, g_lib.userPid)) ? 1 : 0;
}

ZVC450_API int ZVC450_RetrieveFirmwareVersion(HZVC450 h)
{
    g_lib.fwText = nullptr;
    g_lib.fwTextBuf[0] = '\0';
    g_lib.reportedFw = 0;
    int result = 1;
    // The identification answer is a text, not a status: it is read, not checked.
    if (!rawAnswerTo(h, ZVC450_SendCommandNone(h, 'Y', nullptr, 0))) {
        result = 0;
    } else {
        g_lib.fwText = g_lib.fwTextBuf;
        g_lib.reportedFw = readIdentification();
    }
    g_lib.effectiveFw = g_lib.expectedFw ? g_lib.expectedFw : g_lib.reportedFw;
    return result;
}

ZVC450_API unsigned ZVC450_GetFirmwareVersion(void) { return g_lib.reportedFw; }

ZVC450_API const char *ZVC450_GetFirmwareVersionString(void) { return g_lib.fwText; }

}  // extern "C"
