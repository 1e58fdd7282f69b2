// A job for the whole console, run without a window: list the card, get card
// files, put PC files, back up and restore internal data, and archive
// everything. It asks the engine's batch by intent, one step after another,
// and learns how each file ended from the batch's events; it answers the
// batch's questions as the caller chose beforehand (replace or skip, confirm
// or not). The command-line program runs every command through it; the
// window runs the archive, its restore and its comparison through it.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "files/archive_check.h"
#include "engine/batch.h"
#include "engine/events.h"
#include "files/pc_names.h"

namespace zr {

class Engine;
using CardFile = CardFileRef;

// "NAME.ext" as the PC sees a card file (the name made safe for the PC).
std::string CardFilePcName(const CardFile& file);
// The card file `wanted` ("NAME.ext") names: its own name exactly (or as
// EscapedCardName shows it), else the same ignoring case, else its PC name.
std::optional<CardFile> FindCardFile(const std::vector<CardFile>& cards, const std::string& wanted);
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
  // A word for the user about no file in particular.
  virtual void Notice(const std::string& text) = 0;
  // A word of the console's own for the user ("Please press enter on your
  // mixer to save the update."); a Notice unless the view shows it otherwise.
  virtual void ConsoleNotice(const std::string& text) { Notice(text); }
  // Every step has run, or the job was stopped.
  virtual void Finished() = 0;
};

struct JobOptions {
  bool replace = false; // replace existing files instead of skipping them
  bool yes = false;     // confirm a restore of the operating system
  // How often a file given up because the console fell silent or the line
  // failed is tried again from its start, each time after a new search.
  int retries = 0;
  // Starts a search for the console; once the engine is idle again,
  // `searchAnswered` says whether the console answered. Without them nothing
  // is tried again.
  std::function<void()> searchAgain;
  std::function<bool()> searchAnswered;
  // A file given up by a watchdog (and not tried again) fails, and the job
  // goes on with the next one, until SILENT_FILES_IN_A_ROW files in a row
  // got no answer. Without it the first such file ends the job.
  bool carryOnAfterSilence = false;
  // The job's first listing reads the card again even when a listing is in:
  // the window's list may be older than the card.
  bool freshCardList = false;
};
constexpr int SILENT_FILES_IN_A_ROW = 3;

// Which half of an archive goes back into the console.
struct ArchiveRestore {
  bool card = true;
  bool internal = true;
  bool withOs = false; // the operating system too, last (it needs `yes` as well)
  // Places of the archive ("card/SONG1.kpr", "internal/setup.ksu") that stay
  // where they are.
  std::vector<std::string> leaveOut{};
};

// How one file of an archive compares with the console.
enum class Verdict { Same, Differs, MissingOnConsole, NotInArchive, NotFetched };
struct Comparison {
  std::string place; // "card/SONG1.kpr", "internal/setup.ksu"
  Verdict verdict = Verdict::Same;
};
const char* VerdictText(Verdict verdict);

class ConsoleJob : public BatchListener {
public:
  ConsoleJob(Batch& batch, JobView& view, JobOptions options);
  // The job on the engine's batch: what a front end writes.
  ConsoleJob(Engine& engine, JobView& view, JobOptions options);
  ConsoleJob(const ConsoleJob&) = delete;
  ConsoleJob& operator=(const ConsoleJob&) = delete;

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
  // An archive that did not finish: only what it lacks, then SHA256SUMS.
  void ResumeArchive(std::string folder);
  // Every file the archive holds fetched from the console and compared; the
  // fetched bytes go to a private temporary folder that the job removes.
  void Verify(std::string folder);
  // The archive's card files onto the card (existing ones as `replace` says)
  // and its internal kinds into the console in an order the restore rules allow.
  void RestoreArchive(std::string folder, ArchiveRestore what);

  // Starts the plan. Poll must then be called from the event loop whenever
  // the engine has gone idle (EngineObserver::Idle) until Done.
  void Run();
  void Poll();
  // As the progress dialog's Cancel: the file under way is dropped, nothing
  // more starts.
  void Cancel();

  bool Done() const { return done_; }
  bool Cancelled() const { return cancelled_; }
  // The console stopped answering (a watchdog fired).
  bool ConsoleLost() const { return consoleLost_; }
  const std::vector<CardFile>& CardFiles() const { return batch_.CardFiles(); }
  int FilesDone() const { return filesDone_; }
  int FilesNotDone() const { return filesNotDone_; }
  std::uint64_t BytesDone() const { return bytesDone_; }
  double Seconds() const;
  const std::string& ArchiveFolder() const { return archiveFolder_; }
  // "N files, B bytes, S s", with the archive's folder in front after an archive.
  std::string SummaryLine() const;
  // What Verify found, in the order it found it.
  const std::vector<Comparison>& Comparisons() const { return comparisons_; }

