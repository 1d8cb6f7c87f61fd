#include "firmware.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace emu {

namespace {

// Internal error codes of the player that the firmware itself reports (the
// FAT engine reports its own through FatErr).
constexpr int kErrCardNotDetected = 2;
constexpr int kErrNotErased = 4;
constexpr int kErrTotalFileNumber = 17;
constexpr int kErrInvalidAddress = 35;
constexpr int kErrNotImplemented = 38;

constexpr char kSignature[] = "BRIGHTFEN ZVC450 FILE SYSTEM";
// The four words between the signature and the version number.
constexpr char kIdentificationWords[] = "USB AUDIO PLAYER FIRMWARE";

constexpr size_t kTransferSize = 16384;  // the host moves data in transfers of up to 16 KiB
constexpr size_t kSlotSize = 32;
constexpr size_t kSlotsPerBlock = kPacketSize / kSlotSize;
// The current path answer carries the first path bytes right after the
// status and the byte count.
constexpr size_t kPathBytesInFirstPacket = kPacketSize - 7;

// Code-area erase takes this many steps (announced, then reported one by one).
constexpr uint16_t kBootEraseSteps = 2;
constexpr uint16_t kAppEraseSteps = 16;

constexpr uint8_t kAreaBoot = 'R', kAreaApp = 'P';

uint64_t RoundUp512(uint64_t n) { return (n + kPacketSize - 1) / kPacketSize * kPacketSize; }

bool IsEntrySet(const std::vector<uint8_t> &d) { return !d.empty() && d.size() % kSlotSize == 0; }

// Who may be addressed: the plain form has no target letter.
enum TargetClass : unsigned {
    kPlainTarget = 1,  // no letter
    kMemories = 2,     // "M" internal, "S" card
    kFontArea = 4,     // "U"
    kRomSelect = 8,    // "G"
    kCodeAreas = 16,   // "C"
};

TargetClass ClassOf(uint8_t letter)
{
    switch (letter) {
    case 'M':
    case 'S':
        return kMemories;
    case 'U':
        return kFontArea;
    case 'G':
        return kRomSelect;
    case 'C':
        return kCodeAreas;
    default:
        return kPlainTarget;
    }
}

// Which firmware generations know a command.
enum class Gate { kAll, kBefore130, kFrom120, kFrom130, kFrom142, kAbove142, kFrom143 };

bool Open(Gate g, const Generation &gen)
{
    switch (g) {
    case Gate::kAll:
        return true;
    case Gate::kBefore130:
        return !gen.EntrySetNames();
    case Gate::kFrom120:
        return gen.FormatProgress();
    case Gate::kFrom130:
        return gen.EntrySetNames();
    case Gate::kFrom142:
        return gen.MediumInfo();
    case Gate::kAbove142:
        return gen.ListsDirectories();
    case Gate::kFrom143:
        return gen.Directories();
    }
    return false;
}

}  // namespace

struct Firmware::Row {
    unsigned targets;
    const char *key;  // command bytes in wire order
    Form form;
    size_t params;  // irregular form: fixed parameter bytes before the data length
    Gate gate;
    bool needsVolume;  // refused with "not formatted" when the medium has no file system
    bool listing;      // refusals carry a zeroed listing header
    void (Firmware::*handler)(Command &);
};

