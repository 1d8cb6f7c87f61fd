// The packet frame and the version numbers, on the player's side.
#include <gtest/gtest.h>

#include "generation.h"
#include "packet.h"

namespace emu {
namespace {

TEST(VersionText, DigitPositionsReadAsHexadecimal) {
  struct Case {
    const char* text;
    uint32_t number;
  } cases[] = {{"1.43", 0x14300}, {"1.42", 0x14200}, {"1.30", 0x13000}, {"1.25", 0x12500},
               {"1.20", 0x12000}, {"1.2", 0x12000},  {"1.1", 0x11000},  {"1.5", 0x15000},
               {"10.01", 0x100100}, {"2", 0x20000}, {"v1.43", 0},       {"1.43 beta", 0x14300}};
  for (const Case& c : cases) EXPECT_EQ(ParseVersionText(c.text), c.number) << c.text;
}

TEST(Generation, ThresholdsOfEachBehaviour) {
  struct Case {
    const char* version;
    bool progress, twoByte, info, dirs;
  } cases[] = {{"1.1", false, false, false, false}, {"1.20", true, false, false, false},
               {"1.25", true, false, false, false}, {"1.30", true, true, false, false},
               {"1.42", true, true, true, false},   {"1.43", true, true, true, true}};
  for (const Case& c : cases) {
    Generation g(c.version);
    EXPECT_EQ(g.FormatProgress(), c.progress) << c.version;
    EXPECT_EQ(g.TwoByteIndexes(), c.twoByte) << c.version;
    EXPECT_EQ(g.OneByteAnswerLength(), !c.twoByte) << c.version;
    EXPECT_EQ(g.MediumInfo(), c.info) << c.version;
    EXPECT_EQ(g.Directories(), c.dirs) << c.version;
  }
}

TEST(Answer, FrameAroundTheFields) {
  Packet p = RefusalAnswer(25, false);
  EXPECT_EQ(std::vector<uint8_t>(p.begin(), p.begin() + 7),
            (std::vector<uint8_t>{'#', 0x00, 0x04, ':', 0x01, 0x19, '.'}));
  p = SuccessAnswer(false);
  EXPECT_EQ(std::vector<uint8_t>(p.begin(), p.begin() + 6),
            (std::vector<uint8_t>{'#', 0x00, 0x03, ':', 0x00, '.'}));
  // Older firmware: one length byte; offset 1 keeps what the command had.
  AnswerBuilder long300;
  for (int i = 0; i < 300; ++i) long300.U8(uint8_t(i));
  p = long300.Finish(true, 0x77);
  EXPECT_EQ(p[1], 0x77);
  EXPECT_EQ(p[2], uint8_t(302));
  EXPECT_EQ(p[304], '.');
  p = long300.Finish(false);
  EXPECT_EQ(Be16(&p[1]), 302);
  // A body up to the end of the packet has no room for the terminator.
  AnswerBuilder full;
  for (int i = 0; i < 600; ++i) full.U8(1);
  p = full.Finish(false);
  EXPECT_EQ(Be16(&p[1]), 510);
}

Packet CommandPacket(const std::vector<uint8_t>& body) {
  Packet p{};
  p[0] = '#';
  p[1] = uint8_t((body.size() + 2) >> 8);
  p[2] = uint8_t(body.size() + 2);
  p[3] = ':';
  std::copy(body.begin(), body.end(), p.begin() + 4);
  p[4 + body.size()] = '.';
  return p;
}

TEST(Command, SinglePacketForms) {
  Command c;
  ASSERT_TRUE(ParseSinglePacket(CommandPacket({'S', 'E', 0x01, 0x2C}), Form::kRegular, 1, &c));
  EXPECT_EQ(c.target, 'S');
  EXPECT_EQ(c.key, "E");
  EXPECT_EQ(c.payload, (std::vector<uint8_t>{0x01, 0x2C}));

  ASSERT_TRUE(ParseSinglePacket(CommandPacket({'Y'}), Form::kPlain, 1, &c));
  EXPECT_EQ(c.key, "Y");
  EXPECT_TRUE(c.payload.empty());

  std::vector<uint8_t> body = {'M', 'D', 'M', 0x00, 0x40};
  body.resize(body.size() + 64, 0x20);
  ASSERT_TRUE(ParseSinglePacket(CommandPacket(body), Form::kSized, 2, &c));
  EXPECT_EQ(c.payload.size(), 64u);
  body[4] = 0x3F;  // payload length disagrees with the frame
  EXPECT_FALSE(ParseSinglePacket(CommandPacket(body), Form::kSized, 2, &c));

  Packet bad = CommandPacket({'M', 'G'});
  bad[6] = 'x';  // terminator missing
  EXPECT_FALSE(ParseSinglePacket(bad, Form::kRegular, 1, &c));
}

// The irregular form: data fills packets to their end; a terminator that does
// not fit comes alone in one more packet.
TEST(Command, IrregularDataAcrossPackets) {
  struct Case {
    size_t params, data, following;
  } cases[] = {{0, 503, 0}, {0, 504, 1}, {0, 1, 0}, {2, 501, 0}, {2, 502, 1}, {0, 1015, 1}, {0, 1016, 2}, {0, 1017, 2}};
  for (const Case& k : cases) {
    std::vector<uint8_t> s = {'#', 0, 2, ':', 'M', 'W'};
    for (size_t i = 0; i < k.params; ++i) s.push_back(uint8_t(0xA0 + i));
    s.push_back(uint8_t((k.data + 1) >> 8));
    s.push_back(uint8_t(k.data + 1));
    for (size_t i = 0; i < k.data; ++i) s.push_back(uint8_t(i * 7));
    s.push_back('.');
    s.resize((s.size() + 511) / 512 * 512, 0);
    Packet first;
    std::copy(s.begin(), s.begin() + 512, first.begin());
    Command c;
    IrregularHead head;
    ASSERT_TRUE(ParseIrregularHead(first, 1, k.params, &c, &head));
    EXPECT_EQ(head.FollowingPackets(), k.following) << k.data;
    std::vector<uint8_t> rest(s.begin() + 512, s.end());
    ASSERT_TRUE(CollectIrregularData(first, head, rest, &c)) << k.data;
    EXPECT_EQ(c.payload.size(), k.params);
    ASSERT_EQ(c.data.size(), k.data);
    for (size_t i = 0; i < k.data; ++i) ASSERT_EQ(c.data[i], uint8_t(i * 7));
  }
}

}  // namespace
}  // namespace emu
