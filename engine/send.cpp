// Sending, from the console's request to the block on the line: the
// go-ahead for the file offered and each block request, which of them are
// answered, and the block packed straight from the PC file read whole in
// TxTransfer.
#include "engine/filer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "link/link.h"
#include "link/wire.h"
#include "files/disk.h"
#include "files/pc_path.h"
#include "engine/progress_text.h"
#include "engine/session.h"

namespace zr {

void Filer::ReadPcFile()
{
  // Bytes read and checked by the caller go as they are: what was checked
  // is what is sent, and the file is not read a second time.
  const std::shared_ptr<const std::vector<std::uint8_t>> preloaded = std::move(Preloaded);
  Preloaded.reset();
  // The size first: a file too large is refused before it is read.
  const std::optional<std::uint64_t> length =
      preloaded ? std::optional<std::uint64_t>(preloaded->size()) : ExistingFileSize(PcPath);
  std::optional<std::vector<std::uint8_t>> bytes;
  if (!length) {
    Error = ERR_NO_FILE;
  } else if (*length > MAX_FILE_SIZE) {
    // Its blocks could not be numbered on the wire: refuse before any byte goes out.
    Error = ERR_FILE_TOO_LARGE;
  } else if (!(bytes = preloaded ? std::optional<std::vector<std::uint8_t>>(*preloaded)
                                 : ReadWholeFile(PcPath))) {
    Error = ERR_NO_FILE;
  } else if (bytes->size() > MAX_FILE_SIZE) {
    Error = ERR_FILE_TOO_LARGE; // it grew meanwhile
  } else {
    Size = static_cast<std::uint32_t>(bytes->size());
    if (Size > 0) {
      AllocBuffer();
      if (Error == ERR_NONE)
        std::copy(bytes->begin(), bytes->end(), Buffer.get());
    }
  }
  if (Error != ERR_NONE) {
    FreeBuffer();
    Size = 0;
  }
}

void Filer::SendBlock()
{
  BatchState& batch = session_.batch;
  if (!Buffer || Size == 0) {
    Error = ERR_NO_FILE;
    return;
  }
  const std::uint64_t total = BlockCount(Size);
  if (total >= MAX_BLOCKS) {
    Error = ERR_FILE_TOO_LARGE;
    return;
  }
  if (BlockNr >= total) {
    // The console asked for a block past the end of the file.
    Error = ERR_ILLEGAL_DATA;
    return;
  }
  // A block asked for again after the file's end shows no progress: the
  // dialog may be closed already, and the next file may be on its way.
  if (!EndOfFileDone) {
    const int count = session_.steps().PcSelectedCount();
    session_.ShowProgress({batch.InternalMode ? TextId::RestoringFileNr : TextId::SendingFileNr, batch.FileNr, count},
                          static_cast<int>(total), static_cast<int>(BlockNr) + 1,
                          PercentDone(BlockNr, static_cast<unsigned>(total)));
    session_.steps().FileProgress(static_cast<int>(BlockNr) + 1, static_cast<int>(total));
  }

  if (Link* link = session_.LinkFor(Medium)) {
    const Bytes message = BuildFileBlock(DataType, Buffer.get(), Size, BlockNr);
    link->SendDataBlock(message.data(), message.size());
  }

  if (EndOfFileDone) {
    // A block asked for again after the whole file went out: sent, nothing more.
    return;
  }
  if (BlockNr + 1 == total)
    EndSentFile();
  else
    session_.timers.DownloadTimer.Start();
}

void Filer::NoticeOsUpdate()
{
  const ScreenText notice{TextId::OsUpdateNotice};
  if (!session_.steps().TakeNotice(Render(notice)))
    session_.view.Noticed({notice, BoxIcon::Information});
}

void Filer::EndSentFile()
{
  BatchState& batch = session_.batch;
  const bool operatingSystemUpdate = DataType == OPERATING_SYSTEM_TYPE && batch.InternalMode;
  // Once per file, however often the console asks for the last block.
  EndOfFileDone = true;
  FileEnd end;
  end.name = FileNamePart(PcPath);
  end.outcome = FileOutcome::Saved;
  end.path = PcPath;
  end.bytes = Size;
  end.cardName = CardName; // none for a restore
  session_.steps().FileEnded(end);
  if (session_.steps().PcSelectedCount() > batch.FileNr) {
    if (operatingSystemUpdate)
      NoticeOsUpdate();
    session_.steps().SendNextPcFile(batch.PcIndex);
    return;
  }
  batch.SendFinished = true;
  session_.CloseProgress();
  if (operatingSystemUpdate) {
    NoticeOsUpdate();
  } else {
    session_.steps().RequestCardDirectory(-1);
    session_.ShowConnectionStatus();
  }
  session_.steps().BatchDone();
}

// ---- The console asks, the PC answers ----

void Session::OnBlockRequest(Link* via, int medium, int type, unsigned block)
{
  lastWasReply_ = false;
  // The console asks on: the watchdog for its next request is done (it runs
  // only while a file is offered). Only a request for the file offered
  // shows a watchdog's box that the transfer goes on.
  Filer& tx = TxTransfer;
  // Block 0 of a card file goes out only on the go-ahead of its offer. A
  // block 0 the console does not await is a restore into its memory, and a
  // request for block 0 again cannot be told from a copy or a made-up one:
  // the file is offered afresh instead, and the console starts it over.
  // The file's kind, not the batch running now, says which: a backup may
  // have begun since the last card file went.
  if (block == 0 && tx.Offered && type == tx.DataType && tx.ToCard()) {
    if (batch.SendFinished || tx.EndOfFileDone)
      timers.DownloadTimer.Stop(); // the file went whole: nothing waits for it
    else
      OfferAgain();
    return;
  }
  // Before the go-ahead of the offer now standing, a request is one of an
  // offer before it, which the console drops as it reads the new name:
  // answered, its last block would end the file here, and the console
  // would never have it.
  if (tx.Offered && !tx.GoAhead && tx.ToCard() && type == tx.DataType)
    return;
  timers.DownloadTimer.Stop();
  Link* l = via ? via : LinkFor(medium);
  // Only the file offered is answered: not one that failed or was given
  // up. After the batch the console may still ask for blocks of the last
  // file again (it missed one); after Cancel nothing is answered.
  if (!l || !tx.Offered || (batch.SendFinished && !tx.EndOfFileDone))
    return;
  // Only a request for the file of a send still running carries a
  // transfer on: one for a file sent before (a late or made-up copy)
  // must not pass for the answer a later download's watchdog waits for.
  if (type == tx.DataType && !batch.SendFinished) {
    RequestCame();
    ++Answers;
  }
  SendRequestedBlock(*l, type, block);
}

void Session::OnFileRequest(Link* via, int medium, int type)
{
  lastWasReply_ = false;
  // After Cancel the console's acceptance of a name is a request like any
  // other: it must not start the file that the user has just stopped.
  // While a file is being received this is no answer of ours: its
  // watchdog stays armed.
  if (RxTransfer.Expecting)
    return;
  // One go-ahead for the file offered, answered once: a second one (a copy
  // on the line) or one of another kind was not asked for by this offer,
  // and a block 0 the console does not await is a restore into its memory.
  Filer& tx = TxTransfer;
  if (type != tx.DataType || tx.GoAhead)
    return;
  // A go-ahead not taken (after Cancel, or for a file over) leaves the
  // watchdog alone: it may be a card listing's by now.
  if (batch.SendFinished || !tx.Offered || tx.EndOfFileDone)
    return;
  timers.UploadTimer.Stop();
  tx.GoAhead = true;
  tx.Medium = medium;
  RequestCame();
  ++Answers;
  if (Link* l = via ? via : LinkFor(medium))
    SendRequestedBlock(*l, type, 0);
}

void Session::SendRequestedBlock(Link& via, int type, unsigned block)
{
  Filer& tx = TxTransfer;
  tx.Error = ERR_NONE;
  if (!via.ReadyToAnswer()) {
    ShowStatus({via.NotReady()});
    // The line is gone: this file cannot go on, the batch can.
    if (tx.Offered && !tx.EndOfFileDone) {
      tx.Offered = false;
      tx.LastFailure = via.NotReadyText();
      FileEnd end;
      end.name = FileNamePart(tx.PcPath);
      end.outcome = FileOutcome::Failed;
      end.why = FileReason::LinkNotReady;
      end.reason = tx.LastFailure;
      steps().FileEnded(end);
      steps().SendNextPcFile(batch.PcIndex);
    }
    return;
  }
  if (type != tx.DataType)
    tx.Error = ERR_ILLEGAL_DATA;
  tx.BlockNr = block;
  if (tx.Error == ERR_NONE) {
    if (tx.Medium == MEDIUM_PC_FILE) {
      // Nothing is being sent: a stray request must never turn into a
      // write of the record's PC file.
      tx.Error = ERR_NO_FILE;
    } else {
      tx.SendBlock();
    }
  }
  if (tx.Error == ERR_NONE) {
    // A card file whose next block the console will ask for: if that
    // request is lost, the file is offered again.
    if (!batch.InternalMode && tx.Offered && !tx.EndOfFileDone)
      AwaitRequest(&via == Midi ? MEDIUM_MIDI : MEDIUM_COM, std::min<std::size_t>(SYS_EX_BLOCKSIZE, tx.Size * 8 / 7 + 8) + DATA_BLOCK_OVERHEAD);
    return;
  }
  const bool fileUnderWay = tx.Offered && !tx.EndOfFileDone && tx.Error == ERR_ILLEGAL_DATA;
  tx.ReportError(1);
  if (fileUnderWay) {
    // The console asked for something this file does not have: nothing of
    // it will be asked for again, so the file is over and the batch goes on.
    tx.Offered = false;
    // Nothing of it is awaited any more: not its go-ahead, not a request.
    timers.DownloadTimer.Stop();
    timers.UploadTimer.Stop();
    StopAsking();
    FileEnd end;
    end.name = FileNamePart(tx.PcPath);
    end.outcome = FileOutcome::Failed;
    end.why = FileReason::Error;
    end.error = tx.LastError;
    end.reason = tx.LastFailure;
    steps().FileEnded(end);
    steps().SendNextPcFile(batch.PcIndex);
  }
}

} // namespace zr
