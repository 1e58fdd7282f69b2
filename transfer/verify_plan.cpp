// The way back from an archive: compare it with the console file by file
// (verify), and put it back into the console (restore-archive).
#include <algorithm>
#include <filesystem>
#include <random>
#include <system_error>

#include "transfer/archive_check.h"
#include "transfer/console_job.h"
#include "transfer/console_job_util.h"
#include "transfer/datatypes.h"
#include "transfer/disk.h"

namespace zr {

namespace fs = std::filesystem;
using namespace job_detail;

namespace {

// A new folder of our own under the system's temporary folder, or "".
std::string NewPrivateFolder()
{
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec)
    return {};
  std::random_device random;
  for (int attempt = 0; attempt < 20; ++attempt) {
    const fs::path folder = base / TemporaryFileName(random());
    if (fs::create_directory(folder, ec)) {
      fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
      return folder.string();
    }
  }
  return {};
}

} // namespace

const char* VerdictText(Verdict verdict)
{
  switch (verdict) {
  case Verdict::Same:
    return "same";
  case Verdict::Differs:
    return "differs";
  case Verdict::MissingOnConsole:
    return "missing on the console";
  case Verdict::NotInArchive:
    return "not in the archive";
  case Verdict::NotFetched:
    return "not fetched";
  }
  return "";
}

void ConsoleJob::Verify(std::string folder)
{
  folder = Absolute(folder);
  steps_.push_back({[this] {
                      fetchFolder_ = NewPrivateFolder();
                      if (fetchFolder_.empty()) {
                        NotDone(1, 1, "verify", "cannot create a temporary folder", false);
                        steps_.clear();
                      }
                    },
                    {}});
  ListCard();
  steps_.push_back({[] {}, [this, folder] { PlanVerify(folder); }});
}

void ConsoleJob::PlanVerify(const std::string& folder)
{
  const ArchiveContents archive = CheckArchive(folder, false).contents;
  const std::vector<CardFile> cards = batch_.CardFiles();
  const std::vector<std::string> stems = UniquePcStems(cards);
  std::vector<bool> inArchive(cards.size(), false);
  std::vector<std::pair<std::string, std::function<void()>>> fetches; // place, start
  for (const std::string& name : archive.card) {
    std::size_t i = 0;
    while (i < cards.size() && !EqualsIgnoringCase(PcFileNameOf(stems[i], cards[i].type), name))
      ++i;
    if (i == cards.size()) {
      comparisons_.push_back({"card/" + name, Verdict::MissingOnConsole});
      continue;
    }
    inArchive[i] = true;
    const CardFile f = cards[i];
    const std::string stem = stems[i];
    fetches.push_back({"card/" + name, [this, f, stem] {
                         GetStep(f, fetchFolder_, stepNumber_, stepCount_, stem);
                         fetchedPath_ = (fs::path(fetchFolder_) / PcFileNameOf(stem, f.type)).string();
                       }});
  }
  for (std::size_t i = 0; i < cards.size(); ++i)
    if (!inArchive[i])
      comparisons_.push_back({"card/" + PcFileNameOf(stems[i], cards[i].type), Verdict::NotInArchive});
  for (const std::string& name : archive.internal) {
    const int type = TypeOfFileName(name);
    fetches.push_back({"internal/" + name, [this, type, name] {
                         fetchedPath_ = (fs::path(fetchFolder_) / name).string();
                         BackupStep(type, fetchedPath_, stepNumber_, stepCount_);
                       }});
  }
  const int count = static_cast<int>(fetches.size());
  std::vector<Step> planned;
  for (int n = 0; n < count; ++n) {
    // Named copies, not a structured binding: the lambdas capture them.
    const std::string place = fetches[static_cast<std::size_t>(n)].first;
    const auto start = fetches[static_cast<std::size_t>(n)].second;
    const std::string archived = (fs::path(folder) / place).string();
    planned.push_back({[this, start, n, count] {
                         stepNumber_ = n + 1;
                         stepCount_ = count;
                         start();
                       },
                       [this, place, archived] {
                         CloseOpenFile(true);
                         Compare(place, fetchedPath_, archived);
                       }});
  }
  steps_.insert(steps_.begin(), planned.begin(), planned.end());
}

void ConsoleJob::Compare(const std::string& place, const std::string& fetched, const std::string& archived)
{
  const std::optional<std::vector<std::uint8_t>> console = ReadWholeFile(fetched);
  std::error_code ec;
  fs::remove(fetched, ec);
  if (!console) {
    comparisons_.push_back({place, Verdict::NotFetched});
    return;
  }
  const std::optional<std::vector<std::uint8_t>> kept = ReadWholeFile(archived);
  comparisons_.push_back({place, kept && *kept == *console ? Verdict::Same : Verdict::Differs});
}

void ConsoleJob::RestoreArchive(std::string folder, ArchiveRestore what)
{
  folder = Absolute(folder);
  ArchiveContents archive = CheckArchive(folder, false).contents;
  const auto leaveOut = [&](std::vector<std::string>& names, const std::string& half) {
    std::erase_if(names, [&](const std::string& name) {
      return std::find(what.leaveOut.begin(), what.leaveOut.end(), half + "/" + name) != what.leaveOut.end();
    });
  };
  leaveOut(archive.card, "card");
  leaveOut(archive.internal, "internal");
  if (what.card && !archive.card.empty()) {
    std::vector<std::string> paths;
    for (const std::string& name : archive.card)
      paths.push_back((fs::path(folder) / "card" / name).string());
    ListCard();
    PutFiles(paths);
  }
  if (!what.internal)
    return;
  for (const std::vector<std::string>& names : InternalRestoreBatches(archive.internal, what.withOs)) {
    std::vector<std::string> paths;
    for (const std::string& name : names)
      paths.push_back((fs::path(folder) / "internal" / name).string());
    Restore(paths);
  }
}

} // namespace zr
