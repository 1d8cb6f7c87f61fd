// hostile_player.cpp - the scripted player of the hostile-player tests.

#include "hostile_player.h"

#include <algorithm>

namespace hostile {
namespace {

constexpr size_t kPacket = 512;
constexpr size_t kSlot = 32;
constexpr size_t kTransfer = 16384;
constexpr uint8_t kAttrLongName = 0x0F;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kNotImplemented = 38;
// Offsets of the 13 UTF-16 characters of a long-name slot.
constexpr int kLongCharOffsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

// UTF-8 to UTF-16 code units; a byte that starts no valid sequence stands
// for itself (as Latin-1).
std::vector<uint16_t> Utf16(const std::string &s)
{
    std::vector<uint16_t> units;
    for (size_t i = 0; i < s.size();) {
        const auto b = uint8_t(s[i]);
        uint32_t cp = b;
        size_t len = 1;
        if (b >= 0xC0 && b < 0xE0 && i + 1 < s.size()) {
            cp = uint32_t(b & 0x1F) << 6 | (uint8_t(s[i + 1]) & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b < 0xF0 && i + 2 < s.size()) {
            cp = uint32_t(b & 0x0F) << 12 | uint32_t(uint8_t(s[i + 1]) & 0x3F) << 6 | (uint8_t(s[i + 2]) & 0x3F);
            len = 3;
        }
        units.push_back(uint16_t(cp));
        i += len;
    }
    return units;
}

uint8_t Checksum(const std::string &shortName)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i)
        sum = uint8_t(((sum & 1) << 7) + (sum >> 1) + uint8_t(i < shortName.size() ? shortName[i] : ' '));
    return sum;
}

void PutLe16(uint8_t *p, unsigned v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

Data Be16(unsigned v) { return Data{uint8_t(v >> 8), uint8_t(v)}; }

Data Be32(uint32_t v) { return Data{uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }

Data Cat(Data a, const Data &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

unsigned VersionNumber(const std::string &text)
{
    unsigned major = 0, minor = 0, weight = 0x1000;
    size_t i = 0;
    for (; i < text.size() && text[i] != '.'; ++i)
        major = major * 16 + unsigned(text[i] - '0');
    for (++i; i < text.size() && weight; ++i, weight /= 16)
        minor += unsigned(text[i] - '0') * weight;
    return major << 16 | minor;
}

// Sends data as the player sends file data: transfers of up to 16 KiB, the
// last one padded to a multiple of 512 bytes.
void SendFileData(Link &link, const Data &data)
{
    for (size_t at = 0; at < data.size(); at += kTransfer) {
        Data chunk(data.begin() + long(at), data.begin() + long(std::min(data.size(), at + kTransfer)));
        chunk.resize((chunk.size() + kPacket - 1) / kPacket * kPacket, 0);
        if (!link.in(chunk))
            return;
    }
}

}  // namespace

Data EntrySlots(const SlotEntry &entry)
{
    std::string shortName = entry.shortName;
    shortName.resize(11, ' ');
    Data out;
    if (!entry.longName.empty()) {
        std::vector<uint16_t> units = Utf16(entry.longName);
        const size_t parts = (units.size() + 12) / 13;
        if (units.size() % 13 != 0)
            units.push_back(0);
        units.resize(parts * 13, 0xFFFF);
        for (size_t part = parts; part >= 1; --part) {
            uint8_t slot[kSlot] = {};
            slot[0] = uint8_t(part | (part == parts ? 0x40 : 0));
            slot[11] = kAttrLongName;
            slot[13] = Checksum(shortName);
            for (int c = 0; c < 13; ++c)
                PutLe16(slot + kLongCharOffsets[c], units[(part - 1) * 13 + size_t(c)]);
            out.insert(out.end(), slot, slot + kSlot);
        }
    }
    uint8_t slot[kSlot] = {};
    std::copy(shortName.begin(), shortName.end(), slot);
    slot[11] = entry.attribute;
    PutLe16(slot + 24, 0x5A21);  // 2025-01-01
    PutLe16(slot + 26, entry.cluster);
    const auto size = uint32_t(entry.content.size());
    slot[28] = uint8_t(size);
    slot[29] = uint8_t(size >> 8);
    slot[30] = uint8_t(size >> 16);
    slot[31] = uint8_t(size >> 24);
    out.insert(out.end(), slot, slot + kSlot);
    return out;
}

Data Ok(const Data &fields) { return zvc450test::okAnswer(fields); }

HostilePlayer::HostilePlayer(const std::string &version) : firmware_(VersionNumber(version))
{
    // What each generation says to "Y": the 1.20 players stop after three
    // words, the 1.25 players after four, later ones name their version.
    identification = "BRIGHTFEN ZVC450 FILE SYSTEM USB AUDIO PLAYER";
    if (firmware_ >= 0x12500)
        identification += " FIRMWARE";
    if (firmware_ > 0x12500)
        identification += " " + version;
    fake_.setHook([this](const zvc450test::FakePlayer::Message &m, Link &link) { return Handle(m, link); });
}

void HostilePlayer::On(const std::string &key, Action action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    actions_[key] = std::move(action);
}

void HostilePlayer::OnAbort(std::function<void(Link &)> action)
{
    std::lock_guard<std::mutex> lock(mutex_);
    abort_ = std::move(action);
}

std::vector<Data> HostilePlayer::Commands(const std::string &key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<Data> found;
    for (const auto &c : commands_)
        if (c.first.compare(0, key.size(), key) == 0)
            found.push_back(c.second);
    return found;
}

int HostilePlayer::Aborts()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return aborts_;
}

std::string HostilePlayer::KeyOf(const Data &packet)
{
    if (packet.size() < 6 || packet[0] != '#' || packet[3] != ':')
        return std::string();  // not a command: data
    if (packet[4] == 'Y')
        return "Y";
    // The letter and up to two command bytes, as far as the terminator.
    std::string key(1, char(packet[4]));
    for (size_t i = 5; i < 7 && packet[i] != '.'; ++i)
        key += char(packet[i]);
    return key;
}

bool HostilePlayer::Handle(const zvc450test::FakePlayer::Message &m, Link &link)
{
    if (m.type == 'C') {
        std::function<void(Link &)> action;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++aborts_;
            action = abort_;
        }
        if (action)
            action(link);
        else
            link.send('A', {});
        return true;
    }
    if (m.type != 'O' || m.body.empty())
        return true;
    const Data packet(m.body.begin() + 1, m.body.end());
    if (pendingBlocks_ > 0) {
        // A block of a firmware write; the outcome comes after the last one.
        if (--pendingBlocks_ == 0)
            link.in(Ok());
        return true;
    }
    const std::string key = KeyOf(packet);
    if (key.empty())
        return true;  // data of a download: taken in silence
    Action action;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.emplace_back(key, packet);
        size_t best = 0;
        for (const auto &a : actions_)
            if (a.first.size() > best && key.compare(0, a.first.size(), a.first) == 0) {
                best = a.first.size();
                action = a.second;
            }
    }
    if (action)
        action(packet, link);
    else
        Default(key, packet, link);
    return true;
}

