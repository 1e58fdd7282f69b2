// Saving a received file (RxTransfer): the replace question when a file of
// that name is there, then the bytes written beside the target and put in
// place, so that a failed write never costs the user the file it replaces.
#include "engine/filer.h"

#include <functional>

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

void Filer::MayReplace(const std::string& fileName, std::uint64_t existingSize, const std::function<void(bool)>& then)
{
  ReplaceQuestion question;
  question.name = fileName;
  question.oldSize = existingSize;
  question.newSize = Size;
  question.severalFiles = session_.steps().CardSelectedCount() > 1;
  question.text = "File already exists!\nReplace the file named " + fileName + " ?\nThe existing file size is " +
                  SizeText(existingSize) + ", the new file size is " +
                  std::to_string((std::uint64_t(Size) + 1023) / 1024) + "KB.";
  session_.AskReplace(question, then);
}

void Filer::WritePcFile(const Saved& done)
{
  const bool backup = session_.batch.InternalMode;
  if (!Buffer) {
    Error = ERR_NO_FILE;
    return done(FileOutcome::Failed);
  }
  if (Size == 0) {
    // Nothing to keep: an empty file on disk would only hide the fault.
    Error = ERR_EMPTY_FILE;
    return done(FileOutcome::Failed);
  }
  if (PcPath.empty()) {
    PcPath = session_.AskBackupFileName(DataType);
    ReplaceAgreed = ExistingFileSize(PcPath).has_value();
    if (Error != ERR_NONE)
      return done(FileOutcome::Failed);
  }
  // A backup's save dialog asked before overwriting what was there then.
  if (backup && ReplaceAgreed)
    return done(Write(true));
  // The disk decides, not what the PC list happens to show.
  if (!backup)
    if (const std::optional<std::uint64_t> existing = ExistingFileSize(PcPath))
      return AskThenWrite(*existing, done);
  const FileOutcome written = Write(false);
  if (Error != ERR_FILE_EXISTS)
    return done(written);
  // A file appeared under that name since the look above (a backup of the
  // operating system takes minutes): it is asked about now.
  Error = ERR_NONE;
  AskThenWrite(ExistingFileSize(PcPath).value_or(0), done);
}

void Filer::AskThenWrite(std::uint64_t existingSize, const Saved& done)
{
  MayReplace(FileNamePart(PcPath), existingSize, [this, done](bool yes) {
    // The answer may come late: Cancel, or a watchdog's Abort or Retry, may
    // have ended the file meanwhile. Nothing is written then, and there is
    // nobody to tell.
    if (!Buffer || session_.batch.CancelRequested) {
      Buffer.reset();
      return done(std::nullopt);
    }
    if (!yes) {
      FreeBuffer();
      return done(FileOutcome::Skipped);
    }
    done(Write(true));
  });
}

FileOutcome Filer::Write(bool replace)
{
  Error = WriteFileSafely(PcPath, Buffer.get(), Size, replace);
  return Error == ERR_NONE ? FileOutcome::Saved : FileOutcome::Failed;
}

} // namespace zr
