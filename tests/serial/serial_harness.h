// The core with the real serial back-end, talking to a zr4812-sim of its
// own over a pseudo-terminal: the pieces the serial integration tests and
// the throughput benchmark share.
#pragma once

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include "frontend/qt_timer.h"
#include "link/backend/serial_qt.h"
#include "link/com_ports.h"
#include "link/comm.h"
#include "tests/support/fakes.h"
#include "engine/session.h"

namespace zr::test {

// Turns the event loop until `done` holds; false when `timeoutMs` ran out first.
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs = 60000)
{
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired())
      return false;
    QEventLoop loop;
    QTimer::singleShot(2, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

// A card and an internal-memory folder for a console and a PC folder beside
// them, all removed when this goes.
struct ConsoleFolders {
  QTemporaryDir root;
  std::filesystem::path card, internal, pc;

  ConsoleFolders()
  {
    const std::filesystem::path base = root.path().toStdString();
    card = base / "card";
    internal = base / "internal";
    pc = base / "pc";
    for (const std::filesystem::path& p : {card, internal, pc})
      std::filesystem::create_directories(p);
  }
  // A card file of `size` bytes.
  void AddCardFile(const std::string& name, int size = 100)
  {
    std::ofstream(card / name, std::ios::binary) << std::string(static_cast<std::size_t>(size), 'x');
  }
};

// One zr4812-sim process; stopped when this goes.
class SimProcess {
public:
  SimProcess() = default;
  SimProcess(const SimProcess&) = delete;
  ~SimProcess() { Stop(); }

  // Starts the console on the folders with extra options; the slave path of
  // its pseudo-terminal is then Path(). False with a reason on failure.
  bool Start(const std::filesystem::path& card, const std::filesystem::path& internal,
             const QStringList& extra, std::string& error)
  {
    logPath_ = (card.parent_path() / ("sim-" + card.filename().string() + ".log")).string();
    QStringList args{"--card",
                     QString::fromStdString(card.string()),
                     "--internal",
                     QString::fromStdString(internal.string()),
                     "--die-with-parent",
                     "--log",
                     QString::fromStdString(logPath_)};
    args += extra;
    process_.setProgram(ZR_BUILD_DIR "/zr4812-sim");
    process_.setArguments(args);
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start();
    if (!process_.waitForStarted(30000)) {
      error = "zr4812-sim did not start: " + process_.errorString().toStdString();
      return false;
    }
    QDeadlineTimer deadline(30000);
    while (!process_.canReadLine()) {
      if (deadline.hasExpired() || !process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        error = "zr4812-sim printed no device path: " + process_.readAllStandardError().toStdString();
        return false;
      }
    }
    path_ = QString::fromUtf8(process_.readLine()).trimmed().toStdString();
    return !path_.empty();
  }
  const std::string& Path() const { return path_; }
  const std::string& LogPath() const { return logPath_; }

  void Stop()
  {
    if (process_.state() == QProcess::NotRunning)
      return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
      process_.kill();
      process_.waitForFinished(10000);
    }
  }

private:
  QProcess process_;
  std::string path_;
  std::string logPath_;
};

// The window side of the tests: records everything, and hands directory
// replies to a hook so a test can walk the card listing chain.
class ChainHost : public FakeHost {
public:
  void CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply) override
  {
    FakeHost::CardDirectoryReply(type, names, sortAfterEveryReply);
    if (onDirectoryReply)
      onDirectoryReply(type);
  }
  std::function<void(int)> onDirectoryReply;
};

// What a session on either link shares: the recording window side with the
// card listing chain the main window runs, the real timers, and the steps of
// a one-file batch over the link's medium.
class HarnessSession {
public:
  explicit HarnessSession(int medium) : medium_(medium)
  {
    // The card listing chain as the main window runs it: type 0, then each
    // next type when the reply for the previous one is in.
    host.onRequestCardDirectory = [this](int type) {
      session.RequestTypeDirectory(medium_, type < 0 ? 0 : type);
    };
    host.onDirectoryReply = [this](int type) {
      timers.UploadTimer.Stop();
      if (type < 8)
        host.RequestCardDirectory(type + 1);
    };
  }
  HarnessSession(const HarnessSession&) = delete;
  HarnessSession& operator=(const HarnessSession&) = delete;

  bool StatusSeen(const std::string& text) const
  {
    for (const std::string& s : host.statuses)
      if (s.find(text) != std::string::npos)
        return true;
    return false;
  }

  // Fetches card file `name` of `type` into the PC folder as a one-file
  // batch does; true once the batch moves on, false when `timeoutMs` ran out.
  bool DownloadCardFile(int type, const std::string& name, int timeoutMs = 60000)
  {
    host.cardSelected = 1;
    session.batch.FileNr = 1;
    session.RequestCardFile(medium_, type, name, host.pcFolder);
    return RunUntil([this] { return !host.receivedFilesDone.empty(); }, timeoutMs);
  }

  // Starts sending PC file `name` to the card as a one-file batch does; the
  // caller waits for what it needs to see.
  void StartUpload(const std::string& name)
  {
    host.pcSelected = 1;
    session.batch.FileNr = 1;
    session.batch.SendFinished = false;
    session.SendFileToCard(medium_, name, host.pcFolder);
  }

  ChainHost host;
  QtTimerSet timers;
  TestSession session{host, timers.timers};
  int watchdogsFired = 0;

protected:
  // Timers the test does not drive: they only stop and count that they fired.
  void CountFirings(std::initializer_list<QtTimer*> watchdogs)
  {
    for (QtTimer* t : watchdogs) {
      t->SetHandler([this, t] {
        t->Stop();
        ++watchdogsFired;
      });
    }
  }

private:
  int medium_;
};

// A session whose serial link (COM 1) is the given device, polled by a real
// CommTimer as the main window polls it. Watchdogs only record that they fired.
class SerialSession : public HarnessSession {
public:
  explicit SerialSession(const std::string& device)
      : HarnessSession(1), com(session, QtSerialDeviceFactory(), MakeComPortPaths({{1, device}}))
  {
    session.Com = &com;
    session.link.ComPortNumber = 1;
    timers.CommTimer.SetHandler([this] {
      timers.CommTimer.Stop();
      com.ComReadAndDispatch();
      timers.CommTimer.Start();
    });
    CountFirings({&timers.TimeoutTimer, &timers.UploadTimer, &timers.DownloadTimer, &timers.DummyTimer});
  }
  ~SerialSession() { com.CloseComPort(); }

  ComLink com;
};

} // namespace zr::test
