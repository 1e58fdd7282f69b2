// What the engine does with each message the console sends: the identify
// reply, data blocks, directory replies and the console's block and file
// requests. The links' dispatch has checked the header before.
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
  // The answer awaited: its watchdog is done. A stray block leaves it armed.
  if (in.type == SYS_EX_TEST_TYPE)
    timers.DummyTimer.Stop();
  else
    timers.UploadTimer.Stop();
  ++Answers;
  rx.Medium = in.medium;
  rx.ReceiveBlock(in.total, in.payload, in.count);
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
  if (batch.SendFinished)
    return;
  TxTransfer.Medium = medium;
  ++Answers;
  if (Link* l = via ? via : LinkFor(medium))
    l->AnswerBlockRequest(type, 0);
}

} // namespace zr
