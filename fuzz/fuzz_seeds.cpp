// fuzz_seeds: writes a small seed corpus for every fuzz target into
// <dir>/<target>/, made from the formats themselves (answers as a player
// frames them, listings of real entry sets, a recording encoded from a
// tone), so no binary seeds live in the source tree.
//
//   fuzz_seeds <corpus dir>
#include "fake_player.h"
#include "fuzz_util.h"
#include "recordings.h"

#include <sys/stat.h>

#include <cmath>
#include <string>

using namespace zvc450;
using zvc450test::framedAnswer;
using zvc450test::okAnswer;
using zvc450test::refusedAnswer;
using Bytes = std::vector<uint8_t>;

namespace {

std::string g_root;

void seed(const std::string &target, const std::string &name, const Bytes &data)
{
    const std::string dir = g_root + "/" + target;
    ::mkdir(dir.c_str(), 0777);
    fuzzutil::writeFile(dir + "/" + name, data.data(), data.size());
}

Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }

// A narrow (one-byte length) answer as players before 1.30 frame it.
Bytes narrow(Bytes packet)
{
    packet[1] = 0x99;  // garbage in the high byte
    return packet;
}

Bytes entrySet(const char *name, bool forceLong, uint8_t attr, uint16_t cluster, uint32_t size)
{
    std::vector<uint8_t> set;
    if (!encodeNameAt(name, forceLong, FatStamp{0x5A21, 0x6B3C, 0}, &set))
        std::abort();
    uint8_t *s = set.data() + set.size() - kDirEntrySize;
    s[11] = attr;
    putLE16(s + 26, cluster);
    putLE32(s + 28, size);
    return set;
}

void answers()
{
    const std::string sig = "BRIGHTFEN ZVC450 FILE SYSTEM";
    seed("fuzz_answer", "ok", okAnswer({0x00, 0x05}));
    seed("fuzz_answer", "ok-narrow", narrow(okAnswer({0x07})));
    seed("fuzz_answer", "refused", refusedAnswer(25));
    seed("fuzz_answer", "id-143", framedAnswer(sig + " MP3 PLAYER BY BRIGHTFEN 1.43"));
    seed("fuzz_answer", "id-125", framedAnswer(sig + " A B C D"));
    seed("fuzz_answer", "id-120", framedAnswer(sig + " A B C"));
    seed("fuzz_answer", "short", Bytes{'#', 0, 3, ':'});
    Bytes full(kPacketSize, 'x');
    full[0] = '#', full[1] = 0x01, full[2] = 0xFE, full[3] = ':', full[4] = 0;
    seed("fuzz_answer", "full", full);
}

void listings()
{
    const Bytes slots = cat({entrySet("Song number one.mp3", false, 0x20, 3, 4000000),
                             entrySet("README.TXT", false, 0x20, 9, 100),
                             entrySet("Music", true, 0x10, 12, 0),
                             entrySet("VOLUME", false, 0x08, 0, 0),
                             entrySet("A very long name that needs several long entries of its own.mp3", false, 0x20, 20, 5)});
    Bytes deleted = entrySet("Gone.mp3", false, 0x20, 30, 7);
    deleted[0] = 0xE5;
    Bytes all = cat({slots, deleted});
    const unsigned nSlots = unsigned(all.size() / kDirEntrySize);
    all.resize((all.size() + kPacketSize - 1) / kPacketSize * kPacketSize, 0);
    Bytes header = okAnswer({0, 3, uint8_t(nSlots >> 8), uint8_t(nSlots), 0x01, 0x00, 0x00, 0x10});
    // flags: RefreshEx on 1.43 / Refresh on 1.42 / RefreshEx on 1.20
    seed("fuzz_listing", "ex-143", cat({{0x05, 8, 8}, header, all}));
    seed("fuzz_listing", "plain-142", cat({{0x02, 2, 0}, header, all}));
    seed("fuzz_listing", "ex-120-small", cat({{0x01, 1, 1}, header, all}));
    seed("fuzz_listing", "empty", cat({{0x05, 4, 4}, okAnswer({0, 0, 0, 0, 0x01, 0, 0, 0})}));

    // Current path /Music/A long folder name/DATA, then the final answer.
    const Bytes path = cat({entrySet("Music", false, 0x10, 12, 0),
                            entrySet("A long folder name", false, 0x10, 13, 0),
                            entrySet("DATA", false, 0x10, 14, 0)});
    Bytes first = okAnswer(cat({{uint8_t(path.size() >> 8), uint8_t(path.size())}, path}));
    seed("fuzz_current_path", "three", cat({{255, 0}, first, okAnswer()}));
    seed("fuzz_current_path", "three-cut", cat({{12, 1}, first, okAnswer()}));
    seed("fuzz_current_path", "root", cat({{255, 0}, okAnswer({0, 0}), okAnswer()}));
    // A path longer than the first answer: the rest comes in a raw block.
    Bytes deep;
    for (int i = 0; i < 20; ++i)
        deep = cat({deep, entrySet(("Folder " + std::to_string(i)).c_str(), false, 0x10, uint16_t(40 + i), 0)});
    Bytes deepAnswer = framedAnswer(cat({{0, uint8_t(deep.size() >> 8), uint8_t(deep.size())},
                                         Bytes(deep.begin(), deep.begin() + 505)}));
    Bytes rest(deep.begin() + 505, deep.end());
    rest.resize((rest.size() + kPacketSize - 1) / kPacketSize * kPacketSize, 0);
    seed("fuzz_current_path", "deep", cat({{255, 0}, deepAnswer, rest, okAnswer()}));
}

