// What stands in for the window when zr4812 runs: a terminal for the job's
// progress. The host that answers nothing and the MIDI system without
// devices are the library's (engine/stand_ins.h).
#pragma once

#include <chrono>
#include <string>

#include "jobs/console_job.h"

namespace zr::cli {

// Progress on a terminal: one line on stderr, rewritten in place.
class TerminalView : public JobView {
public:
  explicit TerminalView(bool showProgress) : showProgress_(showProgress) {}

  void FileBegins(int number, int count, const std::string& name) override;
  void FileProgress(int done, int total) override { Draw(done, total); }
  void FileNotDone(const std::string& name, const std::string& why, bool skipped) override;
  void Notice(const std::string& text) override;
  void Finished() override { ClearLine(); }

  void ClearLine();

private:
  void Draw(int done, int total);

  bool showProgress_;
  bool drawn_ = false;
  int number_ = 0, count_ = 0;
  std::string name_;
  std::chrono::steady_clock::time_point began_{};
};

} // namespace zr::cli
