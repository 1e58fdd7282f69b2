#include "engine/connection_control.h"

#include "engine/session.h"

namespace zr {

ConnectionControl::ConnectionControl(Session& session, SearchLinks& links, ConnectionWindow& window)
    : session_(session), links_(links), window_(window)
{
}

void ConnectionControl::AskAbortRetry(TextId text, const Reply<bool>& reply)
{
  // Any way of closing the box but Retry counts as Abort.
  session_.host.Ask({{text}, BoxIcon::Error, BoxButtons::AbortRetry},
                    Reply<BoxAnswer>([reply](BoxAnswer answer) { reply(answer == BoxAnswer::Retry); }));
}

void ConnectionControl::ReportCheckConnection()
{
  session_.ShowStatus({TextId::CheckConnection});
}

void ConnectionControl::SearchOverdue()
{
  Timer& timer = session_.timers.TimeoutTimer;
  LinkState& link = session_.link;
  // Stepping past the last input of an output moves on to the next output at
  // once, without waiting for another time-out.
  for (;;) {
    timer.Stop();
    if (!(links_.MidiSearching() && window_.PortType() == PORT_TYPE_MIDI))
      break;
    links_.SetMidiSearching(false);
    if (link.MidiOutDevice < links_.MidiOutCount()) {
      if (link.MidiInDevice >= links_.MidiInCount() - 1) {
        ++link.MidiOutDevice;
        link.MidiInDevice = -1;
        links_.SetMidiSearching(true);
        continue;
      }
      ++link.MidiInDevice;
      answered_ = false;
      links_.SearchMidiPort();
    }
    // The step above set the interval: 500 ms for a pair that opened, 10 ms
    // for one that did not (which ends the stepping at the next time-out).
    timer.Start();
    return;
  }

  if (SearchRetryPending) {
    Search();
    SearchRetryPending = false;
    return;
  }
  // The pair whose ports are still open: after the last step the indexes
  // stand past the last pair, which is the one left open.
  int openIn = link.MidiInDevice, openOut = link.MidiOutDevice;
  if (openIn < 0 && openOut >= links_.MidiOutCount() && links_.MidiOutCount() > 0) {
    openIn = links_.MidiInCount() - 1;
    openOut = links_.MidiOutCount() - 1;
  }
  link.MidiInDevice = 0;
  link.MidiOutDevice = 0;
  AskAbortRetry(TextId::SearchFailed, session_.Question<bool>([this, openIn, openOut](bool retry) {
    if (retry) {
      Search();
      return;
    }
    // A console that answered while the question was open is connected,
    // and its pair is what the settings keep.
    LinkState& link = session_.link;
    if (answered_) {
      link.MidiInDevice = openIn;
      link.MidiOutDevice = openOut;
      return;
    }
    ReportCheckConnection();
  }));
}

void ConnectionControl::AnswerOverdue()
{
  session_.timers.UploadTimer.Stop();
  // The console was silent for a whole watchdog: nothing more is asked
  // again (a listing's late reply still carries it on).
  session_.StopAsking(true);
  TransferWatchdog(TextId::NoResponse, false);
}

void ConnectionControl::SendOverdue()
{
  session_.timers.DownloadTimer.Stop();
  TransferWatchdog(TextId::SendNotCompleted, true);
}

void ConnectionControl::TransferWatchdog(TextId text, bool abortCancels)
{
  // The interrupted transfer is never resumed: a batch that waited for it
  // ends (as by Cancel) whatever the answer, or the window would stay
  // disabled with nothing outstanding. Whoever started the batch may
  // answer for the user.
  const unsigned answersBefore = session_.Answers;
  const Reply<bool> reply = session_.Question<bool>([this, answersBefore, abortCancels](bool retry) {
    // A late answer of the console while the question was open has carried
    // the transfer on, and wins over the question.
    if (session_.Answers != answersBefore)
      return;
    BatchSteps& steps = session_.steps();
    if (steps.Running()) {
      steps.ConsoleSilent();
      window_.CancelTransfer();
      // Whatever the window made of it, the batch does not outlive its
      // watchdog.
      if (steps.Running())
        steps.GiveUp();
    } else if (abortCancels && !retry) {
      window_.CancelTransfer();
    }
    if (retry)
      Search();
    else
      ReportCheckConnection();
  });
  if (!session_.steps().AskSilence(SilenceQuestion{abortCancels, Render({text})}, reply))
    AskAbortRetry(text, reply);
}

void ConnectionControl::LinkTestOverdue()
{
  session_.timers.DummyTimer.Stop();
  // The link test is over: it is not asked for again.
  session_.GiveUpReceiving();
  session_.view.Noticed({{TextId::MidiTooOld}, BoxIcon::Error});
  links_.CloseMidiPort();
}

void ConnectionControl::Search()
{
  if (window_.ComportChecked()) {
    session_.view.Noticed({{TextId::NoComSearch}, BoxIcon::None});
    window_.PortSetupClick();
  }
  // The dialog may just have moved the check mark to "&Midi".
  if (window_.MidiChecked()) {
    answered_ = false;
    links_.CloseMidiPort();
    links_.StartMidiSearch();
  }
}

void ConnectionControl::SearchComPort()
{
  session_.timers.TimeoutTimer.SetInterval(SERIAL_SEARCH_MS);
  answered_ = false;
  links_.SearchComPort();
}

void ConnectionControl::AlignPortType()
{
  window_.SetPortType(window_.MidiChecked() ? PORT_TYPE_MIDI : PORT_TYPE_COM);
}

void ConnectionControl::PortSetupOpening()
{
  Timers& t = session_.timers;
  for (Timer* timer : {&t.TimeoutTimer, &t.UploadTimer, &t.DownloadTimer, &t.DummyTimer})
    timer->Stop();
  links_.SetMidiSearching(false);
}

void ConnectionControl::ComportClick()
{
  window_.CheckComport();
  window_.SetPortType(PORT_TYPE_COM);
  Timer& timer = session_.timers.TimeoutTimer;
  if (!timer.IsActive())
    return; // no search running: the open link stays as it is
  timer.Stop();
  links_.SetMidiSearching(false);
  links_.CloseMidiPort();
  Search();
}

void ConnectionControl::MidiClick()
{
  window_.CheckMidi();
  window_.SetPortType(PORT_TYPE_MIDI);
  Timer& timer = session_.timers.TimeoutTimer;
  if (!timer.IsActive())
    return;
  timer.Stop();
  links_.CloseComPort();
  Search();
}

} // namespace zr