// The command table: every command the PC software sends, by target and
// command bytes.  Two-byte commands stand before the one-byte commands that
// share their first byte.  Where a command changed its form between
// generations it has one line per form.
static const Firmware::Row kCommands[] = {
    {kPlainTarget, "Y", Form::kPlain, 0, Gate::kAll, false, false, &Firmware::Identify},
    {kMemories, "I", Form::kRegular, 0, Gate::kFrom142, false, false, &Firmware::MediumInformation},
    {kMemories, "GG", Form::kRegular, 0, Gate::kAbove142, true, true, &Firmware::ListAll},
    {kMemories, "G", Form::kRegular, 0, Gate::kAll, true, true, &Firmware::ListFiles},
    {kMemories, "DG", Form::kRegular, 0, Gate::kFrom143, true, false, &Firmware::CurrentPath},
    {kMemories, "DC", Form::kRegular, 0, Gate::kFrom143, true, false, &Firmware::ChangeDir},
    {kMemories, "DM", Form::kSized, 0, Gate::kFrom143, true, false, &Firmware::MakeDir},
    {kMemories, "DR", Form::kRegular, 0, Gate::kFrom143, true, false, &Firmware::RemoveDir},
    {kMemories, "DN", Form::kIrregular, 2, Gate::kFrom143, true, false, &Firmware::RenameDir},
    {kMemories, "E", Form::kRegular, 0, Gate::kAll, true, false, &Firmware::DeleteFile},
    {kMemories, "N", Form::kRegular, 0, Gate::kBefore130, true, false, &Firmware::RenameFile83},
    {kMemories, "N", Form::kIrregular, 2, Gate::kFrom130, true, false, &Firmware::RenameFile},
    {kMemories, "FD", Form::kRegular, 0, Gate::kFrom120, false, false, &Firmware::FormatWithProgress},
    {kMemories, "LD", Form::kRegular, 0, Gate::kFrom120, false, false, &Firmware::FormatWithProgress},
    {kMemories, "F", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::Format},
    {kMemories, "L", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::Format},
    {kMemories, "R", Form::kRegular, 0, Gate::kAll, true, false, &Firmware::Upload},
    {kMemories, "W", Form::kRegular, 0, Gate::kBefore130, true, false, &Firmware::Download83},
    {kMemories, "W", Form::kIrregular, 0, Gate::kFrom130, true, false, &Firmware::Download},
    {kMemories, "P", Form::kRegular, 0, Gate::kAll, true, false, &Firmware::Replace},
    {kMemories, "A", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::RawBlocks},
    {kRomSelect, "O", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::SelectRom},
    {kCodeAreas, "\x01", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::WriteCode},
    {kCodeAreas, "\x02", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::EraseCode},
    {kCodeAreas, "\x03", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::EraseCodeWithProgress},
    {kFontArea, "W", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::FontDownload},
    {kFontArea, "V", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::FontInformation},
    {kFontArea, "E", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::FontErase},
    {kFontArea, "R", Form::kRegular, 0, Gate::kAll, false, false, &Firmware::FontUpload},
};

// ---- Faults -----------------------------------------------------------------

void FirmwareFaults::Refuse(const std::string &key, int code)
{
    std::lock_guard<std::mutex> lock(mutex_);
    refusals_[key] = code;
}

void FirmwareFaults::ClearRefusals()
{
    std::lock_guard<std::mutex> lock(mutex_);
    refusals_.clear();
}

void FirmwareFaults::CorruptWrites(uint32_t everyNth)
{
    std::lock_guard<std::mutex> lock(mutex_);
    corruptEvery_ = everyNth;
    blocksWritten_ = 0;
}

bool FirmwareFaults::TakeCorruptBlock()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (corruptEvery_ == 0)
        return false;
    return ++blocksWritten_ % corruptEvery_ == 0;
}

void FirmwareFaults::ShortWrite(uint64_t nth)
{
    std::lock_guard<std::mutex> lock(mutex_);
    shortFile_ = nth;
    filesSent_ = 0;
}

bool FirmwareFaults::TakeShortFile()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return shortFile_ != 0 && ++filesSent_ == shortFile_;
}

int FirmwareFaults::RefusalFor(const std::string &key) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = refusals_.find(key);
    return it == refusals_.end() ? 0 : it->second;
}

// ---- Serving ------------------------------------------------------------------

Firmware::Firmware(FirmwareSettings settings, PlayerState *state, FirmwareFaults *faults, Log log)
    : settings_(std::move(settings)), gen_(settings_.versionText), state_(state), faults_(faults), log_(std::move(log))
{}

std::string Firmware::IdentificationText() const
{
    if (!settings_.identification.empty())
        return settings_.identification;
    return std::string(kSignature) + " " + kIdentificationWords + " " + gen_.Text();
}