void fontInfo()
{
    Bytes named = okAnswer(cat({text("SYSTEM.FOT"), {0x00, 0x01, 0x11, 0x70}}));
    seed("fuzz_font_info", "wide", cat({{1}, named}));
    seed("fuzz_font_info", "narrow", cat({{0}, narrow(named)}));
    seed("fuzz_font_info", "empty-name", cat({{1}, okAnswer({0, 0, 0x10, 0})}));
    seed("fuzz_font_info", "refused", cat({{1}, refusedAnswer(40)}));
}

void names()
{
    const char *list[] = {"Song 1.mp3", "README", "C:\\Music\\track01.MP3", "/home/u/Müsik/Ünïcode name.wav",
                          "two.dots.in.name.mp3", ".hidden", "日本語のファイル.txt", "a+b,c;d=e[f]g.txt",
                          "name with trailing dot.", "x.y.z.verylongextension"};
    int i = 0;
    for (const char *n : list) {
        seed("fuzz_names", "n" + std::to_string(i), cat({{uint8_t(i & 7)}, text(n)}));
        ++i;
    }
    // Around the longest name the long entries can carry (819 UTF-16 units).
    seed("fuzz_names", "long-819", cat({{0}, text(std::string(815, 'a') + ".txt")}));
    seed("fuzz_names", "long-820", cat({{1}, text(std::string(816, 'b') + ".txt")}));
    // A legacy name, not UTF-8, in code page 850 (flags 2): its first
    // character is 0xE5 there and goes into the short entry as 0x05.
    seed("fuzz_names", "legacy-cp850",
         Bytes{0x02, 0xc3, 0x95, 0x9c, 0x6e, 0xc3, 0x2e, 0xbf, 0xc3, 0x57, 0xd0, 0xd1, 0x9c, 0x82, 0x82, 0x82, 0xe4, 0xdb});
    seed("fuzz_names", "separators", cat({{0}, text("AC\\DC: Live.mp3")}));
}

