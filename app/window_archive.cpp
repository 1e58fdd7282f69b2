#include "app/window_archive.h"

#include <QTimer>

#include "app/window_host.h"

namespace zr {

WindowArchive::WindowArchive(Engine& engine, WindowHost& host) : engine_(engine), host_(host) {}

WindowArchive::~WindowArchive()
{
  if (job_) {
    engine_.Observe(nullptr);
    engine_.Release(job_.get());
  }
}

void WindowArchive::Idle()
{
  QTimer::singleShot(0, &steps_, [this] { Step(); });
}

bool WindowArchive::Begin(Kind kind, JobOptions options)
{
  if (job_)
    return false;
  // A watchdog costs the file under way, not the rest: every file that
  // failed is listed in the closing box with its reason.
  options.carryOnAfterSilence = true;
  options.freshCardList = true;
  auto job = std::make_unique<ConsoleJob>(engine_, *this, std::move(options));
  // The job holds the engine from its first file to its last: the window's
  // own commands wait, and the window stays locked in between.
  if (!engine_.Claim(job.get()))
    return false;
  engine_.Observe(this);
  job_ = std::move(job);
  kind_ = kind;
  failed_.clear();
  skipped_ = 0;
  notices_.clear();
  return true;
}

void WindowArchive::Start(const std::string& parent)
{
  if (!Begin(Kind::Archive, {}))
    return;
  job_->Archive(parent);
  job_->Run();
  Idle();
}

void WindowArchive::StartRestore(const std::string& folder, const ArchiveRestore& what, bool replace)
{
  JobOptions options;
  options.replace = replace;
  options.yes = what.withOs;
  if (!Begin(Kind::Restore, std::move(options)))
    return;
  folder_ = folder;
  job_->RestoreArchive(folder, what);
  job_->Run();
  Idle();
}

void WindowArchive::StartVerify(const std::string& folder,
                                std::function<void(const std::vector<Comparison>&)> show)
{
  if (!Begin(Kind::Verify, {}))
    return;
  showComparisons_ = std::move(show);
  job_->Verify(folder);
  job_->Run();
  Idle();
}

void WindowArchive::Cancel()
{
  if (!job_)
    return;
  job_->Cancel();
  Idle();
}

void WindowArchive::Step()
{
  if (!job_)
    return;
  job_->Poll();
  if (!job_->Done())
    return;
  engine_.Observe(nullptr);
  std::string summary = job_->SummaryLine();
  if (kind_ == Kind::Restore)
    summary = folder_ + ": restored " + summary;
  const int files = job_->FilesDone() + job_->FilesNotDone();
  const bool cancelled = job_->Cancelled();
  const std::vector<Comparison> comparisons = job_->Comparisons();
  engine_.Release(job_.get());
  job_.reset();
  host_.ProgressClosed();
  for (const std::string& notice : notices_)
    host_.ShowMessage(notice, BoxIcon::Information, BoxButtons::Ok);

  // A comparison that got as far as the files is told by its list; one that
  // did not (no card list, say) ends like the others.
  if (kind_ == Kind::Verify && !comparisons.empty() && showComparisons_) {
    showComparisons_(comparisons);
    return;
  }
  if (skipped_ > 0)
    summary += "; " + std::to_string(skipped_) + " on the card already, left as they were";
  if (cancelled)
    summary += "; cancelled";
  if (!failed_.empty())
    summary += "; " + Render(BatchFailureLine(files, failed_));
  host_.SetStatusText(summary);
  if (!failed_.empty())
    host_.ShowMessage(BatchSummaryText(files, failed_), BoxIcon::Warning, BoxButtons::Ok);
}

void WindowArchive::FileBegins(int number, int count, const std::string& name)
{
  const char* doing = kind_ == Kind::Archive   ? "Archiving"
                      : kind_ == Kind::Restore ? "Restoring"
                                               : "Comparing";
  host_.ProgressSetTitle(std::string(doing) + " file nr " + std::to_string(number) + " of " +
                         std::to_string(count) + ".");
  host_.ProgressSetLabel(name);
  host_.ProgressSetPosition(0);
  host_.ProgressShow();
}

void WindowArchive::FileProgress(int done, int total)
{
  host_.ProgressSetMaximum(total);
  host_.ProgressSetPosition(done);
}

void WindowArchive::FileNotDone(const std::string& name, const std::string& why, bool skipped)
{
  // Cancel is the user's own doing, as in a batch: no box lists it.
  if (job_ && job_->Cancelled())
    return;
  if (skipped)
    ++skipped_;
  else
    failed_.push_back(name + ": " + why);
}

void WindowArchive::Notice(const std::string& text)
{
  host_.SetStatusText(text);
}

void WindowArchive::ConsoleNotice(const std::string& text)
{
  notices_.push_back(text);
}

void WindowArchive::Finished() {}

} // namespace zr