void Firmware::Serve(HostPipe &pipe)
{
    pipe_ = &pipe;
    for (;;) {
        try {
            Packet p;
            pipe.Read(p.data(), p.size());
            Handle(p);
        } catch (const TransferAborted &) {
            pipe.AbortDone();
        } catch (const TransferCancelled &) {
            log_("host cancelled its read");
        }
    }
}

static std::string Printable(const std::string &key)
{
    std::string s;
    for (unsigned char ch : key) {
        if (ch >= 0x20 && ch < 0x7F) {
            s += char(ch);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", ch);
            s += hex;
        }
    }
    return s;
}

void Firmware::Handle(const Packet &first)
{
    if (!HasFrame(first)) {
        log_("ignored a packet without frame");
        return;
    }
    TargetClass cls = ClassOf(first[4]);
    size_t keyAt = cls == kPlainTarget ? 4 : 5;
    const Row *row = nullptr;
    const Row *knownElsewhere = nullptr;
    for (const Row &r : kCommands) {
        size_t len = strlen(r.key);
        if (!(r.targets & cls) || memcmp(&first[keyAt], r.key, len) != 0)
            continue;
        // A two-byte command of a later generation is not a one-byte command
        // with a payload.
        if (knownElsewhere && strcmp(knownElsewhere->key, r.key) != 0)
            break;
        if (Open(r.gate, gen_)) {
            row = &r;
            break;
        }
        if (!knownElsewhere)
            knownElsewhere = &r;
    }
    leftover_ = first[1];
    bool mute = faults_->mute;
    if (!row) {
        // A command this generation does not know (or no command at all):
        // take what belongs to it off the link, then refuse it.
        if (knownElsewhere) {
            Command ignored;
            ReadCommand(first, *knownElsewhere, &ignored);
        }
        log_("not implemented: " + Printable(std::string(reinterpret_cast<const char *>(&first[keyAt]), 2)));
        if (!mute)
            Refuse(kErrNotImplemented);
        return;
    }
    Command cmd;
    if (!ReadCommand(first, *row, &cmd)) {
        log_("malformed command " + Printable(row->key));
        if (!mute)
            Refuse(kInvalidParam);
        return;
    }
    if (mute)
        return;
    memory_ = nullptr;
    std::string what = Printable(cmd.key) + (cmd.target ? std::string(" ") + char(cmd.target) : "");
    log_(what);
    if (int code = faults_->RefusalFor(cmd.key)) {
        row->listing ? RefuseListing(code) : Refuse(code);
        return;
    }
    if (cls == kMemories) {
        memory_ = MemoryOf(cmd.target);
        if (!memory_->Present()) {
            row->listing ? RefuseListing(kErrCardNotDetected) : Refuse(kErrCardNotDetected);
            return;
        }
        if (row->needsVolume && !memory_->Volume()) {
            row->listing ? RefuseListing(kNotFormatted, memory_->PhysicalBlocks()) : Refuse(kNotFormatted);
            return;
        }
    }
    (this->*row->handler)(cmd);
}

bool Firmware::ReadCommand(const Packet &first, const Row &row, Command *cmd)
{
    size_t keyLen = strlen(row.key);
    if (row.form != Form::kIrregular)
        return ParseSinglePacket(first, row.form, keyLen, cmd);
    IrregularHead head;
    if (!ParseIrregularHead(first, keyLen, row.params, cmd, &head))
        return false;
    std::vector<uint8_t> following(head.FollowingPackets() * kPacketSize);
    if (!following.empty())
        pipe_->Read(following.data(), following.size());
    return CollectIrregularData(first, head, following, cmd);
}

Memory *Firmware::MemoryOf(uint8_t target) { return target == 'S' ? &state_->Card() : &state_->Internal(); }

void Firmware::Send(const Packet &p)
{
    if (int ms = faults_->slowMs)
        pipe_->Pause(ms);
    pipe_->Write(p.data(), p.size());
}

void Firmware::Answer(const AnswerBuilder &a)
{
    Packet p = a.Finish(gen_.OneByteAnswerLength(), leftover_);
    if (settings_.dirtyAnswers)
        SoilAnswer(&p, a.Size(), gen_.OneByteAnswerLength(), ++dirt_);
    Send(p);
}

void Firmware::Succeed() { Answer(AnswerBuilder().U8(0)); }

