// Receiving (RxTransfer): each block checked and stored, the file unpacked
// and written beside its target, then put in place.
#include "transfer/filer.h"

#include <algorithm>
#include <optional>

#include "link/link.h"
#include "link/wire.h"
#include "transfer/datatypes.h"
#include "transfer/disk.h"
#include "transfer/pc_path.h"
#include "transfer/progress_text.h"
#include "transfer/session_core.h"

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

// The file size that the header group (the first 8 stream bytes) carries.
std::uint32_t SizeField(const std::uint8_t* stream)
{
  std::uint32_t size = 0;
  for (int i = 0; i < 4; ++i)
    size |= std::uint32_t((stream[i] & 0x7F) | ((stream[7] >> i & 1) << 7)) << (8 * i);
  return size;
}

// Block 0's size field: the payload bytes of the last block of a stream of
// `total` blocks, or nothing when the field does not fit that many blocks.
std::optional<std::uint32_t> LastBlockBytesFor(unsigned total, const std::uint8_t* payload)
{
  const std::uint32_t size = SizeField(payload);
  if (BlockCount(size) != total)
    return std::nullopt;
  return static_cast<std::uint32_t>(EncodedLength(size) - std::uint64_t(total - 1) * SYS_EX_BLOCKSIZE);
}

} // namespace

std::uint32_t Filer::ExpectedBlockBytes(unsigned total, std::size_t count) const
{
  if (BlockNr + 1 < total)
    return SYS_EX_BLOCKSIZE;
  if (BlockNr > 0)
    return LastBlockBytes;
  // A one-block file: a whole number of groups, header included; whether
  // its size field agrees is block 0's check below.
  if (count < 8 || count % 8 != 0)
    return 0;
  return static_cast<std::uint32_t>(count);
}

void Filer::ReceiveBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  BatchState& batch = session_.batch;
  const bool linkTest = DataType == SYS_EX_TEST_TYPE;

  if (count > SYS_EX_BLOCKSIZE) {
    session_.ShowStatus("nrbytes > SYS_EX_BLOCKSIZE");
    if (!linkTest) {
      LastFailure = "nrbytes > SYS_EX_BLOCKSIZE";
      LastError = ERR_ILLEGAL_DATA;
      EndReceivedFile(false, batch.FileNr);
    }
    return;
  }
  if (BlockNr == 0) {
    session_.ShowStatus("  Receiving file");
    TotalBlocks = total;
    ReceivedBytes = 0;
    LastBlockBytes = 0;
    Size = total * SYS_EX_BLOCKSIZE;
    AllocBuffer();
  }
  if (Error == ERR_NONE) {
    if (!linkTest && batch.CancelRequested)
      return;
    // Every block must agree with block 0 on the total, and land inside
    // the buffer that block 0 sized.
    if (total == 0 || total != TotalBlocks || BlockNr >= TotalBlocks || !Buffer ||
        std::size_t(BlockNr) * SYS_EX_BLOCKSIZE + count > Size)
      Error = ERR_ILLEGAL_DATA;
  }
  if (Error == ERR_NONE) {
    if (linkTest) {
      AnswerLinkTest(ChecksumFails(payload, count));
      return;
    }
    ShowReceiveProgress(total);
    if (BlockDamaged(total, payload, count)) {
      // A damaged block is asked for again, a few times.
      if (++DamagedTries >= MAX_BLOCK_TRIES)
        Error = ERR_BLOCK_DAMAGED;
      else if (!RequestCurrentBlock())
        EndReceivedFile(false, batch.FileNr);
      if (Error == ERR_NONE)
        return;
    }
  }
  if (Error == ERR_NONE)
    StoreReceivedBlock(total, payload, count);
  if (Error != ERR_NONE) {
    ReportError(0);
    EndReceivedFile(false, batch.FileNr);
  }
}

void Filer::ShowReceiveProgress(unsigned total)
{
  const BatchState& batch = session_.batch;
  const std::string title = batch.InternalMode ? std::string("Backing up current settings.")
                                               : Format("Receiving file nr %d of %d.", batch.FileNr,
                                                        session_.steps().CardSelectedCount());
  session_.ShowProgress(title, static_cast<int>(total), static_cast<int>(BlockNr) + 1,
                        std::to_string(PercentDone(BlockNr, total)) + "%");
  session_.steps().FileProgress(static_cast<int>(BlockNr) + 1, static_cast<int>(total));
}

bool Filer::ChecksumFails(const std::uint8_t* payload, std::size_t count)
{
  const std::uint8_t computed = Checksum(payload, count);
  const std::uint8_t received = payload[count];
  if (received == computed)
    return false;
  session_.ShowStatus("    %d Checksum error %d : %d", static_cast<int>(count), received, computed);
  return true;
}

void Filer::AnswerLinkTest(bool damaged)
{
  LinkState& link = session_.link;
  if (!damaged) {
    Expecting = false;
    link.CommMedium = MEDIUM_MIDI;
    session_.ShowStatus("Connected thru MIDI");
    session_.steps().RequestCardDirectory(-1);
  } else if (link.MidiTestRetries > 0) {
    if (session_.Midi)
      session_.Midi->RequestBlock(SYS_EX_TEST_TYPE, 0);
    --link.MidiTestRetries;
  } else {
    Expecting = false;
    session_.host.ShowMessage("Error: MIDI device to old", BoxIcon::Error, BoxButtons::Ok);
  }
  Error = ERR_NONE;
}

