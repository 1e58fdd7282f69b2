// The protocol's byte examples as exact vectors: what the console expects
// to see on the wire, byte for byte.
#include <gtest/gtest.h>

#include <numeric>

#include "link/wire.h"
#include "tests/support/wire_frames.h"

using namespace zr;
using zr::test::Frame;

TEST(WireVectors, AbcBlockOfTypeTwo)
{
  const std::uint8_t file[] = {'a', 'b', 'c'};
  const Bytes block = BuildFileBlock(2, file, 3, 0);
  const Bytes expected = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x10, 0x02, 0x01, 0x00, 0x01, 0x00, 0x00,
                          0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63, 0x00, 0x00,
                          0x00, 0x00, 0x00, 0x46, 0xF7};
  EXPECT_EQ(block, expected);
  EXPECT_EQ(block.size(), 31u);
}

TEST(WireVectors, HighBitsGatherInTheLastByteOfTheGroup)
{
  const std::uint8_t file[] = {0xFF, 0x80, 0x41};
  std::uint8_t payload[SYS_EX_BLOCKSIZE];
  ASSERT_EQ(EncodeBlockPayload(file, 3, 0, payload), 16u);
  const Bytes expected = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                          0x7F, 0x00, 0x41, 0x00, 0x00, 0x00, 0x00, 0x03};
  EXPECT_EQ(Bytes(payload, payload + 16), expected);
  EXPECT_EQ(Checksum(payload, 16), 0x29);
  const Bytes block = BuildFileBlock(0, file, 3, 0);
  EXPECT_EQ(block[block.size() - 2], 0x29);
}

TEST(WireVectors, LengthGroupCarriesHighBitsOfTheSize)
{
  // 0x8180 is 80 81 00 00 little-endian: bytes 0 and 1 need their high bits.
  std::vector<std::uint8_t> file(0x8180);
  std::uint8_t payload[SYS_EX_BLOCKSIZE];
  EncodeBlockPayload(file.data(), static_cast<std::uint32_t>(file.size()), 0, payload);
  const Bytes expected = {0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};
  EXPECT_EQ(Bytes(payload, payload + 8), expected);
}