void Firmware::Refuse(int code)
{
    log_("  refused with " + std::to_string(code));
    Answer(AnswerBuilder().U8(1).U8(uint8_t(code)));
}

void Firmware::SendBlocks(std::vector<uint8_t> bytes)
{
    const size_t used = bytes.size();
    bytes.resize(RoundUp512(used), 0);
    if (settings_.dirtyAnswers)
        Soil(bytes.data(), used, bytes.size(), ++dirt_);
    for (size_t at = 0; at < bytes.size(); at += kPacketSize)
        pipe_->Write(&bytes[at], kPacketSize);
}

// The PC reads the counts of a listing header without looking at its status,
// so a refused listing still carries a header: no files, no slots, and the
// medium's size when there is a medium (no blocks reads as "no medium").
void Firmware::RefuseListing(int code, uint32_t totalBlocks)
{
    log_("  listing refused with " + std::to_string(code));
    const uint16_t blocks = uint16_t(std::min<uint32_t>(totalBlocks, 0xFFFF));
    Answer(AnswerBuilder().U8(1).U8(uint8_t(code)).U16(0).U16(0).U16(blocks).U16(0));
}

void Firmware::SendData(const std::function<int(uint64_t, uint8_t *, size_t)> &fill, uint64_t size)
{
    std::vector<uint8_t> buf(kTransferSize);
    for (uint64_t done = 0; done < size;) {
        size_t chunk = size_t(std::min<uint64_t>(kTransferSize, size - done));
        size_t padded = size_t(RoundUp512(chunk));
        std::fill(buf.begin() + long(chunk), buf.begin() + long(padded), 0);
        if (fill(done, buf.data(), chunk) != kOk) {
            log_("  read error; sending zeros");
            std::fill(buf.begin(), buf.begin() + long(chunk), 0);
        }
        if (settings_.dirtyAnswers)
            Soil(buf.data(), chunk, padded, ++dirt_);
        pipe_->Write(buf.data(), padded);
        done += chunk;
    }
}

bool Firmware::IndexFrom(const std::vector<uint8_t> &payload, size_t at, int *index) const
{
    if (payload.size() < at + size_t(gen_.IndexWidth()))
        return false;
    *index = gen_.TwoByteIndexes() ? Be16(&payload[at]) : payload[at];
    return true;
}

// ---- Identification and listings ---------------------------------------------------

void Firmware::Identify(Command &) { Answer(AnswerBuilder().Text(IdentificationText())); }

void Firmware::MediumInformation(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    MediumInfo mi;
    if (FatVolume *v = memory_->Volume()) {
        mi = v->Info();
    } else {
        // An unformatted medium: the device answers, the file system is invalid.
        mi = MediumInfo();
        mi.fatStatus = 0;
        mi.bytesPerSector = 0;
        mi.sectorsPerCluster = 0;
        mi.clustersPerBlock = 0;
        mi.rootEntryCount = 0;
    }
    // Physical blocks are the medium's, counted as raw reads count them.
    mi.physicalBlocks = uint16_t(std::min<uint32_t>(memory_->PhysicalBlocks(), 0xFFFF));
    mi.mediumType = memory_->MediumType();
    if (faults_->fullMedium)
        mi.usedBlocks = mi.totalBlocks;
    Answer(AnswerBuilder()
               .U8(0)
               .U16(mi.totalFiles)
               .U16(mi.totalBlocks)
               .U16(mi.usedBlocks)
               .U16(mi.physicalBlocks)
               .U16(mi.badBlocks)
               .U8(mi.ioStatus)
               .U8(mi.fatStatus)
               .U8(mi.mediumType)
               .U16(mi.fatStartSector)
               .U16(mi.fatSectorCount)
               .U16(mi.rootStartSector)
               .U8(mi.blockSizeCode)
               .U16(mi.bytesPerSector)
               .U8(mi.sectorsPerCluster)
               .U8(mi.clustersPerBlock)
               .U16(mi.rootEntryCount)
               .U8(mi.fatType));
}

void Firmware::ListFiles(Command &c) { List(c, false); }
void Firmware::ListAll(Command &c) { List(c, true); }

