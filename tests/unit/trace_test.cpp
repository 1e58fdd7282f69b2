// The message trace: a new private file or an agreed append, never over a
// file by surprise, and a size limit with a last line that says so.
#include <gtest/gtest.h>

#include "link/trace.h"
#include "tests/support/engine_fixture.h"

namespace zr::test {
namespace {

const Bytes kMessage{0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B, 0x40, 0xF7};

std::string Text(const fs::path& p)
{
  const Bytes b = ReadFile(p);
  return std::string(b.begin(), b.end());
}

TEST(Trace, ExistingFileIsKeptUnlessAppendingWasAsked)
{
  struct Case {
    const char* what;
    bool existing;
    bool append;
    bool ok;
  };
  const Case cases[] = {
      {"new file", false, false, true},
      {"existing file refused", true, false, false},
      {"existing file appended to", true, true, true},
      {"append creates a missing file", false, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    const fs::path path = folder.path() / "trace.txt";
    if (c.existing)
      WriteFile(path, {'o', 'l', 'd', '\n'});
    {
      TraceFile trace(Utf8(path), c.append);
      EXPECT_EQ(trace.Ok(), c.ok);
      trace.Write(true, kMessage.data(), kMessage.size());
    }
    const std::string text = Text(path);
    EXPECT_EQ(text.starts_with("old\n"), c.existing);
    EXPECT_EQ(text.ends_with(" -> F0 00 7F 33 20 0B 40 F7\n"), c.ok);
  }
}

TEST(Trace, IsPrivateAndNeverFollowsALink)
{
  if (fs::path::preferred_separator == L'\\')
    GTEST_SKIP() << "Windows keeps the trace private by the profile's access list";
  TempFolder folder;
  const fs::path path = folder.path() / "trace.txt";
  EXPECT_TRUE(TraceFile(Utf8(path)).Ok());
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);

  const fs::path victim = folder.path() / "victim";
  WriteFile(victim, {'v'});
  fs::create_symlink(victim, folder.path() / "link.txt");
  for (const bool append : {false, true})
    EXPECT_FALSE(TraceFile(Utf8(folder.path() / "link.txt"), append).Ok());
  EXPECT_EQ(ReadFile(victim), Bytes{'v'});
}

TEST(Trace, StopsAtItsLimitWithALastLine)
{
  TempFolder folder;
  const fs::path path = folder.path() / "trace.txt";
  {
    TraceFile trace(Utf8(path), false, 400);
    for (int i = 0; i < 50; ++i)
      trace.Write(i % 2 == 0, kMessage.data(), kMessage.size());
  }
  const std::string text = Text(path);
  EXPECT_LE(text.size(), 400u);
  EXPECT_GT(text.size(), 300u);
  EXPECT_TRUE(text.ends_with("\ntrace stopped: it reached its limit of 400 bytes\n")) << text;
}

} // namespace
} // namespace zr::test
