// Saving a received file (RxTransfer): the replace question when a file of
// that name is there, then the bytes written beside the target and put in
// place, so that a failed write never costs the user the file it replaces.
#include "engine/filer.h"

#include "files/disk.h"
#include "files/pc_path.h"
#include "engine/session_core.h"

namespace zr {

namespace {

// "1,234 KB", as the PC list's Size column shows a file.
std::string SizeText(std::uint64_t bytes)
{
  std::string digits = std::to_string((bytes + 1023) / 1024);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
    digits.insert(static_cast<std::size_t>(at), ",");
  return digits + " KB";
}

} // namespace

FileEnd Filer::ReceivedFileEnd(FileOutcome outcome) const
{
  FileEnd end;
  end.name = FileNamePart(PcPath);
  end.outcome = outcome;
  end.path = PcPath;
  switch (outcome) {
  case FileOutcome::Saved:
    end.bytes = Size;
    break;
  case FileOutcome::Skipped:
    end.why = FileReason::Exists;
    end.reason = "it exists";
    break;
  case FileOutcome::Failed:
    end.why = FileReason::Error;
    end.error = LastError;
    end.reason = LastFailure;
    break;
  }
  return end;
}

bool Filer::MayReplace(const std::string& fileName, std::uint64_t existingSize)
{
  ReplaceQuestion question;
  question.name = fileName;
  question.oldSize = existingSize;
  question.newSize = Size;
  question.severalFiles = session_.steps().CardSelectedCount() > 1;
  question.text = "File already exists!\nReplace the file named " + fileName + " ?\nThe existing file size is " +
                  SizeText(existingSize) + ", the new file size is " +
                  std::to_string((std::uint64_t(Size) + 1023) / 1024) + "KB.";
  const bool yes = session_.AskReplace(question);
  // The question runs a nested event loop: Cancel, or a watchdog's Abort or
  // Retry, may have ended the file meanwhile. Nothing is written then.
  if (!Buffer || session_.batch.CancelRequested) {
    Buffer.reset();
    return false;
  }
  if (!yes)
    FreeBuffer();
  return yes;
}

std::optional<FileOutcome> Filer::Skipped() const
{
  // Under the question the batch may have ended (Cancel, a watchdog's box):
  // then there is nobody to tell.
  if (session_.batch.CancelRequested)
    return std::nullopt;
  return FileOutcome::Skipped;
}

std::optional<FileOutcome> Filer::WritePcFile()
{
  const bool backup = session_.batch.InternalMode;
  if (!Buffer) {
    Error = ERR_NO_FILE;
    return FileOutcome::Failed;
  }
  if (Size == 0) {
    // Nothing to keep: an empty file on disk would only hide the fault.
    Error = ERR_EMPTY_FILE;
    return FileOutcome::Failed;
  }
  if (PcPath.empty()) {
    PcPath = session_.AskBackupFileName(DataType);
    ReplaceAgreed = ExistingFileSize(PcPath).has_value();
    if (Error != ERR_NONE)
      return FileOutcome::Failed;
  }

  const std::string fileName = FileNamePart(PcPath);
  // A backup's save dialog asked before overwriting what was there then.
  bool replace = backup && ReplaceAgreed;
  if (!backup) {
    // The disk decides, not what the PC list happens to show.
    if (const std::optional<std::uint64_t> existing = ExistingFileSize(PcPath)) {
      if (!MayReplace(fileName, *existing))
        return Skipped();
      replace = true;
    }
  }
  Error = WriteFileSafely(PcPath, Buffer.get(), Size, replace);
  if (Error == ERR_FILE_EXISTS && !replace) {
    // A file appeared under that name since the look above (a backup of
    // the operating system takes minutes): it is asked about now.
    const std::optional<std::uint64_t> existing = ExistingFileSize(PcPath);
    Error = ERR_NONE;
    if (!MayReplace(fileName, existing.value_or(0)))
      return Skipped();
    Error = WriteFileSafely(PcPath, Buffer.get(), Size, true);
  }
  return Error == ERR_NONE ? FileOutcome::Saved : FileOutcome::Failed;
}

} // namespace zr