// Slots without the directories (and the long-name slots in front of them):
// what the files-only listing delivers.
static std::vector<uint8_t> WithoutDirectories(const std::vector<uint8_t> &slots)
{
    std::vector<uint8_t> out, pending;
    for (size_t i = 0; i + kSlotSize <= slots.size(); i += kSlotSize) {
        const uint8_t *s = &slots[i];
        bool free = s[0] == 0x00 || s[0] == 0xE5;
        if (!free && s[11] == 0x0F) {
            pending.insert(pending.end(), s, s + kSlotSize);
            continue;
        }
        if (!free && (s[11] & 0x18)) {
            pending.clear();  // a directory or the volume label and its long name
            continue;
        }
        out.insert(out.end(), pending.begin(), pending.end());
        pending.clear();
        out.insert(out.end(), s, s + kSlotSize);
    }
    out.insert(out.end(), pending.begin(), pending.end());
    return out;
}

void Firmware::List(Command &c, bool withDirectories)
{
    if (!c.payload.empty())
        return RefuseListing(kInvalidParam);
    FatVolume *v = memory_->Volume();
    std::vector<uint8_t> slots = v->CurrentSlots();
    int files = v->FileCount();
    if (!withDirectories) {
        slots = WithoutDirectories(slots);
        // The files-only listing of the PC reads no slot blocks at all when
        // the header reports no files, so the player sends none.
        if (files == 0)
            slots.clear();
    }
    size_t count = slots.size() / kSlotSize;
    uint32_t total = v->TotalBlocks();
    uint32_t used = faults_->fullMedium ? total : v->UsedBlocks();
    Answer(
        AnswerBuilder().U8(0).U8(0).U16(uint16_t(files)).U16(uint16_t(count)).U16(uint16_t(total)).U16(uint16_t(used)));
    slots.resize((count + kSlotsPerBlock - 1) / kSlotsPerBlock * kPacketSize, 0);
    for (size_t at = 0; at < slots.size(); at += kPacketSize)
        pipe_->Write(&slots[at], kPacketSize);
}

void Firmware::CurrentPath(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    std::vector<uint8_t> path = memory_->Volume()->CurrentPathEntries();
    size_t inFirst = std::min(path.size(), kPathBytesInFirstPacket);
    AnswerBuilder first;
    first.U8(0).U16(uint16_t(path.size())).Bytes(path.data(), inFirst);
    Answer(first);
    SendBlocks(std::vector<uint8_t>(path.begin() + long(inFirst), path.end()));
    Succeed();
}

// ---- Directories ----------------------------------------------------------------

static int KeyFrom(const std::vector<uint8_t> &payload) { return payload.size() == 2 ? Be16(payload.data()) : -1; }

void Firmware::ChangeDir(Command &c)
{
    int key = KeyFrom(c.payload);
    if (key < 0)
        return Refuse(kInvalidParam);
    int err = memory_->Volume()->ChangeDir(uint16_t(key));
    err ? Refuse(err) : Succeed();
}

void Firmware::MakeDir(Command &c)
{
    if (!IsEntrySet(c.payload))
        return Refuse(kInvalidParam);
    if (faults_->fullMedium)
        return Refuse(kOutOfMemory);
    int err = memory_->Volume()->MakeDir(c.payload.data(), c.payload.size() / kSlotSize);
    err ? Refuse(err) : Succeed();
}

void Firmware::RemoveDir(Command &c)
{
    int key = KeyFrom(c.payload);
    if (key < 0)
        return Refuse(kInvalidParam);
    int err = memory_->Volume()->RemoveDir(uint16_t(key));
    err ? Refuse(err) : Succeed();
}

void Firmware::RenameDir(Command &c)
{
    int key = KeyFrom(c.payload);
    if (key < 0 || !IsEntrySet(c.data))
        return Refuse(kInvalidParam);
    int err = memory_->Volume()->RenameDir(uint16_t(key), c.data.data(), c.data.size() / kSlotSize);
    err ? Refuse(err) : Succeed();
}

// ---- Files ----------------------------------------------------------------------

