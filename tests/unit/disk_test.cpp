// The disk unit: whole files or none, replacing only when agreed, the
// precise error, and the names Windows treats apart (long, non-ASCII, devices).
#include <gtest/gtest.h>

#include <functional>

#include "tests/support/engine_fixture.h"
#include "files/datatypes.h"
#include "files/disk.h"
#include "engine/filer.h"
#include "files/pc_path.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace zr::test {
namespace {

#if defined(_WIN32)
constexpr bool kWindows = true;
// Another program's handle on the file, sharing nothing.
std::function<void()> HoldOpen(const fs::path& p)
{
  HANDLE h = CreateFileW(p.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return [h] { CloseHandle(h); };
}
#else
constexpr bool kWindows = false;
std::function<void()> HoldOpen(const fs::path&)
{
  return {};
}
#endif

// Every entry of a folder, temporaries included.
int Entries(const fs::path& folder)
{
  return static_cast<int>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(Disk, ReplacesOnlyWhenAgreedAndSaysWhatWentWrong)
{
  enum class Before { Nothing, File, Folder, NoParent };
  struct Case {
    const char* what;
    Before before;
    bool replace;
    int error;
  };
  const Case cases[] = {
      {"new file", Before::Nothing, false, ERR_NONE},
      {"replace agreed", Before::File, true, ERR_NONE},
      {"file came in between", Before::File, false, ERR_FILE_EXISTS},
      {"folder in the way", Before::Folder, true, ERR_NAME_IS_FOLDER},
      {"folder in the way, no replace", Before::Folder, false, ERR_NAME_IS_FOLDER},
      {"folder gone", Before::NoParent, true, ERR_NOT_WRITABLE},
  };
  const Bytes old{1, 2, 3};
  const Bytes fresh = RandomBytes(3000, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder folder;
    fs::path target = folder.path() / "mix.kpr";
    if (c.before == Before::File)
      WriteFile(target, old);
    if (c.before == Before::Folder)
      fs::create_directory(target);
    if (c.before == Before::NoParent)
      target = folder.path() / "gone" / "mix.kpr";
    EXPECT_EQ(WriteFileSafely(Utf8(target), fresh.data(), fresh.size(), c.replace), c.error);
    if (c.before != Before::Folder) {
      EXPECT_EQ(ReadFile(target), c.error == ERR_NONE ? fresh : c.before == Before::File ? old : Bytes{});
    }
    // Nothing beside the target: no temporary left behind.
    EXPECT_EQ(Entries(folder.path()), c.before == Before::NoParent ? 0 : 1);
  }
}

TEST(Disk, LongAndNonAsciiPathsAreSaved)
{
  struct Case {
    const char* what;
    std::vector<std::u8string> folders;
    std::u8string name;
  };
  // Three folders of 40 keep the folder itself below Windows' 248 for
  // folders, and the 255-character name takes the path past 260.
  const std::u8string deep(40, u8'd');
  const Case cases[] = {
      {"255 characters in a deep folder", {deep, deep, deep}, std::u8string(251, u8's') + u8".ksu"},
      {"non-ASCII folders", {u8"Mischpult \u00dcbung", u8"\u65e5\u672c\u8a9e"}, u8"caf\u00e9.kpr"},
  };
  const Bytes fresh = RandomBytes(1500, 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempFolder root;
    fs::path folder = root.path();
    for (const std::u8string& f : c.folders)
      folder /= fs::path(f);
    fs::create_directories(folder);
    const std::string path = Utf8(folder / fs::path(c.name));
    ASSERT_EQ(WriteFileSafely(path, fresh.data(), fresh.size(), false), ERR_NONE) << path.size();
    EXPECT_EQ(ReadFile(folder / fs::path(c.name)), fresh);
    EXPECT_EQ(ExistingFileSize(path), fresh.size());
    // The name on disk is the name asked for, not its bytes read in another code page.
    ASSERT_EQ(Entries(folder), 1);
    EXPECT_EQ(Utf8(fs::directory_iterator(folder)->path().filename()), std::string(c.name.begin(), c.name.end()));
  }
}

TEST(Disk, CardNamesThatWindowsReservesBecomePlainFiles)
{
  const char* const cards[] = {"CON", "aux ", "Com1", "nul.", "LPT9  ", "PRN", "abc.."};
  const Bytes fresh = RandomBytes(100, 3);
  TempFolder folder;
  for (const char* card : cards) {
    SCOPED_TRACE(card);
    const std::string name = SafePcFileName(card) + ".kpr";
    ASSERT_EQ(WriteFileSafely(Utf8(folder.path()) + PATH_SEPARATOR + name, fresh.data(), fresh.size(), false),
              ERR_NONE);
    // Read back by its plain path, as any other program would: a device
    // name would open the device instead.
    std::ifstream in(folder.path() / name, std::ios::binary);
    EXPECT_EQ(Bytes(std::istreambuf_iterator<char>(in), {}), fresh);
  }
  EXPECT_EQ(Entries(folder.path()), static_cast<int>(std::size(cards)));
}

TEST(Disk, ReplacedFileKeepsItsPermissions)
{
  if (kWindows)
    GTEST_SKIP() << "Windows keeps permissions in access lists, not in a mode";
  TempFolder folder;
  const fs::path target = folder.path() / "private.kpr";
  WriteFile(target, {1});
  const fs::perms modes[] = {fs::perms::owner_read | fs::perms::owner_write,
                             fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read};
  for (const fs::perms mode : modes) {
    fs::permissions(target, mode);
    ASSERT_EQ(WriteStringSafely(Utf8(target), "new", true), ERR_NONE);
    EXPECT_EQ(fs::status(target).permissions(), mode);
  }
}

TEST(Disk, FileOpenInAnotherProgramIsNotReplaced)
{
  if (!kWindows)
    GTEST_SKIP() << "only Windows refuses to replace a file that is open";
  TempFolder folder;
  const fs::path target = folder.path() / "open.kpr";
  WriteFile(target, {1, 2});
  const std::function<void()> release = HoldOpen(target);
  EXPECT_EQ(WriteStringSafely(Utf8(target), "new", true), ERR_FILE_IN_USE);
  release();
  EXPECT_EQ(ReadFile(target), (Bytes{1, 2}));
  EXPECT_EQ(Entries(folder.path()), 1);
}

TEST(Disk, StaleTemporariesOfThisProgramAloneAreRemoved)
{
  struct Case {
    std::string name;
    bool old;
    bool removed;
  };
  const Case cases[] = {
      {TemporaryFileName(7), true, true},
      {".zr4812-1.part", true, true},
      {TemporaryFileName(7), false, false},     // may be another run's, writing now
      {".zr4812-notes.part", true, false},       // not our pattern
      {"zr4812-1.part", true, false},
      {".zr4812-1.part.kpr", true, false},
  };
  TempFolder folder;
  for (const Case& c : cases) {
    WriteFile(folder.path() / c.name, {1});
    if (c.old)
      fs::last_write_time(folder.path() / c.name, fs::file_time_type::clock::now() - std::chrono::hours(25));
  }
  // Writing into the folder clears it.
  ASSERT_EQ(WriteStringSafely(Utf8(folder.path() / "new.kpr"), "x", false), ERR_NONE);
  for (const Case& c : cases)
    EXPECT_EQ(fs::exists(folder.path() / c.name), !c.removed) << c.name;
  EXPECT_NE(TemporaryFileName(7), TemporaryFileName(7));
}

} // namespace
} // namespace zr::test
