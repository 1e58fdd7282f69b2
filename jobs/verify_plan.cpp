// The way back from an archive: compare it with the console file by file
// (verify), and put it back into the console (restore-archive).
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <system_error>

#include "link/wire.h"
#include "files/archive_check.h"
#include "jobs/console_job.h"
#include "jobs/console_job_util.h"
#include "files/datatypes.h"
#include "files/disk.h"
#include "files/pc_names.h"

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
      return Utf8Of(folder);
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
  std::vector<bool> onConsole(cards.size(), false);
  std::vector<std::pair<std::string, std::function<void()>>> fetches; // place, start
  for (std::size_t a = 0; a < archive.card.size(); ++a) {
    const std::string& name = archive.card[a];
    const int type = TypeOfFileName(name);
    // By the console's own name where the archive recorded it: a file new on
    // the card then shifts no "~2" of another. An older archive only has the
    // PC names, made as they are made now.
    std::size_t i = 0;
    if (!archive.cardNames[a].empty())
      while (i < cards.size() &&
             (onConsole[i] || cards[i].type != type || cards[i].name != archive.cardNames[a]))
        ++i;
    else
      while (i < cards.size() &&
             (onConsole[i] || !EqualsIgnoringCase(PcFileNameOf(stems[i], cards[i].type), name)))
        ++i;
    if (i == cards.size()) {
      comparisons_.push_back({"card/" + name, Verdict::MissingOnConsole});
      continue;
    }
    onConsole[i] = true;
    const CardFile f = cards[i];
    // Fetched under the archive's own name: unique in the archive, so in
    // the private folder too.
    const std::string stem = WithoutExtension(name);
    fetches.push_back({"card/" + name, [this, f, stem] {
                         GetStep(f, fetchFolder_, stepNumber_, stepCount_, stem);
                         fetchedPath_ = Utf8Of(PathOf(fetchFolder_) / PathOf(PcFileNameOf(stem, f.type)));
                       }});
  }
  for (std::size_t i = 0; i < cards.size(); ++i)
    if (!onConsole[i])
      comparisons_.push_back(
          {"card/" +
               (archive.namesRecorded
                    ? cards[i].name + "." + DataTypeTable[static_cast<std::size_t>(cards[i].type)].extension
                    : PcFileNameOf(stems[i], cards[i].type)),
           Verdict::NotInArchive});
  for (const std::string& name : archive.internal) {
    const int type = TypeOfFileName(name);
    fetches.push_back({"internal/" + name, [this, type, name] {
                         fetchedPath_ = Utf8Of(PathOf(fetchFolder_) / PathOf(name));
                         BackupStep(type, fetchedPath_, stepNumber_, stepCount_);
                       }});
  }
  const int count = static_cast<int>(fetches.size());
  std::vector<Step> planned;
  for (int n = 0; n < count; ++n) {
    // Named copies, not a structured binding: the lambdas capture them.
    const std::string place = fetches[static_cast<std::size_t>(n)].first;
    const auto start = fetches[static_cast<std::size_t>(n)].second;
    planned.push_back({[this, start, n, count] {
                         stepNumber_ = n + 1;
                         stepCount_ = count;
                         start();
                       },
                       [this, place, folder] {
                         CloseOpenFile(true);
                         Compare(place, fetchedPath_, folder);
                       }});
  }
  steps_.insert(steps_.begin(), planned.begin(), planned.end());
}

void ConsoleJob::Compare(const std::string& place, const std::string& fetched, const std::string& folder)
{
  const std::optional<std::vector<std::uint8_t>> console = ReadWholeFile(fetched);
  std::error_code ec;
  fs::remove(PathOf(fetched), ec);
  if (!console) {
    comparisons_.push_back({place, Verdict::NotFetched});
    return;
  }
  // The archive's file as it is checked: read once, no link followed.
  const FileBytes kept = ReadEntry(folder + "/" + place, MAX_FILE_SIZE);
  comparisons_.push_back({place, kept.problem == ReadProblem::None && kept.bytes == *console
                                     ? Verdict::Same
                                     : Verdict::Differs});
}

