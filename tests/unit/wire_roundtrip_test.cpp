// A file packed block by block, laid out as the receiver stores the blocks
// (block k at offset k * 1000 of a buffer of N * 1000 bytes) and unpacked,
// comes back byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "link/wire.h"

using namespace zr;

namespace {

std::vector<std::uint8_t> RandomFile(std::size_t size, unsigned seed)
{
  std::mt19937 random(seed);
  std::vector<std::uint8_t> file(size);
  for (auto& b : file)
    b = static_cast<std::uint8_t>(random());
  return file;
}

// The receiver's buffer after every block arrived; the part behind the
// last block's payload is filled with junk, as a reused buffer might be.
std::vector<std::uint8_t> PackAsReceived(const std::vector<std::uint8_t>& file)
{
  const auto size = static_cast<std::uint32_t>(file.size());
  const std::size_t blocks = BlockCount(size);
  std::vector<std::uint8_t> stream(blocks * SYS_EX_BLOCKSIZE, 0x5A);
  std::size_t total = 0;
  for (std::uint32_t k = 0; k < blocks; ++k) {
    const std::size_t count = EncodeBlockPayload(file.data(), size, k, stream.data() + k * SYS_EX_BLOCKSIZE);
    EXPECT_EQ(count, BlockPayloadSize(size, k));
    EXPECT_EQ(count % 8, 0u);
    EXPECT_TRUE(count == SYS_EX_BLOCKSIZE || k + 1 == blocks) << "only the last block may be short";
    total += count;
  }
  EXPECT_EQ(total, EncodedLength(size));
  return stream;
}

void ExpectRoundTrip(const std::vector<std::uint8_t>& file)
{
  std::vector<std::uint8_t> stream = PackAsReceived(file);
  for (std::size_t i = 0; i < EncodedLength(file.size()); ++i)
    ASSERT_LT(stream[i], 0x80) << "stream byte " << i;
  const auto size = UnpackStream(stream.data(), stream.size());
  ASSERT_TRUE(size);
  ASSERT_EQ(*size, file.size());
  ASSERT_TRUE(std::equal(file.begin(), file.end(), stream.begin())) << "file of " << file.size() << " bytes";
}

} // namespace

TEST(WireRoundTrip, EverySizeUpTo3000)
{
  const std::vector<std::uint8_t> source = RandomFile(3000, 4812);
  for (std::size_t size = 0; size <= 3000; ++size) {
    SCOPED_TRACE(size);
    ExpectRoundTrip(std::vector<std::uint8_t>(source.begin(), source.begin() + size));
    if (HasFatalFailure())
      return;
  }
}

TEST(WireRoundTrip, LargeFiles)
{
  for (const std::size_t size : {65536u, 1000003u, 2u * 1024 * 1024}) {
    SCOPED_TRACE(size);
    ExpectRoundTrip(RandomFile(size, static_cast<unsigned>(size)));
  }
}

TEST(WireRoundTrip, ExtremeByteValues)
{
  for (const std::uint8_t value : {0x00, 0x7F, 0x80, 0xF0, 0xF7, 0xFF}) {
    SCOPED_TRACE(int(value));
    ExpectRoundTrip(std::vector<std::uint8_t>(2001, value));
  }
}

// Every message of the file parses back with its numbers, a payload of at
// most 1000 bytes and a checksum that matches it.
TEST(WireRoundTrip, BlockMessagesParseBack)
{
  const std::vector<std::uint8_t> file = RandomFile(5000, 1);
  const unsigned blocks = static_cast<unsigned>(BlockCount(file.size()));
  for (unsigned k = 0; k < blocks; ++k) {
    SCOPED_TRACE(k);
    const Bytes message = BuildFileBlock(6, file.data(), 5000, k);
    const auto parsed = ParseMessage(message.data(), message.size());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->command, SYS_EX_DATA_BLOCK);
    EXPECT_EQ(parsed->type, 6);
    EXPECT_EQ(parsed->flag, 1);
    EXPECT_EQ(parsed->total, blocks);
    EXPECT_EQ(parsed->block, k);
    EXPECT_EQ(parsed->payload.size(), BlockPayloadSize(5000, k));
    EXPECT_EQ(parsed->checksum, Checksum(parsed->payload.data(), parsed->payload.size()));
  }
}

// A later block begins on a group boundary with file byte ((k*1000-8)/8)*7,
// whatever block is asked for and in whatever order.
TEST(WireRoundTrip, LaterBlocksStartAtTheirGroup)
{
  const std::vector<std::uint8_t> file = RandomFile(20000, 2);
  const auto size = static_cast<std::uint32_t>(file.size());
  EXPECT_EQ((1000 - 8) / 8 * 7, 868);
  for (const std::uint32_t k : {1u, 22u, 7u, 2u, 1u}) {
    SCOPED_TRACE(k);
    const std::size_t start = (k * SYS_EX_BLOCKSIZE - 8) / 8 * 7;
    std::uint8_t payload[SYS_EX_BLOCKSIZE];
    ASSERT_GT(EncodeBlockPayload(file.data(), size, k, payload), 0u);
    std::uint8_t high = 0;
    for (int i = 0; i < 7; ++i) {
      EXPECT_EQ(payload[i], file[start + i] & 0x7F);
      high |= static_cast<std::uint8_t>((file[start + i] >> 7) << i);
    }
    EXPECT_EQ(payload[7], high);
  }
}

TEST(WireRoundTrip, Block1Of5000BytesStartsWithByte868)
{
  std::vector<std::uint8_t> file(5000, 0);
  file[867] = 0x11;
  file[868] = 0x22;
  file[869] = 0x33;
  std::uint8_t payload[SYS_EX_BLOCKSIZE];
  EncodeBlockPayload(file.data(), 5000, 1, payload);
  EXPECT_EQ(payload[0], 0x22);
  EXPECT_EQ(payload[1], 0x33);
}

TEST(WireRoundTrip, UnpackRefusesWhatTheStreamCannotHold)
{
  struct Case {
    const char* what;
    Bytes stream;
    std::optional<std::uint32_t> size;
  };
  const Case cases[] = {
      {"empty", {}, std::nullopt},
      {"seven bytes", {0, 0, 0, 0, 0, 0, 0}, std::nullopt},
      {"length group only, size 0", {0, 0, 0, 0, 0, 0, 0, 0}, 0u},
      {"length group only, size 1", {1, 0, 0, 0, 0, 0, 0, 0}, std::nullopt},
      {"one group holds 7", {7, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 0}, 7u},
      {"one group cannot hold 8", {8, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 0}, std::nullopt},
      {"incomplete group is not counted", {7, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7}, std::nullopt},
      {"largest size field", {0x7F, 0x7F, 0x7F, 0x7F, 0, 0, 0, 0x0F}, std::nullopt},
      {"size 128 comes from the high-bit byte", {0x00, 0, 0, 0, 0, 0, 0, 0x01}, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes stream = c.stream;
    EXPECT_EQ(UnpackStream(stream.data(), stream.size()), c.size);
  }
}

TEST(WireRoundTrip, UnpackRestoresHighBits)
{
  Bytes stream = {3, 0, 0, 0, 0, 0, 0, 0, 0x7F, 0x00, 0x41, 0, 0, 0, 0, 0x03};
  ASSERT_EQ(UnpackStream(stream.data(), stream.size()), 3u);
  EXPECT_EQ(Bytes(stream.begin(), stream.begin() + 3), Bytes({0xFF, 0x80, 0x41}));
}
