/*
 * BVF speech recordings to PCM WAV: the bit orders against the reference
 * vectors, the file structure, speech encoded by opencore-amr and decoded
 * by it as the reference, failures and damaged files.
 */
#include "amr_order.h"
#include "convert.h"
#include "recording_writer.h"
#include "test_support.h"
#include "zvc450usb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

using namespace convtest;
using zvc450::ConvertStatus;
using zvc450::recording::BvfWriter;
using Frames = std::vector<zvc450::recording::Bytes>;

namespace {

Bytes Hex(const char *text)
{
    Bytes out;
    for (const char *p = text; *p != '\0';) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        out.push_back(static_cast<std::uint8_t>(std::stoi(std::string(p, 2), nullptr, 16)));
        p += 2;
    }
    return out;
}

/* Bits of the bytes, least significant bit of each byte first. */
std::vector<int> LsbFirstBits(const Bytes &b, int first, int count)
{
    std::vector<int> bits;
    for (int i = first; i < first + count; ++i)
        bits.push_back((b[i / 8] >> (i % 8)) & 1);
    return bits;
}

std::vector<int> Group(const std::vector<int> &bits, const std::uint8_t *widths, std::size_t n)
{
    std::vector<int> params;
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; ++i) {
        int v = 0;
        for (int k = 0; k < widths[i]; ++k)
            v = (v << 1) | bits[at++];
        params.push_back(v);
    }
    return params;
}

Bytes ToStorage(const Bytes &bvfFrame, int mode, bool typed)
{
    std::uint8_t storage[zvc450::kMaxStorageFrameBytes];
    const std::size_t n = zvc450::BvfFrameToStorage(bvfFrame.data(), mode, typed, storage);
    return Bytes(storage, storage + n);
}

Bytes Body(const BvfWriter &w)
{
    return Bytes(w.bytes().begin() + 9, w.bytes().end());
}

}  // namespace

/* Frames of opencore-amr's encoder next to the serial bits and parameters
 * that 3GPP's reference encoder gave for them. */
TEST(BvfBitOrder, SpeechFramesMatchReferenceVectors)
{
    const struct {
        int mode;
        const char *storage;
        const char *serial;
        std::vector<int> params;
    } rows[] = {
        {0, "04 9D 5A AA AD D1 AB F7 D7 6C B2 7B 8A", "B9 5A E8 2A EE DF DD AE 44 6B 57 6E",
         {157, 90, 11, 170, 29, 3, 251, 11, 91, 2, 10, 34, 3, 91, 10, 78, 3}},
        {1, "14 5A 37 49 7F 9F 6B FF A3 D3 3F EA C4 A3 BD 80", "AA 57 56 56 84 E7 7F C8 FD D8 F2 ED 9F D4 2F",
         {85, 468, 425, 168, 271, 0, 63, 15, 19, 2, 63, 27, 159, 1, 47, 15, 74, 3, 61}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.mode);
        const Bytes serial = Hex(row.serial);
        const Bytes storage = Hex(row.storage);
        EXPECT_EQ(ToStorage(serial, row.mode, false), storage);

        BvfWriter writer(row.mode, false);
        ASSERT_TRUE(writer.Add(storage));
        EXPECT_EQ(Body(writer), serial);

        const int bits = row.mode == 0 ? zvc450::kMr475Bits : zvc450::kMr59Bits;
        const auto params = row.mode == 0 ? Group(LsbFirstBits(serial, 0, bits), zvc450::kMr475ParamBits, 17)
                                          : Group(LsbFirstBits(serial, 0, bits), zvc450::kMr59ParamBits, 19);
        EXPECT_EQ(params, row.params);

        /* With frame types the same bits start at bit 2 of a type-0 frame. */
        Bytes typed(serial.size() + 1, 0);
        for (int s = 0; s < bits; ++s)
            if ((serial[s / 8] >> (s % 8)) & 1)
                typed[(s + 2) / 8] |= static_cast<std::uint8_t>(1 << ((s + 2) % 8));
        typed.resize(static_cast<std::size_t>(zvc450::BvfFrameBytes(row.mode, true, 0)));
        EXPECT_EQ(ToStorage(typed, row.mode, true), storage);
    }
}

