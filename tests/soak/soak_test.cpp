// Soak: a long random run of file and directory operations through the
// library's C interface against the emulated player, with faults switched on
// at random - refusals, a player that stops answering (met with short
// time-outs), the link cut in the middle of a transfer, a full player - and
// every step checked against a model of what the player holds.
//
// After each step: the listing of the current directory has exactly the
// model's files (names and sizes) and directories, no local file is left
// half-written, and no step took longer than its time-outs allow.  At the
// end every file is uploaded and compared, and fsck.fat finds both images
// clean.
//
// SOAK_OPS (default 300) and SOAK_SEED (default: from the clock) choose the
// run; the seed is printed so that a failing run can be repeated.  CI runs
// the short seeded version; bench/soak/run the long one.
//
// SOAK_HIDDEN_FOLDERS=1 starts from images that already hold files with
// hidden, system and archive folders between them (made with mtools): the
// player numbers files only, so every file number the library uses must
// step over those folders.  With ZVC450_EMU_DIRTY_ANSWERS=1 the player's
// answers carry leftover bytes after their terminators.

#include "fileops_fixture.h"

#include <dirent.h>
#include <signal.h>

#include <chrono>
#include <cinttypes>
#include <map>
#include <random>
#include <set>

using namespace fileops;

namespace {

constexpr unsigned kTimeoutMs = 5000;      // normal steps
constexpr unsigned kShortTimeoutMs = 300;  // steps with a player that went silent
// No step may take longer than this (a hang is a failure, not a slow pass).
constexpr unsigned kStepAlarmSeconds = 60;

struct Dir {
    std::map<std::string, Bytes> files;  // name as listed -> content
};

struct Memory {
    int index = 0;
    Dir root;
    std::map<std::string, Dir> dirs;  // one level below the root
    std::string cwd;                  // "" at the root
    Dir &Here() { return cwd.empty() ? root : dirs[cwd]; }
};

enum class Fault { None, Refuse, Silent, Cut, Full, Slow };
const char *FaultName(Fault f)
{
    static const char *names[] = {"none", "refuse", "silent", "cut", "full", "slow"};
    return names[int(f)];
}

// Bytes of BCW frames (sync and a 256-byte block each): uploads of
// recordings convert them into WAV files of exactly that many blocks.
Bytes BcwFrames(int frames, uint32_t seed)
{
    Bytes out;
    const Bytes blocks = Pattern(size_t(frames) * 256, seed);
    for (int f = 0; f < frames; ++f) {
        out.insert(out.end(), {0x7F, 0x7F, 0x7F, 0x7F});
        out.insert(out.end(), blocks.begin() + f * 256, blocks.begin() + (f + 1) * 256);
        out[out.size() - 256 + 2] = uint8_t(out[out.size() - 256 + 2] % 89);  // a valid step index
    }
    return out;
}

// Names of files in a local folder.
std::set<std::string> FolderNames(const std::string &dir)
{
    std::set<std::string> names;
    if (DIR *d = opendir(dir.c_str())) {
        while (dirent *e = readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

class Soak {
public:
    Soak(unsigned ops, uint64_t seed) : ops_(ops), rng_(seed)
    {
        setenv("TMPDIR", local_.path().c_str(), 1);  // conversion scratch files land here
        ::mkdir((local_ / "src").c_str(), 0777);
        ::mkdir((local_ / "up").c_str(), 0777);
        session_ = std::make_unique<EmuSession>("1.43", [](emu::EmulatorOptions &o) {
            o.state.internalBytes = 8ull << 20;
            o.state.cardBytes = 2ull << 20;
        });
        ZVC450_SetTimeout(kTimeoutMs, kTimeoutMs);
        mem_[1].index = 1;
    }

    // Files with folders of every attribute between them, put on both
    // images by mtools while the player is unplugged.
    void StartWithHiddenFolders()
    {
        struct Item {
            const char *name;
            const char *attributes;  // mattrib flags; null for a file
        } const items[] = {{"FIRST.MP3", nullptr},   {"Hidden folder", "+h"},     {"Second song.mp3", nullptr},
                           {"SYSTEM", "+s"},         {"Third.txt", nullptr},      {"Archived folder", "+a"},
                           {"Hidden system", "+h +s"}, {"LAST.MP3", nullptr}};
        session_->Restart([&] {
            for (Memory &m : mem_) {
                const std::string image = session_->options.state.folder +
                                          (m.index == 0 ? "/internal.img" : "/card.img");
                uint32_t seed = 1;
                for (const Item &item : items) {
                    std::string out;
                    const std::string device = std::string("'::/") + item.name + "'";
                    if (item.attributes) {
                        ASSERT_EQ(RunTool("mmd -i '" + image + "' " + device, &out), 0) << out;
                        ASSERT_EQ(RunTool("mattrib -i '" + image + "' " + item.attributes + " " + device, &out), 0)
                            << out;
                        m.dirs[item.name];
                        continue;
                    }
                    const Bytes content = Pattern(1000 * seed + seed, seed);
                    const std::string local = local_ / "src/seed";
                    WriteFile(local, content);
                    ASSERT_EQ(RunTool("mcopy -i '" + image + "' '" + local + "' " + device, &out), 0) << out;
                    ::unlink(local.c_str());
                    m.root.files[item.name] = content;
                    ++seed;
                }
            }
        });
    }

    void Run()
    {
        for (step_ = 0; step_ < ops_ && !::testing::Test::HasFatalFailure(); ++step_) {
            const auto started = std::chrono::steady_clock::now();
            alarm(kStepAlarmSeconds);
            OneStep();
            alarm(0);
            const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            longest_ = std::max(longest_, secs);
            // Even a step that met a silent player ends within its time-outs
            // (a few exchanges of the normal ones at most).
            EXPECT_LT(secs, 3.0 * kTimeoutMs / 1000) << Where() << ": took " << secs << " s";
        }
        if (::testing::Test::HasFatalFailure())
            return;
        alarm(kStepAlarmSeconds * 4);
        FinalCheck();
        alarm(0);
        std::printf("soak: %u steps, longest %.2f s; faults:", step_, longest_);
        for (const auto &f : faultCount_)
            std::printf(" %s %d", f.first.c_str(), f.second);
        std::printf("; partial files left by cut downloads: %d\n", partials_);
    }

private:
    size_t Pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng_) : 0; }
    bool Chance(int percent) { return int(Pick(100)) < percent; }
    HZVC450 H() { return session_->h; }
    std::string Where() const { return "step " + std::to_string(step_) + " (" + what_ + ")"; }

    // ---- Connection ------------------------------------------------------------

    void Reconnect()
    {
        session_->emulator->Faults().mute = false;
        session_->emulator->Faults().slowMs = 0;
        session_->emulator->Faults().fullMedium = false;
        session_->emulator->Faults().ClearRefusals();
        session_->emulator->Link().cutAfterBytes = 0;
        session_->Close();
        ZVC450_SetTimeout(kTimeoutMs, kTimeoutMs);
        session_->Open();
        ASSERT_NE(session_->h, nullptr) << Where() << ": the library did not reopen the player";
    }

    // ---- Listing against the model ----------------------------------------------

    bool ListHere(Memory &m, Listing *l)
    {
        if (!List(H(), m.index, l)) {
            ADD_FAILURE() << Where() << ": listing failed with error " << ZVC450_GetError();
            return false;
        }
        return true;
    }

    void CheckListing(Memory &m)
    {
        Listing l;
        if (!ListHere(m, &l))
            return;
        std::map<std::string, uint32_t> listed, expected;
        for (const ZVC450_DIRENTRY &e : l.files)
            listed[NameOf(e)] = e.dwSize;
        for (const auto &f : m.Here().files)
            expected[f.first] = uint32_t(f.second.size());
        ASSERT_EQ(listed, expected) << Where() << " memory " << m.index << " dir '" << m.cwd << "'";
        std::set<std::string> dirs, expectedDirs;
        for (const ZVC450_DIRENTRY &d : l.dirs)
            if (NameOf(d) != "." && NameOf(d) != "..")
                dirs.insert(NameOf(d));
        if (m.cwd.empty())
            for (const auto &d : m.dirs)
                expectedDirs.insert(d.first);
        ASSERT_EQ(dirs, expectedDirs) << Where() << " memory " << m.index;
        char path[260];
        ASSERT_TRUE(ZVC450_GetCurrentDirectory(H(), m.index, path, sizeof path)) << Where();
        ASSERT_EQ(std::string(path), "/" + m.cwd) << Where();
    }

    void CheckLocalFolders()
    {
        // Uploads are checked and removed at once: anything here is a leftover.
        ASSERT_EQ(FolderNames(local_ / "up"), std::set<std::string>()) << Where() << ": partial local file";
        ASSERT_EQ(FolderNames(local_.path()), (std::set<std::string>{"src", "up"}))
            << Where() << ": stray scratch file";
    }

    // ---- Names --------------------------------------------------------------------

    // File names whose 8.3 forms never meet by accident: the number keeps
    // them apart, the pattern decides whether long entries are needed.
    std::string NewFileName()
    {
        const unsigned n = unsigned(Pick(400));
        switch (Pick(4)) {
        case 0: return "TRACK" + std::to_string(n) + ".MP3";
        case 1: return "Song " + std::to_string(n) + " with a long name.mp3";
        case 2: return "Memo " + std::to_string(n) + ".bcw";
        default: return "Ünïcode " + std::to_string(n) + ".txt";
        }
    }

    bool Taken(Memory &m, const std::string &name)
    {
        if (m.Here().files.count(name))
            return true;
        return m.cwd.empty() && m.dirs.count(name);
    }

    // ---- Faults ------------------------------------------------------------------------

    Fault ChooseFault(bool transfer)
    {
        if (!Chance(35))
            return Fault::None;
        switch (Pick(transfer ? 5 : 3)) {
        case 0: return Fault::Refuse;
        case 1: return Fault::Silent;
        case 2: return Fault::Slow;
        case 3: return Fault::Cut;
        default: return Fault::Full;
        }
    }

    // Switches the fault on just before the operation.  Refusals name the
    // command the operation sends.
    void Arm(Fault f, const std::string &key, uint64_t cutAt = 0)
    {
        ++faultCount_[FaultName(f)];
        auto &faults = session_->emulator->Faults();
        switch (f) {
        case Fault::None: break;
        case Fault::Refuse: faults.Refuse(key, refusalCode_ = int(std::vector<int>{12, 16, 20, 27, 31}[Pick(5)])); break;
        case Fault::Silent:
            ZVC450_SetTimeout(kShortTimeoutMs, kShortTimeoutMs);
            faults.mute = true;
            break;
        case Fault::Slow: faults.slowMs = int(20 + Pick(60)); break;
        case Fault::Full: faults.fullMedium = true; break;
        case Fault::Cut:
            // A new connection counts its bytes from zero: the open itself
            // moves two packets.
            session_->Close();
            session_->emulator->Link().cutAfterBytes = 1024 + cutAt;
            session_->Open();
            break;
        }
    }

    // After the operation: the player as it was, in step with the library.
    void Disarm(Fault f)
    {
        if (f == Fault::Silent || f == Fault::Cut)
            Reconnect();
        else {
            session_->emulator->Faults().ClearRefusals();
            session_->emulator->Faults().slowMs = 0;
            session_->emulator->Faults().fullMedium = false;
        }
    }

    // A faulted operation that must have failed, and how.
    void ExpectFailed(Fault f, int ok, bool download = false)
    {
        if (f == Fault::None || f == Fault::Slow)
            return;
        EXPECT_EQ(ok, 0) << Where() << " succeeded despite fault " << FaultName(f);
        const int e = ZVC450_GetError();
        if (f == Fault::Refuse) {
            EXPECT_EQ(e, ZVC450USB_ERR_INTERNAL) << Where();
            EXPECT_EQ(ZVC450_GetInternalError(), refusalCode_) << Where();
        } else if (f == Fault::Silent || f == Fault::Cut) {
            EXPECT_EQ(e, ZVC450USB_ERR_USB) << Where();
        } else if (f == Fault::Full) {
            EXPECT_EQ(e, download ? ZVC450USB_ERR_DISKFULL : ZVC450USB_ERR_INTERNAL) << Where();
        }
    }

    // ---- Steps -------------------------------------------------------------------------

    void OneStep()
    {
        Memory &m = mem_[Pick(4) == 0 ? 1 : 0];
        const size_t roll = Pick(100);
        if (roll < 30)
            Download(m);
        else if (roll < 50)
            Upload(m);
        else if (roll < 60)
            Delete(m);
        else if (roll < 68)
            Rename(m);
        else if (roll < 72)
            Replace(m);
        else if (roll < 80)
            MakeDir(m);
        else if (roll < 92)
            ChangeDir(m);
        else if (roll < 97)
            RemoveDir(m);
        else if (roll < 98)
            Format(m);
        else
            MediumInfo(m);
        if (::testing::Test::HasFatalFailure())
            return;
        CheckListing(m);
        CheckLocalFolders();
    }

    void Download(Memory &m)
    {
        const std::string name = NewFileName();
        Bytes content;
        if (name.compare(0, 5, "Memo ") == 0)
            content = BcwFrames(int(Pick(60)), uint32_t(step_));
        else
            content = Pattern(Chance(10) ? 100000 + Pick(300000) : Pick(40000), uint32_t(step_));
        const std::string src = local_ / ("src/" + name);
        WriteFile(src, content);
        const bool taken = Taken(m, name);
        const Fault f = ChooseFault(true);
        what_ = "download " + name + " (" + std::to_string(content.size()) + " bytes) to memory " +
                std::to_string(m.index) + ", fault " + FaultName(f);
        Arm(f, "W", Pick(content.size() + 1024));
        const int ok = ZVC450_Download(nullptr, H(), m.index, src.c_str());
        const int err = ZVC450_GetError(), internal = ZVC450_GetInternalError();
        const bool cutShort = f == Fault::Cut && !ok;
        Disarm(f);
        ::unlink(src.c_str());
        if (::testing::Test::HasFatalFailure())
            return;
        if (f == Fault::Cut) {
            // The link went down: the player keeps what arrived, and whatever
            // is there must be the start of the file.  No answer follows the
            // data, so a cut after the last write cannot be told from success
            // (the last transfers may still have been on their way).
            if (cutShort) {
                EXPECT_EQ(err, ZVC450USB_ERR_USB) << Where();
            }
            if (!taken)
                AdoptPartial(m, name, content);
            return;
        }
        ExpectFailed(f, ok, true);
        if (f != Fault::None && f != Fault::Slow)
            return;
        if (taken) {
            EXPECT_EQ(ok, 0) << Where() << ": a second file of the same name";
            EXPECT_EQ(internal, ZVC450INT_ERR_FILE_EXIST) << Where();
            return;
        }
        if (!ok) {
            // Only a full player may refuse a new file.
            EXPECT_EQ(err, ZVC450USB_ERR_DISKFULL) << Where() << " internal " << internal;
            ZVC450_SUMMARY s{};
            int zero = 0;
            ASSERT_TRUE(ZVC450_RefreshEx(H(), m.index, &s, nullptr, &zero, nullptr, &zero)) << Where();
            const uint64_t needed = (uint64_t(content.size()) + 16383) / 16384;
            EXPECT_GE(needed + 2, uint64_t(s.dwTotalBlocks - s.dwUsedBlocks)) << Where() << ": refused with room to spare";
            return;
        }
        m.Here().files[name] = content;
    }

    void AdoptPartial(Memory &m, const std::string &name, const Bytes &content)
    {
        Listing l;
        if (!ListHere(m, &l))
            return;
        const int index = l.IndexOf(name);
        if (index < 0)
            return;  // cut before the player took the announcement
        const uint32_t size = l.files[size_t(index)].dwSize;
        ASSERT_LE(size, content.size()) << Where();
        const std::string dest = local_ / "up/partial";
        ASSERT_TRUE(ZVC450_Upload(nullptr, H(), m.index, index, dest.c_str(), nullptr, size, 0))
            << Where() << ": error " << ZVC450_GetError();
        const Bytes got = ReadFile(dest);
        ::unlink(dest.c_str());
        ASSERT_EQ(got.size(), size) << Where();
        ASSERT_TRUE(std::equal(got.begin(), got.end(), content.begin())) << Where() << ": not the start of the file";
        m.Here().files[name] = got;
        ++partials_;
    }

    // A random file of the current directory and its listing index.
    bool PickFile(Memory &m, std::string *name, int *index, ZVC450_DIRENTRY *entry = nullptr)
    {
        if (m.Here().files.empty())
            return false;
        auto it = m.Here().files.begin();
        std::advance(it, long(Pick(m.Here().files.size())));
        *name = it->first;
        Listing l;
        if (!ListHere(m, &l))
            return false;
        *index = l.IndexOf(*name);
        if (*index < 0) {
            ADD_FAILURE() << Where() << ": " << *name << " not listed";
            return false;
        }
        if (entry)
            *entry = l.files[size_t(*index)];
        return true;
    }

    void Upload(Memory &m)
    {
        std::string name;
        int index = 0;
        if (!PickFile(m, &name, &index))
            return;
        const Bytes &content = m.Here().files[name];
        const bool bcw = name.compare(0, 5, "Memo ") == 0 && Chance(50);
        Fault f = ChooseFault(true);
        if (f == Fault::Full)
            f = Fault::None;  // a full player still gives its files back
        what_ = "upload " + name + (bcw ? " as WAV" : "") + " from memory " + std::to_string(m.index) +
                ", fault " + FaultName(f);
        const std::string dest = local_ / (bcw ? "up/back.wav" : "up/back.bin");
        Arm(f, "R", Pick(content.size() + 1024));
        const int ok = ZVC450_Upload(nullptr, H(), m.index, index, dest.c_str(), nullptr, unsigned(content.size()),
                                     bcw ? ZVC450_UPLOAD_BCW2WAV : ZVC450_UPLOAD_COPY);
        const int err = ZVC450_GetError();
        Disarm(f);
        if (::testing::Test::HasFatalFailure())
            return;
        if (!ok) {
            EXPECT_NE(f, Fault::None) << Where() << ": error " << err;
            EXPECT_FALSE(Exists(dest)) << Where() << ": partial local file";
            if (f != Fault::Cut) {
                ExpectFailed(f, ok);
            } else {
                // A link lost before the player's second answer ("the data
                // follows") counts as the player's failure.
                EXPECT_TRUE(err == ZVC450USB_ERR_USB || err == ZVC450USB_ERR_INTERNAL) << Where() << " error " << err;
            }
            ::unlink(dest.c_str());
            return;
        }
        if (f != Fault::Cut)
            ExpectFailed(f, ok);
        const Bytes got = ReadFile(dest);
        ::unlink(dest.c_str());
        if (bcw) {
            ASSERT_GE(got.size(), 48u) << Where();
            const uint32_t dataLen = uint32_t(got[44] | got[45] << 8 | got[46] << 16 | uint32_t(got[47]) << 24);
            EXPECT_EQ(dataLen, content.size() / 260 * 256) << Where();
        } else {
            ASSERT_EQ(got.size(), content.size()) << Where();
            ASSERT_TRUE(got == content) << Where() << ": the bytes differ";
        }
    }

    void Delete(Memory &m)
    {
        std::string name;
        int index = 0;
        if (!PickFile(m, &name, &index))
            return;
        const Fault f = ChooseFault(false);
        what_ = "delete " + name + ", fault " + FaultName(f);
        Arm(f, "E");
        const int ok = ZVC450_Delete(nullptr, H(), m.index, index, name.c_str());
        const int err = ZVC450_GetError();
        Disarm(f);
        ExpectFailed(f, ok);
        if (f == Fault::None || f == Fault::Slow) {
            EXPECT_TRUE(ok) << Where() << ": error " << err;
            if (ok)
                m.Here().files.erase(name);
        }
    }

    void Rename(Memory &m)
    {
        std::string name;
        int index = 0;
        ZVC450_DIRENTRY entry{};
        if (!PickFile(m, &name, &index, &entry))
            return;
        std::string to = NewFileName();
        // A recording stays a recording (its content is made of frames).
        if ((name.compare(0, 5, "Memo ") == 0) != (to.compare(0, 5, "Memo ") == 0))
            to = name.compare(0, 5, "Memo ") == 0 ? "Memo " + std::to_string(400 + Pick(400)) + ".bcw"
                                                : "TRACK" + std::to_string(400 + Pick(400)) + ".MP3";
        const bool taken = Taken(m, to);
        const Fault f = ChooseFault(false);
        what_ = "rename " + name + " to " + to + ", fault " + FaultName(f);
        Arm(f, "N");
        const int ok = ZVC450_Rename(H(), m.index, index, to.c_str(), &entry);
        const int err = ZVC450_GetError();
        Disarm(f);
        ExpectFailed(f, ok);
        if (f != Fault::None && f != Fault::Slow)
            return;
        if (taken) {
            EXPECT_FALSE(ok) << Where() << ": renamed onto an existing name";
            return;
        }
        EXPECT_TRUE(ok) << Where() << ": error " << err;
        if (ok) {
            Bytes content = std::move(m.Here().files[name]);
            m.Here().files.erase(name);
            m.Here().files[to] = std::move(content);
        }
    }

    void Replace(Memory &m)
    {
        if (m.Here().files.size() < 2)
            return;
        const int a = int(Pick(m.Here().files.size())), b = int(Pick(m.Here().files.size()));
        const Fault f = ChooseFault(false);
        what_ = "replace " + std::to_string(a) + " " + std::to_string(b) + ", fault " + FaultName(f);
        Arm(f, "P");
        const int ok = ZVC450_Replace(H(), m.index, a, b);
        const int err = ZVC450_GetError();
        Disarm(f);
        ExpectFailed(f, ok);
        if (f == Fault::None || f == Fault::Slow) {
            EXPECT_TRUE(ok) << Where() << ": error " << err;
        }
    }

    void MakeDir(Memory &m)
    {
        if (!m.cwd.empty())
            return;
        static const char *pool[] = {"Music", "Voice memos", "DATA", "Podcasts and talks", "Ölmusik"};
        const std::string name = pool[Pick(5)];
        const bool taken = Taken(m, name);
        const Fault f = ChooseFault(false);
        what_ = "make directory " + name + ", fault " + FaultName(f);
        Arm(f, "DM");
        const int ok = ZVC450_MakeDirectory(H(), m.index, name.c_str());
        const int err = ZVC450_GetError();
        Disarm(f);
        ExpectFailed(f, ok);
        if (f != Fault::None && f != Fault::Slow)
            return;
        if (taken) {
            EXPECT_FALSE(ok) << Where();
            return;
        }
        if (!ok) {
            // Only a full player may refuse it.
            EXPECT_EQ(ZVC450_GetInternalError(), ZVC450INT_ERR_OUT_OF_MEMORY) << Where() << ": error " << err;
            return;
        }
        m.dirs[name];
    }

    bool DirKey(Memory &m, const std::string &name, unsigned *key)
    {
        Listing l;
        if (!ListHere(m, &l))
            return false;
        const ZVC450_DIRENTRY *d = l.Dir(name);
        if (!d) {
            ADD_FAILURE() << Where() << ": no directory " << name;
            return false;
        }
        *key = d->dwFirstCluster & 0xFFFF;
        return true;
    }

    void ChangeDir(Memory &m)
    {
        std::string target;
        if (!m.cwd.empty())
            target = "..";
        else if (!m.dirs.empty()) {
            auto it = m.dirs.begin();
            std::advance(it, long(Pick(m.dirs.size())));
            target = it->first;
        } else {
            return;
        }
        unsigned key = 0;
        if (!DirKey(m, target, &key))
            return;
        const Fault f = ChooseFault(false);
        what_ = "change directory to " + target + ", fault " + FaultName(f);
        Arm(f, "DC");
        const int ok = ZVC450_ChangeDirectory(H(), m.index, key);
        const int err = ZVC450_GetError();
        Disarm(f);
        ExpectFailed(f, ok);
        if (f != Fault::None && f != Fault::Slow)
            return;
        EXPECT_TRUE(ok) << Where() << ": error " << err;
        if (ok)
            m.cwd = target == ".." ? "" : target;
    }

    void RemoveDir(Memory &m)
    {
        if (!m.cwd.empty() || m.dirs.empty())
            return;
        auto it = m.dirs.begin();
        std::advance(it, long(Pick(m.dirs.size())));
        const std::string name = it->first;
        unsigned key = 0;
        if (!DirKey(m, name, &key))
            return;
        const bool empty = it->second.files.empty();
        const Fault f = ChooseFault(false);
        what_ = "remove directory " + name + (empty ? "" : " (not empty)") + ", fault " + FaultName(f);
        Arm(f, "DR");
        const int ok = ZVC450_RemoveDirectory(H(), m.index, key);
        const int internal = ZVC450_GetInternalError();
        Disarm(f);
        ExpectFailed(f, ok);
        if (f != Fault::None && f != Fault::Slow)
            return;
        if (!empty) {
            EXPECT_FALSE(ok) << Where();
            EXPECT_EQ(internal, ZVC450INT_ERR_NOT_PERMITTED) << Where();
            return;
        }
        EXPECT_TRUE(ok) << Where() << ": internal " << internal;
        if (ok)
            m.dirs.erase(name);
    }

    void Format(Memory &m)
    {
        what_ = "format memory " + std::to_string(m.index);
        ASSERT_TRUE(ZVC450_Format(nullptr, H(), m.index)) << Where() << ": error " << ZVC450_GetError();
        m.root.files.clear();
        m.dirs.clear();
        m.cwd.clear();
    }

    void MediumInfo(Memory &m)
    {
        what_ = "medium information of memory " + std::to_string(m.index);
        ZVC450_MEDIUMINFO info{};
        ASSERT_TRUE(ZVC450_GetMediumInfo(H(), m.index, &info)) << Where();
        EXPECT_LE(info.wUsedBlockCount, info.wTotalBlockCount) << Where();
    }

    // ---- The end -----------------------------------------------------------------------

    void CheckAllContent(Memory &m)
    {
        // Back to the root, then every directory in turn.
        if (!m.cwd.empty()) {
            unsigned key = 0;
            ASSERT_TRUE(DirKey(m, "..", &key));
            ASSERT_TRUE(ZVC450_ChangeDirectory(H(), m.index, key));
            m.cwd.clear();
        }
        std::vector<std::string> order{""};
        for (const auto &d : m.dirs)
            order.push_back(d.first);
        for (const std::string &dir : order) {
            if (!dir.empty()) {
                unsigned key = 0;
                ASSERT_TRUE(DirKey(m, dir, &key));
                ASSERT_TRUE(ZVC450_ChangeDirectory(H(), m.index, key));
                m.cwd = dir;
            }
            CheckListing(m);
            Listing l;
            ASSERT_TRUE(ListHere(m, &l));
            for (const auto &f : m.Here().files) {
                const std::string dest = local_ / "up/final";
                const int index = l.IndexOf(f.first);
                ASSERT_GE(index, 0) << f.first;
                ASSERT_TRUE(ZVC450_Upload(nullptr, H(), m.index, index, dest.c_str(), nullptr,
                                          unsigned(f.second.size()), 0))
                    << "final upload of " << f.first;
                EXPECT_TRUE(ReadFile(dest) == f.second) << "final content of " << dir << "/" << f.first;
                ::unlink(dest.c_str());
            }
            if (!dir.empty()) {
                unsigned key = 0;
                ASSERT_TRUE(DirKey(m, "..", &key));
                ASSERT_TRUE(ZVC450_ChangeDirectory(H(), m.index, key));
                m.cwd.clear();
            }
        }
    }

    void FinalCheck()
    {
        what_ = "final check";
        for (Memory &m : mem_) {
            CheckAllContent(m);
            if (::testing::Test::HasFatalFailure())
                return;
        }
        const std::string folder = session_->options.state.folder;
        session_->Close();
        session_->emulator.reset();  // the images are complete once the player stopped
        for (const char *image : {"internal.img", "card.img"}) {
            std::string out;
            EXPECT_EQ(RunTool("fsck.fat -n '" + folder + "/" + image + "'", &out), 0) << image << ":\n" << out;
        }
    }

    unsigned ops_;
    std::mt19937_64 rng_;
    TempDir local_;
    std::unique_ptr<EmuSession> session_;
    Memory mem_[2];
    unsigned step_ = 0;
    std::string what_;
    int refusalCode_ = 0;
    double longest_ = 0;
    std::map<std::string, int> faultCount_;
    int partials_ = 0;
};

uint64_t EnvNumber(const char *name, uint64_t fallback)
{
    const char *v = std::getenv(name);
    return v && *v ? std::strtoull(v, nullptr, 0) : fallback;
}

}  // namespace

TEST(Soak, RandomOperationsWithFaults)
{
    const unsigned ops = unsigned(EnvNumber("SOAK_OPS", 300));
    const uint64_t seed =
        EnvNumber("SOAK_SEED", uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()));
    std::printf("soak: %u operations, seed %" PRIu64 " (repeat with SOAK_SEED=%" PRIu64 ")\n", ops, seed, seed);
    std::fflush(stdout);
    Soak soak(ops, seed);
    if (EnvNumber("SOAK_HIDDEN_FOLDERS", 0))
        soak.StartWithHiddenFolders();
    if (::testing::Test::HasFatalFailure())
        return;
    soak.Run();
}
