// The job's plan: the steps of each command, and the names files get on the PC.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "jobs/console_job.h"
#include "jobs/console_job_util.h"
#include "files/datatypes.h"
#include "files/pc_path.h"

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

std::optional<CardFile> FindCardFile(const std::vector<CardFile>& cards, const std::string& wanted)
{
  const int type = TypeOfFileName(wanted);
  const std::string name = WithoutExtension(wanted);
  const std::string unescaped = UnescapedCardName(name);
  const auto first = [&](auto&& matches) -> std::optional<CardFile> {
    for (const CardFile& f : cards)
      if (f.type == type && matches(f))
        return f;
    return std::nullopt;
  };
  // The card's own name first, as typed or as `list` escapes it; then the
  // same ignoring case; then the name the file gets on the PC.
  if (auto f = first([&](const CardFile& c) { return c.name == name || c.name == unescaped; }))
    return f;
  if (auto f = first([&](const CardFile& c) { return EqualsIgnoringCase(c.name, name); }))
    return f;
  const std::vector<std::string> stems = UniquePcStems(cards);
  for (std::size_t i = 0; i < cards.size(); ++i)
    if (cards[i].type == type && EqualsIgnoringCase(PcFileNameOf(stems[i], type), wanted))
      return cards[i];
  return std::nullopt;
}

// ---- The plan ----

void ConsoleJob::ListCard()
{
  steps_.push_back(ListingStep());
}

ConsoleJob::Step ConsoleJob::ListingStep()
{
  // Asked as the job itself: the job holds the engine, and a listing asked
  // by anyone else is refused while it does. A listing that lost a reply
  // (at the connect, or here) is read again.
  return {[this] {
            if (!batch_.CardListed() || (options_.freshCardList && !listedHere_))
              batch_.ListCard(this);
          },
          [this] {
            if (batch_.CardListed()) {
              listedHere_ = true;
              return;
            }
            if (MayRetry()) {
              fileName_ = "card list";
              Step again = ListingStep();
              again.tries = current_.tries;
              RetryStep(std::move(again));
              return;
            }
            ++filesNotDone_;
            view_.FileNotDone("card list", "the card list could not be read", false);
            consoleLost_ = true;
          }};
}

void ConsoleJob::CheckCardStep()
{
  // The batch reads the card list again after its uploads; read here only
  // when a reply of that listing was lost.
  steps_.push_back({[this] {
                      if (!batch_.CardListed())
                        batch_.ListCard(this);
                    },
                    [this] {
                      std::vector<SentFile> sent = std::exchange(sentToCard_, {});
                      if (!batch_.CardListed()) {
                        if (!sent.empty())
                          view_.Notice("zr4812: the card list could not be read again: the files sent are "
                                       "not checked on the card");
                        return;
                      }
                      const std::vector<CardFile>& cards = batch_.CardFiles();
                      for (const SentFile& f : sent) {
                        const bool there = std::any_of(cards.begin(), cards.end(), [&](const CardFile& c) {
                          return c.type == f.type && EqualsIgnoringCase(c.name, f.cardName);
                        });
                        if (there)
                          continue;
                        // Sent whole, yet the console did not keep it.
                        --filesDone_;
                        ++filesNotDone_;
                        view_.FileNotDone(f.shown, "sent, but not on the card afterwards", false);
                      }
                    }});
}

void ConsoleJob::GetFiles(std::vector<std::string> names, std::string folder)
{
  folder = Absolute(folder);
  // Which files these are is known once the card list is in.
  steps_.push_back({[] {},
                    [this, names = std::move(names), folder] {
                      const std::vector<CardFile>& cards = batch_.CardFiles();
                      std::vector<CardFile> files;
                      if (names.empty())
                        files = cards;
                      for (const std::string& wanted : names) {
                        const std::optional<CardFile> found = FindCardFile(cards, wanted);
                        if (!found) {
                          ++filesNotDone_;
                          view_.FileNotDone(wanted, "not on the card", false);
                        } else if (std::find(files.begin(), files.end(), *found) == files.end()) {
                          files.push_back(*found);
                        }
                      }
                      const int count = static_cast<int>(files.size());
                      std::vector<std::string> stems;
                      for (const CardFile& f : files)
                        stems.push_back(pcNames_.Assign(f));
                      // In front of whatever the plan holds next, in the card list's order.
                      for (int i = count - 1; i >= 0; --i) {
                        const CardFile f = files[static_cast<std::size_t>(i)];
                        const std::string stem = stems[static_cast<std::size_t>(i)];
                        steps_.push_front(
                            {[this, f, folder, i, count, stem] { GetStep(f, folder, i + 1, count, stem); },
                             [this] { CloseOpenFile(true); }});
                      }
                    }});
}

void ConsoleJob::GetStep(const CardFile& file, const std::string& folder, int number, int count,
                         const std::string& stem)
{
  stepNumber_ = number;
  stepCount_ = count;
  multiFile_ = false;
  fileName_ = PcFileNameOf(stem, file.type);
  if (batch_.Running())
    NotDone(number, count, fileName_, "another transfer is running", false);
  else
    batch_.Download({file}, folder, this, {stem});
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
                          NotDone(i + 1, count, Utf8Of(PathOf(path).filename()),
                                  "another transfer is running", false);
                        else
                          batch_.Upload(PcFilesOf({path}), this);
                      },
                      [this] { CloseOpenFile(false); }});
  }
  CheckCardStep();
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
  const std::string name = Utf8Of(PathOf(path).filename());
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
                        operatingSystem =
                            operatingSystem ||
                            TypeOfFileName(Utf8Of(PathOf(path).filename())) == OPERATING_SYSTEM_TYPE;
                      }
                      multiFile_ = true;
                      fileName_ = absolute.empty() ? std::string("restore")
                                                   : Utf8Of(PathOf(absolute.front()).filename());
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

} // namespace zr