void Firmware::DeleteFile(Command &c)
{
    int index;
    if (!IndexFrom(c.payload, 0, &index) || c.payload.size() != size_t(gen_.IndexWidth()))
        return Refuse(kInvalidParam);
    int err = memory_->Volume()->Delete(index);
    err ? Refuse(err) : Succeed();
}

void Firmware::RenameFile83(Command &c)
{
    int index;
    if (!IndexFrom(c.payload, 0, &index) || c.payload.size() < 2)
        return Refuse(kInvalidParam);
    std::string name(c.payload.begin() + 1, c.payload.end());
    std::vector<uint8_t> set = EntrySetFrom83(name, 0, 0, 0);
    if (set.empty())
        return Refuse(kInvalidName);
    int err = memory_->Volume()->Rename(index, set.data(), 1, /*keepStamps=*/true);
    err ? Refuse(err) : Succeed();
}

void Firmware::RenameFile(Command &c)
{
    int index;
    if (!IndexFrom(c.payload, 0, &index) || !IsEntrySet(c.data))
        return Refuse(kInvalidParam);
    int err = memory_->Volume()->Rename(index, c.data.data(), c.data.size() / kSlotSize);
    err ? Refuse(err) : Succeed();
}

void Firmware::Replace(Command &c)
{
    int a, b;
    if (c.payload.size() != size_t(2 * gen_.IndexWidth()) || !IndexFrom(c.payload, 0, &a) ||
        !IndexFrom(c.payload, size_t(gen_.IndexWidth()), &b))
        return Refuse(kInvalidParam);
    int err = memory_->Volume()->Swap(a, b);
    err ? Refuse(err) : Succeed();
}

// Upload: two answers (the file is open, the data follows), then the file
// in transfers of up to 16 KiB; no answer after the data.
void Firmware::Upload(Command &c)
{
    int index;
    if (!IndexFrom(c.payload, 0, &index) || c.payload.size() != size_t(gen_.IndexWidth()))
        return Refuse(kInvalidParam);
    FatVolume *v = memory_->Volume();
    std::vector<DirEntryInfo> files = v->Files();
    if (index >= int(files.size()))
        return Refuse(kFileNotExist);
    uint32_t size = files[size_t(index)].size;
    Answer(AnswerBuilder().U8(0).U32(size));
    Succeed();
    SendData(
        [&](uint64_t offset, uint8_t *buf, size_t len) {
            size_t got = 0;
            const int e = v->ReadAt(index, offset, buf, len, &got);
            std::fill(buf + got, buf + len, 0);  // past the end of a file shorter than its entry says
            return e;
        },
        size);
}

// Older firmware: the 8.3 name as text, the date and time of the download
// (little-endian FAT stamps) and the size (big-endian).
void Firmware::Download83(Command &c)
{
    if (c.payload.size() < 9 || c.payload.size() > 8 + 12)
        return Refuse(kInvalidParam);
    size_t n = c.payload.size() - 8;
    std::string name(c.payload.begin(), c.payload.begin() + long(n));
    uint16_t date = Le16(&c.payload[n]);
    uint16_t time = Le16(&c.payload[n + 2]);
    uint32_t size = Be32(&c.payload[n + 4]);
    std::vector<uint8_t> set = EntrySetFrom83(name, size, date, time);
    if (set.empty())
        return Refuse(kInvalidName);
    StartDownload(c, set, size);
}

// Newer firmware: the entry set, the size in the short slot (little-endian).
void Firmware::Download(Command &c)
{
    if (!c.payload.empty() || !IsEntrySet(c.data))
        return Refuse(kInvalidParam);
    uint32_t size = Le32(&c.data[c.data.size() - 4]);
    StartDownload(c, c.data, size);
}

