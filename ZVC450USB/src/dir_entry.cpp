// dir_entry.cpp - the 32-byte FAT directory entry (see dir_entry.h).

#include "dir_entry.h"

#include "protocol.h"

#include <sys/time.h>

#include <cstring>

namespace zvc450 {
namespace {

// Where the 13 UTF-16 characters of a long-name entry stand (5 + 6 + 2).
constexpr int kLongCharOffsets[kCharsPerLongEntry] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

}  // namespace

FatStamp fatStamp(const struct tm &t, int milliseconds)
{
    int year = t.tm_year + 1900;
    // FAT dates run from 1980 to 2107.
    year = year < 1980 ? 1980 : year > 2107 ? 2107 : year;
    FatStamp s;
    s.date = uint16_t(t.tm_mday + (t.tm_mon + 1) * 32 + (year - 1980) * 512);
    s.time = uint16_t(t.tm_sec / 2 + t.tm_min * 32 + t.tm_hour * 2048);
    s.fine = uint8_t(milliseconds / 5);
    return s;
}

FatStamp fatStampNow()
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    struct tm local;
    time_t secs = tv.tv_sec;
    localtime_r(&secs, &local);
    return fatStamp(local, int(tv.tv_usec / 1000));
}

FatStamp fatStampOf(time_t t)
{
    struct tm local;
    localtime_r(&t, &local);
    return fatStamp(local, 0);
}

uint8_t shortNameChecksum(const uint8_t name11[11])
{
    unsigned sum = 0;
    for (int i = 0; i < 11; ++i)
        sum = ((sum & 1) << 7) + (sum >> 1) + name11[i], sum &= 0xFF;
    return uint8_t(sum);
}

void entryToRecord(const uint8_t *e, ZVC450_DIRENTRY *r)
{
    std::memset(r, 0, sizeof *r);
    std::memcpy(r->szName, e + kEntryName, 8);
    if (uint8_t(r->szName[0]) == kEntryE5Escape)
        r->szName[0] = char(kEntryDeleted);
    std::memcpy(r->szExt, e + kEntryExt, 3);
    r->bAttribute = e[kEntryAttribute];
    r->bReserved = e[kEntryCaseFlags];
    r->bCreateTimeFine = e[kEntryCreateFine];
    r->wCreateTime = uint16_t(getLE16(e + kEntryCreateTime));
    r->wCreateDate = uint16_t(getLE16(e + kEntryCreateDate));
    r->wAccessDate = uint16_t(getLE16(e + kEntryAccessDate));
    r->dwFirstCluster = uint32_t(getLE16(e + kEntryClusterHigh)) << 16 | getLE16(e + kEntryClusterLow);
    r->wWriteTime = uint16_t(getLE16(e + kEntryWriteTime));
    r->wWriteDate = uint16_t(getLE16(e + kEntryWriteDate));
    r->dwSize = getLE32(e + kEntrySize);
}

void putRecordFields(uint8_t *e, const ZVC450_DIRENTRY &r)
{
    e[kEntryAttribute] = r.bAttribute;
    e[kEntryCaseFlags] = r.bReserved;
    e[kEntryCreateFine] = r.bCreateTimeFine;
    putLE16(e + kEntryCreateTime, r.wCreateTime);
    putLE16(e + kEntryCreateDate, r.wCreateDate);
    putLE16(e + kEntryAccessDate, r.wAccessDate);
    putLE16(e + kEntryClusterHigh, r.dwFirstCluster >> 16);
    putLE16(e + kEntryWriteTime, r.wWriteTime);
    putLE16(e + kEntryWriteDate, r.wWriteDate);
    putLE16(e + kEntryClusterLow, r.dwFirstCluster & 0xFFFF);
    putLE32(e + kEntrySize, r.dwSize);
}

void putStamp(uint8_t *e, const FatStamp &stamp)
{
    e[kEntryCreateFine] = stamp.fine;
    putLE16(e + kEntryCreateTime, stamp.time);
    putLE16(e + kEntryCreateDate, stamp.date);
    putLE16(e + kEntryAccessDate, stamp.date);
    putLE16(e + kEntryWriteTime, stamp.time);
    putLE16(e + kEntryWriteDate, stamp.date);
}

void putLongEntry(uint8_t *e, int ordinal, bool last, uint8_t checksum, const std::u16string &name)
{
    e[kEntryOrdinal] = uint8_t(ordinal | (last ? kLastLongEntry : 0));
    e[kEntryAttribute] = kAttrLongName;
    e[kEntryChecksum] = checksum;
    const size_t first = size_t(ordinal - 1) * kCharsPerLongEntry;
    for (int i = 0; i < kCharsPerLongEntry; ++i) {
        const size_t p = first + size_t(i);
        const unsigned unit = p < name.size() ? unsigned(name[p]) : p == name.size() ? 0 : 0xFFFF;
        putLE16(e + kLongCharOffsets[i], unit);
    }
}

void LongNameDecoder::add(const uint8_t *entry)
{
    const int ordinal = entry[kEntryOrdinal] & kOrdinalMask;
    if (ordinal == 0) {
        irregular_ = true;
        return;
    }
    if ((entry[kEntryOrdinal] & kLastLongEntry) || previous_ < 1) {
        // A new name begins; a name still in progress never ended.
        irregular_ = previous_ >= 0;
        std::memset(units_, 0, sizeof units_);
    } else if (previous_ != ordinal + 1) {
        irregular_ = true;
    }
    const int pos = (ordinal - 1) * kCharsPerLongEntry;
    for (int i = 0; i < kCharsPerLongEntry && pos + i <= kLastPos; ++i) {
        units_[2 * (pos + i)] = entry[kLongCharOffsets[i]];
        units_[2 * (pos + i) + 1] = entry[kLongCharOffsets[i] + 1];
    }
    previous_ = ordinal;
}

std::string LongNameDecoder::text() const { return empty() ? std::string() : utf16leToUtf8(units_, kUnits); }

void LongNameDecoder::clear()
{
    previous_ = -1;
    irregular_ = false;
}

}  // namespace zvc450
