// zr4812 end to end: the built program against a zr4812-sim of its own, over
// a pseudo-terminal and over JACK MIDI, as a script would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <QCoreApplication>
#include <QProcess>

#include "tests/serial/serial_harness.h"
#include "tests/support/jack_server.h"

namespace zr::test {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path)
{
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Whether two files hold the same bytes; a failure says how they differ
// instead of printing them.
::testing::AssertionResult SameBytes(const fs::path& a, const fs::path& b)
{
  const std::string x = ReadAll(a), y = ReadAll(b);
  if (x == y)
    return ::testing::AssertionSuccess() << a << " and " << b << " hold the same " << x.size() << " bytes";
  return ::testing::AssertionFailure()
         << a << " (" << x.size() << " bytes) differs from " << b << " (" << y.size() << " bytes)";
}

void WriteFile(const fs::path& path, std::size_t size, unsigned seed)
{
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(seed >> 16);
  }
  std::ofstream(path, std::ios::binary) << bytes;
}

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};

// zr4812 on the port of `sim`, run in `folder`.
Outcome RunOn(const SimProcess& sim, const fs::path& folder, const QStringList& args)
{
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(folder.string()));
  p.start(ZR_BUILD_DIR "/zr4812", QStringList{"--port", QString::fromStdString(sim.Path())} + args);
  EXPECT_TRUE(p.waitForFinished(120000));
  return Outcome{p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
}

// A console with a few card files and every internal kind, served by a sim
// over a pseudo-terminal or MIDI, and zr4812 run against it.
class CliTest : public ::testing::TestWithParam<bool> {
protected:
  static void SetUpTestSuite() { SuiteJackServer::Start(); }
  static void TearDownTestSuite() { SuiteJackServer::Stop(); }

  void SetUp() override
  {
    midi_ = GetParam();
    if (midi_ && !SuiteJackServer::Running())
      GTEST_SKIP() << "no JACK server: " << SuiteJackServer::Error();
    WriteFile(f_.card / "SONG1.kpr", 48000, 1);
    WriteFile(f_.card / "VOCALS.kch", 3100, 3);
    WriteFile(f_.card / "TINY.ksu", 5, 10);
    const char* ext[] = {"kpr", "kch", "keq", "kcg", "kfx", "ka", "ksn", "ksu", "kex"};
    for (int i = 0; i < 9; ++i)
      WriteFile(f_.internal / (std::string("internal.") + ext[i]), 900 + 100 * i, 20 + i);
    QStringList extra{"--baud", "0"};
    if (midi_)
      extra = QStringList{"--midi", "--name", portName_};
    std::string error;
    ASSERT_TRUE(sim_.Start(f_.card, f_.internal, extra, error)) << error;
    link_ = midi_ ? QStringList{"--midi", portName_ + "," + portName_}
                  : QStringList{"--port", QString::fromStdString(sim_.Path())};
  }

  Outcome Zr(QStringList args, const fs::path& folder = {})
  {
    QProcess p;
    p.setProgram(ZR_BUILD_DIR "/zr4812");
    p.setArguments(link_ + args);
    p.setWorkingDirectory(QString::fromStdString((folder.empty() ? f_.pc : folder).string()));
    p.start();
    EXPECT_TRUE(p.waitForStarted(30000));
    EXPECT_TRUE(p.waitForFinished(180000));
    return {p.exitCode(), p.readAllStandardOutput().toStdString(), p.readAllStandardError().toStdString()};
  }

  bool midi_ = false;
  const QString portName_ = QStringLiteral("ZR4812 CliSim");
  ConsoleFolders f_;
  SimProcess sim_;
  QStringList link_;
};

