// Receiving, from the block the console sends to the file on disk: which
// block is taken (the one awaited, not a stray, a copy or one behind a
// barrier), each checked and stored in RxTransfer, the file unpacked once
// the last one is in, then the replace question when a file of that name
// is there, and the bytes written beside the target and put in place, so
// that a failed write never costs the user the file it replaces.
#include "engine/filer.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "link/wire.h"
#include "files/datatypes.h"
#include "files/disk.h"
#include "files/pc_path.h"
#include "engine/progress_text.h"
#include "engine/session.h"

namespace zr {

namespace {

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

ReceiveStep Filer::ReceiveBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  ReceiveStep failed{ReceiveStep::Failed};
  if (count > SYS_EX_BLOCKSIZE) {
    session_.ShowStatus({TextId::BlockTooLong});
    LastFailure = Render({TextId::BlockTooLong});
    LastError = ERR_ILLEGAL_DATA;
    return failed;
  }
  if (BlockNr == 0) {
    session_.ShowStatus({TextId::ReceivingFile});
    TotalBlocks = total;
    ReceivedBytes = 0;
    LastBlockBytes = 0;
    Size = total * SYS_EX_BLOCKSIZE;
    AllocBuffer();
  }
  if (Error == ERR_NONE) {
    if (session_.batch.CancelRequested)
      return {};
    // Every block must agree with block 0 on the total, and land inside
    // the buffer that block 0 sized.
    if (total == 0 || total != TotalBlocks || BlockNr >= TotalBlocks || !Buffer ||
        std::size_t(BlockNr) * SYS_EX_BLOCKSIZE + count > Size)
      Error = ERR_ILLEGAL_DATA;
  }
  if (Error == ERR_NONE && BlockDamaged(total, payload, count)) {
    // A damaged block is asked for again, a few times.
    if (++DamagedTries < MAX_BLOCK_TRIES)
      return {ReceiveStep::AskAgain, BlockNr};
    Error = ERR_BLOCK_DAMAGED;
  }
  ReceiveStep next = failed;
  if (Error == ERR_NONE)
    next = StoreReceivedBlock(total, payload, count);
  if (Error != ERR_NONE) {
    ReportError(0);
    return failed;
  }
  return next;
}

bool Filer::ChecksumFails(const std::uint8_t* payload, std::size_t count)
{
  const std::uint8_t computed = Checksum(payload, count);
  const std::uint8_t received = payload[count];
  if (received == computed)
    return false;
  session_.ShowStatus({TextId::ChecksumError, static_cast<int>(count), received, computed});
  return true;
}

bool Filer::BlockDamaged(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  if (ChecksumFails(payload, count))
    return true;
  // The checksum cannot see a lost or doubled 0x7F (it adds 128): a block
  // of another length than the stream's is damaged just the same.
  const std::uint32_t expected = ExpectedBlockBytes(total, count);
  if (expected == 0 || count != expected) {
    session_.ShowStatus({TextId::BlockLengthError, static_cast<int>(count), static_cast<int>(expected)});
    return true;
  }
  if (BlockNr == 0) {
    const std::optional<std::uint32_t> last = LastBlockBytesFor(total, payload);
    if (!last || (total == 1 && *last != count)) {
      // A size field that does not fit the blocks announced: damaged on
      // the way, since the checksum does not see every fault.
      session_.ShowStatus({TextId::BlockSizeField});
      return true;
    }
    LastBlockBytes = *last;
  }
  return false;
}

ReceiveStep Filer::StoreReceivedBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  std::copy(payload, payload + count, Buffer.get() + std::size_t(BlockNr) * SYS_EX_BLOCKSIZE);
  DamagedTries = 0;
  if (BlockNr + 1 < total)
    return {ReceiveStep::AskBlock, ++BlockNr};
  ReceivedBytes = BlockNr * SYS_EX_BLOCKSIZE + static_cast<std::uint32_t>(count);
  Expecting = false;
  UnpackReceived();
  if (Error != ERR_NONE)
    return {ReceiveStep::Failed};
  Medium = MEDIUM_PC_FILE;
  return {ReceiveStep::Complete};
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



// ---- A block from the console ----

namespace {
// A block whose checksum fits, with a payload of a size a block can have.
bool ChecksumFits(const InboundBlock& in)
{
  return in.count > 0 && in.count <= SYS_EX_BLOCKSIZE && Checksum(in.payload, in.count) == in.payload[in.count];
}
} // namespace

void Session::OnDataBlock(const InboundBlock& in)
{
  lastWasReply_ = false;
  Filer& rx = RxTransfer;
  const bool whole = ChecksumFits(in);
  const std::uint64_t digest =
      whole ? BlockMemory::Digest(in.type, in.total, in.block, in.payload, in.count + 1) : 0;
  // Only the block awaited is taken: a stray or repeated one (after the file
  // was saved, after Cancel) must neither write nor start anything.
  const bool awaited = rx.Expecting && in.block == rx.BlockNr && in.type == rx.DataType &&
                       !(in.medium != MEDIUM_MIDI && batch.CancelRequested);
  if (awaited && in.type == SYS_EX_TEST_TYPE) {
    TakeBlock(in, digest);
    return;
  }
  if (!awaited || resync_.Standing()) {
    // Every block dropped is kept, also one awaited behind a barrier (it
    // may be another file's late answer; if it was this one's, the same
    // bytes are asked for once more behind a marker and then taken), and
    // makes the next block 0 go behind a marker.
    if (whole)
      seen_.Keep(digest);
    if (!resync_.Standing())
      unclean_ = true;
    LineHeldUp();
    return;
  }
  if (whole && seen_.Holds(digest) && rx.Doubted != digest) {
    // Like a block seen lately: a copy the console sent again, or an
    // earlier answer. Asked for again behind a marker, the same bytes are
    // this file's.
    rx.Doubted = digest;
    unclean_ = true;
    if (!AskBlock(Ask::BehindMarker))
      EndReceivedFile(FileOutcome::Failed);
    return;
  }
  TakeBlock(in, digest);
}

void Session::TakeBlock(const InboundBlock& in, std::uint64_t digest)
{
  Filer& rx = RxTransfer;
  timers.RetryTimer.Stop();
  RoundTrip& trip = in.block == 0 ? firstTrip_ : nextTrip_;
  if (asked_ != Asked::Nothing && !askedAgain_) {
    // From the request to the start of its answer.
    const std::size_t length = in.count + DATA_BLOCK_OVERHEAD;
    trip.Sample(static_cast<double>(Now() - askedAt_ - WireMs(in.medium, length)));
  } else {
    trip.Answered();
  }
  asked_ = Asked::Nothing;
  // The answer awaited: its watchdog is done. A stray block leaves it armed.
  if (in.type == SYS_EX_TEST_TYPE) {
    timers.DummyTimer.Stop();
  } else {
    timers.UploadTimer.Stop();
    // A damaged block is not remembered: its copy would be damaged too.
    if (ChecksumFits(in))
      seen_.Keep(digest);
    rx.Doubted.reset();
  }
  ++Answers;
  rx.Medium = in.medium;
  ReceiveFileBlock(in.total, in.payload, in.count);
}

void Session::ReceiveFileBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  Filer& rx = RxTransfer;
  if (rx.DataType == SYS_EX_TEST_TYPE) {
    if (rx.BlockNr == 0)
      ShowStatus({TextId::ReceivingFile});
    AnswerLinkTest(count > SYS_EX_BLOCKSIZE || rx.ChecksumFails(payload, count));
    return;
  }
  const ReceiveStep step = rx.ReceiveBlock(total, payload, count);
  switch (step.kind) {
  case ReceiveStep::Ignore:
    return;
  case ReceiveStep::AskBlock:
  case ReceiveStep::AskAgain: {
    ShowReceiveProgress(step.kind == ReceiveStep::AskBlock ? step.block - 1 : step.block, total);
    // A damaged block 0 may be anybody's: this file's goes behind a marker.
    Ask how = step.kind == ReceiveStep::AskBlock ? Ask::Fresh : Ask::Again;
    if (step.kind == ReceiveStep::AskAgain && step.block == 0) {
      unclean_ = true;
      how = Ask::BehindMarker;
    }
    if (!AskBlock(how))
      EndReceivedFile(FileOutcome::Failed);
    return;
  }
  case ReceiveStep::Complete: {
    ShowReceiveProgress(total - 1, total);
    rx.WritePcFile([this](std::optional<FileOutcome> saved) {
      if (saved)
        EndReceivedFile(*saved);
    });
    return;
  }
  case ReceiveStep::Failed:
    EndReceivedFile(FileOutcome::Failed);
    return;
  }
}

void Session::ShowReceiveProgress(unsigned block, unsigned total)
{
  const ScreenText title = batch.InternalMode
                               ? ScreenText{TextId::BackingUpSettings}
                               : ScreenText{TextId::ReceivingFileNr, batch.FileNr, steps().CardSelectedCount()};
  ShowProgress(title, static_cast<int>(total), static_cast<int>(block) + 1, PercentDone(block, total));
  steps().FileProgress(static_cast<int>(block) + 1, static_cast<int>(total));
}

void Session::EndReceivedFile(FileOutcome outcome)
{
  Filer& rx = RxTransfer;
  rx.Expecting = false;
  StopAsking();
  timers.UploadTimer.Stop(); // nothing of this file is awaited any more
  if (outcome == FileOutcome::Failed)
    unclean_ = true;
  if (outcome == FileOutcome::Failed && rx.Error != ERR_NONE)
    rx.ReportError(0);
  if (outcome != FileOutcome::Saved)
    rx.FreeBuffer();
  steps().FileEnded(rx.ReceivedFileEnd(outcome));
  steps().ReceivedFileDone(outcome == FileOutcome::Saved);
}

// ---- The file saved ----

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
