// Card files to PC names that stay unique within a batch, card names escaped
// for a terminal and back, an archive's SHA256SUMS read back with distrust,
// and the order in which an archive's internal kinds may be restored.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "tests/support/engine_fixture.h"
#include "files/archive_check.h"
#include "files/pc_names.h"

using namespace zr;
namespace fs = std::filesystem;

TEST(PcNames, UniqueWithinABatchIgnoringCase)
{
  struct Case {
    std::vector<CardFileRef> files;
    std::vector<std::string> stems;
  } cases[] = {
      {{{1, "MIX+1"}, {1, "MIX=1"}, {1, "MIX_1"}}, {"MIX_1", "MIX_1~2", "MIX_1~3"}},
      {{{1, "Mix"}, {1, "MIX"}, {0, "MIX"}}, {"Mix", "MIX~2", "MIX"}}, // another kind is another file
      {{{2, "CON"}, {2, "con"}}, {"CON_", "con_~2"}},
      {{{3, "A B"}, {3, "A/B"}, {3, "A_B"}}, {"A B", "A_B", "A_B~2"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(UniquePcStems(c.files), c.stems) << c.stems.front();
}

TEST(PcNames, EscapedForATerminalAndBack)
{
  struct Case {
    std::string card, shown;
  } cases[] = {
      {"SONG1", "SONG1"},
      {"MIX+1", "MIX+1"},
      {"A\tB", "A\\tB"},
      {"Q\"'", "Q\\\"\\'"},
      {"B\\S", "B\\\\S"},
      {"\x1b[2J", "\\x1B[2J"},
      {"\xC3\xA9t\xE9", "\\xC3\\xA9t\\xE9"},
      {"L\nF", "L\\nF"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapedCardName(c.card), c.shown);
    EXPECT_EQ(UnescapedCardName(c.shown), c.card) << c.shown;
  }
}

TEST(ArchiveCheck, RefusesWhatCannotBeTrustedAndNamesTheFile)
{
  const std::string good = "aaa";
  const std::string sum = "9834876dcfb05cb167a5c24953eba58c4ac89b1adf57f28f2f9d09af107ee8f0"; // of "aaa"
  struct Case {
    std::string sums;
    const char* problem; // part of the refusal; nullptr: accepted
  } cases[] = {
      {sum + "  card/SONG1.kpr\n" + sum + "  internal/setup.ksu\n", nullptr},
      {sum + "  card/VOCALS.kch\n", "card/VOCALS.kch does not match"},
      {sum + "  card/GONE.kpr\n", "card/GONE.kpr is missing"},
      {sum + "  card/../../etc.kpr\n", "damaged at line 1"},
      {sum + "  internal/x.txt\n", "damaged at line 1"},
      {sum + "  card/SONG1.kpr\nnot a sum\n", "damaged at line 2"},
      {"", "names no file"},
  };
  for (const Case& c : cases) {
    const zr::test::TempFolder dir;
    const fs::path root = dir.path();
    fs::create_directories(root / "card");
    fs::create_directories(root / "internal");
    std::ofstream(root / "card" / "SONG1.kpr") << good;
    std::ofstream(root / "card" / "VOCALS.kch") << "changed";
    std::ofstream(root / "internal" / "setup.ksu") << good;
    std::ofstream(root / CHECKSUM_FILE) << c.sums;
    const ArchiveCheck check = CheckArchive(root.string());
    if (!c.problem) {
      EXPECT_FALSE(check.problem) << *check.problem;
      EXPECT_EQ(check.contents.card, std::vector<std::string>{"SONG1.kpr"});
      ASSERT_TRUE(WriteIncompleteMark(root.string(), {"card/X.kpr"}));
      EXPECT_EQ(*ReadIncompleteMark(root.string()), std::vector<std::string>{"card/X.kpr"});
      EXPECT_NE(CheckArchive(root.string()).problem->find("incomplete"), std::string::npos);
    } else {
      ASSERT_TRUE(check.problem) << c.problem;
      EXPECT_NE(check.problem->find(c.problem), std::string::npos) << *check.problem;
    }
  }
}

// An archive folder is the user's input and may be hostile: entries that
// would hang a reader, lead outside the folder, take all memory or reach
// the terminal raw. Each is refused within a bound, naming the entry.
TEST(ArchiveCheck, HostileArchiveFoldersAreRefusedInTimeNamingTheEntry)
{
  const std::string sum = "9834876dcfb05cb167a5c24953eba58c4ac89b1adf57f28f2f9d09af107ee8f0"; // of "aaa"
  const std::string line = sum + "  card/SONG1.kpr\n";
  // FIFOs, device links and sparse files are set up the POSIX way; on
  // Windows only the rows of names run.
  const auto fifo = [](const fs::path& p) {
    fs::remove(p);
#ifndef _WIN32
    ASSERT_EQ(mkfifo(p.c_str(), 0600), 0);
#endif
  };
  const auto link = [](const fs::path& to, const fs::path& p) {
    fs::remove(p);
    fs::create_symlink(to, p);
  };
  const auto sparse = [](const fs::path& p) { fs::resize_file(p, 100ull << 30); };
  struct Case {
    const char* what;
    std::string sums;
    std::function<void(const fs::path& root, const fs::path& outside)> plant;
    const char* problem;
  } cases[] = {
      {"a FIFO", line, [&](const fs::path& r, const fs::path&) { fifo(r / "card" / "SONG1.kpr"); },
       "card/SONG1.kpr is not a regular file"},
      {"a link to /dev/zero", line,
       [&](const fs::path& r, const fs::path&) { link("/dev/zero", r / "card" / "SONG1.kpr"); },
       "card/SONG1.kpr is a link"},
      {"a link to a private file with the right sum", line,
       [&](const fs::path& r, const fs::path& o) { link(o / "private", r / "card" / "SONG1.kpr"); },
       "card/SONG1.kpr is a link"},
      {"card/ a link to another folder", line,
       [&](const fs::path& r, const fs::path& o) {
         fs::remove_all(r / "card");
         fs::create_directories(o / "card");
         link(o / "card", r / "card");
       },
       "card/ is not a folder"},
      {"a sparse 100 GB SHA256SUMS", line,
       [&](const fs::path& r, const fs::path&) { sparse(r / "SHA256SUMS"); }, "SHA256SUMS is too large"},
      {"a sparse 100 GB INCOMPLETE", line,
       [&](const fs::path& r, const fs::path&) {
         std::ofstream(r / "INCOMPLETE") << "x\n";
         sparse(r / "INCOMPLETE");
       },
       "the archive is incomplete"},
      {"SHA256SUMS a FIFO", line, [&](const fs::path& r, const fs::path&) { fifo(r / "SHA256SUMS"); },
       "SHA256SUMS is not a regular file"},
      {"the card names a FIFO", line + sum + "  CARDNAMES\n",
       [&](const fs::path& r, const fs::path&) { fifo(r / "CARDNAMES"); }, "CARDNAMES is not a regular file"},
      {"a drive in a name (Windows)", sum + "  card/C:x.kpr\n", {}, "damaged at line 1"},
      {"a terminal escape in a name", sum + "  card/\x1b]0;owned\x07.kpr\n", {}, "damaged at line 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
#ifdef _WIN32
    if (c.plant)
      continue;
#endif
    const zr::test::TempFolder dir, outside;
    const fs::path root = dir.path();
    fs::create_directories(root / "card");
    fs::create_directories(root / "internal");
    std::ofstream(root / "card" / "SONG1.kpr") << "aaa";
    std::ofstream(outside.path() / "private") << "aaa";
    std::ofstream(root / CHECKSUM_FILE) << c.sums;
    if (c.plant)
      c.plant(root, outside.path());
    // On a thread of its own: a check that hangs fails here instead of
    // hanging the tests (the thread is left to the end of the process).
    auto done = std::make_shared<std::promise<ArchiveCheck>>();
    std::future<ArchiveCheck> check = done->get_future();
    std::thread([done, folder = root.string()] { done->set_value(CheckArchive(folder)); }).detach();
    ASSERT_EQ(check.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "hangs";
    const ArchiveCheck result = check.get();
    ASSERT_TRUE(result.problem);
    EXPECT_NE(result.problem->find(c.problem), std::string::npos) << *result.problem;
  }
}

TEST(ArchiveCheck, InternalKindsGoBackInAnOrderTheRestoreRulesAllow)
{
  const std::vector<std::string> libraries = {"channel-library.kch",
                                              "eq-library.keq",
                                              "dynamics-library.kcg",
                                              "effects-library.kfx",
                                              "automation-data.ka",
                                              "snapshots.ksn",
                                              "setup.ksu"};
  std::vector<std::string> all = libraries;
  all.insert(all.begin(), "project-all.kpr");
  all.push_back("operating-system.kex");
  using Batches = std::vector<std::vector<std::string>>;
  struct Case {
    std::vector<std::string> names;
    bool withOs;
    Batches batches;
  } cases[] = {
      {all, false, {libraries}},
      {all, true, {libraries, {"operating-system.kex"}}},
      {{"project-all.kpr", "setup.ksu", "operating-system.kex"},
       true,
       {{"project-all.kpr"}, {"operating-system.kex"}}},
      {{"setup.ksu", "eq-library.keq"}, false, {{"eq-library.keq", "setup.ksu"}}},
      {{"operating-system.kex"}, false, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(InternalRestoreBatches(c.names, c.withOs), c.batches) << c.names.size();
}
