// What the engine does with each message the console sends: the identify
// reply, data blocks, directory replies and the console's block and file
// requests. The links' dispatch has checked the header before.
#include <algorithm>
#include <utility>

#include "files/datatypes.h"
#include "engine/progress_text.h"
#include "engine/session.h"

namespace zr {

void Session::OnIdentify(Link* via, int medium, bool ourConsole)
{
  lastWasReply_ = false;
  if (medium != MEDIUM_MIDI) {
    link.CommMedium = MEDIUM_COM;
    ShowStatus("Connected thru COM port %d", link.ConnectedComPort);
    // An answer to a search that comes during a batch lists nothing: the
    // listing's replies would disarm the batch's watchdog.
    if (ourConsole && !steps().Running())
      steps().RequestCardDirectory(-1);
    return;
  }
  // During a batch the link is plainly working: a test now would take the
  // place of the file being received.
  if (steps().Running())
    return;
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
  AskLinkTest(via ? via : LinkFor(medium));
}

void Session::AskLinkTest(Link* via)
{
  if (via && via->RequestBlock(SYS_EX_TEST_TYPE, 0)) {
    resync_.Sent();
    ArmWatchdog(SYS_EX_TEST_TYPE);
    Asking(Asked::LinkTest, MEDIUM_MIDI, SYS_EX_TEST_TYPE);
  }
}

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
      ShowStatus("  Receiving file");
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

void Session::AnswerLinkTest(bool damaged)
{
  Filer& rx = RxTransfer;
  if (!damaged) {
    rx.Expecting = false;
    LinkTestEnded = LinkTestEnd::Passed;
    link.CommMedium = MEDIUM_MIDI;
    ShowStatus("Connected thru MIDI");
    if (!steps().Running())
      steps().RequestCardDirectory(-1);
  } else if (link.MidiTestRetries > 0) {
    AskLinkTest(Midi);
    --link.MidiTestRetries;
  } else {
    rx.Expecting = false;
    LinkTestEnded = LinkTestEnd::Failed;
    host.ShowMessage("Error: MIDI device to old", BoxIcon::Error, BoxButtons::Ok);
  }
}

void Session::GiveUpReceiving()
{
  // An answer still on its way must not be taken for the next file.
  if (RxTransfer.Expecting)
    unclean_ = true;
  RxTransfer.Expecting = false;
  RxTransfer.FreeBuffer();
  StopAsking();
}

void Session::OnDirectoryReply(int medium, int type, const std::vector<std::string>& names)
{
  // A reply the same as the message just before it is a copy on the line
  // (it comes straight after its original): it answers no request of ours
  // (the listing takes what it awaits, and no more).
  const bool copy = lastWasReply_ && lastReply_ == std::make_pair(type, names);
  lastReply_ = {type, names};
  lastWasReply_ = true;
  // The reply to a marker brings the barrier down.
  if (!copy && resync_.Lowers(resync_.DirectoryReplied(type)))
    BarrierDown();
  if (!steps().AwaitsDirectory(type))
    return;
  if (asked_ == Asked::Directory) {
    timers.RetryTimer.Stop();
    if (!askedAgain_)
      firstTrip_.Sample(static_cast<double>(Now() - askedAt_));
    asked_ = Asked::Nothing;
  }
  resync_.Listed(type, names.size());
  steps().CardDirectoryReply(type, names, medium == MEDIUM_MIDI);
}

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
  l->AnswerBlockRequest(type, block);
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
    l->AnswerBlockRequest(type, 0);
}

} // namespace zr
