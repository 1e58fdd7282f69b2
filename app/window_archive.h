// "Back up everything...": the whole-console archive run from the window,
// through the same job as `zr4812 archive`, shown in the progress dialog.
#pragma once

#include <memory>
#include <string>

#include <QTimer>

#include "transfer/console_job.h"

namespace zr {

class Host;

class WindowArchive : public JobView {
public:
  // `host` is the window as the engine sees it: the progress dialog and
  // the status line.
  WindowArchive(Batch& batch, Host& host);
  ~WindowArchive() override;

  // Archives every card file and internal kind into a new folder below
  // `parent`. Returns at once; the status line ends with the archive's
  // summary line when it is done.
  void Start(const std::string& parent);
  bool Running() const { return job_ != nullptr; }
  // The progress dialog's Cancel while the archive runs.
  void Cancel();

  // JobView
  void FileBegins(int number, int count, const std::string& name) override;
  void FileProgress(int done, int total) override;
  void FileNotDone(const std::string& name, const std::string& why, bool skipped) override;
  void Notice(const std::string& text) override;
  void Finished() override;

private:
  void Poll();

  Batch& batch_;
  Host& host_;
  std::unique_ptr<ConsoleJob> job_;
  QTimer poll_;
  std::string firstFailure_;
};

} // namespace zr
