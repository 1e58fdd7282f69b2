#include "app/window_archive.h"

#include "transfer/host.h"

namespace zr {

namespace {
constexpr int POLL_MS = 10;
} // namespace

WindowArchive::WindowArchive(Batch& batch, Host& host) : batch_(batch), host_(host)
{
  poll_.setInterval(POLL_MS);
  QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
}

WindowArchive::~WindowArchive()
{
  poll_.stop();
  if (job_)
    batch_.Release(job_.get());
}

void WindowArchive::Start(const std::string& parent)
{
  if (job_)
    return;
  firstFailure_.clear();
  auto job = std::make_unique<ConsoleJob>(batch_, *this, JobOptions{});
  // The archive holds the engine from its first file to its last: the
  // window's own commands wait, and the window stays locked in between.
  if (!batch_.Claim(job.get()))
    return;
  job_ = std::move(job);
  job_->Archive(parent);
  job_->Run();
  poll_.start();
}

void WindowArchive::Cancel()
{
  if (job_)
    job_->Cancel();
}

void WindowArchive::Poll()
{
  if (!job_)
    return;
  job_->Poll();
  if (!job_->Done())
    return;
  poll_.stop();
  std::string summary = job_->SummaryLine();
  if (job_->FilesNotDone() > 0)
    summary += "; " + std::to_string(job_->FilesNotDone()) + " not saved (first: " + firstFailure_ + ")";
  batch_.Release(job_.get());
  job_.reset();
  host_.ProgressClose();
  host_.SetStatusText(summary);
}

void WindowArchive::FileBegins(int number, int count, const std::string& name)
{
  host_.ProgressSetTitle("Archiving file nr " + std::to_string(number) + " of " + std::to_string(count) + ".");
  host_.ProgressSetLabel(name);
  host_.ProgressSetPosition(0);
  host_.ProgressShow();
}

void WindowArchive::FileProgress(int done, int total)
{
  host_.ProgressSetMaximum(total);
  host_.ProgressSetPosition(done);
}

void WindowArchive::FileNotDone(const std::string& name, const std::string& why, bool)
{
  if (firstFailure_.empty())
    firstFailure_ = name + ": " + why;
}

void WindowArchive::Notice(const std::string& text)
{
  host_.SetStatusText(text);
}

void WindowArchive::Finished() {}

} // namespace zr