  // --- BatchListener ---
  void FileStarted(const FileStart& start) override;
  void FileProgress(int done, int total) override { view_.FileProgress(done, total); }
  void FileEnded(const FileEnd& end) override;
  void BatchEnded(const BatchEnd&) override {}
  bool TakeNotice(const std::string& text) override;
  void Refused(const ScreenText& why) override;
  std::optional<ReplaceAnswer> AnswerReplace(const ReplaceQuestion& question) override;
  std::optional<bool> AnswerRestore(const std::vector<int>&) override { return true; }
  std::optional<bool> AnswerSilence(const SilenceQuestion& question) override;

private:
  struct Step {
    std::function<void()> start;  // starts the engine
    std::function<void()> finish; // runs once the engine is idle again
    int tries = 0;                // how often it was tried again
  };

  Step ListingStep();
  // After uploads: every file sent is looked for in the card listing that
  // follows them; one missing there did not reach the card.
  void CheckCardStep();
  void NextStep();
  void Finish();
  // A file that the job itself decided not to start.
  void NotDone(int number, int count, const std::string& name, const std::string& why, bool skipped);
  // The file of the step under way ended without the engine saying how.
  void CloseOpenFile(bool received);
  void GetStep(const CardFile& file, const std::string& folder, int number, int count,
               const std::string& stem);
  // The step that failed goes again, after a search.
  void RetryStep(Step step);
  bool MayRetry() const;
  void BackupStep(int type, const std::string& path, int number, int count);
  std::string WhyNotDone(const FileEnd& end) const;
  bool CreateArchiveFolder(const std::string& parent);
  void PlanArchive(bool onlyMissing);
  void EndArchive();
  void PlanVerify(const std::string& folder);
  void Compare(const std::string& place, const std::string& fetched, const std::string& folder);
  // The archive's card files at `places` as one upload under the console
  // names `names`; its internal files at `places` as one restore. Each file
  // is read once, checked against its sum, and those bytes are sent.
  void PutArchiveFiles(const std::string& folder, const ArchiveContents& archive,
                       std::vector<std::string> places, std::vector<std::string> names);
  void RestoreArchiveFiles(const std::string& folder, const ArchiveContents& archive,
                           std::vector<std::string> places);

  Batch& batch_;
  JobView& view_;
  JobOptions options_;

  std::deque<Step> steps_;
  Step current_;
  bool running_ = false, stepRunning_ = false, done_ = false, cancelled_ = false, consoleLost_ = false;

  // The step under way: its place in the plan, and the file the engine works on.
  int stepNumber_ = 0, stepCount_ = 0;
  bool multiFile_ = false; // a restore: the engine numbers its files
  bool fileOpen_ = false;
  std::string fileName_;
  std::string backupExtension_;
  std::string lastSaved_;                  // the PC file the last saved file went to
  // Files the console took for its card, to be found in the listing after.
  struct SentFile {
    int type;
    std::string cardName, shown;
  };
  std::vector<SentFile> sentToCard_;
  std::vector<std::string> archivePlaces_; // archive: every file it should hold, relative to its folder
  std::vector<std::string> archiveCardNames_; // archive: the console's name of each card place, in order
  std::vector<std::string> resumeMark_;       // resume: what INCOMPLETE lists as missing
  std::vector<std::string> refusedPlaces_;    // resume: entries found there that are not ours
  bool archiveListed_ = false, archiveEnded_ = false;
  std::string fetchFolder_; // verify: where the fetched files go for the moment
  std::string fetchedPath_; // verify: the file the step under way fetches
  std::vector<Comparison> comparisons_;
  PcNameSet pcNames_; // the names files of this job get on the PC
  bool retryPending_ = false;
  bool listedHere_ = false; // the job has read the card list itself
  int silentInARow_ = 0;    // files given up by a watchdog since the last one that went

  int filesDone_ = 0, filesNotDone_ = 0;
  std::uint64_t bytesDone_ = 0;
  std::string archiveFolder_;
  std::chrono::steady_clock::time_point startTime_{};
  std::chrono::steady_clock::time_point endTime_{};
};

} // namespace zr
