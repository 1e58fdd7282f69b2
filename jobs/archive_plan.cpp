// The archive's plan: a new folder of its own, every card file and internal
// kind into it, and at the end either SHA256SUMS or the INCOMPLETE mark that
// lists what is missing for `archive --resume`.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/archive_check.h"
#include "jobs/console_job.h"
#include "jobs/console_job_util.h"
#include "files/datatypes.h"
#include "files/disk.h"
#include "files/pc_names.h"

namespace zr {

namespace fs = std::filesystem;
using namespace job_detail;

bool ConsoleJob::CreateArchiveFolder(const std::string& parent)
{
  const fs::path base = PathOf(Absolute(parent)) / ArchiveFolderName(std::chrono::system_clock::now());
  std::error_code ec;
  fs::create_directories(base.parent_path(), ec);
  // Always a folder of its own: two archives in one second, or a name
  // someone planted (a link included), get the next free "-2", "-3" ...
  for (int n = 1; n < 1000; ++n) {
    const fs::path root = n == 1 ? base : PathOf(Utf8Of(base) + "-" + std::to_string(n));
    if (fs::create_directory(root, ec)) {
      archiveFolder_ = Utf8Of(root);
      if (fs::create_directory(root / "card", ec) && fs::create_directory(root / "internal", ec) &&
          WriteIncompleteMark(archiveFolder_, {"(the card list was not read)"}))
        return true;
      NotDone(1, 1, Utf8Of(root), "cannot create the folder: " + (ec ? ec.message() : "the mark failed"),
              false);
      return false;
    }
    if (ec && ec != std::errc::file_exists)
      break;
  }
  NotDone(1, 1, Utf8Of(base), "cannot create the folder: " + (ec ? ec.message() : "every name is taken"),
          false);
  return false;
}

void ConsoleJob::Archive(std::string parent)
{
  steps_.push_back({[this, parent] {
                      if (!CreateArchiveFolder(parent))
                        steps_.clear();
                    },
                    {}});
  ListCard();
  // What goes into the archive is known once the card list is in.
  steps_.push_back({[] {}, [this] { PlanArchive(false); }});
}

void ConsoleJob::ResumeArchive(std::string folder)
{
  folder = Absolute(folder);
  steps_.push_back({[this, folder] {
                      std::error_code ec;
                      const std::optional<std::vector<std::string>> mark = ReadIncompleteMark(folder);
                      if (!IsRealFolder(folder + "/card") || !IsRealFolder(folder + "/internal")) {
                        NotDone(1, 1, folder, "not an archive folder (no card/ and internal/ in it)", false);
                        steps_.clear();
                      } else if (!mark && EntryExists(folder + "/" + CHECKSUM_FILE)) {
                        view_.Notice("zr4812: " + folder + " is complete already");
                        steps_.clear();
                      } else {
                        archiveFolder_ = folder;
                        resumeMark_ = mark.value_or(std::vector<std::string>{});
                      }
                    },
                    {}});
  ListCard();
  steps_.push_back({[] {}, [this] { PlanArchive(true); }});
}

void ConsoleJob::PlanArchive(bool onlyMissing)
{
  const std::string folder = Utf8Of(PathOf(archiveFolder_) / "card");
  const std::vector<CardFile> cards = batch_.CardFiles();
  std::vector<std::string> stems;
  for (const CardFile& f : cards)
    stems.push_back(pcNames_.Assign(f));
  archivePlaces_.clear();
  archiveCardNames_.clear();
  for (std::size_t i = 0; i < cards.size(); ++i) {
    archivePlaces_.push_back("card/" + PcFileNameOf(stems[i], cards[i].type));
    archiveCardNames_.push_back(cards[i].name);
  }
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    archivePlaces_.push_back("internal/" + DefaultBackupName(type));
  archiveListed_ = true;

  // Only what is not there yet: a file in the folder was written whole. What
  // the mark lists as missing must not be there at all, and whatever is there
  // must be a file of ours: a link or a FIFO planted in the folder is never
  // taken for a file fetched, nor hashed into SHA256SUMS.
  const bool listUnknown =
      std::find(resumeMark_.begin(), resumeMark_.end(), "(the card list was not read)") != resumeMark_.end();
  std::vector<std::size_t> wanted;
  for (std::size_t i = 0; i < archivePlaces_.size(); ++i) {
    const std::string path = archiveFolder_ + "/" + archivePlaces_[i];
    if (!onlyMissing || !EntryExists(path)) {
      wanted.push_back(i);
      continue;
    }
    const bool listed =
        std::find(resumeMark_.begin(), resumeMark_.end(), archivePlaces_[i]) != resumeMark_.end();
    if (!IsRegularEntry(path)) {
      refusedPlaces_.push_back(archivePlaces_[i]);
      NotDone(1, 1, EscapedCardName(archivePlaces_[i]), "is not a regular file; remove it and resume again",
              false);
    } else if (listed && !listUnknown) {
      refusedPlaces_.push_back(archivePlaces_[i]);
      NotDone(1, 1, EscapedCardName(archivePlaces_[i]),
              std::string("is listed as missing in ") + INCOMPLETE_FILE +
                  " but a file is there; remove it "
                  "and resume again",
              false);
    }
  }
  const int count = static_cast<int>(wanted.size());
  std::vector<Step> planned;
  for (int n = 0; n < count; ++n) {
    const std::size_t i = wanted[static_cast<std::size_t>(n)];
    if (i < cards.size()) {
      const CardFile f = cards[i];
      const std::string stem = stems[i];
      planned.push_back({[this, f, folder, n, count, stem] { GetStep(f, folder, n + 1, count, stem); },
                         [this] { CloseOpenFile(true); }});
    } else {
      const int type = static_cast<int>(i - cards.size());
      const std::string path = Utf8Of(PathOf(archiveFolder_) / PathOf(archivePlaces_[i]));
      planned.push_back({[this, type, path, n, count] { BackupStep(type, path, n + 1, count); },
                         [this] { CloseOpenFile(true); }});
    }
  }
  planned.push_back({[this] { EndArchive(); }, [] {}});
  steps_.insert(steps_.begin(), planned.begin(), planned.end());
}

void ConsoleJob::EndArchive()
{
  archiveEnded_ = true;
  std::vector<std::string> missing;
  for (const std::string& place : archivePlaces_)
    if (!IsRegularEntry(archiveFolder_ + "/" + place) ||
        std::find(refusedPlaces_.begin(), refusedPlaces_.end(), place) != refusedPlaces_.end())
      missing.push_back(place);
  if (!missing.empty()) {
    view_.Notice("zr4812: " + archiveFolder_ + " is not complete: " + std::to_string(missing.size()) +
                 " files missing (listed in " + INCOMPLETE_FILE + "; zr4812 archive --resume fetches them)");
    if (!WriteIncompleteMark(archiveFolder_, missing)) {
      ++filesNotDone_;
      view_.FileNotDone(INCOMPLETE_FILE, "cannot be written", false);
    }
    return;
  }
  // The console's own names, which the PC names may have lost.
  std::vector<std::string> cardPlaces(
      archivePlaces_.begin(), archivePlaces_.begin() + static_cast<std::ptrdiff_t>(archiveCardNames_.size()));
  if (!WriteCardNames(archiveFolder_, cardPlaces, archiveCardNames_)) {
    ++filesNotDone_;
    view_.FileNotDone(CARD_NAMES_FILE, "cannot be written", false);
    return;
  }
  std::vector<std::string> summed = archivePlaces_;
  summed.push_back(CARD_NAMES_FILE);
  if (const std::optional<std::string> problem = WriteChecksumFile(archiveFolder_, summed)) {
    ++filesNotDone_;
    view_.FileNotDone(CHECKSUM_FILE, *problem, false);
    return;
  }
  std::error_code ec;
  fs::remove(PathOf(archiveFolder_) / INCOMPLETE_FILE, ec);
}

} // namespace zr
