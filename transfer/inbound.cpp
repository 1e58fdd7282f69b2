// What the engine does with each message the console sends: the identify
// reply, data blocks, directory replies and the console's block and file
// requests. The links' dispatch has checked the header before.
#include <algorithm>
#include <utility>

#include "transfer/datatypes.h"
#include "transfer/progress_text.h"
#include "transfer/session.h"

namespace zr {

void Session::OnIdentify(Link* via, int medium, bool ourConsole)
{
  if (medium != MEDIUM_MIDI) {
    link.CommMedium = MEDIUM_COM;
    ShowStatus("Connected thru COM port %d", link.ConnectedComPort);
    // An answer to a search that comes during a batch lists nothing: the
    // listing's replies would disarm the batch's watchdog.
    if (ourConsole && !steps().Running())
      steps().RequestCardDirectory(-1);
    return;
  }
  ShowStatus("Connected thru MIDI");
  if (!ourConsole)
    return;
  // Only a console that carries long messages both ways counts as
  // connected over MIDI: ask for the test block first.
  ShowStatus("Testing MIDI connection...");
  link.MidiTestRetries = 4;
  RxTransfer.DataType = SYS_EX_TEST_TYPE;
  RxTransfer.BlockNr = 0;
  RxTransfer.Expecting = true;
  if (Link* l = via ? via : LinkFor(medium); l && l->RequestBlock(SYS_EX_TEST_TYPE, 0))
    ArmWatchdog(SYS_EX_TEST_TYPE);
}

namespace {
// A block whose checksum fits, with a payload of a size a block can have.
bool ChecksumFits(const InboundBlock& in)
{
  return in.count > 0 && in.count <= SYS_EX_BLOCKSIZE && Checksum(in.payload, in.count) == in.payload[in.count];
}

// A block 0 that could have come whole from the console: its length and
// checksum fit. One that does not may be anybody's, damaged or made up,
// and is counted as no answer.
bool WholeBlock0(const InboundBlock& in)
{
  const bool lengthFits = in.total > 1 ? in.count == SYS_EX_BLOCKSIZE : in.count >= 8 && in.count % 8 == 0;
  return lengthFits && ChecksumFits(in);
}
} // namespace

void Session::OnDataBlock(const InboundBlock& in)
{
  Filer& rx = RxTransfer;
  // Only whether any came matters: the count stops short of overflowing.
  if (blocksSinceArmed_ < 1000)
    ++blocksSinceArmed_;
  if (rx.Block0Doubt && timers.UploadTimer.IsActive())
    DoubtBlock0(); // the line is not quiet yet
  // Only the block awaited is taken: a stray or repeated one (after the file
  // was saved, after Cancel) must neither write nor start anything.
  const bool awaited = rx.Expecting && in.block == rx.BlockNr && in.type == rx.DataType;
  const bool block0 = in.block == 0 && IsDataType(in.type);
  const bool whole = block0 && WholeBlock0(in);
  if (!awaited || (in.medium != MEDIUM_MIDI && batch.CancelRequested)) {
    // An answer to a request given up is one fewer still due; a copy of a
    // block seen before answers nothing.
    if (whole && !SeenBefore(in, true)) {
      Block0Arrived(in.type);
      KeepDropped(in);
    }
    return;
  }
  if (block0) {
    // The wire carries no name, and the console answers in order. While
    // more answers may come than this file asked for, a block 0 answers an
    // earlier request (one given up, or a file asked for twice): it is
    // dropped, and the file asked for once more in case the count was too
    // high (an answer lost). A copy of a block seen before, or a damaged
    // block, may be such an answer or not: it leaves the count alone and
    // asks for nothing, and if nothing else comes the line falls quiet and
    // the file is asked for afresh. When only this file's answers are due,
    // a block seen before (the last file's only block, sent again) makes
    // the file be asked for again a few times; one that keeps coming is
    // taken: two files can be the same. A damaged one is this file's, to
    // be asked for again, but counts as no answer.
    if (owed_[in.type] > rx.Block0Owed) {
      if (!whole || SeenBefore(in, true)) {
        DoubtBlock0();
        return;
      }
      Block0Arrived(in.type);
      KeepDropped(in);
      if (!rx.RequestCurrentBlock())
        EndReceivedFile(FileOutcome::Failed);
      return;
    }
    if (whole && SeenBefore(in) && rx.Block0Asks < MAX_BLOCK0_ASKS) {
      ++rx.Block0Asks;
      if (!rx.RequestCurrentBlock())
        EndReceivedFile(FileOutcome::Failed);
      return;
    }
    if (whole) {
      Block0Arrived(in.type);
      if (rx.Block0Owed > 0)
        --rx.Block0Owed;
      rx.Block0Doubt = false;
    }
  }
  TakeBlock(in);
}

void Session::DoubtBlock0()
{
  RxTransfer.Block0Doubt = true;
  timers.UploadTimer.Start();
  blocksSinceArmed_ = 0;
}

bool Session::UploadWatchdogRanOut()
{
  if (blocksSinceArmed_ > 0)
    return false;
  // Whatever was still counted as due was lost on the way.
  owed_.fill(0);
  Filer& rx = RxTransfer;
  if (!rx.Expecting || !rx.Block0Doubt || rx.BlockNr != 0)
    return false;
  rx.Block0Owed = 0;
  rx.Block0Doubt = false;
  if (!rx.RequestCurrentBlock())
    EndReceivedFile(FileOutcome::Failed);
  return true;
}

void Session::TakeBlock(const InboundBlock& in)
{
  Filer& rx = RxTransfer;
  // The answer awaited: its watchdog is done. A stray block leaves it armed.
  if (in.type == SYS_EX_TEST_TYPE) {
    timers.DummyTimer.Stop();
  } else {
    timers.UploadTimer.Stop();
    // A damaged block must not make the engine forget the last good one:
    // a copy of that would pass for new.
    if (ChecksumFits(in))
      lastTaken_ = Keep(in);
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
      ShowStatus("  Receiving file");
    AnswerLinkTest(count > SYS_EX_BLOCKSIZE || rx.ChecksumFails(payload, count));
    return;
  }
  const ReceiveStep step = rx.ReceiveBlock(total, payload, count);
  switch (step.kind) {
  case ReceiveStep::Ignore:
    return;
  case ReceiveStep::AskBlock:
  case ReceiveStep::AskAgain:
    ShowReceiveProgress(step.kind == ReceiveStep::AskBlock ? step.block - 1 : step.block, total);
    if (!rx.RequestCurrentBlock())
      EndReceivedFile(FileOutcome::Failed);
    return;
  case ReceiveStep::Complete: {
    ShowReceiveProgress(total - 1, total);
    const std::optional<FileOutcome> saved = rx.WritePcFile();
    if (saved)
      EndReceivedFile(*saved);
    return;
  }
  case ReceiveStep::Failed:
    EndReceivedFile(FileOutcome::Failed);
    return;
  }
}

void Session::ShowReceiveProgress(unsigned block, unsigned total)
{
  const std::string title = batch.InternalMode
                                ? std::string("Backing up current settings.")
                                : Format("Receiving file nr %d of %d.", batch.FileNr, steps().CardSelectedCount());
  ShowProgress(title, static_cast<int>(total), static_cast<int>(block) + 1,
               std::to_string(PercentDone(block, total)) + "%");
  steps().FileProgress(static_cast<int>(block) + 1, static_cast<int>(total));
}

void Session::EndReceivedFile(FileOutcome outcome)
{
  Filer& rx = RxTransfer;
  rx.Expecting = false;
  if (outcome == FileOutcome::Failed && rx.Error != ERR_NONE)
    rx.ReportError(0);
  if (outcome != FileOutcome::Saved)
    rx.FreeBuffer();
  steps().FileEnded(rx.ReceivedFileEnd(outcome));
  steps().ReceivedFileDone(outcome == FileOutcome::Saved);
}

void Session::AnswerLinkTest(bool damaged)
{
  Filer& rx = RxTransfer;
  if (!damaged) {
    rx.Expecting = false;
    link.CommMedium = MEDIUM_MIDI;
    ShowStatus("Connected thru MIDI");
    if (!steps().Running())
      steps().RequestCardDirectory(-1);
  } else if (link.MidiTestRetries > 0) {
    if (Midi && Midi->RequestBlock(SYS_EX_TEST_TYPE, 0))
      ArmWatchdog(SYS_EX_TEST_TYPE);
    --link.MidiTestRetries;
  } else {
    rx.Expecting = false;
    host.ShowMessage("Error: MIDI device to old", BoxIcon::Error, BoxButtons::Ok);
  }
}

Session::KeptBlock Session::Keep(const InboundBlock& in)
{
  return {in.medium, in.type, in.total, in.block, {in.payload, in.payload + in.count + 1}};
}

bool Session::SeenBefore(const InboundBlock& in, bool anyBlock) const
{
  const auto same = [&](const KeptBlock& k) {
    return k.type == in.type && k.total == in.total && k.bytes.size() == in.count + 1 &&
           std::equal(k.bytes.begin(), k.bytes.end(), in.payload);
  };
  // The last block taken counts when it ended its file (a block 0 like it
  // is that file's only block again), or, for a block nothing awaits, in
  // any case.
  return (same(lastTaken_) && (anyBlock || lastTaken_.block + 1 == lastTaken_.total)) ||
         std::any_of(dropped_.begin(), dropped_.end(), same);
}

void Session::KeepDropped(const InboundBlock& in)
{
  // Enough to know the answers of the few files a user gives up in a row.
  constexpr std::size_t KEPT_DROPPED = 8;
  if (dropped_.size() == KEPT_DROPPED)
    dropped_.pop_front();
  dropped_.push_back(Keep(in));
}

void Session::GiveUpReceiving()
{
  // An answer still due may come later: owed_ remembers it.
  RxTransfer.Expecting = false;
  RxTransfer.FreeBuffer();
}

void Session::Block0Arrived(int type)
{
  if (owed_[type] > 0)
    --owed_[type];
}

void Session::OnDirectoryReply(int medium, int type, const std::vector<std::string>& names)
{
  if (!steps().AwaitsDirectory(type))
    return;
  steps().CardDirectoryReply(type, names, medium == MEDIUM_MIDI);
}

void Session::OnBlockRequest(Link* via, int medium, int type, unsigned block)
{
  // The console asks on: the watchdog for its next request is done (it runs
  // only while a file is offered). Only a request for the file offered
  // shows a watchdog's box that the transfer goes on.
  timers.DownloadTimer.Stop();
  if (TxTransfer.Offered)
    ++Answers;
  Link* l = via ? via : LinkFor(medium);
  // After the batch the console may still ask for blocks of the last file
  // again (it missed one); after Cancel nothing is answered.
  if (!l || (batch.SendFinished && !(TxTransfer.Offered && TxTransfer.EndOfFileDone)))
    return;
  l->AnswerBlockRequest(type, block);
}

void Session::OnFileRequest(Link* via, int medium, int type)
{
  // After Cancel the console's acceptance of a name is a request like any
  // other: it must not start the file that the user has just stopped.
  // While a file is being received this is no answer of ours: its
  // watchdog stays armed.
  if (RxTransfer.Expecting)
    return;
  timers.UploadTimer.Stop();
  if (batch.SendFinished)
    return;
  TxTransfer.Medium = medium;
  ++Answers;
  if (Link* l = via ? via : LinkFor(medium))
    l->AnswerBlockRequest(type, 0);
}

} // namespace zr