TEST(WireVectors, EncodedLengthBlockCountAndLastPayload)
{
  struct Case {
    std::uint64_t size, encoded, blocks, lastPayload;
  };
  const Case cases[] = {
      {0, 8, 1, 8},         {1, 16, 1, 16},      {3, 16, 1, 16},       {7, 16, 1, 16},
      {8, 24, 1, 24},       {867, 1000, 1, 1000}, {868, 1000, 1, 1000}, {869, 1008, 2, 8},
      {5000, 5728, 6, 728}, {MAX_FILE_SIZE, 16383000, MAX_BLOCKS - 1, 1000},
      {MAX_FILE_SIZE + 1, 16383008, MAX_BLOCKS, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    EXPECT_EQ(EncodedLength(c.size), c.encoded);
    EXPECT_EQ(BlockCount(c.size), c.blocks);
    EXPECT_EQ(BlockPayloadSize(c.size, c.blocks - 1), c.lastPayload);
    if (c.blocks > 1) {
      EXPECT_EQ(BlockPayloadSize(c.size, 0), 1000u);
    }
    EXPECT_EQ(BlockPayloadSize(c.size, c.blocks), 0u);
  }
}

TEST(WireVectors, FileOf869BytesTravelsInTwoBlocks)
{
  std::vector<std::uint8_t> file(869);
  for (std::size_t i = 0; i < file.size(); ++i)
    file[i] = static_cast<std::uint8_t>(i * 7);
  file[868] = 0xC5;

  const Bytes first = BuildFileBlock(4, file.data(), 869, 0);
  EXPECT_EQ(first.size(), 1015u);
  EXPECT_EQ(Bytes(first.begin(), first.begin() + 13),
            Frame({0x10, 0x04, 0x01, 0x00, 0x02, 0x00, 0x00}));

  // One data byte (0xC5 without its top bit), six filler bytes, the high-bit
  // byte; checksum = ~(0x46 + 6 + 2) & 0x7F.
  const Bytes second = BuildFileBlock(4, file.data(), 869, 1);
  EXPECT_EQ(second, Frame({0x10, 0x04, 0x01, 0x00, 0x02, 0x00, 0x01, 0x45, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0x00, 0x01, 0x31, 0xF7}));
  EXPECT_EQ(second.size(), 23u);
}

TEST(WireVectors, FourteenBitNumbersHighPartFirst)
{
  struct Case {
    unsigned value;
    std::uint8_t high, low;
  };
  const Case cases[] = {{0, 0x00, 0x00}, {127, 0x00, 0x7F}, {128, 0x01, 0x00}, {200, 0x01, 0x48},
                        {16383, 0x7F, 0x7F}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(High7(c.value), c.high);
    EXPECT_EQ(Low7(c.value), c.low);
    EXPECT_EQ(Join14(c.high, c.low), c.value);
    EXPECT_EQ(BuildBlockRequest(3, c.value), Frame({0x50, 0x03, c.high, c.low, 0xF7}));
    const std::uint8_t payload[] = {0x00};
    const Bytes block = BuildDataBlock(3, c.value, c.value, payload, 1);
    EXPECT_EQ(Bytes(block.begin() + 9, block.begin() + 13), Bytes({c.high, c.low, c.high, c.low}));
  }
}

TEST(WireVectors, FixedMessages)
{
  struct Case {
    const char* what;
    Bytes built, expected;
  };
  const Case cases[] = {
      {"search", BuildSearch(), {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x40, 0xF7}},
      {"identify answer", BuildIdentify(), {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x00, 0x7F, 0xF7}},
      {"identify of another model", BuildIdentify(0x0C, 0x00), {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0C, 0x00, 0x00, 0xF7}},
      {"directory request type 0", BuildDirectoryRequest(0), Frame({0x51, 0x00, 0xF7})},
      {"directory request type 8", BuildDirectoryRequest(8), Frame({0x51, 0x08, 0xF7})},
      {"block request 200", BuildBlockRequest(1, 200), Frame({0x50, 0x01, 0x01, 0x48, 0xF7})},
      {"link test request", BuildBlockRequest(SYS_EX_TEST_TYPE, 0), Frame({0x50, 0x7F, 0x00, 0x00, 0xF7})},
      {"request my_song_",
       BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "my_song_"),
       {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x52, 0x00, 0x6D, 0x79, 0x5F, 0x73, 0x6F, 0x6E, 0x67, 0x5F, 0x00, 0xF7}},
      {"upload my_song_",
       BuildNameMessage(SYS_EX_FILE_NAME, 0, "my_song_"),
       {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x12, 0x00, 0x6D, 0x79, 0x5F, 0x73, 0x6F, 0x6E, 0x67, 0x5F, 0x00, 0xF7}},
      {"three-character name",
       BuildNameMessage(SYS_EX_FILE_NAME, 1, "abc"),
       Frame({0x12, 0x01, 0x61, 0x62, 0x63, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF7})},
      {"name longer than 8", BuildNameMessage(SYS_EX_FILE_REQUEST, 2, "abcdefghij"),
       Frame({0x52, 0x02, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 0xF7})},
      {"empty directory reply", BuildDirectoryReply(5, {}), Frame({0x11, 0x05, 0xF7})},
      {"directory reply", BuildDirectoryReply(1, {"VOCALS"}),
       Frame({0x11, 0x01, 'V', 'O', 'C', 'A', 'L', 'S', ' ', ' ', 0x00, 0xF7})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.built, c.expected);
  }
  EXPECT_EQ(BuildNameMessage(SYS_EX_FILE_NAME, 0, "x").size(), 18u);
}

TEST(WireVectors, VocalsDirectoryReplyWhateverTheNinthByte)
{
  for (const unsigned x : {0x00u, 0x20u, 0x7Fu, 0x80u, 0xF7u, 0xFFu}) {
    SCOPED_TRACE(x);
    const Bytes reply = Frame({0x11, 0x01, 0x56, 0x4F, 0x43, 0x41, 0x4C, 0x53, 0x20, 0x20,
                               static_cast<std::uint8_t>(x), 0xF7});
    EXPECT_EQ(ParseDirectoryEntries(reply.data(), reply.size()), std::vector<std::string>{"VOCALS"});
    // A parsed message needs every inner byte below 0x80.
    const auto message = ParseMessage(reply.data(), reply.size());
    if (x < 0x80) {
      ASSERT_TRUE(message);
      EXPECT_EQ(message->command, SYS_EX_DIRECTORY);
      EXPECT_EQ(message->type, 1);
      EXPECT_EQ(message->entries, std::vector<std::string>{"VOCALS"});
    } else {
      EXPECT_FALSE(message);
    }
  }
}

TEST(WireVectors, ChecksumCountsEveryByteAsOneMore)
{
  struct Case {
    Bytes payload;
    std::uint8_t checksum;
  };
  // 256 zero bytes sum to 256 = 0x100: complement ends in 0x7F.
  const Case cases[] = {{{}, 0x7F},
                        {{0x00}, 0x7E},
                        {{0x7F}, 0x7F},
                        {Bytes(256, 0x00), 0x7F},
                        {Bytes(1000, 0x7F), static_cast<std::uint8_t>(~(1000u * 128) & 0x7F)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.payload.size());
    EXPECT_EQ(Checksum(c.payload.data(), c.payload.size()), c.checksum);
  }
}