void HostilePlayer::AnswerListing(Link &link, bool withDirs)
{
    Data slots;
    if (withDirs) {
        if (!path.empty()) {
            slots = Cat(slots, EntrySlots({"", ".", kAttrDirectory, path.back().cluster, {}}));
            const uint16_t parent = path.size() > 1 ? path[path.size() - 2].cluster : 0;
            slots = Cat(slots, EntrySlots({"", "..", kAttrDirectory, parent, {}}));
        }
        for (const SlotEntry &d : dirs)
            slots = Cat(slots, EntrySlots(d));
    }
    for (const SlotEntry &f : files)
        slots = Cat(slots, EntrySlots(f));
    const unsigned count = headerFileCount >= 0 ? unsigned(headerFileCount) : unsigned(files.size());
    const unsigned slotCount = unsigned(slots.size() / kSlot);
    slots.resize((slots.size() + kPacket - 1) / kPacket * kPacket, 0);
    if (!link.in(Ok(Cat(Cat(Cat(Cat(Data{0}, Be16(count)), Be16(slotCount)), Be16(totalBlocks)), Be16(usedBlocks)))))
        return;
    for (size_t at = 0; at < slots.size(); at += kPacket)
        if (!link.in(Data(slots.begin() + long(at), slots.begin() + long(at + kPacket))))
            return;
}