// One answer with the new file's number, then the host sends the size
// rounded up to 512 bytes and expects no answer after it.  A transfer that
// ends early (abort, lost link) leaves the file with what had arrived.
void Firmware::StartDownload(Command &, const std::vector<uint8_t> &set, uint32_t size)
{
    if (faults_->fullMedium)
        return Refuse(kOutOfMemory);
    FatVolume *v = memory_->Volume();
    int index = 0;
    int err = v->BeginWrite(set.data(), set.size() / kSlotSize, &index);
    if (err)
        return Refuse(err);
    if (index > gen_.LastFileNumber()) {
        // Its number would not fit the answer (file 256 would read as file 0):
        // the player has as many files as it can number.
        v->AbortWrite();
        return Refuse(kErrTotalFileNumber);
    }
    try {
        AnswerBuilder a;
        a.U8(0).U8(0);
        gen_.TwoByteIndexes() ? a.U16(uint16_t(index)) : a.U8(uint8_t(index));
        Answer(a);
        const bool loseTheEnd = faults_->TakeShortFile();
        std::vector<uint8_t> buf(kTransferSize);
        uint64_t total = RoundUp512(size), done = 0;
        int writeErr = kOk;
        while (done < total) {
            size_t chunk = size_t(std::min<uint64_t>(kTransferSize, total - done));
            pipe_->Read(buf.data(), chunk);
            size_t data = size_t(std::min<uint64_t>(chunk, size > done ? size - done : 0));
            if (loseTheEnd && done + chunk == total) {
                log_("  the last " + std::to_string(data) + " bytes are lost");
                data = 0;
            }
            // A weak cell: the block lands with the lowest bit of its middle byte
            // turned over, and nothing says so.
            if (data && faults_->TakeCorruptBlock())
                buf[data / 2] ^= 0x01;
            if (data && !writeErr)
                writeErr = v->WriteData(buf.data(), data);
            done += chunk;
        }
        if (writeErr) {
            log_("  write failed with " + std::to_string(writeErr) + "; file dropped");
            v->AbortWrite();
        } else if (int e = v->CommitWrite()) {
            log_("  commit failed with " + std::to_string(e));
        }
    } catch (...) {
        if (v->Writing() && v->CommitWrite() != kOk)
            v->AbortWrite();
        throw;
    }
}

// ---- Format -----------------------------------------------------------------

void Firmware::Format(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    int err = memory_->Format(c.key[0] == 'L');
    err ? Refuse(err) : Succeed();
}

// The player reports its percentage while it formats.  Its last progress
// answer says 99, never 100; the outcome comes in one more answer after it.
void Firmware::FormatWithProgress(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    constexpr uint8_t kLastProgress = 99;
    Answer(AnswerBuilder().U8(0).U8(0));
    int err = memory_->Format(c.key[0] == 'L');
    if (err)
        return Refuse(err);
    for (int pct : {25, 50, 75, int(kLastProgress)})
        Answer(AnswerBuilder().U8(0).U8(uint8_t(pct)));
    Succeed();
}

// ---- Raw blocks ---------------------------------------------------------------

void Firmware::RawBlocks(Command &c)
{
    if (c.payload.size() != 4)
        return Refuse(kInvalidParam);
    uint32_t first = Be16(&c.payload[0]), end = Be16(&c.payload[2]);
    if (end < first || end > memory_->PhysicalBlocks())
        return Refuse(kInvalidBlock);
    Succeed();
    std::vector<uint8_t> block(FatVolume::kBlockSize);
    for (uint32_t b = first; b < end; ++b) {
        if (memory_->ReadBlock(b, block.data()) != kOk)
            std::fill(block.begin(), block.end(), 0);
        pipe_->Write(block.data(), block.size());
    }
}

// ---- Code areas (firmware upgrade) -------------------------------------------------

FlashArea *Firmware::CodeArea(uint8_t areaByte)
{
    if (areaByte == kAreaBoot)
        return &state_->Boot();
    if (areaByte == kAreaApp)
        return &state_->App();
    return nullptr;
}

void Firmware::SelectRom(Command &c)
{
    if (c.payload.size() != 2)
        return Refuse(kInvalidParam);
    log_("  ROM selection " + std::to_string(c.payload[1]));
    Succeed();
}

void Firmware::EraseCode(Command &c)
{
    FlashArea *area = c.payload.size() == 1 ? CodeArea(c.payload[0]) : nullptr;
    if (!area)
        return Refuse(kInvalidParam);
    if (!area->Erase())
        return Refuse(kInternal);
    Succeed();
}

