// The job's plan: the steps of each command, the archive and its checksums,
// and the names files get on the PC.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "transfer/console_job.h"
#include "transfer/console_job_util.h"
#include "transfer/datatypes.h"
#include "transfer/pc_path.h"
#include "transfer/sha256.h"

namespace zr {

namespace fs = std::filesystem;
using namespace job_detail;

std::string CardFilePcName(const CardFile& file)
{
  return SafePcFileName(file.name) + "." + DataTypeTable[static_cast<std::size_t>(file.type)].extension;
}

std::string DefaultBackupName(int type)
{
  const DataTypeRow& row = DataTypeTable[static_cast<std::size_t>(type)];
  std::string name;
  for (const char* c = row.name; *c; ++c) {
    const char ch = *c;
    if ((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9'))
      name += ch;
    else if (ch >= 'A' && ch <= 'Z')
      name += static_cast<char>(ch - 'A' + 'a');
    else if (!name.empty() && name.back() != '-')
      name += '-';
  }
  while (!name.empty() && name.back() == '-')
    name.pop_back();
  return name + "." + row.extension;
}

std::string ArchiveFolderName(std::chrono::system_clock::time_point when)
{
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  const std::tm local = *std::localtime(&t); // one thread: the shared buffer is ours
  char text[64];
  std::strftime(text, sizeof text, "zr4812-%Y%m%d-%H%M%S", &local);
  return text;
}

// ---- The plan ----

void ConsoleJob::ListCard()
{
  steps_.push_back({[this] {
                      if (!cardListed_)
                        batch_->RequestCardDirectory(-1);
                    },
                    [this] {
                      if (!cardListed_) {
                        Fail("the card list could not be read");
                        consoleLost_ = true;
                      }
                    }});
}

void ConsoleJob::GetFiles(std::vector<std::string> names, std::string folder)
{
  folder = Absolute(folder);
  // Which files these are is known once the card list is in.
  steps_.push_back(
      {[] {},
       [this, names = std::move(names), folder] {
         std::vector<CardFile> files;
         for (const CardFile& f : cards_) {
           if (names.empty()) {
             files.push_back(f);
             continue;
           }
         }
         for (const std::string& wanted : names) {
           const int type = TypeOfFileName(wanted);
           const std::string name = WithoutExtension(wanted);
           auto found = std::find_if(cards_.begin(), cards_.end(), [&](const CardFile& f) {
             return f.type == type && (CompareIgnoringCase(f.name, name) == 0 || CardFilePcName(f) == wanted);
           });
           if (found == cards_.end()) {
             ++filesNotDone_;
             view_.FileNotDone(wanted, "not on the card", false);
           } else {
             files.push_back(*found);
           }
         }
         const int count = static_cast<int>(files.size());
         // In front of whatever the plan holds next, in the card list's order.
         for (int i = count - 1; i >= 0; --i) {
           const CardFile f = files[static_cast<std::size_t>(i)];
           steps_.push_front({[this, f, folder, i, count] { GetStep(f, folder, i + 1, count); },
                              [this, f, folder] { EndFile(folder + PATH_SEPARATOR + CardFilePcName(f)); }});
         }
       }});
}

void ConsoleJob::GetStep(const CardFile& file, const std::string& folder, int number, int count)
{
  folder_ = folder;
  const auto index =
      std::find_if(cards_.begin(), cards_.end(),
                   [&](const CardFile& f) { return f.type == file.type && f.name == file.name; }) -
      cards_.begin();
  std::fill(cardSelected_.begin(), cardSelected_.end(), false);
  if (static_cast<std::size_t>(index) < cardSelected_.size())
    cardSelected_[static_cast<std::size_t>(index)] = true;
  const std::string name = CardFilePcName(file);
  view_.FileBegins(number, count, name);
  BeginFile(name, 0);
  batch_->PCViewDragDrop(ListId::Card);
}

void ConsoleJob::PutFiles(std::vector<std::string> paths)
{
  const int count = static_cast<int>(paths.size());
  for (int i = 0; i < count; ++i) {
    const std::string path = Absolute(paths[static_cast<std::size_t>(i)]);
    steps_.push_back({[this, path, i, count] {
                        const fs::path p(path);
                        folder_ = p.parent_path().string();
                        pcItems_ = {PcItem{folder_, p.filename().string(), true}};
                        const std::string name = p.filename().string();
                        view_.FileBegins(i + 1, count, name);
                        BeginFile(name, FileSize(path));
                        // The card holds a file of the name the engine will give it:
                        // skipped unless replacing was asked for.
                        std::string lower = name;
                        if (IsDataType(TypeFromFileName(lower)) && !options_.replace) {
                          const std::string cardName = CardFileName(WithoutExtension(lower));
                          for (const CardFile& f : cards_)
                            if (CompareIgnoringCase(f.name, cardName) == 0) {
                              fileSkipped_ = true;
                              fileWhy_ = "the card holds " + f.name + " (--replace replaces it)";
                              return;
                            }
                        }
                        batch_->SolanoViewDragDrop();
                      },
                      [this] { EndFile(); }});
  }
}

void ConsoleJob::Backup(int type, std::string path)
{
  path = Absolute(path);
  steps_.push_back({[this, type, path] { BackupStep(type, path, 1, 1); }, [this, path] { EndFile(path); }});
}

void ConsoleJob::BackupStep(int type, const std::string& path, int number, int count)
{
  const fs::path p(path);
  folder_ = p.parent_path().string();
  const std::string name = p.filename().string();
  view_.FileBegins(number, count, name);
  BeginFile(name, 0);
  if (Exists(path) && !options_.replace) {
    fileSkipped_ = true;
    fileWhy_ = "the file exists (--replace replaces it)";
    return;
  }
  internalSelected_ = type;
  saveTo_ = path;
  saveAsked_ = 0;
  batch_->PCViewDragDrop(ListId::Internal);
}

void ConsoleJob::Restore(std::vector<std::string> paths)
{
  steps_.push_back({[this, paths] {
                      pcItems_.clear();
                      bool operatingSystem = false;
                      for (const std::string& path : paths) {
                        const fs::path p(Absolute(path));
                        pcItems_.push_back({p.parent_path().string(), p.filename().string(), true});
                        operatingSystem =
                            operatingSystem || TypeOfFileName(p.filename().string()) == OPERATING_SYSTEM_TYPE;
                      }
                      lastFileNr_ = 0;
                      pcItemRead_ = -1;
                      internalSelected_ = -1;
                      restoring_ = true;
                      if (operatingSystem && !options_.yes) {
                        BeginFile(pcItems_.front().name, 0);
                        Fail("a new operating system goes to the console only with --yes");
                        return;
                      }
                      batch_->InternalViewDragDrop();
                    },
                    [this] {
                      restoring_ = false;
                      if (fileOpen_)
                        EndFile();
                    }});
}

void ConsoleJob::Archive(std::string parent)
{
  steps_.push_back({[this, parent] {
                      const fs::path root =
                          fs::path(Absolute(parent)) / ArchiveFolderName(std::chrono::system_clock::now());
                      std::error_code ec;
                      fs::create_directories(root / "card", ec);
                      if (!ec)
                        fs::create_directories(root / "internal", ec);
                      archiveFolder_ = root.string();
                      if (ec) {
                        BeginFile(root.string(), 0);
                        Fail("cannot create the folder: " + ec.message());
                        steps_.clear();
                      }
                    },
                    [this] {
                      if (fileOpen_)
                        EndFile();
                    }});
  ListCard();
  // What goes into the archive is known once the card list is in.
  steps_.push_back({[] {},
                    [this] {
                      const std::string folder = (fs::path(archiveFolder_) / "card").string();
                      const int count = static_cast<int>(cards_.size()) + DATA_TYPE_COUNT;
                      std::vector<Step> planned;
                      for (int i = 0; i < static_cast<int>(cards_.size()); ++i) {
                        const CardFile f = cards_[static_cast<std::size_t>(i)];
                        planned.push_back({[this, f, folder, i, count] { GetStep(f, folder, i + 1, count); },
                                           [this, f, folder] {
                                             const bool done = filesDone_;
                                             EndFile(folder + PATH_SEPARATOR + CardFilePcName(f));
                                             if (filesDone_ != done)
                                               archived_.push_back("card/" + CardFilePcName(f));
                                           }});
                      }
                      for (int type = 0; type < DATA_TYPE_COUNT; ++type) {
                        const std::string path =
                            (fs::path(archiveFolder_) / "internal" / DefaultBackupName(type)).string();
                        const int number = static_cast<int>(cards_.size()) + type + 1;
                        planned.push_back(
                            {[this, type, path, number, count] { BackupStep(type, path, number, count); },
                             [this, type, path] {
                               const int done = filesDone_;
                               EndFile(path);
                               if (filesDone_ != done)
                                 archived_.push_back("internal/" + DefaultBackupName(type));
                             }});
                      }
                      planned.push_back({[this] { WriteChecksums(); }, [] {}});
                      steps_.insert(steps_.begin(), planned.begin(), planned.end());
                    }});
}

void ConsoleJob::WriteChecksums()
{
  const std::string path = (fs::path(archiveFolder_) / "SHA256SUMS").string();
  std::string text;
  for (const std::string& file : archived_) {
    const std::optional<std::string> sum = Sha256OfFile((fs::path(archiveFolder_) / file).string());
    if (!sum) {
      ++filesNotDone_;
      view_.FileNotDone(file, "cannot be read back", false);
      continue;
    }
    // Two blanks: binary and text mode read the same; sha256sum -c takes it.
    text += *sum + "  " + file + "\n";
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    ++filesNotDone_;
    view_.FileNotDone("SHA256SUMS", "cannot be written", false);
  }
}

} // namespace zr
