// The archive commands of the File menu, run from the window through the
// same job as `zr4812 archive`, `restore-archive` and `verify`, shown in the
// progress dialog: "Back up everything...", "Restore everything..." and
// "Compare with archive...".
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

#include "engine/engine.h"
#include "jobs/console_job.h"

namespace zr {

class WindowHost;

// While its job runs it hears the engine's events: each time the engine
// is idle, the job takes its next step.
class WindowArchive : public JobView, private EngineObserver {
public:
  // `host` is the window as the engine sees it: the progress dialog, the
  // status line and the boxes.
  WindowArchive(Engine& engine, WindowHost& host);
  ~WindowArchive() override;

  // Each returns at once and does nothing while another batch or job runs.
  // At the end the status line has the job's summary line, and one box
  // names every file that failed and why, as at the end of a batch.

  // Archives every card file and internal kind into a new folder below `parent`.
  void Start(const std::string& parent);
  // Puts what `what` chooses of the (checked) archive in `folder` back into
  // the console; card files it holds already are replaced when `replace`.
  // Choosing the operating system is the user's confirmation of it; the
  // console's word after it comes in a box once the progress dialog is gone.
  void StartRestore(const std::string& folder, const ArchiveRestore& what, bool replace);
  // Compares every file of the archive in `folder` with the console; `show`
  // gets what was found once the progress dialog is gone.
  void StartVerify(const std::string& folder, std::function<void(const std::vector<Comparison>&)> show);
  bool Running() const { return job_ != nullptr; }
  // The progress dialog's Cancel while a job runs.
  void Cancel();

  // JobView
  void FileBegins(int number, int count, const std::string& name) override;
  void FileProgress(int done, int total) override;
  void FileNotDone(const std::string& name, const std::string& why, bool skipped) override;
  void Notice(const std::string& text) override;
  void ConsoleNotice(const std::string& text) override;
  void Finished() override;

private:
  enum class Kind { Archive, Restore, Verify };
  // A job of `kind` holds the engine from now on; false when it cannot.
  bool Begin(Kind kind, JobOptions options);
  // The job's next step, from the event loop (not from inside the engine's
  // step that went idle); the end of the job once it is done.
  void Step();
  void Idle() override;

  Engine& engine_;
  WindowHost& host_;
  std::unique_ptr<ConsoleJob> job_;
  QObject steps_; // what the posted steps belong to
  Kind kind_ = Kind::Archive;
  std::string folder_;               // the archive a restore comes from
  std::vector<std::string> failed_;  // "name: why", in the order they failed
  int skipped_ = 0;                  // card files left as they were
  std::vector<std::string> notices_; // the console's, for boxes at the end
  std::function<void(const std::vector<Comparison>&)> showComparisons_;
};

} // namespace zr
