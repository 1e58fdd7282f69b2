// What the engine does with the console's answers to a search and to the
// card listing: the identify reply, the MIDI link test and the directory
// replies. Data blocks are receive.cpp's, the console's requests send.cpp's.
// The links' dispatch has checked the header before.
#include <algorithm>
#include <utility>

#include "files/datatypes.h"
#include "engine/session.h"

namespace zr {

void Session::OnIdentify(Link* via, int medium, bool ourConsole)
{
  lastWasReply_ = false;
  if (medium != MEDIUM_MIDI) {
    link.CommMedium = MEDIUM_COM;
    ShowStatus({TextId::ConnectedCom, link.ConnectedComPort});
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
  ShowStatus({TextId::ConnectedMidi});
  if (!ourConsole)
    return;
  // Only a console that carries long messages both ways counts as
  // connected over MIDI: ask for the test block first.
  ShowStatus({TextId::TestingMidi});
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

void Session::AnswerLinkTest(bool damaged)
{
  Filer& rx = RxTransfer;
  if (!damaged) {
    rx.Expecting = false;
    LinkTestEnded = LinkTestEnd::Passed;
    link.CommMedium = MEDIUM_MIDI;
    ShowStatus({TextId::ConnectedMidi});
    if (!steps().Running())
      steps().RequestCardDirectory(-1);
  } else if (link.MidiTestRetries > 0) {
    AskLinkTest(Midi);
    --link.MidiTestRetries;
  } else {
    rx.Expecting = false;
    LinkTestEnded = LinkTestEnd::Failed;
    view.Noticed({{TextId::MidiDeviceTooOld}, BoxIcon::Error});
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

} // namespace zr
