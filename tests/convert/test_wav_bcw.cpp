/*
 * BCW ADPCM recordings to IMA ADPCM WAV: layout, frame scan, real speech
 * encoded by sox, failures.
 */
#include "convert.h"
#include "wav.h"
#include "recording_writer.h"
#include "test_support.h"
#include "wav.h"
#include "zvc450usb.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>
#include <unistd.h>

using namespace convtest;
using zvc450::ConvertStatus;

namespace {

/* A recognisable 256-byte block that decoders accept (its header's step
 * index is at most 88); it never holds a 0x7F byte. */
Bytes Block(int n)
{
    Bytes b(256);
    for (int i = 0; i < 256; ++i) {
        b[i] = static_cast<std::uint8_t>(n * 37 + i * 11 + 1);
        if (b[i] == 0x7F)
            b[i] = 0x7E;
    }
    b[2] = static_cast<std::uint8_t>(n % 89);
    b[3] = 0;
    return b;
}

Bytes Frame(int n)
{
    Bytes out;
    zvc450::recording::AppendBcwFrame(out, Block(n).data());
    return out;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes &p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Garbage(std::size_t n, std::uint8_t fill = 0x33)
{
    return Bytes(n, fill);
}

/* The ADPCM data chunk of one of our WAVs, after checking the layout around it. */
Bytes AdpcmData(const Bytes &wav)
{
    EXPECT_GE(wav.size(), 72u);
    if (wav.size() < 72)
        return {};
    const std::uint32_t dataBytes = Le32(wav, 44);
    EXPECT_EQ(wav.size(), 72u + dataBytes);
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(dataBytes % 256, 0u);
    EXPECT_EQ(Le32(wav, 56 + dataBytes), dataBytes / 256 * 505);
    return Bytes(wav.begin() + 48, wav.begin() + 48 + dataBytes);
}

struct Progress {
    std::vector<unsigned> positions;
    unsigned total = 0;
    std::size_t cancelAtCall = 0;  /* 0: never */
    static int Callback(unsigned pos, unsigned total, void *user)
    {
        auto *self = static_cast<Progress *>(user);
        self->positions.push_back(pos);
        self->total = total;
        return self->cancelAtCall != 0 && self->positions.size() >= self->cancelAtCall ? 1 : 0;
    }
};

}  // namespace

TEST(WavLayout, AdpcmHeaderAndTrailerByteForByte)
{
    TempDir dir;
    Bytes bcw;
    for (int i = 0; i < 10; ++i)
        bcw = Cat({bcw, Frame(i)});
    WriteBytes(dir.Path("ten.bcw"), bcw);
    ASSERT_TRUE(zvc450::ConvertBcwToWav(dir.Path("ten.bcw").c_str(), dir.Path("ten.wav").c_str(), nullptr, nullptr));
    const Bytes wav = ReadBytes(dir.Path("ten.wav"));
    const std::uint8_t head[48] = {
        'R', 'I', 'F', 'F', 0x40, 0x0A, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        0x14, 0x00, 0x00, 0x00, 0x11, 0x00, 0x01, 0x00, 0x40, 0x1F, 0x00, 0x00, 0xA0, 0x0F, 0x00, 0x00,
        0x00, 0x01, 0x04, 0x00, 0x02, 0x00, 0xF9, 0x01, 'd', 'a', 't', 'a', 0x00, 0x0A, 0x00, 0x00};
    const std::uint8_t tail[24] = {'f', 'a', 'c', 't', 0x04, 0x00, 0x00, 0x00, 0xBA, 0x13, 0x00, 0x00,
                                   'L', 'I', 'S', 'T', 0x04, 0x00, 0x00, 0x00, 'I', 'N', 'F', 'O'};
    ASSERT_EQ(wav.size(), 2632u);
    EXPECT_EQ(0, std::memcmp(wav.data(), head, 48));
    EXPECT_EQ(0, std::memcmp(wav.data() + 2608, tail, 24));
}

/* The largest BCW conversion the converter accepts still fits every 32-bit
 * field of its WAV: data length, RIFF size and the fact chunk's sample
 * count (which wrapped at 8.5 million blocks, half the data limit). */
TEST(WavLayout, LargestAdpcmWavFitsEveryField)
{
    const std::uint64_t blocks = zvc450::kMaxAdpcmDataBytes / zvc450::kAdpcmBlockBytes;
    EXPECT_LE(blocks * zvc450::kAdpcmBlockBytes, 0xFFFFFFFFull);
    EXPECT_LE(blocks * zvc450::kAdpcmBlockBytes + 64, 0xFFFFFFFFull);
    EXPECT_LE(blocks * zvc450::kAdpcmSamplesPerBlock, 0xFFFFFFFFull);
    std::uint8_t trailer[zvc450::kAdpcmWavTrailerBytes];
    zvc450::MakeAdpcmWavTrailer(trailer, static_cast<std::uint32_t>(blocks));
    const std::uint64_t samples = trailer[8] | trailer[9] << 8 | trailer[10] << 16 | std::uint64_t(trailer[11]) << 24;
    EXPECT_EQ(samples, blocks * zvc450::kAdpcmSamplesPerBlock);
    EXPECT_LE(zvc450::kMaxPcmDataBytes + 36, 0xFFFFFFFFull);
}

/* One row per layout of frames and stray bytes; `blocks` are the block
 * numbers the WAV must carry, in order. */
struct ScanCase {
    const char *name;
    Bytes bcw;
    std::vector<int> blocks;
};

void PrintTo(const ScanCase &c, std::ostream *os)
{
    *os << c.name;
}

class BcwScan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(BcwScan, CarriesExactlyTheConfirmedBlocks)
{
    const ScanCase &c = GetParam();
    TempDir dir;
    WriteBytes(dir.Path("in.bcw"), c.bcw);
    ConvertStatus st;
    ASSERT_TRUE(zvc450::ConvertBcwToWav(dir.Path("in.bcw").c_str(), dir.Path("out.wav").c_str(), nullptr, nullptr,
                                        &st));
    EXPECT_EQ(st.error, 0);
    Bytes expected;
    for (int n : c.blocks)
        expected = Cat({expected, Block(n)});
    EXPECT_EQ(AdpcmData(ReadBytes(dir.Path("out.wav"))), expected);
}

namespace {

Bytes BadFourthSync(int n)
{
    Bytes f = Frame(n);
    f[3] = 0x7E;
    return f;
}

Bytes ManyFrames(int count, std::size_t lead)
{
    Bytes out = Garbage(lead);
    for (int i = 0; i < count; ++i)
        zvc450::recording::AppendBcwFrame(out, Block(i).data());
    return out;
}

std::vector<ScanCase> ScanCases()
{
    std::vector<int> allOf2100(2100);
    for (int i = 0; i < 2100; ++i)
        allOf2100[i] = i;
    const Bytes frame2 = Frame(2);
    const Bytes cut(frame2.begin(), frame2.begin() + 100);
    return {
        {"ThreePerfectFrames", Cat({Frame(0), Frame(1), Frame(2)}), {0, 1, 2}},
        {"FiveGarbageBytesFirst", Cat({Garbage(5), Frame(0), Frame(1), Frame(2)}), {0, 1, 2}},
        {"TwoStrayBytesUnconfirmFrame", Cat({Frame(0), Garbage(2), Frame(1), Frame(2)}), {1, 2}},
        {"FourthSyncByteWrong", Cat({Frame(0), BadFourthSync(1), Frame(2)}), {2}},
        {"LastFramePlusNothing", Cat({Frame(0), Frame(1)}), {0, 1}},
        {"LastFramePlusOneByte", Cat({Frame(0), Frame(1), Garbage(1)}), {0, 1}},
        {"LastFramePlusThreeBytes", Cat({Frame(0), Frame(1), Garbage(3)}), {0, 1}},
        {"LastFramePlusFourBytes", Cat({Frame(0), Frame(1), Garbage(4)}), {0}},
        {"LastFrameCutShort", Cat({Frame(0), Frame(1), cut}), {0, 1}},
        {"OnlyAFrameCutShort", cut, {}},
        {"Empty", {}, {}},
        {"OnlyGarbage", Garbage(5000), {}},
        {"SyncLikeBytesBeforeFrame", Cat({Garbage(3, 0x7F), Frame(0), Frame(1)}), {0, 1}},
        {"FramesAcrossWindowEdges", ManyFrames(2100, 7), allOf2100},
    };
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Cases, BcwScan, ::testing::ValuesIn(ScanCases()),
                         [](const auto &test) { return std::string(test.param.name); });

/* Real speech: sox encodes it as IMA ADPCM, the blocks go into the player's
 * framing with stray bytes before, between and after; the WAV must carry
 * the same blocks, and sox and ffmpeg must read it. */
TEST(BcwSpeech, SoxBlocksSurviveThePlayerFraming)
{
    TempDir dir;
    const std::string speech = dir.Path("speech.wav");
    const std::string ima = dir.Path("ima.wav");
    int rc = 0;
    RunShell("espeak-ng -w '" + speech + "' 'Recording seven. The meeting moves to Thursday at nine.'", &rc);
    ASSERT_EQ(rc, 0) << "espeak-ng";
    RunShell("sox '" + speech + "' -r 8000 -c 1 -e ima-adpcm '" + ima + "'", &rc);
    ASSERT_EQ(rc, 0) << "sox";

    /* sox's own chunks: fmt with 256-byte blocks of 505 samples, then data. */
    const Bytes src = ReadBytes(ima);
    ASSERT_GE(src.size(), 60u);
    Bytes data;
    for (std::size_t at = 12; at + 8 <= src.size();) {
        const std::uint32_t len = Le32(src, at + 4);
        if (std::memcmp(&src[at], "fmt ", 4) == 0) {
            ASSERT_EQ(Le16(src, at + 8), 0x11);
            ASSERT_EQ(Le16(src, at + 8 + 12), 256);
            ASSERT_EQ(Le16(src, at + 8 + 18), 505);
        } else if (std::memcmp(&src[at], "data", 4) == 0) {
            data.assign(src.begin() + at + 8, src.begin() + at + 8 + len);
        }
        at += 8 + len + (len & 1);
    }
    ASSERT_EQ(data.size() % 256, 0u);
    const std::size_t count = data.size() / 256;
    ASSERT_GE(count, 20u);

    /* Stray bytes after every 7th frame cost that frame its confirmation. */
    std::mt19937 rng(4501);
    Bytes bcw;
    for (int i = 0; i < 37; ++i)
        bcw.push_back(static_cast<std::uint8_t>(rng() % 0x7F));
    Bytes expected;
    for (std::size_t i = 0; i < count; ++i) {
        zvc450::recording::AppendBcwFrame(bcw, &data[i * 256]);
        const bool stray = i % 7 == 6 && i + 1 < count;
        if (stray) {
            for (unsigned n = 1 + unsigned(rng() % 9); n > 0; --n)
                bcw.push_back(static_cast<std::uint8_t>(0x80 + rng() % 0x7F));
        } else {
            expected.insert(expected.end(), data.begin() + i * 256, data.begin() + (i + 1) * 256);
        }
    }
    bcw.push_back(0x00);
    bcw.push_back(0x7F);  /* two stray bytes at the end: still confirmed */

    WriteBytes(dir.Path("speech.bcw"), bcw);
    Progress progress;
    const std::string out = dir.Path("speech-out.wav");
    ASSERT_TRUE(zvc450::ConvertBcwToWav(dir.Path("speech.bcw").c_str(), out.c_str(), &Progress::Callback, &progress));
    EXPECT_EQ(AdpcmData(ReadBytes(out)), expected);

    const std::uint32_t blocks = static_cast<std::uint32_t>(expected.size() / 256);
    const ToolView v = InspectWithTools(out);
    EXPECT_EQ(v.soxEncoding, "IMA ADPCM");
    EXPECT_EQ(v.soxRate, 8000);
    EXPECT_EQ(v.soxChannels, 1);
    EXPECT_EQ(v.soxSamples, blocks * 505);
    EXPECT_EQ(v.ffCodec, "adpcm_ima_wav");
    EXPECT_EQ(v.ffRate, 8000);
    EXPECT_EQ(v.ffChannels, 1);
    EXPECT_EQ(v.ffSamples, blocks * 505);

    /* Progress: rising, ending at the recording's size. */
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_EQ(progress.total, bcw.size());
    EXPECT_EQ(progress.positions.back(), bcw.size());
    for (std::size_t i = 1; i < progress.positions.size(); ++i)
        EXPECT_LT(progress.positions[i - 1], progress.positions[i]);
}

/*
 * The WAV of a recording without blocks keeps the layout of every other
 * (data length 0, then "fact" and "LIST").  ffmpeg takes a data length of 0
 * for "up to the end of the file" and so tries to decode the trailer; sox
 * and ffprobe read it as it is, and ffmpeg gets no sample out of it.
 */
TEST(BcwTools, EmptyAndSmallWavsReadBySoxAndFfmpeg)
{
    TempDir dir;
    const struct {
        const char *name;
        int frames;
    } rows[] = {{"empty", 0}, {"three", 3}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const std::string src = dir.Path(std::string(row.name) + ".bcw");
        const std::string wav = dir.Path(std::string(row.name) + ".wav");
        WriteBytes(src, ManyFrames(row.frames, 0));
        ASSERT_TRUE(zvc450::ConvertBcwToWav(src.c_str(), wav.c_str(), nullptr, nullptr));
        EXPECT_EQ(ReadBytes(wav).size(), 72u + 256u * row.frames);
        const ToolView v = InspectWithTools(wav);
        EXPECT_EQ(v.soxEncoding, "IMA ADPCM");
        EXPECT_EQ(v.soxRate, 8000);
        EXPECT_EQ(v.soxChannels, 1);
        EXPECT_EQ(v.soxSamples, 505 * row.frames);
        EXPECT_EQ(v.ffCodec, "adpcm_ima_wav");
        EXPECT_EQ(v.ffRate, 8000);
        EXPECT_EQ(v.ffChannels, 1);
        if (row.frames > 0)
            EXPECT_EQ(v.ffSamples, 505 * row.frames);
        else
            EXPECT_LE(v.ffSamples, 0);
    }
}

TEST(BcwFailure, CancelLeavesNoWav)
{
    TempDir dir;
    WriteBytes(dir.Path("long.bcw"), ManyFrames(3000, 0));  /* several pieces */
    for (std::size_t at : {1u, 2u}) {
        Progress progress;
        progress.cancelAtCall = at;
        ConvertStatus st;
        EXPECT_FALSE(zvc450::ConvertBcwToWav(dir.Path("long.bcw").c_str(), dir.Path("long.wav").c_str(),
                                             &Progress::Callback, &progress, &st));
        EXPECT_EQ(st.error, ZVS450USB_ERR_USERBREAK);
        EXPECT_EQ(progress.positions.size(), at);
        EXPECT_FALSE(Exists(dir.Path("long.wav")));
    }
}

/* Both converters: files that cannot be read or written are clear
 * failures that leave nothing behind and spare an existing file. */
TEST(ConvertFailure, UnusableFilesLeaveNothing)
{
    using Converter = bool (*)(const char *, const char *, zvc450::ConvertProgressFn, void *, ConvertStatus *);
    const Converter converters[] = {&zvc450::ConvertBcwToWav, &zvc450::ConvertBvfToWav};
    TempDir dir;
    zvc450::recording::BvfWriter bvf(0, false);
    WriteBytes(dir.Path("rec"), bvf.bytes());
    WriteBytes(dir.Path("keep.wav"), Bytes{1, 2, 3});

    const struct {
        const char *name;
        std::string src;
        std::string wav;
        int sysError;
    } rows[] = {
        {"missing source", dir.Path("none"), dir.Path("a.wav"), ENOENT},
        {"source is a folder", dir.path(), dir.Path("a.wav"), EISDIR},
        {"no folder for the wav", dir.Path("rec"), dir.Path("no/a.wav"), ENOENT},
        {"wav is the source", dir.Path("rec"), dir.Path("rec"), EINVAL},
        {"missing source, existing wav", dir.Path("none"), dir.Path("keep.wav"), ENOENT},
    };
    for (Converter convert : converters) {
        for (const auto &row : rows) {
            SCOPED_TRACE(row.name);
            ConvertStatus st;
            EXPECT_FALSE(convert(row.src.c_str(), row.wav.c_str(), nullptr, nullptr, &st));
            EXPECT_EQ(st.error, ZVC450USB_ERR_WINDOWS);
            EXPECT_EQ(st.sysError, row.sysError);
            EXPECT_FALSE(Exists(dir.Path("a.wav")));
            EXPECT_EQ(ReadBytes(dir.Path("rec")), bvf.bytes());
            EXPECT_EQ(ReadBytes(dir.Path("keep.wav")), (Bytes{1, 2, 3}));
        }
    }
}

/* A disk that fills up fails the conversion with the system's reason, and
 * a WAV path that names a device is not deleted afterwards. */
TEST(ConvertFailure, WriteErrorsAreReported)
{
    using Converter = bool (*)(const char *, const char *, zvc450::ConvertProgressFn, void *, ConvertStatus *);
    const Converter converters[] = {&zvc450::ConvertBcwToWav, &zvc450::ConvertBvfToWav};
    if (!Exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    zvc450::recording::BvfWriter bvf(0, false);
    for (int i = 0; i < 30; ++i)
        bvf.Add(Bytes{0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    WriteBytes(dir.Path("rec.bvf"), bvf.bytes());
    WriteBytes(dir.Path("rec.bcw"), ManyFrames(30, 0));
    const std::string full = dir.Path("full.wav");  /* a link, so nothing real is at stake */
    ASSERT_EQ(::symlink("/dev/full", full.c_str()), 0);
    const char *sources[] = {"rec.bcw", "rec.bvf"};
    for (int i = 0; i < 2; ++i) {
        ConvertStatus st;
        EXPECT_FALSE(converters[i](dir.Path(sources[i]).c_str(), full.c_str(), nullptr, nullptr, &st));
        EXPECT_EQ(st.error, ZVC450USB_ERR_WINDOWS);
        EXPECT_EQ(st.sysError, ENOSPC);
        EXPECT_TRUE(Exists(full));
    }
}

/* Room for a WAV is judged before it is created: beyond its 32-bit sizes
 * it is too big, beyond the free space of its folder (no file system has
 * an exbibyte free) there is no room; a device takes anything. */
TEST(ConvertRoom, BeyondTheSizesOrTheFreeSpaceIsRefused)
{
    TempDir dir;
    const std::string wav = dir.Path("a.wav");
    const std::uint64_t exbibyte = std::uint64_t(1) << 60;
    ConvertStatus st;
    EXPECT_TRUE(zvc450::WavFits(wav.c_str(), 1000, 4000, &st));
    EXPECT_FALSE(zvc450::WavFits(wav.c_str(), 4001, 4000, &st));
    EXPECT_EQ(st.error, ZVC450USB_ERR_FILE_TOOBIG);
    st = ConvertStatus{};
    EXPECT_FALSE(zvc450::WavFits(wav.c_str(), exbibyte, UINT64_MAX, &st));
    EXPECT_EQ(st.error, ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(st.sysError, ENOSPC);
    EXPECT_FALSE(Exists(wav));
    EXPECT_TRUE(zvc450::WavFits("/dev/null", exbibyte, UINT64_MAX, &st));
}

/* Whatever the bytes, the BCW converter succeeds with a consistent WAV
 * whose every block stood behind sync bytes in the recording. */
TEST(BcwRobustness, RandomBytesGiveConsistentWavs)
{
    TempDir dir;
    std::mt19937 rng(2024);
    for (int round = 0; round < 40; ++round) {
        Bytes bcw(rng() % 6000);
        for (auto &b : bcw)
            b = (rng() % 4 == 0) ? 0x7F : static_cast<std::uint8_t>(rng());
        for (int k = int(rng() % 6); k > 0 && bcw.size() > 300; --k) {
            const Bytes f = Frame(static_cast<int>(rng() % 50));
            std::copy(f.begin(), f.end(), bcw.begin() + rng() % (bcw.size() - 260));
        }
        WriteBytes(dir.Path("r.bcw"), bcw);
        ASSERT_TRUE(zvc450::ConvertBcwToWav(dir.Path("r.bcw").c_str(), dir.Path("r.wav").c_str(), nullptr, nullptr));
        const Bytes data = AdpcmData(ReadBytes(dir.Path("r.wav")));
        for (std::size_t at = 0; at < data.size(); at += 256) {
            const Bytes framed = Cat({Bytes(4, 0x7F), Bytes(data.begin() + at, data.begin() + at + 256)});
            EXPECT_NE(std::search(bcw.begin(), bcw.end(), framed.begin(), framed.end()), bcw.end());
        }
    }
}

TEST(ConvertExports, SetTheLibraryErrorAndKeepNothing)
{
    TempDir dir;
    WriteBytes(dir.Path("one.bcw"), ManyFrames(1, 0));
    WriteBytes(dir.Path("not.bvf"), Bytes(20, 0x55));
    const std::string wav = dir.Path("x.wav");

    EXPECT_EQ(ZVC450_ConvertBcwToWav(dir.Path("one.bcw").c_str(), wav.c_str(), nullptr, nullptr), 1);
    EXPECT_EQ(ReadBytes(wav).size(), 72u + 256u);

    EXPECT_EQ(ZVC450_ConvertBcwToWav(dir.Path("none").c_str(), dir.Path("y.wav").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_WINDOWS);
    EXPECT_EQ(ZVC450_GetWindowsError(), static_cast<unsigned>(ENOENT));

    Progress cancel;
    cancel.cancelAtCall = 1;
    EXPECT_EQ(ZVC450_ConvertBcwToWav(dir.Path("one.bcw").c_str(), dir.Path("y.wav").c_str(), &Progress::Callback,
                                     &cancel),
              0);
    EXPECT_EQ(ZVC450_GetError(), ZVS450USB_ERR_USERBREAK);

    EXPECT_EQ(ZVC450_ConvertBvfToWav(dir.Path("not.bvf").c_str(), dir.Path("y.wav").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(ZVC450_GetError(), ZVC450USB_ERR_FORMAT);
    EXPECT_FALSE(Exists(dir.Path("y.wav")));
}