// With progress: an announcement (byte 5 = 0, the step count in bytes 6-7,
// "." at 8), one report per finished step, then the outcome.  Players
// without it answer a plain success and erase on the command without
// progress.
void Firmware::EraseCodeWithProgress(Command &c)
{
    FlashArea *area = c.payload.size() == 1 ? CodeArea(c.payload[0]) : nullptr;
    if (!area)
        return Refuse(kInvalidParam);
    if (!settings_.eraseProgress)
        return Succeed();
    uint16_t steps = settings_.eraseSteps >= 0   ? uint16_t(settings_.eraseSteps)
                     : c.payload[0] == kAreaBoot ? kBootEraseSteps
                                                 : kAppEraseSteps;
    Answer(AnswerBuilder().U8(0).U8(0).U16(steps));
    if (!area->Erase())
        return Refuse(kInternal);
    for (uint16_t s = 0; s < steps; ++s)
        Answer(AnswerBuilder().U8(0).U8(0).U16(s));
    Succeed();
}

// The block count, one answer, the blocks of 512 bytes, the outcome.
void Firmware::WriteCode(Command &c)
{
    FlashArea *area = c.payload.size() == 3 ? CodeArea(c.payload[0]) : nullptr;
    if (!area)
        return Refuse(kInvalidParam);
    size_t blocks = Be16(&c.payload[1]);
    if (blocks == 0)
        return Refuse(kInvalidParam);
    if (blocks * kPacketSize > area->Capacity())
        return Refuse(kErrInvalidAddress);
    if (!area->Erased())
        return Refuse(kErrNotErased);
    Succeed();
    std::vector<uint8_t> image;
    image.reserve(blocks * kPacketSize);
    try {
        for (size_t i = 0; i < blocks; ++i) {
            uint8_t block[kPacketSize];
            pipe_->Read(block, sizeof block);
            image.insert(image.end(), block, block + sizeof block);
        }
    } catch (...) {
        area->Store(image);  // what reached the flash stays there
        throw;
    }
    area->Store(std::move(image)) ? Succeed() : Refuse(kInternal);
}

// ---- LCD font ---------------------------------------------------------------------

void Firmware::FontDownload(Command &c)
{
    if (c.payload.size() < 4)
        return Refuse(kInvalidParam);
    size_t n = c.payload.size() - 4;
    std::string name(c.payload.begin(), c.payload.begin() + long(n));
    uint32_t size = Be32(&c.payload[n]);
    if (size > state_->Font().Capacity())
        return Refuse(kOutOfMemory);
    Succeed();
    std::vector<uint8_t> font;
    font.reserve(size);
    std::vector<uint8_t> buf(kTransferSize);
    try {
        for (uint64_t total = RoundUp512(size), done = 0; done < total;) {
            size_t chunk = size_t(std::min<uint64_t>(kTransferSize, total - done));
            pipe_->Read(buf.data(), chunk);
            size_t data = size_t(std::min<uint64_t>(chunk, size - std::min<uint64_t>(size, done)));
            font.insert(font.end(), buf.begin(), buf.begin() + long(data));
            done += chunk;
        }
    } catch (...) {
        state_->SetFont(name, font);
        throw;
    }
    if (!state_->SetFont(name, std::move(font)))
        log_("  cannot store the font");
}

// Status, the name (no terminator), the size (big-endian), ".".
void Firmware::FontInformation(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    Answer(AnswerBuilder().U8(0).Text(state_->FontName()).U32(uint32_t(state_->Font().Content().size())));
}

void Firmware::FontErase(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    state_->EraseFont() ? Succeed() : Refuse(kInternal);
}

void Firmware::FontUpload(Command &c)
{
    if (!c.payload.empty())
        return Refuse(kInvalidParam);
    std::vector<uint8_t> font = state_->Font().Content();
    Answer(AnswerBuilder().U8(0).U32(uint32_t(font.size())));
    SendData(
        [&](uint64_t offset, uint8_t *buf, size_t len) {
            std::copy(font.begin() + long(offset), font.begin() + long(offset + len), buf);
            return int(kOk);
        },
        font.size());
}

}  // namespace emu