bool Filer::BlockDamaged(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  if (ChecksumFails(payload, count))
    return true;
  // The checksum cannot see a lost or doubled 0x7F (it adds 128): a block
  // of another length than the stream's is damaged just the same.
  const std::uint32_t expected = ExpectedBlockBytes(total, count);
  if (expected == 0 || count != expected) {
    session_.ShowStatus("    %d Block length error : %d", static_cast<int>(count),
                        static_cast<int>(expected));
    return true;
  }
  if (BlockNr == 0) {
    const std::optional<std::uint32_t> last = LastBlockBytesFor(total, payload);
    if (last && (total > 1 || *last == count))
      LastBlockBytes = *last;
    else
      Error = ERR_ILLEGAL_DATA; // a size field that does not fit the blocks announced
  }
  return false;
}

void Filer::StoreReceivedBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  BatchState& batch = session_.batch;
  std::copy(payload, payload + count, Buffer.get() + std::size_t(BlockNr) * SYS_EX_BLOCKSIZE);
  DamagedTries = 0;
  if (BlockNr + 1 < total) {
    ++BlockNr;
    if (!RequestCurrentBlock())
      EndReceivedFile(false, batch.FileNr);
    return;
  }
  ReceivedBytes = BlockNr * SYS_EX_BLOCKSIZE + static_cast<std::uint32_t>(count);
  Expecting = false;
  LoadData();
  if (Error != ERR_NONE)
    return;
  Medium = MEDIUM_PC_FILE;
  const int fileNr = batch.FileNr;
  StoreData();
  if (Error == ERR_NONE)
    EndReceivedFile(true, fileNr);
}

void Filer::EndReceivedFile(bool saved, int fileNrBefore)
{
  BatchState& batch = session_.batch;
  // A saved file may have started the next one already, which is awaited now.
  if (!saved)
    Expecting = false;
  if (batch.InternalMode) {
    // A backup is always one file.
    session_.CloseProgress();
    if (saved)
      session_.ShowConnectionStatus();
    else
      ReportFailed();
    session_.steps().BatchDone();
    return;
  }
  // Saving started the next card file already; a failed file moves on here.
  if (!saved) {
    ReportFailed();
    session_.steps().RequestNextCardFile(batch.CardIndex);
  }
  // The dialog stays up for the next file instead of closing between files.
  const bool nextFileStarted = Expecting || batch.FileNr != fileNrBefore;
  if (!nextFileStarted && session_.steps().CardSelectedCount() <= batch.FileNr) {
    session_.CloseProgress();
    if (saved)
      session_.ShowConnectionStatus();
    session_.steps().BatchDone();
  }
}

void Filer::ReportFailed()
{
  FileEnd end;
  end.name = FileNamePart(PcPath);
  end.outcome = FileOutcome::Failed;
  end.why = FileReason::Error;
  end.error = LastError;
  end.reason = LastFailure;
  end.path = PcPath;
  session_.steps().FileEnded(end);
}

void Filer::UnpackReceived()
{
  if (Size == 0 || !Buffer) {
    Error = ERR_NO_FILE;
    return;
  }
  // Only what arrived is unpacked: the rest of the last block's room holds no data.
  const std::size_t received = ReceivedBytes > 0 && ReceivedBytes <= Size ? ReceivedBytes : Size;
  const std::optional<std::uint32_t> fileSize = UnpackStream(Buffer.get(), received);
  if (!fileSize) {
    // The size field asks for more bytes than arrived.
    Error = ERR_ILLEGAL_DATA;
    return;
  }
  Size = *fileSize;
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
  if (yes)
    return true;
  FreeBuffer();
  FileEnd end;
  end.name = fileName;
  end.outcome = FileOutcome::Skipped;
  end.why = FileReason::Exists;
  end.reason = "it exists";
  end.path = PcPath;
  session_.steps().FileEnded(end);
  if (!session_.batch.InternalMode)
    session_.steps().RequestNextCardFile(session_.batch.CardIndex);
  return false;
}

void Filer::WritePcFile()
{
  BatchState& batch = session_.batch;
  if (!Buffer)
    return;
  if (Size == 0) {
    // Nothing to keep: an empty file on disk would only hide the fault.
    Error = ERR_EMPTY_FILE;
    return;
  }
  if (PcPath.empty()) {
    PcPath = session_.AskBackupFileName(DataType);
    ReplaceAgreed = ExistingFileSize(PcPath).has_value();
    if (Error == ERR_NONE)
      WritePcFile();
    return;
  }

  const std::string fileName = FileNamePart(PcPath);
  // A backup's save dialog asked before overwriting what was there then.
  bool replace = batch.InternalMode && ReplaceAgreed;
  if (!batch.InternalMode) {
    // The disk decides, not what the PC list happens to show.
    if (const std::optional<std::uint64_t> existing = ExistingFileSize(PcPath)) {
      if (!MayReplace(fileName, *existing))
        return;
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
      return;
    Error = WriteFileSafely(PcPath, Buffer.get(), Size, true);
  }
  if (Error != ERR_NONE)
    return;
  FileEnd end;
  end.name = fileName;
  end.outcome = FileOutcome::Saved;
  end.path = PcPath;
  end.bytes = Size;
  session_.steps().FileEnded(end);
  if (!batch.InternalMode)
    session_.steps().RequestNextCardFile(batch.CardIndex);
}

} // namespace zr
