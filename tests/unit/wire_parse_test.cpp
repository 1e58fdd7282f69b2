// Taking inbound bytes apart: anything that is not a well-formed message of
// a known command is "not a message", and nothing is read past the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "link/wire.h"
#include "tests/support/wire_frames.h"

using namespace zr;
using zr::test::Frame;

namespace {

Bytes With(Bytes m, std::size_t at, std::uint8_t value)
{
  m.at(at) = value;
  return m;
}

Bytes DataBlockOf(std::size_t payloadCount)
{
  const Bytes payload(payloadCount, 0x11);
  return BuildDataBlock(1, 1, 0, payload.data(), payload.size());
}

} // namespace

TEST(WireParse, NotAMessage)
{
  const Bytes search = BuildSearch();
  const Bytes request = BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "abc");
  // Longer than either link takes.
  Bytes bigReply = BuildDirectoryReply(0, std::vector<std::string>(MAX_MESSAGE / 9 + 1, "NAME"));
  struct Case {
    const char* what;
    Bytes bytes;
  };
  const Case cases[] = {
      {"empty", {}},
      {"start byte only", {0xF0}},
      {"header and end byte, no command", {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0xF7}},
      {"no end byte", Bytes(search.begin(), search.end() - 1)},
      {"end byte replaced", With(search, 7, 0x00)},
      {"no start byte", With(search, 0, 0x00)},
      {"running status instead of start", With(search, 0, 0xF7)},
      {"another manufacturer", With(search, 3, 0x34)},
      {"one-byte manufacturer", With(search, 1, 0x41)},
      {"unknown command 0x13", With(search, 6, 0x13)},
      {"unknown command 0x7F", With(search, 6, 0x7F)},
      {"unknown command 0x01", Frame({0x01, 0x00, 0xF7})},
      {"high bit in the command", With(search, 6, 0xC0)},
      {"high bit in a field", With(request, 10, 0xE1)},
      {"end byte inside", With(request, 12, 0xF7)},
      {"second start byte inside", With(request, 9, 0xF0)},
      {"search with a field", Frame({0x40, 0x00, 0xF7})},
      {"directory request without type", Frame({0x51, 0xF7})},
      {"directory request with two types", Frame({0x51, 0x00, 0x01, 0xF7})},
      {"name message without type", Frame({0x12, 0xF7})},
      {"block request without low part", Frame({0x50, 0x00, 0x01, 0xF7})},
      {"directory reply without type", Frame({0x11, 0xF7})},
      {"data block without payload", DataBlockOf(0)},
      {"data block of 1001 payload bytes", DataBlockOf(1001)},
      {"data block header only", Frame({0x10, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0xF7})},
      {"oversized directory reply", bigReply},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(ParseMessage(c.bytes.data(), c.bytes.size()));
  }
  EXPECT_FALSE(ParseMessage(nullptr, 0));
  EXPECT_FALSE(ParseMessage(nullptr, 8));
}

TEST(WireParse, BuiltMessagesParseBack)
{
  const std::uint8_t payload[] = {0x01, 0x7F, 0x00};
  struct Case {
    const char* what;
    Bytes bytes;
    std::uint8_t command;
    int type;
    unsigned block;
    std::string name;
  };
  const Case cases[] = {
      {"search", BuildSearch(), SYS_EX_SEARCH, -1, 0, ""},
      {"identify", BuildIdentify(), SYS_EX_IDENTIFY, -1, 0, ""},
      {"directory request", BuildDirectoryRequest(8), SYS_EX_DIRECTORY_REQUEST, 8, 0, ""},
      {"file name", BuildNameMessage(SYS_EX_FILE_NAME, 3, "mix_b"), SYS_EX_FILE_NAME, 3, 0, "mix_b"},
      {"file request", BuildNameMessage(SYS_EX_FILE_REQUEST, 0, "my_song_"), SYS_EX_FILE_REQUEST, 0, 0, "my_song_"},
      {"block request", BuildBlockRequest(7, 16383), SYS_EX_BLOCK_REQUEST, 7, 16383, ""},
      {"link test block", BuildDataBlock(SYS_EX_TEST_TYPE, 1, 0, payload, 3), SYS_EX_DATA_BLOCK, 127, 0, ""},
      {"data block", BuildDataBlock(2, 300, 299, payload, 3), SYS_EX_DATA_BLOCK, 2, 299, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto m = ParseMessage(c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->command, c.command);
    EXPECT_EQ(m->model, MODEL_BYTE);
    EXPECT_EQ(m->type, c.type);
    EXPECT_EQ(m->block, c.block);
    EXPECT_EQ(m->name, c.name);
  }
}

TEST(WireParse, DataBlockFields)
{
  for (const std::size_t count : {1u, 8u, 999u, 1000u}) {
    SCOPED_TRACE(count);
    Bytes payload(count);
    for (std::size_t i = 0; i < count; ++i)
      payload[i] = static_cast<std::uint8_t>(i % 128);
    Bytes message = BuildDataBlock(4, 9, 8, payload.data(), count);
    message[8] = 0x02; // the flag is reported, not judged
    const auto m = ParseMessage(message.data(), message.size());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->flag, 0x02);
    EXPECT_EQ(m->total, 9u);
    EXPECT_EQ(m->block, 8u);
    EXPECT_EQ(m->payload, payload);
    EXPECT_EQ(m->checksum, Checksum(payload.data(), count));
  }
}

