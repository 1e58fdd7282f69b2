#include "cli/report.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "files/datatypes.h"
#include "files/disk.h"
#include "files/pc_names.h"
#include "files/pc_path.h"

namespace fs = std::filesystem;

namespace zr::cli {

namespace {
// A path as the system takes it: these strings are UTF-8, which a
// std::filesystem::path made from a std::string is not on Windows.
fs::path PathOf(const std::string& utf8)
{
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}
} // namespace

std::optional<std::string> FolderProblem(const std::string& folder)
{
  std::error_code ec;
  if (!fs::exists(PathOf(folder), ec))
    return std::string("no such folder");
  if (!fs::is_directory(PathOf(folder), ec))
    return std::string("not a folder");
  // A file written and removed again: the only sure way to know.
  const std::string probe = folder + "/" + TemporaryFileName(static_cast<unsigned long>(std::chrono::steady_clock::now().time_since_epoch().count()));
  if (WriteStringSafely(probe, "", false) != ERR_NONE)
    return std::string("the folder cannot be written");
  fs::remove(PathOf(probe), ec);
  return std::nullopt;
}

void Plan(const Options& o, ConsoleJob& job)
{
  const std::string& c = o.command;
  if (c == "list") {
    job.ListCard();
  } else if (c == "get") {
    job.ListCard();
    job.GetFiles(o.all ? std::vector<std::string>{} : o.args, o.to.empty() ? "." : o.to);
  } else if (c == "put") {
    job.ListCard();
    job.PutFiles(o.args);
  } else if (c == "backup") {
    const int kind = KindOf(o.args[0]);
    std::string file = o.args.size() > 1 ? o.args[1] : DefaultBackupName(kind);
    if (fs::path(file).extension().empty())
      file += std::string(".") + DataTypeTable[static_cast<std::size_t>(kind)].extension;
    job.Backup(kind, file);
  } else if (c == "restore") {
    job.Restore(o.args);
  } else if (c == "archive") {
    if (o.resume)
      job.ResumeArchive(o.args[0]);
    else
      job.Archive(o.args.empty() ? "." : o.args[0]);
  } else if (c == "verify") {
    job.Verify(o.args[0]);
  } else if (c == "restore-archive") {
    job.RestoreArchive(o.args[0], ArchiveRestore{!o.internalOnly, !o.cardOnly, o.withOs});
  }
}

int PrintDryRun(const Options& o, const ArchiveContents& archive)
{
  const std::string& folder = o.args[0];
  if (!o.internalOnly) {
    if (!archive.card.empty() && !archive.namesRecorded)
      std::printf("(made before card names were recorded: names are made from the PC names)\n");
    for (std::size_t i = 0; i < archive.card.size(); ++i) {
      const std::string& as = archive.cardNames[i];
      std::printf("put %s/card/%s%s%s\n", folder.c_str(), EscapedCardName(archive.card[i]).c_str(),
                  as.empty() ? "" : (" as " + EscapedCardName(as)).c_str(),
                  o.replace ? "" : " (skipped when the card holds it)");
    }
  }
  if (!o.cardOnly) {
    for (const std::vector<std::string>& batch : InternalRestoreBatches(archive.internal, o.withOs)) {
      std::string line = "restore";
      for (const std::string& name : batch)
        line += " " + folder + "/internal/" + EscapedCardName(name);
      std::printf("%s%s\n", line.c_str(),
                  TypeOfFileName(batch.front()) == OPERATING_SYSTEM_TYPE && !o.yes ? " (only with --yes)"
                                                                                    : "");
    }
  }
  return EXIT_DONE;
}

int Report(const Options& o, const ConsoleJob& job)
{
  if (o.command == "list") {
    const int only = o.type.empty() ? -1 : KindOf(o.type);
    for (const CardFile& f : job.CardFiles())
      if (only < 0 || f.type == only)
        std::printf("%s.%s\t%s\n", EscapedCardName(f.name).c_str(),
                    DataTypeTable[static_cast<std::size_t>(f.type)].extension,
                    DataTypeTable[static_cast<std::size_t>(f.type)].name);
  } else if (o.command == "verify") {
    bool allSame = !job.Comparisons().empty();
    for (const Comparison& c : job.Comparisons()) {
      std::printf("%s\t%s\n", EscapedCardName(c.place).c_str(), VerdictText(c.verdict));
      allSame = allSame && c.verdict == Verdict::Same;
    }
    std::fflush(stdout);
    return allSame && job.FilesNotDone() == 0 && !job.ConsoleLost() ? EXIT_DONE : EXIT_FILE_FAILED;
  } else {
    std::printf("%s\n", job.SummaryLine().c_str());
  }
  std::fflush(stdout);
  return job.FilesNotDone() > 0 || job.ConsoleLost() ? EXIT_FILE_FAILED : EXIT_DONE;
}

} // namespace zr::cli
