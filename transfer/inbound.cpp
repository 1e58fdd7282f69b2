// What the engine does with each message the console sends: the identify
// reply, data blocks, directory replies and the console's block and file
// requests. The links' dispatch has checked the header before.
#include <algorithm>
#include <utility>

#include "transfer/datatypes.h"
#include "transfer/session.h"

namespace zr {

void Session::OnIdentify(Link* via, int medium, bool ourConsole)
{
  if (medium != MEDIUM_MIDI) {
    link.CommMedium = MEDIUM_COM;
    ShowStatus("Connected thru COM port %d", link.ConnectedComPort);
    if (ourConsole)
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
  if (Link* l = via ? via : LinkFor(medium))
    l->RequestBlock(SYS_EX_TEST_TYPE, 0);
}

void Session::OnDataBlock(const InboundBlock& in)
{
  // Over MIDI a cancelled transfer is dropped by ReceiveBlock itself, which
  // still lets the link test through.
  if (in.medium != MEDIUM_MIDI && batch.CancelRequested)
    return;
  Filer& rx = RxTransfer;
  // Only the block awaited is taken: a stray or repeated one (after the file
  // was saved, after Cancel) must neither write nor start anything.
  if (!rx.Expecting || in.block != rx.BlockNr || in.type != rx.DataType)
    return;
  if (in.block == 0 && held_.type < 0 && RepeatsLastBlock(in)) {
    // The wire carries no name: a console that sends the last file's only
    // block again, unasked, looks like the next file's block 0. Held for a
    // moment: a different block 0 that follows is the real one; if none
    // does, the two files are the same and this one is taken.
    constexpr int HOLD_MS = 1000;
    held_ = {in.medium, in.type, in.total, in.block, {in.payload, in.payload + in.count + 1}};
    keptPauseInterval_ = timers.SendTimer.Interval();
    timers.SendTimer.SetInterval(HOLD_MS);
    timers.SendTimer.Start();
    return;
  }
  if (in.block == 0 && held_.type >= 0) {
    held_ = {}; // another block 0: the held one was the repeat
    timers.SendTimer.Stop();
    timers.SendTimer.SetInterval(keptPauseInterval_);
  }
  TakeBlock(in);
}

void Session::TakeBlock(const InboundBlock& in)
{
  Filer& rx = RxTransfer;
  // The answer awaited: its watchdog is done. A stray block leaves it armed.
  if (in.type == SYS_EX_TEST_TYPE)
    timers.DummyTimer.Stop();
  else
    timers.UploadTimer.Stop();
  ++Answers;
  lastTaken_ = {in.medium, in.type, in.total, in.block, {in.payload, in.payload + in.count + 1}};
  rx.Medium = in.medium;
  rx.ReceiveBlock(in.total, in.payload, in.count);
}

bool Session::RepeatsLastBlock(const InboundBlock& in) const
{
  return in.type != SYS_EX_TEST_TYPE && lastTaken_.type == in.type && lastTaken_.total == in.total &&
         lastTaken_.block + 1 == lastTaken_.total && lastTaken_.bytes.size() == in.count + 1 &&
         std::equal(lastTaken_.bytes.begin(), lastTaken_.bytes.end(), in.payload);
}

void Session::ReleaseHeldBlock()
{
  if (held_.type < 0)
    return;
  const KeptBlock block = std::exchange(held_, KeptBlock{});
  timers.SendTimer.Stop();
  timers.SendTimer.SetInterval(keptPauseInterval_);
  const Filer& rx = RxTransfer;
  if (!rx.Expecting || batch.CancelRequested || rx.BlockNr != 0 || rx.DataType != block.type)
    return;
  InboundBlock in;
  in.medium = block.medium;
  in.type = block.type;
  in.total = block.total;
  in.block = block.block;
  in.payload = block.bytes.data();
  in.count = block.bytes.size() - 1;
  TakeBlock(in);
}

void Session::OnDirectoryReply(int medium, int type, const std::vector<std::string>& names)
{
  if (!steps().AwaitsDirectory(type))
    return;
  steps().CardDirectoryReply(type, names, medium == MEDIUM_MIDI);
}

void Session::OnBlockRequest(Link* via, int medium, int type, unsigned block)
{
  Link* l = via ? via : LinkFor(medium);
  // After the batch the console may still ask for blocks of the last file
  // again (it missed one); after Cancel nothing is answered.
  if (!l || (batch.SendFinished && !(TxTransfer.Offered && TxTransfer.EndOfFileDone)))
    return;
  ++Answers;
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