TEST(WireParse, ConsoleFileRequestMayBeShort)
{
  // The console's acknowledgement of a name message: only the type is read.
  const Bytes ack = Frame({0x52, 0x04, 0xF7});
  const auto m = ParseMessage(ack.data(), ack.size());
  ASSERT_TRUE(m);
  EXPECT_EQ(m->type, 4);
  EXPECT_EQ(m->name, "");
}

TEST(WireParse, DirectoryEntries)
{
  struct Case {
    const char* what;
    Bytes bytes;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"no entries", Frame({0x11, 0x00, 0xF7}), {}},
      {"two entries", BuildDirectoryReply(1, {"VOCALS", "DRUMS1"}), {"VOCALS", "DRUMS1"}},
      {"eight-character names", BuildDirectoryReply(1, {"ABCDEFGH", "12345678"}), {"ABCDEFGH", "12345678"}},
      {"first entry starts with 0", Frame({0x11, 0x01, 0x00, 'A', 'B', ' ', ' ', ' ', ' ', ' ', 0x00, 0xF7}), {}},
      {"0 ends the list",
       Frame({0x11, 0x01, 'A', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x00, 0x00, 'B', ' ', ' ', ' ', ' ', ' ', ' ',
              0x00, 0xF7}),
       {"A"}},
      {"entry without its ninth byte", Frame({0x11, 0x01, 'A', 'B', ' ', ' ', ' ', ' ', ' ', ' ', 0xF7}), {"AB"}},
      {"entry cut short by the end byte", Frame({0x11, 0x01, 'V', 'O', 'C', 0xF7}), {"VOC"}},
      {"second entry cut short",
       Frame({0x11, 0x01, 'A', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x00, 'B', 'C', 0xF7}),
       {"A", "BC"}},
      {"padding of zero bytes and control characters",
       Frame({0x11, 0x01, 'A', 'B', 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'C', 'D', 0x09, 0x0D, 0x7F, ' ', ' ',
              ' ', 0x00, 0xF7}),
       {"AB", "CD"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ParseDirectoryEntries(c.bytes.data(), c.bytes.size()), c.entries);
    const auto m = ParseMessage(c.bytes.data(), c.bytes.size());
    ASSERT_TRUE(m);
    EXPECT_EQ(m->entries, c.entries);
  }
}

TEST(WireParse, DirectoryEntriesStopAtTheGivenLength)
{
  // Behind the given length the buffer goes on with more entries, as a
  // reused input buffer would: not one byte of them may show.
  const Bytes full = BuildDirectoryReply(2, {"FIRST", "STALE"});
  for (std::size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    const std::vector<std::string> entries = ParseDirectoryEntries(full.data(), n);
    const std::size_t started = n > 8 ? (n - 8 + 8) / 9 : 0;
    EXPECT_EQ(entries.size(), started);
    const std::string expected[] = {"FIRST", "STALE"};
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::size_t visible = std::min<std::size_t>(8, n - (8 + 9 * i));
      EXPECT_EQ(entries[i], expected[i].substr(0, visible));
    }
  }
  // Exactly sized heap copies, so that a sanitizer sees any read past the end.
  for (std::size_t n = 0; n <= full.size(); ++n) {
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[n == 0 ? 1 : n]);
    std::copy(full.begin(), full.begin() + n, copy.get());
    (void)ParseDirectoryEntries(copy.get(), n);
    (void)ParseMessage(copy.get(), n);
  }
}

TEST(WireParse, TrimCardName)
{
  struct Case {
    std::string field;
    std::string shown;
  };
  const Case cases[] = {
      {"VOCALS  ", "VOCALS"},
      {"ABCDEFGH", "ABCDEFGH"},
      {"ABCDEFGHIJ", "ABCDEFGH"},
      {std::string("AB\0\0\0\0\0\0", 8), "AB"},
      {std::string("AB\0CD   ", 8), "AB"},
      {"AB\xf7", "AB"},
      {"\xf7", ""},
      {"AB\xf7\x33\x20\x0b\x10", "AB"},
      {"AB\t\r\n   ", "AB"},
      {"AB\x7f     ", "AB"},
      {"A B     ", "A B"},
      {"  AB    ", "  AB"},
      {"        ", ""},
      {std::string(8, '\0'), ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(TrimCardName(reinterpret_cast<const std::uint8_t*>(c.field.data()), c.field.size()), c.shown);
  }
}
