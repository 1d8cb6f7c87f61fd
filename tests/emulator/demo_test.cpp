// The demo content's recordings: AMR-NB frames from opencore-amr's encoder
// in the player's bit order, IMA ADPCM blocks in the player's framing.
#include <gtest/gtest.h>

#include "recordings.h"

namespace emu {
namespace demo {
namespace {

Bytes Packed(const std::vector<uint8_t>& bits, size_t count) {
  Bytes out((count + 7) / 8, 0);
  for (size_t s = 0; s < count; ++s)
    if (bits[s]) out[s / 8] |= uint8_t(1 << (s % 8));
  return out;
}

// Frames from opencore-amr's encoder and the same frames in serial order,
// least significant bit first.
TEST(Recordings, StorageToSerialOrder) {
  struct Case {
    Bytes storage;
    int type;
    size_t bits;
    Bytes serial;
  } cases[] = {
      {{0x04, 0x9D, 0x5A, 0xAA, 0xAD, 0xD1, 0xAB, 0xF7, 0xD7, 0x6C, 0xB2, 0x7B, 0x8A}, 0, 95,
       {0xB9, 0x5A, 0xE8, 0x2A, 0xEE, 0xDF, 0xDD, 0xAE, 0x44, 0x6B, 0x57, 0x6E}},
      {{0x14, 0x5A, 0x37, 0x49, 0x7F, 0x9F, 0x6B, 0xFF, 0xA3, 0xD3, 0x3F, 0xEA, 0xC4, 0xA3, 0xBD, 0x80}, 0, 118,
       {0xAA, 0x57, 0x56, 0x56, 0x84, 0xE7, 0x7F, 0xC8, 0xFD, 0xD8, 0xF2, 0xED, 0x9F, 0xD4, 0x2F}},
      {{0x44, 0x26, 0xD1, 0xF8, 0x33, 0xE0}, 1, 35, {0x64, 0x8B, 0x1F, 0xCC, 0x07}},
      {{0x44, 0x26, 0xC7, 0x89, 0x5B, 0xF0}, 2, 35, {0x64, 0xE3, 0x91, 0xDA, 0x07}},
      {{0x7C}, 3, 0, {}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bits;
    EXPECT_EQ(SerialBitsFromStorage(c.storage.data(), c.storage.size(), &bits), c.type);
    EXPECT_EQ(Packed(bits, c.bits), c.serial) << "type " << c.type;
  }
}

TEST(Recordings, BvfLayout) {
  std::vector<int16_t> speech(160 * 25);
  for (size_t i = 0; i < speech.size(); ++i) speech[i] = int16_t((i * 37 % 200) * 40 - 4000);
  struct Case {
    int mode;
    size_t frameBytes;
  } cases[] = {{0, 12}, {1, 15}};
  for (const Case& c : cases) {
    Bytes bvf;
    std::string err;
    ASSERT_TRUE(EncodeBvf(speech, c.mode, false, &bvf, &err)) << err;
    // Header, 25 frames, a synchronisation block after the 10th and 20th.
    ASSERT_EQ(bvf.size(), 9 + 25 * c.frameBytes + 2 * 7);
    EXPECT_EQ(bvf[0], c.mode);
    EXPECT_EQ(bvf[1], 0);
    EXPECT_EQ(bvf[2], 0xFF);
    EXPECT_EQ(bvf[3], 0xFB);
    EXPECT_EQ(bvf[9 + 10 * c.frameBytes], 0xFF);
    EXPECT_EQ(bvf[9 + 10 * c.frameBytes + 1], 0xFB);
  }
}

TEST(Recordings, BcwFraming) {
  // A minimal IMA ADPCM WAV: 8000 Hz mono, 256-byte blocks, two blocks and a
  // partial third that the player would never have written.
  Bytes fmt = {0x11, 0, 1, 0, 0x40, 0x1F, 0, 0, 0xD7, 0x0F, 0, 0, 0, 1, 4, 0, 2, 0, 0xF9, 1};
  Bytes data(2 * 256 + 100);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
  Bytes wav;
  for (const Bytes& part : {Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                  uint8_t(fmt.size()), 0, 0, 0},
                            fmt, Bytes{'d', 'a', 't', 'a', uint8_t(data.size()), uint8_t(data.size() >> 8), 0, 0},
                            data})
    wav.insert(wav.end(), part.begin(), part.end());
  Bytes bcw;
  std::string err;
  ASSERT_TRUE(BcwFromImaWav(wav, &bcw, &err)) << err;
  ASSERT_EQ(bcw.size(), 2u * 260);
  for (size_t f = 0; f < 2; ++f) {
    EXPECT_EQ(Bytes(bcw.begin() + long(f * 260), bcw.begin() + long(f * 260 + 4)), Bytes(4, 0x7F));
    EXPECT_EQ(bcw[f * 260 + 4], uint8_t(f * 256));
  }
  fmt[12] = 0;  // 512-byte blocks are not the player's
  fmt[13] = 2;
  std::copy(fmt.begin(), fmt.end(), wav.begin() + 20);
  EXPECT_FALSE(BcwFromImaWav(wav, &bcw, &err));
}

}  // namespace
}  // namespace demo
}  // namespace emu