void ConsoleJob::RestoreArchive(std::string folder, ArchiveRestore what)
{
  folder = Absolute(folder);
  ArchiveContents archive = CheckArchive(folder, false).contents;
  const auto left = [&](const std::string& place) {
    return std::find(what.leaveOut.begin(), what.leaveOut.end(), place) != what.leaveOut.end();
  };
  if (what.card) {
    std::vector<std::string> places, names;
    for (std::size_t i = 0; i < archive.card.size(); ++i)
      if (!left("card/" + archive.card[i])) {
        places.push_back("card/" + archive.card[i]);
        names.push_back(archive.cardNames[i]);
      }
    if (!places.empty()) {
      if (!archive.namesRecorded)
        view_.Notice("zr4812: " + folder +
                     " was made before card names were recorded: the card files get "
                     "names made from their PC names");
      ListCard();
      PutArchiveFiles(folder, archive, places, names);
      CheckCardStep();
    }
  }
  if (!what.internal)
    return;
  std::erase_if(archive.internal, [&](const std::string& name) { return left("internal/" + name); });
  for (const std::vector<std::string>& names : InternalRestoreBatches(archive.internal, what.withOs)) {
    std::vector<std::string> places;
    for (const std::string& name : names)
      places.push_back("internal/" + name);
    RestoreArchiveFiles(folder, archive, places);
  }
}

namespace {

// The archive's entries at `places` read once each and checked against
// their sums: what goes to the console is exactly what was checked.
// Entries that cannot be used are reported through `refuse`.
std::vector<PcFileRef> CheckedFiles(const std::string& folder, const ArchiveContents& archive,
                                    const std::vector<std::string>& places,
                                    const std::vector<std::string>& names,
                                    const std::function<void(const std::string&, const std::string&)>& refuse)
{
  std::vector<PcFileRef> files;
  for (std::size_t i = 0; i < places.size(); ++i) {
    ArchiveEntry entry = ReadArchiveEntry(folder, archive, places[i]);
    const std::size_t slash = places[i].find('/');
    const std::string name = places[i].substr(slash + 1);
    if (entry.problem) {
      refuse(EscapedCardName(places[i]), *entry.problem);
      continue;
    }
    PcFileRef file{folder + "/" + places[i].substr(0, slash), name};
    file.cardName = i < names.size() ? names[i] : std::string();
    file.bytes = std::make_shared<const std::vector<std::uint8_t>>(std::move(entry.bytes));
    files.push_back(std::move(file));
  }
  return files;
}

} // namespace

void ConsoleJob::PutArchiveFiles(const std::string& folder, const ArchiveContents& archive,
                                 std::vector<std::string> places, std::vector<std::string> names)
{
  // One batch for every card file: one listing before it and one after.
  steps_.push_back({[this, folder, archive, places, names] {
                      multiFile_ = true;
                      fileName_ = "card";
                      const int count = static_cast<int>(places.size());
                      int refused = 0;
                      const std::vector<PcFileRef> files =
                          CheckedFiles(folder, archive, places, names,
                                       [&](const std::string& name, const std::string& why) {
                                         NotDone(++refused, count, name, why, false);
                                       });
                      if (files.empty())
                        return;
                      if (batch_.Running())
                        NotDone(1, count, files.front().name, "another transfer is running", false);
                      else
                        batch_.Upload(files, this);
                    },
                    [this] {
                      multiFile_ = false;
                      CloseOpenFile(false);
                    }});
}

void ConsoleJob::RestoreArchiveFiles(const std::string& folder, const ArchiveContents& archive,
                                     std::vector<std::string> places)
{
  steps_.push_back(
      {[this, folder, archive, places] {
         multiFile_ = true;
         const int count = static_cast<int>(places.size());
         fileName_ = places.empty() ? std::string("restore") : places.front();
         bool operatingSystem = false;
         for (const std::string& place : places)
           operatingSystem = operatingSystem || TypeOfFileName(place) == OPERATING_SYSTEM_TYPE;
         if (operatingSystem && !options_.yes) {
           NotDone(1, count, fileName_, "a new operating system goes to the console only with --yes", false);
           return;
         }
         bool refused = false;
         const std::vector<PcFileRef> files =
             CheckedFiles(folder, archive, places, {}, [&](const std::string& name, const std::string& why) {
               refused = true;
               NotDone(1, count, name, why, false);
             });
         // The kinds of one restore go together or not at all.
         if (!refused)
           batch_.Restore(files, this);
       },
       [this] {
         multiFile_ = false;
         CloseOpenFile(false);
       }});
}

} // namespace zr
