// The player's firmware as the PC sees it over USB.
//
// The firmware reads one 512-byte command packet at a time from the host
// pipe, looks its target letter and command bytes up in one table of
// handlers (kCommands in firmware.cpp), and answers as the generation it
// plays (see generation.h).  File data, listings, fonts and raw blocks move
// as plain 512-byte blocks around the framed answers, each command in its
// own order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "generation.h"
#include "host_link.h"
#include "packet.h"
#include "player_state.h"

namespace emu {

// Firmware-level fault knobs; may be changed while the player runs.
class FirmwareFaults {
public:
    std::atomic<bool> mute{false};        // read commands, answer nothing
    std::atomic<int> slowMs{0};           // wait this long before every answer
    std::atomic<bool> fullMedium{false};  // report every memory full, refuse new files (25)

    // Flash that fails quietly: every Nth block of file data the host writes
    // (counted over all downloads from now on) is stored with one bit
    // flipped; 0 stores everything as sent.
    void CorruptWrites(uint32_t everyNth);
    // Counts one written block; true when it is to be stored damaged.
    bool TakeCorruptBlock();

    // Flash that loses the end of a file: the Nth file the host sends from
    // now on is stored without the data of its last transfer, and the
    // player says nothing of it; 0 stores every file whole.
    void ShortWrite(uint64_t nth);
    // Counts one file the host sends; true when it is to be stored short.
    bool TakeShortFile();

    // Refuse every command with these command bytes ("W", "GG", "DM", ...)
    // with the given internal error code.
    void Refuse(const std::string &key, int code);
    void ClearRefusals();
    int RefusalFor(const std::string &key) const;  // 0: none

private:
    mutable std::mutex mutex_;
    std::map<std::string, int> refusals_;
    uint32_t corruptEvery_ = 0;  // under mutex_
    uint64_t blocksWritten_ = 0;
    uint64_t shortFile_ = 0;  // under mutex_
    uint64_t filesSent_ = 0;
};

struct FirmwareSettings {
    std::string versionText = "1.43";
    // Whole identification text; empty: the signature, four words and the
    // version text.
    std::string identification;
    // Code-area erase with a progress announcement ("C" 0x03); without it the
    // player answers 0x03 with a plain success and erases on 0x02.
    bool eraseProgress = true;
    // Steps the erase announces; -1: the area's own count (2 boot, 16 application).
    int eraseSteps = -1;
    // Answers (and the padding of the last block of a data phase) carry
    // leftover bytes after their terminator, and byte 1 of answers with a
    // one-byte length is not zero: what a real player's buffer holds.
    bool dirtyAnswers = false;
};

class Firmware {
public:
    using Log = std::function<void(const std::string &)>;
    Firmware(FirmwareSettings settings, PlayerState *state, FirmwareFaults *faults, Log log);

    // Serves commands until the link closes (LinkClosed escapes).
    void Serve(HostPipe &pipe);

    const Generation &Gen() const { return gen_; }
    std::string IdentificationText() const;

    struct Row;  // one line of the command table

private:
    void Handle(const Packet &first);
    bool ReadCommand(const Packet &first, const Row &row, Command *cmd);
    Memory *MemoryOf(uint8_t target);

    // Answers
    void Send(const Packet &p);
    void Answer(const AnswerBuilder &a);
    void Succeed();
    void Refuse(int code);
    void RefuseListing(int code, uint32_t totalBlocks = 0);
    // Bytes that follow an answer as raw 512-byte blocks, the last one padded.
    void SendBlocks(std::vector<uint8_t> bytes);
    // Data phases: host-bound data in transfers of up to 16 KiB, the last
    // one padded to a multiple of 512; host data read the same way.
    void SendData(const std::function<int(uint64_t offset, uint8_t *buf, size_t len)> &fill, uint64_t size);
    bool IndexFrom(const std::vector<uint8_t> &payload, size_t at, int *index) const;

public:
    // Handlers (one per command of the table).
    void Identify(Command &c);
    void MediumInformation(Command &c);
    void ListFiles(Command &c);
    void ListAll(Command &c);
    void CurrentPath(Command &c);
    void ChangeDir(Command &c);
    void MakeDir(Command &c);
    void RemoveDir(Command &c);
    void RenameDir(Command &c);
    void DeleteFile(Command &c);
    void RenameFile83(Command &c);
    void RenameFile(Command &c);
    void Format(Command &c);
    void FormatWithProgress(Command &c);
    void Upload(Command &c);
    void Download83(Command &c);
    void Download(Command &c);
    void Replace(Command &c);
    void RawBlocks(Command &c);
    void SelectRom(Command &c);
    void EraseCode(Command &c);
    void EraseCodeWithProgress(Command &c);
    void WriteCode(Command &c);
    void FontDownload(Command &c);
    void FontInformation(Command &c);
    void FontErase(Command &c);
    void FontUpload(Command &c);

private:
    void List(Command &c, bool withDirectories);
    void StartDownload(Command &c, const std::vector<uint8_t> &entrySet, uint32_t size);
    FlashArea *CodeArea(uint8_t areaByte);

    FirmwareSettings settings_;
    Generation gen_;
    PlayerState *state_;
    FirmwareFaults *faults_;
    Log log_;
    HostPipe *pipe_ = nullptr;
    Memory *memory_ = nullptr;  // memory of the command being served
    uint8_t leftover_ = 0;      // byte 1 of the command being served
    uint32_t dirt_ = 0;         // varies the leftover bytes of dirty answers
};

}  // namespace emu