void recordings()
{
    // BCW: three frames, garbage in front and between, a cut last frame.
    auto frame = [](uint8_t seedByte) {
        Bytes f = {0x7F, 0x7F, 0x7F, 0x7F, 0x10, 0x00, 0x05, 0x00};
        for (int i = 0; i < 252; ++i)
            f.push_back(uint8_t(seedByte * 31 + i * 7));
        return f;
    };
    seed("fuzz_bcw", "three", cat({frame(1), frame(2), frame(3)}));
    seed("fuzz_bcw", "garbage", cat({text("xyz12"), frame(4), text("!!"), frame(5), frame(6), {1, 2}}));
    Bytes cut = frame(7);
    cut.resize(100);
    seed("fuzz_bcw", "cut", cat({frame(8), cut}));
    seed("fuzz_bcw", "empty", {});

    // BVF: a short tone encoded in both modes.
    std::vector<int16_t> pcm(8000 * 3 / 10);
    for (size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = int16_t(8000 * std::sin(double(i) * 2 * M_PI * 440 / 8000) * (i < pcm.size() / 2 ? 1 : 0));
    for (int mode = 0; mode < 2; ++mode) {
        Bytes bvf;
        std::string err;
        if (!emu::demo::EncodeBvf(pcm, mode, mode == 1, &bvf, &err)) {
            std::fprintf(stderr, "fuzz_seeds: %s\n", err.c_str());
            std::exit(1);
        }
        seed("fuzz_bvf", "mode" + std::to_string(mode), bvf);
    }
    seed("fuzz_bvf", "header-only", {0, 0, 0xFF, 0xFB, 0, 0, 0, 0, 0});

    seed("fuzz_intelhex", "app", text(":020000040000FA\n:10200000000102030405060708090A0B0C0D0E0F58\n"
                                      ":04201000DEADBEEF94\n:00000001FF\n"));
    seed("fuzz_intelhex", "boot", text(":10000000FFEEDDCCBBAA99887766554433221100F8\n:00000001FF\r\n\n"));
    seed("fuzz_intelhex", "segment", text(":020000021000EC\n:0400000001020304F2\n:0400000300001000E9\n:00000001FF\n"));
    seed("fuzz_intelhex", "bad-sum", text(":0400000001020304F3\n:00000001FF\n"));
}

// fuzz_command: one group of IN transfers (length, bytes) per command the
// tool sends; see fuzz_command.cpp.
Bytes group(const std::vector<Bytes> &transfers, bool hangUp = false)
{
    Bytes g{uint8_t(transfers.size() | (hangUp ? 0x80 : 0))};
    for (const Bytes &t : transfers)
        g = cat({g, {uint8_t(t.size() >> 8), uint8_t(t.size())}, t});
    return g;
}

// A short slot of its own ("." and "..", which no name encoder makes).
Bytes shortSlot(const char *name11, uint8_t attr, uint16_t cluster)
{
    Bytes s(kDirEntrySize, 0);
    std::memcpy(s.data(), name11, 11);
    s[11] = attr;
    putLE16(s.data() + 26, cluster);
    return s;
}

// A long name (ASCII, at most 13 characters, any of them) in one long-name
// slot in front of its short slot: names no encoder would make.
Bytes rawLongEntry(const std::string &name, const char *name11, uint8_t attr, uint16_t cluster, uint32_t size)
{
    static const int offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    Bytes lfn(kDirEntrySize, 0);
    lfn[0] = 0x41;
    lfn[11] = 0x0F;
    lfn[13] = shortNameChecksum(reinterpret_cast<const uint8_t *>(name11));
    for (int i = 0; i < 13; ++i) {
        const unsigned unit = size_t(i) < name.size() ? uint8_t(name[size_t(i)]) : size_t(i) == name.size() ? 0 : 0xFFFF;
        putLE16(lfn.data() + offsets[i], unit);
    }
    Bytes entry = shortSlot(name11, attr, cluster);
    putLE32(entry.data() + 28, size);
    return cat({lfn, entry});
}

// The header and slot blocks of a listing, as one group.
Bytes listingGroup(const Bytes &slots, unsigned files)
{
    const unsigned n = unsigned(slots.size() / kDirEntrySize);
    std::vector<Bytes> transfers = {okAnswer({0, uint8_t(files >> 8), uint8_t(files), uint8_t(n >> 8), uint8_t(n),
                                              0x01, 0x00, 0x00, 0x10})};
    Bytes blocks = slots;
    blocks.resize((blocks.size() + kPacketSize - 1) / kPacketSize * kPacketSize, 0);
    for (size_t at = 0; at < blocks.size(); at += kPacketSize)
        transfers.emplace_back(blocks.begin() + long(at), blocks.begin() + long(at + kPacketSize));
    return group(transfers);
}

void commands()
{
    enum { kLs, kLsLong, kGet0, kGet01, kGetByName, kGetRaw, kInfo, kFontGet, kFontInfo, kPwd, kCdRoot, kCdUpDown };
    enum { kFw120, kFw125, kFw130, kFw142, kFw143 };
    const Bytes dotProfile = rawLongEntry(".profile", "PROFILE    ", 0x20, 5, 10);
    const Bytes files = cat({entrySet("Song.mp3", false, 0x20, 3, 1000), entrySet("Recording.BCW", false, 0x20, 4, 520),
                             dotProfile});
    const Bytes dirs = entrySet("Music", true, 0x10, 12, 0);
    const Bytes listing = listingGroup(cat({dirs, files}), 3);
    Bytes bcw;
    for (int f = 0; f < 2; ++f)
        bcw = cat({bcw, {0x7F, 0x7F, 0x7F, 0x7F}, Bytes(256, uint8_t(0x11 * (f + 1)))});
    Bytes song(1024, 0x5A);
    Bytes profile(512, 'p');
    auto upload = [](uint32_t size, const Bytes &data) {
        return group({okAnswer({uint8_t(size >> 24), uint8_t(size >> 16), uint8_t(size >> 8), uint8_t(size)}), okAnswer(),
                      data});
    };

    seed("fuzz_command", "ls-143", cat({{kLs, kFw143}, listing}));
    seed("fuzz_command", "ls-long-120", cat({{kLsLong, kFw120}, listingGroup(files, 3)}));
    seed("fuzz_command", "ls-incomplete", cat({{kLs, kFw143}, listingGroup(files, 100)}));
    seed("fuzz_command", "get-0", cat({{kGet0, kFw143}, listing, upload(1000, song)}));
    seed("fuzz_command", "get-0-1-bcw", cat({{kGet01, kFw130}, listing, upload(1000, song), upload(520, bcw)}));
    seed("fuzz_command", "get-name", cat({{kGetByName, kFw143}, listing, upload(1000, song)}));
    seed("fuzz_command", "get-raw", cat({{kGetRaw, kFw142}, listingGroup(files, 3), upload(520, bcw)}));
    seed("fuzz_command", "get-dot", cat({{kGet0, kFw143}, listingGroup(dotProfile, 1), upload(10, profile)}));
    seed("fuzz_command", "get-escape", cat({{kGet0, kFw143}, listingGroup(rawLongEntry("a\x1b]0;x\x07\n.mp3",
                                                                                         "A~1     MP3", 0x20, 6, 10), 1),
                                             upload(10, profile)}));

    const Bytes medium = okAnswer({0, 3, 0, 100, 0, 10, 0, 100, 0, 0, 1, 1, 1, 0, 1, 0, 2, 0, 5, 0, 2, 0, 32, 1, 2,
                                   0, 2});
    seed("fuzz_command", "info", cat({{kInfo, kFw143}, listing, group({medium}), listing, group({medium})}));
    seed("fuzz_command", "info-no-card", cat({{kInfo, kFw143}, listing, group({medium}), group({refusedAnswer(2)})}));

    const Bytes fontInfo = okAnswer(cat({text("SYSTEM.FOT"), {0, 0, 2, 0}}));
    seed("fuzz_command", "font-get", cat({{kFontGet, kFw143}, group({fontInfo}), group({okAnswer(), Bytes(512, 'f')})}));
    seed("fuzz_command", "font-info", cat({{kFontInfo, kFw130}, group({fontInfo})}));

    const Bytes music = entrySet("Music", true, 0x10, 12, 0);
    const Bytes path = okAnswer(cat({{uint8_t(music.size() >> 8), uint8_t(music.size())}, music}));
    seed("fuzz_command", "pwd", cat({{kPwd, kFw143}, group({path, okAnswer()})}));
    const Bytes inMusic = listingGroup(cat({shortSlot(".          ", 0x10, 12), shortSlot("..         ", 0x10, 0),
                                             files}), 3);
    seed("fuzz_command", "cd-root", cat({{kCdRoot, kFw143}, group({path, okAnswer()}), inMusic, group({okAnswer()}),
                                          listing}));
    seed("fuzz_command", "cd-up-down", cat({{kCdUpDown, kFw143}, listing, group({okAnswer()}), inMusic,
                                             group({okAnswer()})}));
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus dir>\n");
        return 2;
    }
    g_root = argv[1];
    ::mkdir(g_root.c_str(), 0777);
    setDeviceCodePage("CP437");
    answers();
    listings();
    fontInfo();
    names();
    recordings();
    commands();
    return 0;
}