void HostilePlayer::AnswerUpload(const Data &packet, Link &link)
{
    const size_t index = firmware_ >= 0x13000 ? size_t(packet[6] << 8 | packet[7]) : packet[6];
    if (index >= files.size()) {
        link.in(zvc450test::refusedAnswer(1));
        return;
    }
    const Data &data = files[index].content;
    if (link.in(Ok(Be32(uint32_t(data.size())))) && link.in(Ok()))
        SendFileData(link, data);
}

void HostilePlayer::Default(const std::string &key, const Data &packet, Link &link)
{
    // Keys hold up to two command bytes, so one-byte commands carry the
    // first payload byte too: compare beginnings, longer keys first.
    const auto is = [&key](const char *k) { return key.compare(0, std::char_traits<char>::length(k), k) == 0; };
    if (key == "Y") {
        link.in(zvc450test::framedAnswer(identification));
    } else if (is("MGG") || is("SGG")) {
        AnswerListing(link, true);
    } else if (is("MG") || is("SG")) {
        AnswerListing(link, false);
    } else if (is("MDG")) {
        Data bytes;
        for (const SlotEntry &c : path)
            bytes = Cat(bytes, EntrySlots(c));
        const size_t first = std::min(bytes.size(), kPacket - 7);
        link.in(Ok(Cat(Be16(unsigned(bytes.size())), Data(bytes.begin(), bytes.begin() + long(first)))));
        Data rest(bytes.begin() + long(first), bytes.end());
        rest.resize((rest.size() + kPacket - 1) / kPacket * kPacket, 0);
        for (size_t at = 0; at < rest.size(); at += kPacket)
            link.in(Data(rest.begin() + long(at), rest.begin() + long(at + kPacket)));
        link.in(Ok());
    } else if (is("MDC")) {
        link.in(Ok());
    } else if (is("MR")) {
        AnswerUpload(packet, link);
    } else if (is("MI") || is("SI")) {
        Data info = Cat(Cat(Cat(Be16(unsigned(files.size())), Be16(totalBlocks)), Be16(usedBlocks)), Be16(totalBlocks));
        info = Cat(Cat(info, Be16(0)), Data{1, 1, 1});
        info = Cat(Cat(Cat(Cat(info, Be16(1)), Be16(2)), Be16(5)), Data{0});
        info = Cat(Cat(Cat(info, Be16(512)), Data{32, 1}), Cat(Be16(512), Data{2}));
        link.in(Ok(info));
    } else if (is("UV")) {
        link.in(Ok(Cat(Data(fontName.begin(), fontName.end()), Be32(uint32_t(font.size())))));
    } else if (is("UR")) {
        if (link.in(Ok()))
            SendFileData(link, font);
    } else if (is("MFD") || is("MLD")) {
        for (uint8_t percent : {uint8_t{0}, uint8_t{25}, uint8_t{50}, uint8_t{75}, uint8_t{99}})
            link.in(Ok({percent}));
        link.in(Ok());
    } else if (is("MF") || is("ML") || is("GO") || is("UE")) {
        link.in(Ok());
    } else if (is("C\x03")) {
        const unsigned steps = 4;
        link.in(Ok(Cat(Data{0}, Be16(steps))));
        for (unsigned s = 0; s < steps; ++s)
            link.in(Ok(Cat(Data{0}, Be16(s))));
        link.in(Ok());
    } else if (is("C\x01")) {
        // The blocks follow as data; the outcome answer is due after them.
        pendingBlocks_ = unsigned(packet[7] << 8 | packet[8]);
        link.in(Ok());
    } else {
        link.in(zvc450test::refusedAnswer(kNotImplemented));
    }
}

}  // namespace hostile