TEST(BvfBitOrder, SidAndNoDataFramesMatchReferenceVectors)
{
    const struct {
        int mode;
        int type;
        const char *paramBits;
        const char *storage;
        std::vector<int> params;
    } rows[] = {
        {0, 1, "64 8B 1F CC 07", "44 26 D1 F8 33 E0", {1, 54, 287, 262, 31}},
        {0, 2, "64 E3 91 DA 07", "44 26 C7 89 5B F0", {1, 54, 120, 299, 31}},
        {1, 1, "64 8B 1F CC 07", "44 26 D1 F8 33 E4", {1, 54, 287, 262, 31}},
        {1, 2, "64 E3 91 DA 07", "44 26 C7 89 5B F4", {1, 54, 120, 299, 31}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.storage);
        const Bytes bits = Hex(row.paramBits);
        EXPECT_EQ(Group(LsbFirstBits(bits, 0, 35), zvc450::kSidParamBits, 5), row.params);
        Bytes frame(6, 0);
        frame[0] = static_cast<std::uint8_t>(row.type);
        for (int s = 0; s < 35; ++s)
            if ((bits[s / 8] >> (s % 8)) & 1)
                frame[(s + 2) / 8] |= static_cast<std::uint8_t>(1 << ((s + 2) % 8));
        EXPECT_EQ(ToStorage(frame, row.mode, true), Hex(row.storage));
    }
    for (std::uint8_t first : {std::uint8_t(0x03), std::uint8_t(0xFF), std::uint8_t(0x7F)})
        EXPECT_EQ(ToStorage(Bytes{first}, 1, true), Bytes{0x7C});
}

namespace {

/* Speech-like test signal: a few harmonics with a moving pitch, then silence. */
std::vector<std::int16_t> Synthetic(int frames, int silentFrames)
{
    std::vector<std::int16_t> pcm;
    for (int i = 0; i < frames * 160; ++i) {
        const double t = i / 8000.0;
        const double f = 120 + 40 * std::sin(2 * M_PI * 0.7 * t);
        const double v = 6000 * std::sin(2 * M_PI * f * t) + 3000 * std::sin(2 * M_PI * 3 * f * t) +
                         1500 * std::sin(2 * M_PI * 7 * f * t);
        pcm.push_back(static_cast<std::int16_t>(v));
    }
    pcm.resize(pcm.size() + static_cast<std::size_t>(silentFrames) * 160, 0);
    return pcm;
}

struct Converted {
    bool ok = false;
    ConvertStatus status;
    bool wavExists = false;
    Bytes wav;
    std::vector<unsigned> positions;
    unsigned total = 0;
};

int Record(unsigned pos, unsigned total, void *user)
{
    auto *c = static_cast<Converted *>(user);
    c->positions.push_back(pos);
    c->total = total;
    return 0;
}

Converted ConvertBytes(const TempDir &dir, const Bytes &bvf)
{
    const std::string src = dir.Path("in.bvf");
    const std::string wav = dir.Path("out.wav");
    WriteBytes(src, bvf);
    std::remove(wav.c_str());
    Converted c;
    c.ok = zvc450::ConvertBvfToWav(src.c_str(), wav.c_str(), &Record, &c, &c.status);
    c.wavExists = Exists(wav);
    if (c.wavExists)
        c.wav = ReadBytes(wav);
    return c;
}

void ExpectPcmWav(const Bytes &wav, std::size_t samples)
{
    ASSERT_EQ(wav.size(), 44 + 2 * samples);
    const std::uint8_t head[36] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                   16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x80, 0x3E, 0, 0, 2, 0, 16, 0};
    EXPECT_EQ(0, std::memcmp(wav.data() + 8, head + 8, 28));
    EXPECT_EQ(0, std::memcmp(wav.data(), "RIFF", 4));
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(0, std::memcmp(wav.data() + 36, "data", 4));
    EXPECT_EQ(Le32(wav, 40), 2 * samples);
}

}  // namespace

/* One row per file layout: the bytes, and the storage frames the WAV must
 * be the decoding of (or the failure it must be). */
struct LayoutCase {
    const char *name;
    Bytes bvf;
    Frames frames;
    bool fails = false;
};

void PrintTo(const LayoutCase &c, std::ostream *os)
{
    *os << c.name;
}

class BvfLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(BvfLayout, DecodesExactlyTheWholeFrames)
{
    const LayoutCase &c = GetParam();
    TempDir dir;
    const Converted out = ConvertBytes(dir, c.bvf);
    if (c.fails) {
        EXPECT_FALSE(out.ok);
        EXPECT_EQ(out.status.error, ZVC450USB_ERR_FORMAT);
        EXPECT_FALSE(out.wavExists);
        return;
    }
    ASSERT_TRUE(out.ok) << out.status.error << " " << out.status.sysError;
    ExpectPcmWav(out.wav, c.frames.size() * 160);
    EXPECT_EQ(PcmSamples(out.wav), zvc450::recording::DecodeAmr(c.frames));
}

namespace {

Bytes Header(int mode, int typed, int b2 = 0xFF, int b3 = 0xFB)
{
    return Bytes{static_cast<std::uint8_t>(mode), static_cast<std::uint8_t>(typed), static_cast<std::uint8_t>(b2),
                 static_cast<std::uint8_t>(b3), 9, 9, 9, 9, 9};
}

Bytes Join(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<LayoutCase> LayoutCases()
{
    const Frames speech = zvc450::recording::EncodeAmr(Synthetic(60, 0), 0, false);
    const Frames first = {speech.begin(), speech.begin() + 15};
    BvfWriter fifteen(0, false);
    for (const auto &f : first)
        fifteen.Add(f);

    BvfWriter fifty(0, false);
    for (int i = 0; i < 50; ++i)
        fifty.Add(speech[i]);

    /* 11 frames whose sync block became two stray bytes. */
    BvfWriter eleven(0, false);
    for (int i = 0; i < 11; ++i)
        eleven.Add(speech[i]);
    Bytes stray = eleven.bytes();
    const std::size_t syncAt = 9 + 10 * 12;
    stray.erase(stray.begin() + syncAt, stray.begin() + syncAt + 7);
    stray.insert(stray.begin() + syncAt, {0x12, 0x34});

    BvfWriter three(0, false);
    for (int i = 0; i < 4; ++i)
        three.Add(speech[i]);
    const Bytes full = three.bytes();
    const Frames threeFrames = {speech.begin(), speech.begin() + 3};

    BvfWriter ten(0, false);
    for (int i = 0; i < 10; ++i)
        ten.Add(speech[i]);
    const Frames tenFrames = {speech.begin(), speech.begin() + 10};
    const Bytes tenCutSync(ten.bytes().begin(), ten.bytes().end() - 4);

    return {
        {"TenFramesSyncBlockFiveFrames", fifteen.bytes(), first},
        {"FiftyFrames", fifty.bytes(), {speech.begin(), speech.begin() + 50}},
        {"NoDataFrameInMode1", Join(Header(1, 1), {0xFF}), {{0x7C}}},
        {"StrayBytesInPlaceOfSyncBlock", stray, {speech.begin(), speech.begin() + 11}},
        {"HeaderOnly", Header(0, 0), {}},
        {"LastFrameCutShort", Bytes(full.begin(), full.end() - 7), threeFrames},
        {"LastFrameOnlyItsFirstByte", Bytes(full.begin(), full.end() - 11), threeFrames},
        {"SyncBlockCutShort", tenCutSync, tenFrames},
        {"WrongSyncWord", Join(Header(0, 0, 0xFF, 0xFA), fifteen.bytes()), {}, true},
        {"ModeByteTwo", Join(Header(2, 0), Body(fifteen)), {}, true},
        {"ModeByteFF", Join(Header(0xFF, 1), Body(fifteen)), {}, true},
        {"HeaderCutShort", Bytes{0, 0, 0xFF, 0xFB, 0, 0}, {}, true},
        {"ThreeBytes", Bytes{0, 0, 0xFF}, {}, true},
        {"EmptyFile", {}, {}, true},
    };
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Cases, BvfLayout, ::testing::ValuesIn(LayoutCases()),
                         [](const auto &test) { return std::string(test.param.name); });

/* Real speech with pauses, encoded by opencore-amr, stored the player's way. */
struct SpeechCase {
    const char *name;
    int mode;
    bool typed;
    bool dtx;
};

void PrintTo(const SpeechCase &c, std::ostream *os)
{
    *os << c.name;
}

class BvfSpeech : public ::testing::TestWithParam<SpeechCase> {
protected:
    static void SetUpTestSuite()
    {
        TempDir dir;
        speech_ = Speech8k(dir, "Voice memo one. Call the office before noon.");
        const std::vector<std::int16_t> more = Speech8k(dir, "Then buy bread.");
        speech_.resize(speech_.size() + 8000 * 3 / 2, 0);  /* a pause for the silence descriptors */
        speech_.insert(speech_.end(), more.begin(), more.end());
    }
    static std::vector<std::int16_t> speech_;
};
std::vector<std::int16_t> BvfSpeech::speech_;

TEST_P(BvfSpeech, DecodesLikeOpencoreOnTheStorageFrames)
{
    const SpeechCase &c = GetParam();
    ASSERT_GT(speech_.size(), 8000u * 3);
    const Frames frames = zvc450::recording::EncodeAmr(speech_, c.mode, c.dtx);
    BvfWriter writer(c.mode, c.typed);
    int types[4] = {};
    for (const auto &f : frames) {
        ASSERT_TRUE(writer.Add(f));
        if (f[0] == 0x44)
            ++types[(f[5] & 0x10) ? 2 : 1];
        else if (f[0] == 0x7C)
            ++types[3];
        else
            ++types[0];
    }
    if (c.dtx) {
        EXPECT_GT(types[1], 0) << "SID_FIRST";
        EXPECT_GT(types[2], 0) << "SID_UPDATE";
        EXPECT_GT(types[3], 0) << "NO_DATA";
    }

    TempDir dir;
    const Converted out = ConvertBytes(dir, writer.bytes());
    ASSERT_TRUE(out.ok);
    ExpectPcmWav(out.wav, frames.size() * 160);
    EXPECT_TRUE(PcmSamples(out.wav) == zvc450::recording::DecodeAmr(frames));

    /* Progress once per frame, rising, ending at the recording's size. */
    EXPECT_EQ(out.positions.size(), frames.size());
    EXPECT_EQ(out.total, writer.bytes().size());
    for (std::size_t i = 1; i < out.positions.size(); ++i)
        ASSERT_LT(out.positions[i - 1], out.positions[i]);
    EXPECT_LE(writer.bytes().size() - out.positions.back(), 7u);

    const std::string wav = dir.Path("speech.wav");
    WriteBytes(wav, out.wav);
    const ToolView v = InspectWithTools(wav);
    EXPECT_EQ(v.soxEncoding, "Signed Integer PCM");
    EXPECT_EQ(v.soxRate, 8000);
    EXPECT_EQ(v.soxChannels, 1);
    EXPECT_EQ(v.soxSamples, static_cast<long>(frames.size() * 160));
    EXPECT_EQ(v.ffCodec, "pcm_s16le");
    EXPECT_EQ(v.ffRate, 8000);
    EXPECT_EQ(v.ffChannels, 1);
    EXPECT_EQ(v.ffSamples, static_cast<long>(frames.size() * 160));
}

INSTANTIATE_TEST_SUITE_P(Modes, BvfSpeech,
                         ::testing::Values(SpeechCase{"Mr475Untyped", 0, false, false},
                                           SpeechCase{"Mr59Untyped", 1, false, false},
                                           SpeechCase{"Mr475TypedSpeechOnly", 0, true, false},
                                           SpeechCase{"Mr475TypedDtx", 0, true, true},
                                           SpeechCase{"Mr59TypedDtx", 1, true, true}),
                         [](const auto &test) { return std::string(test.param.name); });

TEST(BvfTools, HeaderOnlyWavReadBySoxAndFfmpeg)
{
    TempDir dir;
    const Converted out = ConvertBytes(dir, Header(1, 1));
    ASSERT_TRUE(out.ok);
    ASSERT_EQ(out.wav.size(), 44u);
    const std::string wav = dir.Path("empty.wav");
    WriteBytes(wav, out.wav);
    const ToolView v = InspectWithTools(wav);
    EXPECT_EQ(v.soxEncoding, "Signed Integer PCM");
    EXPECT_EQ(v.soxRate, 8000);
    EXPECT_EQ(v.soxSamples, 0);
    EXPECT_EQ(v.ffCodec, "pcm_s16le");
    EXPECT_EQ(v.ffRate, 8000);
    EXPECT_EQ(v.ffChannels, 1);
    EXPECT_EQ(v.ffSamples, 0);
}

namespace {

int CancelAtFifth(unsigned, unsigned, void *user)
{
    return ++*static_cast<int *>(user) >= 5 ? 1 : 0;
}

}  // namespace

TEST(BvfFailure, CancelLeavesNoWav)
{
    TempDir dir;
    BvfWriter writer(1, false);
    for (const auto &f : zvc450::recording::EncodeAmr(Synthetic(30, 0), 1, false))
        writer.Add(f);
    WriteBytes(dir.Path("c.bvf"), writer.bytes());
    int calls = 0;
    ConvertStatus st;
    EXPECT_FALSE(zvc450::ConvertBvfToWav(dir.Path("c.bvf").c_str(), dir.Path("c.wav").c_str(), &CancelAtFifth, &calls,
                                         &st));
    EXPECT_EQ(calls, 5);
    EXPECT_EQ(st.error, ZVS450USB_ERR_USERBREAK);
    EXPECT_FALSE(Exists(dir.Path("c.wav")));
}

/* Every prefix of a recording converts to a prefix of the whole recording's
 * audio: cut frames are dropped, nothing else changes. */
TEST(BvfRobustness, EveryTruncationDecodesAPrefix)
{
    TempDir dir;
    BvfWriter writer(0, true);
    for (const auto &f : zvc450::recording::EncodeAmr(Synthetic(20, 30), 0, true))
        writer.Add(f);
    const Bytes all = writer.bytes();
    const Converted whole = ConvertBytes(dir, all);
    ASSERT_TRUE(whole.ok);
    const std::vector<std::int16_t> full = PcmSamples(whole.wav);
    std::size_t lastSamples = 0;
    for (std::size_t len = 0; len <= all.size(); ++len) {
        const Converted part = ConvertBytes(dir, Bytes(all.begin(), all.begin() + len));
        if (len < 9) {
            EXPECT_FALSE(part.ok);
            EXPECT_FALSE(part.wavExists);
            continue;
        }
        ASSERT_TRUE(part.ok) << len;
        const std::vector<std::int16_t> pcm = PcmSamples(part.wav);
        ASSERT_EQ(Le32(part.wav, 40), pcm.size() * 2);
        ASSERT_LE(pcm.size(), full.size());
        ASSERT_GE(pcm.size(), lastSamples);
        ASSERT_TRUE(std::equal(pcm.begin(), pcm.end(), full.begin())) << len;
        lastSamples = pcm.size();
    }
    EXPECT_EQ(lastSamples, full.size());
}

TEST(BvfRobustness, RandomBytesNeverLeaveABrokenWav)
{
    TempDir dir;
    std::mt19937 rng(450);
    for (int round = 0; round < 60; ++round) {
        const bool header = round % 3 != 0;
        Bytes bvf(rng() % 3000);
        for (auto &b : bvf)
            b = static_cast<std::uint8_t>(rng());
        if (header && bvf.size() >= 9) {
            bvf[0] = static_cast<std::uint8_t>(rng() % 2);
            bvf[2] = 0xFF;
            bvf[3] = 0xFB;
        }
        const bool valid = bvf.size() >= 9 && bvf[0] <= 1 && bvf[2] == 0xFF && bvf[3] == 0xFB;
        const Converted out = ConvertBytes(dir, bvf);
        ASSERT_EQ(out.ok, valid);
        ASSERT_EQ(out.wavExists, valid);
        if (valid) {
            ASSERT_GE(out.wav.size(), 44u);
            ASSERT_EQ((out.wav.size() - 44) % 320, 0u);
            ExpectPcmWav(out.wav, (out.wav.size() - 44) / 2);
        }
    }
}

TEST(BvfStream, DecodesBetweenOpenStreams)
{
    BvfWriter writer(1, true);
    const Frames frames = zvc450::recording::EncodeAmr(Synthetic(12, 0), 1, true);
    for (const auto &f : frames)
        writer.Add(f);
    std::FILE *in = std::tmpfile();
    std::FILE *out = std::tmpfile();
    ASSERT_TRUE(in != nullptr && out != nullptr);
    std::fwrite(writer.bytes().data(), 1, writer.bytes().size(), in);
    ConvertStatus st;
    EXPECT_EQ(zvc450::DecodeBvfStream(in, out, nullptr, nullptr, &st), 0);
    std::fseek(out, 0, SEEK_END);
    EXPECT_EQ(std::ftell(out), static_cast<long>(44 + frames.size() * 320));

    std::FILE *bad = std::tmpfile();
    std::fwrite("\x00\x00\xFF\xFA\x00\x00\x00\x00\x00", 1, 9, bad);
    EXPECT_EQ(zvc450::DecodeBvfStream(bad, out, nullptr, nullptr, &st), -1);
    EXPECT_EQ(st.error, ZVC450USB_ERR_FORMAT);
    std::fclose(in);
    std::fclose(out);
    std::fclose(bad);
}
