#include "app/window_archive.h"

#include "dialogs/progress_form.h"
#include "transfer/host_switch.h"
#include "transfer/session.h"

namespace zr {

namespace {
constexpr int POLL_MS = 10;
} // namespace

WindowArchive::WindowArchive(Session& session, HostSwitch& hosts, TProgressForm& progress)
    : session_(session), hosts_(hosts), progress_(progress)
{
  poll_.setInterval(POLL_MS);
  QObject::connect(&poll_, &QTimer::timeout, [this] { Poll(); });
}

WindowArchive::~WindowArchive()
{
  poll_.stop();
}

void WindowArchive::Start(const std::string& parent)
{
  if (job_)
    return;
  firstFailure_.clear();
  job_ = std::make_unique<ConsoleJob>(session_, hosts_, *this, JobOptions{});
  progress_.SetBatchRunning(true);
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
  job_.reset(); // gives the host and the batch steps back to the window
  progress_.close();
  progress_.SetBatchRunning(false);
  hosts_.Base().SetStatusText(summary);
}

void WindowArchive::FileBegins(int number, int count, const std::string& name)
{
  progress_.SetTitle(QStringLiteral("Archiving file nr %1 of %2.").arg(number).arg(count));
  progress_.SetLabel(QString::fromStdString(name));
  progress_.SetPosition(0);
  if (!progress_.isVisible())
    progress_.show();
}

void WindowArchive::FileProgress(int done, int total)
{
  progress_.SetMaximum(total);
  progress_.SetPosition(done);
}

void WindowArchive::FileNotDone(const std::string& name, const std::string& why, bool)
{
  if (firstFailure_.empty())
    firstFailure_ = name + ": " + why;
}

void WindowArchive::Notice(const std::string& text)
{
  hosts_.Base().SetStatusText(text);
}

void WindowArchive::Status(const std::string& text)
{
  hosts_.Base().SetStatusText(text);
}

void WindowArchive::Finished() {}

} // namespace zr
