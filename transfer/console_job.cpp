// The job at work: its lists as the batch reads them, the steps run one by
// one as the engine goes idle, the file under way, and the Host the engine
// talks to while the job stands in for the window.
#include "transfer/console_job.h"

#include <algorithm>

#include "transfer/console_job_util.h"
#include "transfer/datatypes.h"
#include "transfer/host_switch.h"
#include "transfer/pc_path.h"
#include "transfer/session.h"

namespace zr {

using namespace job_detail;

namespace {

constexpr const char* FILE_ERROR = "File error: ";
constexpr const char* REPLACE_QUESTION = "File already exists!";
constexpr const char* RESTORE_QUESTION = "Are you sure you want to replace the current settings";
constexpr const char* OS_SAVE_NOTICE = "Please press enter on your mixer to save the update.";

} // namespace

// The job's three lists as the batch reads them.
class ConsoleJob::Items : public ListAccess {
public:
  enum class Which { Card, Internal, Pc };
  Items(ConsoleJob& job, Which which) : job_(job), which_(which) {}

  int Count() const override
  {
    switch (which_) {
    case Which::Card:
      return static_cast<int>(job_.cards_.size());
    case Which::Internal:
      return DATA_TYPE_COUNT;
    case Which::Pc:
      return static_cast<int>(job_.pcItems_.size());
    }
    return 0;
  }
  bool IsSelected(int i) const override
  {
    switch (which_) {
    case Which::Card:
      return job_.cardSelected_[static_cast<std::size_t>(i)];
    case Which::Internal:
      return i == job_.internalSelected_;
    case Which::Pc:
      return job_.pcItems_[static_cast<std::size_t>(i)].selected;
    }
    return false;
  }
  std::string Caption(int i) const override
  {
    switch (which_) {
    case Which::Card:
      return job_.cards_[static_cast<std::size_t>(i)].name;
    case Which::Internal:
      return DataTypeTable[static_cast<std::size_t>(i)].name;
    case Which::Pc:
      // The PC files of one command may lie in different folders: the folder
      // the engine asks for next is that of the file it has just read.
      job_.pcItemRead_ = i;
      return job_.pcItems_[static_cast<std::size_t>(i)].name;
    }
    return {};
  }
  int ImageIndex(int i) const override
  {
    switch (which_) {
    case Which::Card:
      return job_.cards_[static_cast<std::size_t>(i)].type;
    case Which::Internal:
      return i;
    case Which::Pc:
      return -1;
    }
    return -1;
  }

private:
  ConsoleJob& job_;
  Which which_;
};

ConsoleJob::ConsoleJob(Session& session, HostSwitch& hosts, JobView& view, JobOptions options)
    : session_(session), hosts_(hosts), view_(view), options_(options),
      card_(std::make_unique<Items>(*this, Items::Which::Card)),
      internal_(std::make_unique<Items>(*this, Items::Which::Internal)),
      pc_(std::make_unique<Items>(*this, Items::Which::Pc)),
      batch_(std::make_unique<Batch>(session, *card_, *internal_, *pc_))
{
}

ConsoleJob::~ConsoleJob()
{
  Detach();
}

void ConsoleJob::Attach()
{
  if (attached_)
    return;
  attached_ = true;
  hosts_.SetTarget(this);
  previousSteps_ = session_.Steps;
  session_.Steps = batch_.get();
}

void ConsoleJob::Detach()
{
  if (!attached_)
    return;
  attached_ = false;
  hosts_.SetTarget(nullptr);
  if (session_.Steps == batch_.get())
    session_.Steps = previousSteps_; // the window's batch, where there is one
}

// ---- Running ----

void ConsoleJob::Run()
{
  Attach();
  running_ = true;
  done_ = false;
  startTime_ = std::chrono::steady_clock::now();
  Poll();
}

bool ConsoleJob::EngineIdle() const
{
  const Timers& t = session_.timers;
  return !t.UploadTimer.IsActive() && !t.DownloadTimer.IsActive() && !t.TimeoutTimer.IsActive() &&
         !t.DummyTimer.IsActive() && !t.SendTimer.IsActive();
}

void ConsoleJob::Poll()
{
  if (!running_ || done_)
    return;
  // Every exchange with the console keeps a watchdog or the pause timer
  // running until its last answer is in: idle means the step is over.
  while (running_ && EngineIdle()) {
    if (stepRunning_) {
      stepRunning_ = false;
      if (current_.finish)
        current_.finish();
      current_ = {};
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

void ConsoleJob::Finish()
{
  running_ = false;
  done_ = true;
  endTime_ = std::chrono::steady_clock::now();
  Detach();
  view_.Finished();
}

void ConsoleJob::Cancel()
{
  if (done_)
    return;
  cancelled_ = true;
  steps_.clear();
  // What the progress dialog's Cancel does; the file under way never reaches
  // the disk (it is written whole or not at all).
  batch_->CancelBtnClick();
  for (Timer* t : {&session_.timers.UploadTimer, &session_.timers.DownloadTimer, &session_.timers.SendTimer,
                   &session_.timers.DummyTimer, &session_.timers.TimeoutTimer})
    t->Stop();
  if (fileOpen_) {
    fileSkipped_ = false;
    if (fileWhy_.empty())
      fileWhy_ = "cancelled";
    fileOpen_ = false;
    ++filesNotDone_;
    view_.FileNotDone(fileName_, fileWhy_, false);
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

void ConsoleJob::BeginFile(const std::string& name, std::uint64_t bytes)
{
  fileName_ = name;
  fileBytes_ = bytes;
  fileOpen_ = true;
  fileSkipped_ = false;
  fileCompleted_ = false;
  fileWhy_.clear();
  progressMaximum_ = 0;
}

void ConsoleJob::Fail(const std::string& why)
{
  // What the link says while a cancelled file is dropped is no news.
  if (cancelled_)
    return;
  if (!fileOpen_ && !restoring_) {
    ++filesNotDone_;
    view_.FileNotDone(fileName_, why, false);
    return;
  }
  if (!fileOpen_ && restoring_ && lastFileNr_ == 0) {
    // Refused before any file went (the restore's rules).
    BeginFile(pcItems_.empty() ? std::string("restore") : pcItems_.front().name, 0);
    fileWhy_ = why;
    return;
  }
  if (restoring_ && pcItemRead_ >= 0 && pcItemRead_ < static_cast<int>(pcItems_.size()) &&
      pcItems_[static_cast<std::size_t>(pcItemRead_)].name != fileName_) {
    // A restore goes on with its next file after one it could not send:
    // the file before was over, and this one never began.
    EndFile();
    ++filesNotDone_;
    view_.FileNotDone(pcItems_[static_cast<std::size_t>(pcItemRead_)].name, why, false);
    return;
  }
  if (fileWhy_.empty() || fileSkipped_)
    fileWhy_ = why;
  fileSkipped_ = false;
  fileCompleted_ = false;
}

void ConsoleJob::EndFile(const std::string& result)
{
  if (!fileOpen_)
    return;
  fileOpen_ = false;
  if (!fileWhy_.empty()) {
    ++filesNotDone_;
    view_.FileNotDone(fileName_, fileWhy_, fileSkipped_);
    return;
  }
  if (!result.empty()) {
    // Received: done when it is on the disk.
    if (!Exists(result)) {
      ++filesNotDone_;
      view_.FileNotDone(fileName_, consoleLost_ ? "no answer from the console" : "not received", false);
      return;
    }
    fileBytes_ = FileSize(result);
  } else if (!fileCompleted_) {
    ++filesNotDone_;
    view_.FileNotDone(fileName_, "not sent", false);
    return;
  }
  ++filesDone_;
  bytesDone_ += fileBytes_;
}

// ---- Host ----

void ConsoleJob::SetStatusText(const std::string& text)
{
  view_.Status(text);
  if (text.rfind(FILE_ERROR, 0) == 0)
    Fail(text.substr(std::char_traits<char>::length(FILE_ERROR)));
  else if (text == "No communication port selected" || text == "  No serial device" ||
           text == "  No COM port" || text == "  No MIDI device")
    Fail(text.substr(text.find_first_not_of(' ')));
}

BoxAnswer ConsoleJob::ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons)
{
  if (IsBatchSummary(text))
    return BoxAnswer::Ok; // each failed file has been reported as it failed
  if (buttons == BoxButtons::YesNo || buttons == BoxButtons::YesNoAll) {
    // The options answer every file alike: a plain Yes or No each time.
    if (text.rfind(REPLACE_QUESTION, 0) == 0) {
      if (options_.replace)
        return BoxAnswer::Yes;
      fileSkipped_ = true;
      fileWhy_ = "it exists (--replace replaces it)";
      return BoxAnswer::No;
    }
    if (text.rfind(RESTORE_QUESTION, 0) == 0)
      return BoxAnswer::Yes; // asked for on the command line; the system's restore is checked before
    Fail(text);
    return BoxAnswer::No;
  }
  if (buttons == BoxButtons::AbortRetry) {
    // A watchdog: the console stopped answering. Nothing is retried.
    Fail(text);
    consoleLost_ = true;
    return BoxAnswer::Abort;
  }
  if (text == OS_SAVE_NOTICE) {
    view_.Notice(text);
    return BoxAnswer::Ok;
  }
  (void)icon;
  Fail(text);
  return BoxAnswer::Ok;
}

std::optional<std::string> ConsoleJob::AskSaveFileName(const SaveFileRequest& request)
{
  // Asked again: the name ends in another kind's extension.
  if (saveAsked_++ > 0) {
    Fail("the file name must end in ." + request.extension);
    return std::nullopt;
  }
  return saveTo_;
}

void ConsoleJob::ProgressShow()
{
  // A restore of several files runs as one batch: its files begin here.
  if (restoring_ && !pcItems_.empty() && session_.batch.FileNr != lastFileNr_) {
    if (fileOpen_)
      EndFile();
    lastFileNr_ = session_.batch.FileNr;
    const PcItem& item = pcItems_[static_cast<std::size_t>(
        std::clamp(session_.batch.PcIndex, 0, static_cast<int>(pcItems_.size()) - 1))];
    view_.FileBegins(lastFileNr_, static_cast<int>(pcItems_.size()), item.name);
    BeginFile(item.name, FileSize(item.folder + PATH_SEPARATOR + item.name));
  }
}

void ConsoleJob::ProgressSetPosition(int position)
{
  view_.FileProgress(position, progressMaximum_);
  if (progressMaximum_ > 0 && position >= progressMaximum_)
    fileCompleted_ = true;
}

std::string ConsoleJob::SelectedPcFolder()
{
  if (!pcItems_.empty() && pcItemRead_ >= 0 && pcItemRead_ < static_cast<int>(pcItems_.size()))
    return pcItems_[static_cast<std::size_t>(pcItemRead_)].folder;
  return folder_;
}

std::optional<std::string> ConsoleJob::PcListSizeText(const std::string& fileName)
{
  const std::string path = folder_ + PATH_SEPARATOR + fileName;
  if (!Exists(path))
    return std::nullopt;
  return std::to_string((FileSize(path) + 1023) / 1024) + " KB";
}

void ConsoleJob::CardListClear()
{
  cards_.clear();
  cardSelected_.clear();
  cardListed_ = false;
}

void ConsoleJob::CardListAdd(int type, const std::vector<std::string>& names)
{
  for (const std::string& name : names) {
    const bool listed = std::any_of(cards_.begin(), cards_.end(),
                                    [&](const CardFile& f) { return f.type == type && f.name == name; });
    if (!listed) {
      cards_.push_back({name, type});
      cardSelected_.push_back(false);
    }
  }
  if (type == DATA_TYPE_COUNT - 1)
    cardListed_ = true;
}

void ConsoleJob::CardListSort()
{
  // By name, as the card list sorts at first; equal names keep their order.
  std::stable_sort(cards_.begin(), cards_.end(), [](const CardFile& a, const CardFile& b) {
    return CompareIgnoringCase(a.name, b.name) < 0;
  });
  std::fill(cardSelected_.begin(), cardSelected_.end(), false);
}

} // namespace zr
