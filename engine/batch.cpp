// The batch: its start and end, downloads and backups, Cancel, and each
// file's ending reported as a value.
#include "engine/batch.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "files/datatypes.h"
#include "files/pc_names.h"
#include "files/pc_path.h"

namespace zr {

namespace {
constexpr const char* SUMMARY_MARK = " files failed:\n";
// Between two card files the line is left to settle: whatever the console
// still sends of the last one arrives while nothing is awaited, and is
// dropped. Short: a card of a thousand small files must not take longer.
constexpr int SETTLE_MS = 2;

// "2 of 5": the files that failed of those of the batch.
std::string FailedCount(int files, const std::vector<std::string>& failed)
{
  const int failures = static_cast<int>(failed.size());
  return std::to_string(failures) + " of " + std::to_string(std::max(files, failures));
}
} // namespace

const char* StageName(Stage stage)
{
  switch (stage) {
  case Stage::Idle:
    return "idle";
  case Stage::Listing:
    return "listing";
  case Stage::Offering:
    return "offering a file";
  case Stage::Awaiting:
    return "awaiting a block";
  case Stage::Asking:
    return "asking a question";
  case Stage::Pausing:
    return "pausing between files";
  case Stage::Ending:
    return "ending";
  }
  return "?";
}

std::string BatchSummaryText(int files, const std::vector<std::string>& failed)
{
  std::string text = FailedCount(files, failed) + SUMMARY_MARK;
  for (const std::string& line : failed)
    text += "\n" + line;
  return text;
}

ScreenText BatchFailureLine(int files, const std::vector<std::string>& failed)
{
  const int failures = static_cast<int>(failed.size());
  return {TextId::BatchFailures, failures, std::max(files, failures), 0, failed.empty() ? "" : failed.front()};
}

// ---- Batch ----

Batch::Batch(Session& session) : session_(session) {}

int Batch::Medium() const
{
  return session_.link.CommMedium;
}

bool Batch::Idle() const
{
  const Timers& t = session_.timers;
  return !running_ && questionsOpen_ == 0 && !t.UploadTimer.IsActive() && !t.DownloadTimer.IsActive() && !t.TimeoutTimer.IsActive() &&
         !t.DummyTimer.IsActive() && !t.SendTimer.IsActive() && !t.RetryTimer.IsActive();
}

void Batch::BeginBatch(BatchKind kind, int files, BatchListener* listener)
{
  // A card listing under way gives way: its replies would stop the
  // batch's watchdog. The card is read again when the batch is over.
  if (awaitedType_ >= 0) {
    awaitedType_ = -1;
    listAfterBatch_ = true;
    // Its watchdog and its asking again go with it.
    session_.timers.UploadTimer.Stop();
    session_.StopAsking(true);
  }
  // The pause that stands after the last batch's last file moves nothing
  // on: the new batch has its own.
  session_.timers.SendTimer.Stop();
  RestorePauseInterval();
  running_ = true;
  kind_ = kind;
  listener_ = listener;
  failed_.clear();
  counts_ = BatchEnd{kind, files};
  current_.reset();
  silent_ = false;
  session_.batch.ReplaceAll.reset();
  lastSentOs_ = false;
  if (!claimer_)
    session_.view.TransferRunning(true);
}

void Batch::FinishBatch()
{
  if (!running_)
    return;
  Enter(Stage::Ending);
  // A file still under way was given up: by a watchdog, or by Cancel.
  if (current_)
    EndFile(FileOutcome::Failed, silent_ ? FileReason::ConsoleSilent : FileReason::Cancelled,
            silent_ ? "no answer from the console" : "cancelled");
  running_ = false;
  session_.ForgetQuestions();
  BatchListener* listener = std::exchange(listener_, nullptr);
  if (!claimer_)
    session_.view.TransferRunning(false);
  if (!failed_.empty())
    session_.ShowStatus(BatchFailureLine(counts_.files, failed_));
  // Everything of this batch is done before the box below: it runs an
  // event loop of its own, in which the next batch may begin.
  const BatchEnd counts = counts_;
  const std::string summary = failed_.empty() ? std::string() : BatchSummaryText(counts_.files, failed_);
  if (std::exchange(listAfterBatch_, false) && awaitedType_ < 0 && !lastSentOs_)
    RequestCardDirectory(-1);
  if (stage_ == Stage::Ending)
    Enter(awaitedType_ >= 0 ? Stage::Listing : Stage::Idle);
  // The status line keeps only the first failure and the next status
  // overwrites it: one box at the end names every file and why. Whoever
  // listens to the batch has heard of each file already.
  if (listener)
    listener->BatchEnded(counts);
  else if (!summary.empty())
    session_.view.Noticed({{.id = TextId::Said, .word = summary}, BoxIcon::Warning});
}

void Batch::QuestionOpen(bool open)
{
  if (open) {
    if (questionsOpen_++ == 0) {
      beforeQuestion_ = stage_;
      Enter(Stage::Asking);
    }
  } else if (questionsOpen_ > 0 && --questionsOpen_ == 0 && stage_ == Stage::Asking) {
    // The batch may have ended under the question.
    Enter(running_ || beforeQuestion_ == Stage::Listing ? beforeQuestion_ : Stage::Idle);
  }
}

void Batch::Pause(int ms)
{
  Timer& t = session_.timers.SendTimer;
  if (ms != t.Interval()) {
    if (uploadPauseMs_ < 0)
      uploadPauseMs_ = t.Interval();
    t.SetInterval(ms);
  }
  t.Start();
  Enter(Stage::Pausing);
}

void Batch::PauseOver()
{
  session_.timers.SendTimer.Stop(); // once per file
  // A download's use of the timer: the line has settled after a file.
  if (running_ && kind_ == BatchKind::Download) {
    RestorePauseInterval();
    RequestNextCardFile(session_.batch.CardIndex);
    return;
  }
  SendAfterPause();
}

void Batch::RestorePauseInterval()
{
  if (uploadPauseMs_ >= 0)
    session_.timers.SendTimer.SetInterval(std::exchange(uploadPauseMs_, -1));
}

void Batch::ReceivedFileDone(bool saved)
{
  if (!running_)
    return;
  lastSaved_ = saved;
  if (session_.batch.InternalMode) {
    // A backup is always one file.
    session_.CloseProgress();
    if (saved)
      session_.ShowConnectionStatus();
    FinishBatch();
    return;
  }
  // The next card file is asked for once the line has settled (PauseOver).
  Pause(SETTLE_MS);
}

void Batch::BeginFile(const std::string& name, int type, std::uint64_t size)
{
  if (current_)
    EndFile(FileOutcome::Failed, FileReason::None, "not finished");
  current_ = FileStart{kind_, name, type, size, session_.batch.FileNr, counts_.files};
  if (listener_)
    listener_->FileStarted(*current_);
}

void Batch::EndFile(FileOutcome outcome, FileReason why, const std::string& reason, int error)
{
  FileEnd end;
  end.kind = kind_;
  end.outcome = outcome;
  end.why = why;
  end.reason = reason;
  end.error = error;
  FileEnded(end);
}

void Batch::FileFailed(const std::string& fileName, const std::string& reason)
{
  FileEnd end;
  end.name = fileName;
  end.outcome = FileOutcome::Failed;
  end.why = FileReason::Error;
  end.reason = reason;
  FileEnded(end);
}

void Batch::FileEnded(const FileEnd& reported)
{
  if (!running_)
    return;
  FileEnd end = reported;
  end.kind = kind_;
  if (current_) {
    if (end.name.empty())
      end.name = current_->name;
    end.type = current_->type;
    if (end.bytes == 0 && end.outcome == FileOutcome::Saved)
      end.bytes = current_->size;
    current_.reset();
  }
  switch (end.outcome) {
  case FileOutcome::Saved:
    ++counts_.saved;
    break;
  case FileOutcome::Skipped:
    ++counts_.skipped;
    break;
  case FileOutcome::Failed:
    ++counts_.failed;
    // Cancel and a watchdog have said so in their own boxes.
    if (end.why != FileReason::Cancelled && end.why != FileReason::ConsoleSilent)
      failed_.push_back(reported.name.empty() ? end.name + ": " + end.reason : reported.name + ": " + end.reason);
    break;
  }
  if (listener_)
    listener_->FileEnded(end);
}

void Batch::FileProgress(int done, int total)
{
  if (listener_ && running_)
    listener_->FileProgress(done, total);
}

bool Batch::AskReplace(const ReplaceQuestion& question, const Reply<ReplaceAnswer>& reply)
{
  return listener_ && listener_->AskReplace(question, reply);
}

bool Batch::AskSilence(const SilenceQuestion& question, const Reply<bool>& reply)
{
  return listener_ && listener_->AskSilence(question, reply);
}

bool Batch::TakeNotice(const std::string& text)
{
  return listener_ && listener_->TakeNotice(text);
}

void Batch::BatchDone()
{
  FinishBatch();
}

bool Batch::ListCard(BatchListener* by)
{
  if (!MayStart(by))
    return false;
  RequestCardDirectory(-1);
  return true;
}

bool Batch::Claim(BatchListener* job)
{
  if (running_ || (claimer_ && claimer_ != job))
    return false;
  claimer_ = job;
  session_.view.TransferRunning(true);
  return true;
}

void Batch::Release(BatchListener* job)
{
  if (claimer_ != job)
    return;
  claimer_ = nullptr;
  session_.view.TransferRunning(false);
}

// ---- Card to PC, and backup ----

bool Batch::Download(std::vector<CardFileRef> files, std::string folder, BatchListener* listener,
                     std::vector<std::string> pcStems)
{
  if (!MayStart(listener) || files.empty())
    return false; // one batch at a time
  BatchState& b = session_.batch;
  b.CancelRequested = false;
  b.FileNr = 1;
  b.InternalMode = false;
  // The files are fixed now: replies that re-sort the list meanwhile must
  // neither repeat nor skip one.
  downloadStems_ = pcStems.size() == files.size() ? std::move(pcStems) : UniquePcStems(files);
  downloadFiles_ = std::move(files);
  downloadFolder_ = std::move(folder);
  BeginBatch(BatchKind::Download, static_cast<int>(downloadFiles_.size()), listener);
  lastSaved_ = false;
  RequestNextCardFile(-1);
  return true;
}

bool Batch::Backup(int type, std::optional<std::string> path, BatchListener* listener)
{
  if (!MayStart(listener) || !IsDataType(type))
    return false;
  BatchState& b = session_.batch;
  b.CancelRequested = false;
  b.FileNr = 1;
  // A backup is one file of the type asked for.
  b.InternalMode = true;
  BeginBatch(BatchKind::Backup, 1, listener);
  BeginFile(path ? FileNamePart(*path) : std::string(DataTypeTable[type].name), type, 0);
  // The save dialog may answer later: the backup begins (or ends) then.
  if (!session_.BackupInternal(Medium(), type, path, [this](bool started) { BackupChosen(started); })) {
    BackupChosen(false);
    return false;
  }
  if (questionsOpen_ == 0)
    Enter(Stage::Awaiting);
  return true;
}

void Batch::BackupChosen(bool started)
{
  if (started) {
    Enter(Stage::Awaiting);
    return;
  }
  // A cancelled save dialog or a missing link ends it at once; either has
  // said so already (or, cancelled, has nothing to say).
  const Filer& rx = session_.RxTransfer;
  if (rx.LastFailure.empty())
    EndFile(FileOutcome::Skipped, FileReason::Cancelled, "cancelled");
  else
    EndFile(FileOutcome::Failed, rx.WrongExtension ? FileReason::WrongExtension : FileReason::Error,
            rx.LastFailure, rx.LastError);
  FinishBatch();
}

int Batch::CardSelectedCount()
{
  return running_ && !session_.batch.InternalMode ? static_cast<int>(downloadFiles_.size()) : 0;
}

void Batch::RequestNextCardFile(int index)
{
  BatchState& b = session_.batch;
  if (!running_ || kind_ != BatchKind::Download)
    return;
  std::size_t position = index < 0 ? 0 : static_cast<std::size_t>(b.CardIndex) + 1;
  for (; position < downloadFiles_.size(); ++position) {
    const CardFileRef& file = downloadFiles_[position];
    b.CardIndex = static_cast<int>(position);
    b.FileNr = static_cast<int>(position) + 1;
    const bool known = IsDataType(file.type);
    const std::string extension = known ? std::string(".") + DataTypeTable[file.type].extension : "";
    BeginFile(downloadStems_[position] + extension, file.type, 0);
    if (session_.RequestCardFile(Medium(), file.type, file.name, downloadFolder_, downloadStems_[position])) {
      Enter(Stage::Awaiting);
      return;
    }
    const Filer& rx = session_.RxTransfer;
    FileEnd end;
    end.name = file.name + extension;
    end.outcome = FileOutcome::Failed;
    end.why = rx.LastError != 0 ? FileReason::Error : FileReason::LinkNotReady;
    end.error = rx.LastError;
    end.reason = rx.LastFailure;
    FileEnded(end);
    lastSaved_ = false;
  }
  // Past the last file: the batch ends here.
  session_.CloseProgress();
  if (lastSaved_)
    session_.ShowConnectionStatus();
  FinishBatch();
}

// ---- Cancel ----

void Batch::StopTransfer()
{
  // A question still open (the restore's, before its batch runs) is
  // answered by this.
  session_.ForgetQuestions();
  BatchState& b = session_.batch;
  b.CancelRequested = true;
  b.SendFinished = true;
  if (running_)
    counts_.cancelled = !silent_;
  session_.CloseProgress();
  session_.ShowConnectionStatus();
  // Nothing awaited any more: a late block or request touches nothing, and
  // no watchdog of the file given up outlives it (a card listing keeps its own).
  session_.GiveUpReceiving();
  session_.TxTransfer.Offered = false;
  Timers& t = session_.timers;
  t.SendTimer.Stop();
  t.DownloadTimer.Stop();
  if (awaitedType_ < 0)
    t.UploadTimer.Stop();
  RestorePauseInterval();
  FinishBatch();
}

void Batch::Cancel()
{
  StopTransfer();
  Timers& t = session_.timers;
  for (Timer* timer : {&t.UploadTimer, &t.DownloadTimer, &t.SendTimer, &t.DummyTimer, &t.TimeoutTimer, &t.RetryTimer})
    timer->Stop();
}

} // namespace zr
