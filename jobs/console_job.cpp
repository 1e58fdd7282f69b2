// The job at work: the steps run one by one as the engine goes idle, and
// each file's ending as the batch reports it.
#include "jobs/console_job.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "files/archive_check.h"
#include "jobs/console_job_util.h"
#include "files/datatypes.h"
#include "engine/engine_parts.h"

namespace zr {

using namespace job_detail;

ConsoleJob::ConsoleJob(Batch& batch, JobView& view, JobOptions options)
    : batch_(batch), view_(view), options_(options)
{
}

ConsoleJob::ConsoleJob(Engine& engine, JobView& view, JobOptions options)
    : ConsoleJob(engine.Parts().batch, view, std::move(options))
{
}

// ---- Running ----

void ConsoleJob::Run()
{
  running_ = true;
  done_ = false;
  startTime_ = std::chrono::steady_clock::now();
  Poll();
}

void ConsoleJob::Poll()
{
  if (!running_ || done_)
    return;
  // A step is over when its batch has ended and nothing is under way with
  // the console any more (the card list read again after an upload, a
  // block asked for again after a file's end).
  while (running_ && batch_.Idle()) {
    if (stepRunning_) {
      stepRunning_ = false;
      Step done = std::move(current_);
      current_ = {};
      current_.tries = done.tries; // a finish may ask for its step again
      if (std::exchange(retryPending_, false) && !cancelled_)
        RetryStep(std::move(done));
      else if (done.finish)
        done.finish();
      continue;
    }
    if (consoleLost_ || cancelled_ || steps_.empty()) {
      Finish();
      return;
    }
    NextStep();
  }
}

void ConsoleJob::NextStep()
{
  current_ = std::move(steps_.front());
  steps_.pop_front();
  stepRunning_ = true;
  if (current_.start)
    current_.start();
}

void ConsoleJob::RetryStep(Step step)
{
  ++step.tries;
  view_.Notice("zr4812: " + fileName_ + ": trying again (" + std::to_string(step.tries) + " of " +
               std::to_string(options_.retries) + ")");
  steps_.push_front(std::move(step));
  // The console must answer a search again before the file goes again.
  steps_.push_front({[this] { options_.searchAgain(); },
                     [this] {
                       if (!options_.searchAnswered()) {
                         consoleLost_ = true;
                         ++filesNotDone_;
                         view_.FileNotDone(fileName_, "no answer from the console", false);
                       }
                     }});
}

bool ConsoleJob::MayRetry() const
{
  return options_.searchAgain && options_.searchAnswered && current_.tries < options_.retries && !cancelled_;
}

void ConsoleJob::Finish()
{
  running_ = false;
  done_ = true;
  if (archiveListed_ && !archiveEnded_)
    EndArchive();
  else if (!archiveFolder_.empty() && !archiveEnded_)
    WriteIncompleteMark(archiveFolder_, {"(the card list was not read)"});
  if (!fetchFolder_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(PathOf(fetchFolder_), ec);
    fetchFolder_.clear();
  }
  endTime_ = std::chrono::steady_clock::now();
  view_.Finished();
}

void ConsoleJob::Cancel()
{
  if (done_)
    return;
  cancelled_ = true;
  steps_.clear();
  // What the progress dialog's Cancel does; the file under way never reaches
  // the disk (it is written whole or not at all), and the batch reports it.
  batch_.Cancel();
  if (fileOpen_) {
    fileOpen_ = false;
    ++filesNotDone_;
    view_.FileNotDone(fileName_, "cancelled", false);
  }
  stepRunning_ = false;
  Finish();
}

double ConsoleJob::Seconds() const
{
  const auto end = done_ ? endTime_ : std::chrono::steady_clock::now();
  return std::chrono::duration<double>(end - startTime_).count();
}

std::string ConsoleJob::SummaryLine() const
{
  char text[128];
  std::snprintf(text, sizeof text, "%d file%s, %llu bytes, %.1f s", filesDone_, filesDone_ == 1 ? "" : "s",
                static_cast<unsigned long long>(bytesDone_), Seconds());
  return archiveFolder_.empty() ? std::string(text) : archiveFolder_ + ": " + text;
}

// ---- One file ----

void ConsoleJob::NotDone(int number, int count, const std::string& name, const std::string& why, bool skipped)
{
  view_.FileBegins(number, count, name);
  ++filesNotDone_;
  view_.FileNotDone(name, why, skipped);
}

void ConsoleJob::CloseOpenFile(bool received)
{
  if (!fileOpen_)
    return;
  fileOpen_ = false;
  ++filesNotDone_;
  view_.FileNotDone(fileName_,
                    consoleLost_ ? "no answer from the console" : (received ? "not received" : "not sent"),
                    false);
}

void ConsoleJob::FileStarted(const FileStart& start)
{
  fileOpen_ = true;
  fileName_ = start.name;
  lastSaved_.clear();
  // A restore of several files runs as one batch: the engine numbers them.
  if (multiFile_)
    view_.FileBegins(start.number, start.count, start.name);
  else
    view_.FileBegins(stepNumber_, stepCount_, start.name);
}

std::string ConsoleJob::WhyNotDone(const FileEnd& end) const
{
  switch (end.why) {
  case FileReason::Exists:
    if (end.kind == BatchKind::Upload)
      return "the card holds " + CardNameOf(end.name) + " (--replace replaces it)";
    return "it exists (--replace replaces it)";
  case FileReason::ConsoleSilent:
    return "no answer from the console";
  case FileReason::Cancelled:
    return "cancelled";
  case FileReason::WrongExtension:
    return "the file name must end in " + backupExtension_;
  case FileReason::LinkNotReady: {
    const std::size_t text = end.reason.find_first_not_of(' ');
    return text == std::string::npos ? end.reason : end.reason.substr(text);
  }
  default:
    return end.reason.empty() ? "failed" : end.reason;
  }
}

void ConsoleJob::FileEnded(const FileEnd& end)
{
  const bool wasOpen = fileOpen_;
  fileOpen_ = false;
  if (end.outcome == FileOutcome::Saved) {
    silentInARow_ = 0;
    ++filesDone_;
    bytesDone_ += end.bytes;
    lastSaved_ = end.path;
    if (!end.cardName.empty())
      sentToCard_.push_back({end.type, end.cardName, wasOpen ? fileName_ : end.name});
    return;
  }
  if (cancelled_ && end.why == FileReason::Cancelled)
    return; // Cancel has reported it
  if ((end.why == FileReason::ConsoleSilent || end.why == FileReason::LinkNotReady) && MayRetry()) {
    view_.Notice("zr4812: " + (wasOpen ? fileName_ : end.name) + ": " + WhyNotDone(end));
    if (!wasOpen)
      fileName_ = end.name;
    retryPending_ = true;
    return;
  }
  ++filesNotDone_;
  view_.FileNotDone(wasOpen ? fileName_ : end.name, WhyNotDone(end), end.outcome == FileOutcome::Skipped);
}

void ConsoleJob::Refused(const ScreenText& why)
{
  ++filesNotDone_;
  view_.FileNotDone(fileName_, Render(why), false);
}

bool ConsoleJob::TakeNotice(const std::string& text)
{
  view_.ConsoleNotice(text);
  return true;
}

std::optional<ReplaceAnswer> ConsoleJob::AnswerReplace(const ReplaceQuestion&)
{
  // The options answer every file alike: a plain Yes or No each time.
  return options_.replace ? ReplaceAnswer::Yes : ReplaceAnswer::No;
}

std::optional<bool> ConsoleJob::AnswerSilence(const SilenceQuestion&)
{
  // The console stopped answering: the file is given up either way; the
  // job may try it again after a search of its own.
  if (!MayRetry() && (!options_.carryOnAfterSilence || ++silentInARow_ >= SILENT_FILES_IN_A_ROW))
    consoleLost_ = true;
  return false;
}

} // namespace zr
