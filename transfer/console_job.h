// A job for the whole console, run without a window: list the card, get card
// files, put PC files, back up and restore internal data, and archive
// everything. It drives the same Batch and engine as the window, standing in
// for the window's lists and boxes: its own card, internal and PC lists, and
// answers that the caller chose beforehand (replace or skip, confirm or not).
// The command-line program runs every command through it; the window runs
// the archive ("Back up everything...") through it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transfer/batch.h"
#include "transfer/host.h"

namespace zr {

class HostSwitch;
class Session;

struct CardFile {
  std::string name; // as the card list shows it
  int type = 0;
};

// "NAME.ext" as the PC sees a card file (the name made safe for the PC).
std::string CardFilePcName(const CardFile& file);
// The name a backup of `type` gets when no name is given: its display name in
// lower case with "-" for anything but letters and digits, and its extension
// ("project-all.kpr", "operating-system.kex").
std::string DefaultBackupName(int type);
// The archive's folder name for a moment: "zr4812-YYYYmmdd-HHMMSS" (local time).
std::string ArchiveFolderName(std::chrono::system_clock::time_point when);

// What the job shows while it runs. The terminal and the progress dialog
// implement it.
class JobView {
public:
  virtual ~JobView() = default;
  // File `number` of `count` begins; `name` as the PC sees it.
  virtual void FileBegins(int number, int count, const std::string& name) = 0;
  // Blocks of the file under way: `done` of `total`.
  virtual void FileProgress(int done, int total) = 0;
  // A file that did not go: skipped (it exists, and replacing was not asked
  // for) or failed; `why` says which.
  virtual void FileNotDone(const std::string& name, const std::string& why, bool skipped) = 0;
  // A word for the user about no file in particular ("Please press enter on
  // your mixer to save the update.").
  virtual void Notice(const std::string& text) = 0;
  // The engine's status line.
  virtual void Status(const std::string&) {}
  // Every step has run, or the job was stopped.
  virtual void Finished() = 0;
};

struct JobOptions {
  bool replace = false; // replace existing files instead of skipping them
  bool yes = false;     // confirm a restore of the operating system
};

class ConsoleJob : public Host {
public:
  // While it runs the job takes the session's host (through `hosts`) and its
  // batch steps; Finished gives both back.
  ConsoleJob(Session& session, HostSwitch& hosts, JobView& view, JobOptions options);
  ~ConsoleJob() override;
  ConsoleJob(const ConsoleJob&) = delete;
  ConsoleJob& operator=(const ConsoleJob&) = delete;

  // Takes over the host and the batch steps now (the command line does this
  // before it connects, so that the card listing after the search is the job's).
  void Attach();

  // The plan: each call adds steps, run in order by Run and Poll.
  void ListCard();
  // Card files by "NAME.ext" (case ignored), or every card file when `names`
  // is empty, into `folder`.
  void GetFiles(std::vector<std::string> names, std::string folder);
  void PutFiles(std::vector<std::string> paths);
  void Backup(int type, std::string path);
  void Restore(std::vector<std::string> paths);
  // Every card file and every internal kind into
  // parent/zr4812-YYYYmmdd-HHMMSS/{card,internal}, with SHA256SUMS.
  void Archive(std::string parent);

  // Starts the plan. Poll must then be called from the event loop (every few
  // milliseconds) until Done.
  void Run();
  void Poll();
  // As the progress dialog's Cancel: the file under way is dropped, nothing
  // more starts.
  void Cancel();

  bool Done() const { return done_; }
  // No exchange with the console under way (no watchdog, no pause).
  bool EngineIsIdle() const { return EngineIdle(); }
  // The job's batch, for the timer that paces the files of a restore.
  zr::Batch& batch() { return *batch_; }
  bool Cancelled() const { return cancelled_; }
  // The console stopped answering (a watchdog fired).
  bool ConsoleLost() const { return consoleLost_; }
  bool CardListed() const { return cardListed_; }
  const std::vector<CardFile>& CardFiles() const { return cards_; }
  int FilesDone() const { return filesDone_; }
  int FilesNotDone() const { return filesNotDone_; }
  std::uint64_t BytesDone() const { return bytesDone_; }
  double Seconds() const;
  const std::string& ArchiveFolder() const { return archiveFolder_; }
  // "N files, B bytes, S s", with the archive's folder in front after an archive.
  std::string SummaryLine() const;

  // --- Host ---
  void SetStatusText(const std::string& text) override;
  BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) override;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  void ProgressSetTitle(const std::string&) override {}
  void ProgressSetMaximum(int maximum) override { progressMaximum_ = maximum; }
  void ProgressShow() override;
  void ProgressSetPosition(int position) override;
  void ProgressSetLabel(const std::string&) override {}
  void ProgressClose() override {}
  std::string SelectedPcFolder() override;
  std::optional<std::string> PcListSizeText(const std::string& fileName) override;
  void CardListClear() override;
  void CardListAdd(int type, const std::vector<std::string>& names) override;
  void CardListSort() override;

private:
  class Items;
  struct Step {
    std::function<void()> start;  // sets up the lists and starts the engine
    std::function<void()> finish; // runs once the engine is idle again
  };
  struct PcItem {
    std::string folder, name;
    bool selected = true;
  };

  bool EngineIdle() const;
  void NextStep();
  void Finish();
  void Detach();
  void BeginFile(const std::string& name, std::uint64_t bytes);
  void Fail(const std::string& why);
  // Ends the file under way: reported as not done when it failed or was
  // skipped, else counted (with the bytes of `result` when that is a file).
  void EndFile(const std::string& result = {});
  void GetStep(const CardFile& file, const std::string& folder, int number, int count);
  void BackupStep(int type, const std::string& path, int number, int count);
  void WriteChecksums();

  Session& session_;
  HostSwitch& hosts_;
  JobView& view_;
  JobOptions options_;
  std::unique_ptr<Items> card_, internal_, pc_;
  std::unique_ptr<Batch> batch_;
  bool attached_ = false;
  BatchSteps* previousSteps_ = nullptr;

  std::deque<Step> steps_;
  Step current_;
  bool running_ = false, stepRunning_ = false, done_ = false, cancelled_ = false, consoleLost_ = false;

  std::vector<CardFile> cards_;
  std::vector<bool> cardSelected_;
  int internalSelected_ = -1;
  std::vector<PcItem> pcItems_;
  mutable int pcItemRead_ = -1; // the PC item whose caption was read last
  bool cardListed_ = false;
  bool restoring_ = false;

  std::string folder_; // the PC folder of the file under way
  std::string saveTo_; // the backup's file
  int saveAsked_ = 0;
  int progressMaximum_ = 0;
  int lastFileNr_ = 0;

  // The file under way.
  std::string fileName_;
  std::uint64_t fileBytes_ = 0;
  bool fileOpen_ = false, fileSkipped_ = false, fileCompleted_ = false;
  std::string fileWhy_;
  std::vector<std::string> archived_; // archive: files written, relative to its folder

  int filesDone_ = 0, filesNotDone_ = 0;
  std::uint64_t bytesDone_ = 0;
  std::string archiveFolder_;
  std::chrono::steady_clock::time_point startTime_{};
  std::chrono::steady_clock::time_point endTime_{};
};

} // namespace zr
