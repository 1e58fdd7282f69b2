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
                      if (!batch_.CardListed())
                        batch_.ListCard();
                    },
                    [this] {
                      if (!batch_.CardListed()) {
                        ++filesNotDone_;
                        view_.FileNotDone("card list", "the card list could not be read", false);
                        consoleLost_ = true;
                      }
                    }});
}

void ConsoleJob::GetFiles(std::vector<std::string> names, std::string folder)
{
  folder = Absolute(folder);
  // Which files these are is known once the card list is in.
  steps_.push_back({[] {}, [this, names = std::move(names), folder] {
                      const std::vector<CardFile>& cards = batch_.CardFiles();
                      std::vector<CardFile> files;
                      if (names.empty())
                        files = cards;
                      for (const std::string& wanted : names) {
                        const int type = TypeOfFileName(wanted);
                        const std::string name = WithoutExtension(wanted);
                        auto found = std::find_if(cards.begin(), cards.end(), [&](const CardFile& f) {
                          return f.type == type &&
                                 (CompareIgnoringCase(f.name, name) == 0 || CardFilePcName(f) == wanted);
                        });
                        if (found == cards.end()) {
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
                                           [this] { CloseOpenFile(true); }});
                      }
                    }});
}

void ConsoleJob::GetStep(const CardFile& file, const std::string& folder, int number, int count)
{
  stepNumber_ = number;
  stepCount_ = count;
  multiFile_ = false;
  if (batch_.Running())
    NotDone(number, count, CardFilePcName(file), "another transfer is running", false);
  else
    batch_.Download({file}, folder, this);
}

void ConsoleJob::PutFiles(std::vector<std::string> paths)
{
  const int count = static_cast<int>(paths.size());
  for (int i = 0; i < count; ++i) {
    const std::string path = Absolute(paths[static_cast<std::size_t>(i)]);
    steps_.push_back({[this, path, i, count] {
                        stepNumber_ = i + 1;
                        stepCount_ = count;
                        multiFile_ = false;
                        // The card's names are the batch's own: a file of the same
                        // name is asked about there, and answered by the options.
                        if (batch_.Running())
                          NotDone(i + 1, count, fs::path(path).filename().string(), "another transfer is running",
                                  false);
                        else
                          batch_.Upload(PcFilesOf({path}), this);
                      },
                      [this] { CloseOpenFile(false); }});
  }
}

void ConsoleJob::Backup(int type, std::string path)
{
  path = Absolute(path);
  steps_.push_back({[this, type, path] { BackupStep(type, path, 1, 1); }, [this] { CloseOpenFile(true); }});
}

void ConsoleJob::BackupStep(int type, const std::string& path, int number, int count)
{
  stepNumber_ = number;
  stepCount_ = count;
  multiFile_ = false;
  backupExtension_ = std::string(".") + DataTypeTable[static_cast<std::size_t>(type)].extension;
  const std::string name = fs::path(path).filename().string();
  if (Exists(path) && !options_.replace) {
    NotDone(number, count, name, "the file exists (--replace replaces it)", true);
    return;
  }
  if (batch_.Running())
    NotDone(number, count, name, "another transfer is running", false);
  else
    batch_.Backup(type, path, this);
}

void ConsoleJob::Restore(std::vector<std::string> paths)
{
  steps_.push_back({[this, paths] {
                      std::vector<std::string> absolute;
                      bool operatingSystem = false;
                      for (const std::string& path : paths) {
                        absolute.push_back(Absolute(path));
                        operatingSystem = operatingSystem || TypeOfFileName(fs::path(path).filename().string()) ==
                                                                 OPERATING_SYSTEM_TYPE;
                      }
                      multiFile_ = true;
                      fileName_ = absolute.empty() ? std::string("restore")
                                                   : fs::path(absolute.front()).filename().string();
                      if (operatingSystem && !options_.yes) {
                        NotDone(1, static_cast<int>(absolute.size()), fileName_,
                                "a new operating system goes to the console only with --yes", false);
                        return;
                      }
                      batch_.Restore(PcFilesOf(absolute), this);
                    },
                    [this] {
                      multiFile_ = false;
                      CloseOpenFile(false);
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
                        NotDone(1, 1, root.string(), "cannot create the folder: " + ec.message(), false);
                        steps_.clear();
                      }
                    },
                    {}});
  ListCard();
  // What goes into the archive is known once the card list is in.
  steps_.push_back({[] {}, [this] { PlanArchive(); }});
}

void ConsoleJob::PlanArchive()
{
  const std::string folder = (fs::path(archiveFolder_) / "card").string();
  const std::vector<CardFile> cards = batch_.CardFiles();
  const int count = static_cast<int>(cards.size()) + DATA_TYPE_COUNT;
  std::vector<Step> planned;
  // Each file saved goes into SHA256SUMS under its place in the archive.
  const auto keep = [this](const std::string& place) {
    return [this, place] {
      const bool saved = !lastSaved_.empty() && !fileOpen_;
      CloseOpenFile(true);
      if (saved)
        archived_.push_back(place);
      lastSaved_.clear();
    };
  };
  for (int i = 0; i < static_cast<int>(cards.size()); ++i) {
    const CardFile f = cards[static_cast<std::size_t>(i)];
    planned.push_back({[this, f, folder, i, count] { GetStep(f, folder, i + 1, count); },
                       keep("card/" + CardFilePcName(f))});
  }
  for (int type = 0; type < DATA_TYPE_COUNT; ++type) {
    const std::string path = (fs::path(archiveFolder_) / "internal" / DefaultBackupName(type)).string();
    const int number = static_cast<int>(cards.size()) + type + 1;
    planned.push_back({[this, type, path, number, count] { BackupStep(type, path, number, count); },
                       keep("internal/" + DefaultBackupName(type))});
  }
  planned.push_back({[this] { WriteChecksums(); }, [] {}});
  steps_.insert(steps_.begin(), planned.begin(), planned.end());
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