TEST_P(CliTest, ListsTheCardInTheCardListsOrder)
{
  const Outcome r = Zr({"list"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "SONG1.kpr\tProject (all)\nTINY.ksu\tSetup\nVOCALS.kch\tChannel Library\n");
  EXPECT_EQ(Zr({"list", "--type", "ksu"}).out, "TINY.ksu\tSetup\n");
}

// Fault 5 of "Both directions fuzzed": over MIDI, a link test that never
// came back closed the ports with nothing armed, and zr4812 waited for ever.
TEST_P(CliTest, ALinkTestThatNeverComesBackEndsTheConnection)
{
  if (!midi_)
    GTEST_SKIP() << "only MIDI has a link test";
  SimProcess silent;
  std::string error;
  ASSERT_TRUE(silent.Start(f_.card, f_.internal,
                           {"--midi", "--name", "ZR4812 NoTest", "--silent-after", "block-request"}, error))
      << error;
  link_ = {"--midi", "ZR4812 NoTest,ZR4812 NoTest"};
  const Outcome r = Zr({"list"});
  EXPECT_EQ(r.exitCode, 3) << r.err; // no console
}

TEST_P(CliTest, GetAllIsByteIdenticalAndNeverReplacesWithoutBeingTold)
{
  fs::create_directories(f_.pc / "got");
  Outcome r = Zr({"get", "--all", "--to", "got"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  for (const char* name : {"SONG1.kpr", "VOCALS.kch", "TINY.ksu"})
    EXPECT_TRUE(SameBytes(f_.pc / "got" / name, f_.card / name)) << name;

  std::ofstream(f_.pc / "got" / "TINY.ksu", std::ios::binary) << "mine";
  r = Zr({"get", "TINY.ksu", "--to", "got"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("TINY.ksu: skipped"), std::string::npos) << r.err;
  EXPECT_EQ(ReadAll(f_.pc / "got" / "TINY.ksu"), "mine");
  EXPECT_EQ(Zr({"get", "TINY.ksu", "--to", "got", "--replace"}).exitCode, 0);
  EXPECT_TRUE(SameBytes(f_.pc / "got" / "TINY.ksu", f_.card / "TINY.ksu"));
}

TEST_P(CliTest, PutSkipsACardFileOfTheSameNameUnlessToldToReplaceIt)
{
  WriteFile(f_.pc / "Lead Vox.kch", 20000, 31);
  WriteFile(f_.pc / "VOCALS.kch", 3000, 32);
  Outcome r = Zr({"put", "Lead Vox.kch", "VOCALS.kch"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("VOCALS.kch: skipped"), std::string::npos) << r.err;
  EXPECT_TRUE(SameBytes(f_.card / "lead_vox.kch", f_.pc / "Lead Vox.kch"));
  EXPECT_FALSE(SameBytes(f_.card / "VOCALS.kch", f_.pc / "VOCALS.kch"));

  r = Zr({"put", "--replace", "VOCALS.kch"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(f_.card / "VOCALS.kch", f_.pc / "VOCALS.kch"));
}

TEST_P(CliTest, BacksUpAndRestoresInternalData)
{
  Outcome r = Zr({"backup", "ksu"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(f_.pc / "setup.ksu", f_.internal / "internal.ksu"));

  WriteFile(f_.pc / "new.keq", 1700, 40);
  WriteFile(f_.pc / "os.kex", 2500, 41);
  r = Zr({"restore", "new.keq", "os.kex"});
  EXPECT_EQ(r.exitCode, 1) << "a new operating system needs --yes";
  EXPECT_FALSE(SameBytes(f_.internal / "internal.keq", f_.pc / "new.keq"));
  r = Zr({"restore", "new.keq", "os.kex", "--yes"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("Please press enter on your mixer to save the update."), std::string::npos);
  EXPECT_TRUE(SameBytes(f_.internal / "internal.keq", f_.pc / "new.keq"));
  EXPECT_TRUE(SameBytes(f_.internal / "internal.kex", f_.pc / "os.kex"));
}

TEST_P(CliTest, ArchiveHoldsTheWholeConsoleWithChecksumsThatSha256sumAccepts)
{
  const Outcome r = Zr({"archive", "backups"}, f_.pc);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  fs::path archive;
  for (const fs::directory_entry& e : fs::directory_iterator(f_.pc / "backups"))
    archive = e.path();
  ASSERT_FALSE(archive.empty());
  EXPECT_NE(r.out.find(archive.string() + ": 12 files"), std::string::npos) << r.out;
  for (const char* name : {"SONG1.kpr", "VOCALS.kch", "TINY.ksu"})
    EXPECT_TRUE(SameBytes(archive / "card" / name, f_.card / name)) << name;
  EXPECT_TRUE(SameBytes(archive / "internal" / "project-all.kpr", f_.internal / "internal.kpr"));
  EXPECT_TRUE(SameBytes(archive / "internal" / "operating-system.kex", f_.internal / "internal.kex"));
  QProcess check;
  check.setWorkingDirectory(QString::fromStdString(archive.string()));
  check.start("sha256sum", {"--quiet", "-c", "SHA256SUMS"});
  ASSERT_TRUE(check.waitForFinished(30000));
  EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();
  const std::string sums = ReadAll(archive / "SHA256SUMS");
  EXPECT_EQ(std::count(sums.begin(), sums.end(), '\n'), 13); // 12 files and CARDNAMES
}

// The only folder below `parent`.
fs::path OnlyFolder(const fs::path& parent)
{
  fs::path found;
  for (const fs::directory_entry& e : fs::directory_iterator(parent))
    found = e.path();
  return found;
}

// The lines of `verify` that are not "same".
std::string NotSame(const std::string& out)
{
  std::string lines, line;
  std::istringstream in(out);
  while (std::getline(in, line))
    if (!line.ends_with("\tsame"))
      lines += line + "\n";
  return lines;
}

TEST_P(CliTest, VerifyNamesWhatChangedAndRestoreArchivePutsItBack)
{
  Outcome r = Zr({"archive", "backups"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const fs::path archive = OnlyFolder(f_.pc / "backups");
  const QString a = QString::fromStdString(archive.string());
  EXPECT_EQ(Zr({"verify", a}).exitCode, 0);

  WriteFile(f_.card / "VOCALS.kch", 3100, 99);
  fs::remove(f_.card / "TINY.ksu");
  WriteFile(f_.internal / "internal.keq", 1100, 98);
  r = Zr({"verify", a});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(NotSame(r.out), "card/TINY.ksu\tmissing on the console\ncard/VOCALS.kch\tdiffers\n"
                            "internal/eq-library.keq\tdiffers\n")
      << r.out;

  // A dry run changes nothing; the card half leaves the internal kinds.
  r = Zr({"restore-archive", "-n", "--replace", a});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Zr({"restore-archive", "--replace", "--card-only", a});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(NotSame(Zr({"verify", a}).out), "internal/eq-library.keq\tdiffers\n");

  r = Zr({"restore-archive", "--replace", a});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = Zr({"verify", a});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(NotSame(r.out), "");

  // A damaged archive is refused, naming the file, before the console is asked.
  WriteFile(archive / "card" / "SONG1.kpr", 48000, 2);
  r = Zr({"restore-archive", a});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("card/SONG1.kpr does not match"), std::string::npos) << r.err;
}

// Two card names that become one PC name, fetched and archived twice in a row.
TEST_P(CliTest, CardNamesThatMeetOnThePcStayApart)
{
  WriteFile(f_.card / "MIX+1.kch", 700, 51);
  WriteFile(f_.card / "MIX=1.kch", 800, 52);
  Outcome r = Zr({"list", "--type", "kch"});
  EXPECT_EQ(r.out, "MIX+1.kch\tChannel Library\nMIX=1.kch\tChannel Library\nVOCALS.kch\tChannel Library\n");
  r = Zr({"get", "--all", "--replace"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(f_.pc / "MIX_1.kch", f_.card / "MIX+1.kch"));
  EXPECT_TRUE(SameBytes(f_.pc / "MIX_1~2.kch", f_.card / "MIX=1.kch"));
  fs::create_directories(f_.pc / "backups");
  EXPECT_EQ(Zr({"get", "MIX=1.kch", "--to", "backups"}).exitCode, 0);
  EXPECT_TRUE(SameBytes(f_.pc / "backups" / "MIX_1.kch", f_.card / "MIX=1.kch"));

  fs::create_directories(f_.pc / "twice");
  fs::create_symlink(f_.pc / "MIX_1.kch", f_.pc / "twice" / "planted");
  ASSERT_EQ(Zr({"archive", "twice"}).exitCode, 0);
  ASSERT_EQ(Zr({"archive", "twice"}).exitCode, 0);
  int archives = 0;
  for (const fs::directory_entry& e : fs::directory_iterator(f_.pc / "twice")) {
    if (e.is_symlink())
      continue;
    ++archives;
    const std::string sums = ReadAll(e.path() / "SHA256SUMS");
    EXPECT_NE(sums.find("  card/MIX_1~2.kch\n"), std::string::npos) << sums;
    EXPECT_EQ(std::count(sums.begin(), sums.end(), '\n'), 15) << sums; // 14 files and CARDNAMES
  }
  EXPECT_EQ(archives, 2);
  EXPECT_TRUE(SameBytes(f_.pc / "MIX_1.kch", f_.card / "MIX+1.kch")) << "written through a link";
}

INSTANTIATE_TEST_SUITE_P(Links, CliTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Midi" : "Serial"; });

// Without a console: the command line and the port are checked first.
TEST(CliErrors, UsageErrorsExit2AndAMissingPortExits3)
{
  struct Case {
    QStringList args;
    int exitCode;
    const char* says;
  } cases[] = {
      {{"frob"}, 2, "unknown command frob"},
      {{"get"}, 2, "Usage:"},
      {{"backup", "xyz"}, 2, "unknown kind xyz"},
      {{"--port", "/nonexistent/ttyZR", "list"}, 3, "cannot open /nonexistent/ttyZR"},
      {{"--port", "/nonexistent/ttyZR", "put", "-x.kch"}, 2, "unknown option -x.kch"},
      {{"--port", "/nonexistent/ttyZR", "put", "--", "-x.kch"}, 3, "cannot open"},
      {{"--port", "/nonexistent/ttyZR", "--trace", ZR_BUILD_DIR "/CMakeCache.txt", "list"},
       2,
       "exists already"},
      {{"verify", "/nonexistent/archive"}, 1, "SHA256SUMS is missing"},
      // Help and version are options, not names or values.
      {{"--port", "/nonexistent/ttyZR", "put", "--", "--version"}, 2, "--version does not end in a kind's"},
      // A folder that cannot take the files is refused before the console is asked.
      {{"--port", "/nonexistent/ttyZR", "get", "--all", "--to", "/nonexistent/folder"}, 1, "no such folder"},
      {{"--port", "/nonexistent/ttyZR", "get", "--all", "--to", "--help"}, 1, "--help: no such folder"},
  };
  for (const Case& c : cases) {
    QProcess p;
    p.start(ZR_BUILD_DIR "/zr4812", c.args);
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), c.exitCode) << c.args.join(' ').toStdString();
    EXPECT_NE(p.readAllStandardError().toStdString().find(c.says), std::string::npos) << c.says;
  }
}

// A console that damages a block until the file fails (a block without its
// end byte is no longer enough: the next message ends it, and the block is
// asked for again): with no retries the archive stops and says what it
// lacks, --resume finishes it. One silent for a whole watchdog: with
// retries the file goes again after a new search.
TEST(CliRetry, AnUnfinishedArchiveIsResumedAndASilentFileTriedAgain)
{
  ConsoleFolders f;
  WriteFile(f.card / "SONG1.kpr", 5000, 1);
  for (const char* ext : {"kpr", "kch", "keq", "kcg", "kfx", "ka", "ksn", "ksu", "kex"})
    WriteFile(f.internal / (std::string("internal.") + ext), 100, 2);
  const auto run = [&](SimProcess& sim, const QStringList& args) { return RunOn(sim, f.pc, args); };
  std::string error;
  SimProcess sim;
  ASSERT_TRUE(sim.Start(f.card, f.internal, {"--baud", "0", "--corrupt-block", "0:5"}, error)) << error;
  Outcome r = run(sim, {"archive", "--retries", "0"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  const fs::path archive = OnlyFolder(f.pc);
  EXPECT_EQ(ReadAll(archive / "INCOMPLETE").find("card/SONG1.kpr\n") != std::string::npos, true);
  EXPECT_FALSE(fs::exists(archive / "SHA256SUMS"));
  EXPECT_EQ(run(sim, {"verify", QString::fromStdString(archive.string())}).exitCode, 1);

  // A link planted where the mark says a file is missing is never taken for
  // the file, nor hashed, nor sent later.
  WriteFile(f.pc / "private", 5000, 7);
  fs::create_symlink(f.pc / "private", archive / "card" / "SONG1.kpr");
  r = run(sim, {"archive", "--resume", QString::fromStdString(archive.string())});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("card/SONG1.kpr: is not a regular file"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(archive / "SHA256SUMS"));
  fs::remove(archive / "card" / "SONG1.kpr");

  r = run(sim, {"archive", "--resume", QString::fromStdString(archive.string())});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(archive / "INCOMPLETE"));
  EXPECT_TRUE(SameBytes(archive / "card" / "SONG1.kpr", f.card / "SONG1.kpr"));
  QProcess check;
  check.setWorkingDirectory(QString::fromStdString(archive.string()));
  check.start("sha256sum", {"--quiet", "-c", "SHA256SUMS"});
  ASSERT_TRUE(check.waitForFinished(30000));
  EXPECT_EQ(check.exitCode(), 0) << check.readAllStandardOutput().toStdString();

  SimProcess again;
  // Silent once the file is asked for, until the search after the watchdog.
  ASSERT_TRUE(again.Start(f.card, f.internal,
                          {"--baud", "0", "--silent-after", "file-request", "--wake-on-search"}, error))
      << error;
  fs::create_directories(f.pc / "got");
  r = run(again, {"get", "SONG1.kpr", "--to", "got"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find("SONG1.kpr: trying again (1 of 2)"), std::string::npos) << r.err;
  EXPECT_TRUE(SameBytes(f.pc / "got" / "SONG1.kpr", f.card / "SONG1.kpr"));
}

// Every block of A was asked for and sent, yet the card kept nothing of
// it: the listing after the put shows it, and A is not reported sent.
TEST(CliPut, AFileTheCardDidNotKeepIsNotReportedSent)
{
  ConsoleFolders f;
  WriteFile(f.pc / "A.kch", 3000, 41);
  WriteFile(f.pc / "B.kch", 100, 42);
  std::string error;
  SimProcess sim;
  ASSERT_TRUE(sim.Start(f.card, f.internal, {"--baud", "0", "--card-loses-upload"}, error)) << error;
  const Outcome r = RunOn(sim, f.pc, {"put", "A.kch", "B.kch"});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_NE(r.err.find("A.kch: sent, but not on the card afterwards"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("B.kch:"), std::string::npos) << r.err;
  EXPECT_TRUE(SameBytes(f.card / "b.kch", f.pc / "B.kch"));
}

// A console that keeps card names as they are: SONG1 and song1 are two
// files there, and "A.B" is a name of its own. After an archive, an edit, a
// deletion and a changed kind, verify names exactly those, and the restore
// gives the console back under its own names.
TEST(CliNames, RestoreArchiveGivesTheConsoleBackUnderItsOwnNames)
{
  ConsoleFolders f;
  const char* names[] = {"SONG1.kpr", "A.B.kch", "MIX.ksu", "mix.ksu"};
  for (unsigned i = 0; i < std::size(names); ++i)
    WriteFile(f.card / names[i], 900 + 100 * i, 40 + i);
  for (const char* ext : {"kpr", "kch", "keq", "kcg", "kfx", "ka", "ksn", "ksu", "kex"})
    WriteFile(f.internal / (std::string("internal.") + ext), 100, 2);
  std::map<std::string, std::string> card;
  for (const char* name : names)
    card[name] = ReadAll(f.card / name);
  std::string error;
  SimProcess sim;
  ASSERT_TRUE(sim.Start(f.card, f.internal, {"--baud", "0", "--keep-case"}, error)) << error;
  const auto run = [&](const QStringList& args) { return RunOn(sim, f.pc, args); };
  ASSERT_EQ(run({"archive"}).exitCode, 0);
  const QString archive = QString::fromStdString(OnlyFolder(f.pc).string());

  WriteFile(f.card / "SONG1.kpr", 900, 99);
  fs::remove(f.card / "A.B.kch");
  WriteFile(f.internal / "internal.keq", 100, 98);
  Outcome r = run({"verify", archive});
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(NotSame(r.out), "card/A_B.kch\tmissing on the console\ncard/SONG1.kpr\tdiffers\n"
                            "internal/eq-library.keq\tdiffers\n")
      << r.out;

  r = run({"restore-archive", "--replace", archive});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  r = run({"verify", archive});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(NotSame(r.out), "");
  std::map<std::string, std::string> now;
  for (const fs::directory_entry& e : fs::directory_iterator(f.card))
    now[e.path().filename().string()] = ReadAll(e.path());
  EXPECT_TRUE(now == card) << "the card holds " << now.size() << " files";
}

// Ctrl+C during a get: the file under way never reaches the folder.
TEST(CliInterrupt, CtrlCDuringAGetLeavesNoPartialFile)
{
  ConsoleFolders f;
  WriteFile(f.card / "BIG.kpr", 300000, 7); // about 30 s at 115200 baud
  SimProcess sim;
  std::string error;
  ASSERT_TRUE(sim.Start(f.card, f.internal, {"--baud", "115200"}, error)) << error;
  QProcess p;
  p.setWorkingDirectory(QString::fromStdString(f.pc.string()));
  p.start(ZR_BUILD_DIR "/zr4812", {"--port", QString::fromStdString(sim.Path()), "get", "BIG.kpr"});
  ASSERT_TRUE(p.waitForStarted(30000));
  // Interrupted once the first blocks are in: the sim's log shows them.
  ASSERT_TRUE(RunUntil([&] { return ReadAll(sim.LogPath()).find("block 2") != std::string::npos; }, 60000))
      << ReadAll(sim.LogPath());
  ::kill(static_cast<pid_t>(p.processId()), SIGINT);
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 130);
  EXPECT_TRUE(fs::is_empty(f.pc)) << "a partial file was left";
}

} // namespace
} // namespace zr::test
