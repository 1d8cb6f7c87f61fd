// hostile_player.h - a scripted player on the virtual link that says what a
// test wants it to say.
//
// It speaks enough of the protocol for the tool's commands - identification,
// listings, the current path, directory changes, file and font uploads,
// medium and font information, format, firmware - from a model the test
// fills in before it runs the tool, and any command's answer can be replaced
// by a test's own action: names with control characters, counts that lie,
// answers that never end, floods of messages that are no answers at all.
// The real zvc450 executable talks to it as to any player.
#pragma once

#include "fake_player.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace hostile {

using Data = zvc450test::Bytes;
using Link = zvc450test::FakePlayer::Link;

// A directory entry of a listing (or a component of the current path).
struct SlotEntry {
    std::string longName;    // UTF-8, any characters at all; empty: no long-name slots
    std::string shortName;   // the 11 bytes of the short slot, "NAME    EXT"
    uint8_t attribute = 0x20;
    uint16_t cluster = 0;    // also the directory key
    Data content;           // what an upload of the file sends
};

// The FAT slots of an entry: long-name slots (last part first), then the
// short slot.  No check of any kind: that is the point.
Data EntrySlots(const SlotEntry &entry);

// A status-0 answer with the given fields after the status byte.
Data Ok(const Data &fields = {});

class HostilePlayer {
public:
    // An action replaces the player's answer to one command; `packet` is the
    // 512-byte command packet.
    using Action = std::function<void(const Data &packet, Link &link)>;

    // A player of firmware `version` ("1.43", "1.20", ...).
    explicit HostilePlayer(const std::string &version = "1.43");

    const std::string &socket() const { return fake_.path(); }

    // The model; set it before the tool runs.
    std::string identification;   // the answer to "Y"
    std::vector<SlotEntry> files;
    std::vector<SlotEntry> dirs;  // listed after "." and ".." (those only below the root)
    std::vector<SlotEntry> path;  // components of the current path, root first
    int headerFileCount = -1;     // the count the listing header claims; -1: the real one
    uint16_t totalBlocks = 256, usedBlocks = 16;
    std::string fontName = "FONT.FOT";
    Data font = Data(1000, 0x42);

    // Replaces the answer to every command whose target letter and command
    // bytes begin with `key` ("MGG", "MR", "UV", "MFD", "C\x03", "Y"); the
    // longest key wins.
    void On(const std::string &key, Action action);
    // Replaces what the player does on the abort request (default: it stops
    // and acknowledges at once).
    void OnAbort(std::function<void(Link &link)> action);

    // Packets the tool sent whose key begins with `key`, in order.
    std::vector<Data> Commands(const std::string &key);
    int Aborts();

    // The default answers, for actions that add to them.
    void AnswerListing(Link &link, bool withDirs);
    void AnswerUpload(const Data &packet, Link &link);

private:
    static std::string KeyOf(const Data &packet);
    bool Handle(const zvc450test::FakePlayer::Message &m, Link &link);
    void Default(const std::string &key, const Data &packet, Link &link);

    std::mutex mutex_;
    std::map<std::string, Action> actions_;
    std::function<void(Link &)> abort_;
    std::vector<std::pair<std::string, Data>> commands_;
    int aborts_ = 0;
    unsigned pendingBlocks_ = 0;  // blocks of a firmware write still to come (player's thread only)
    unsigned firmware_;
    zvc450test::FakePlayer fake_;  // last: its thread stops before the model goes
};

}  // namespace hostile
