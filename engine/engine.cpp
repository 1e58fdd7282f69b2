#include "engine/engine.h"

#include <utility>

#include "link/wire.h"

namespace zr {

// The watchdogs' view of a window that is not there.
class Engine::NoWindow : public ConnectionWindow {
public:
  explicit NoWindow(Batch& batch) : batch_(batch) {}
  bool ComportChecked() const override { return false; }
  bool MidiChecked() const override { return false; }
  void CheckComport() override {}
  void CheckMidi() override {}
  int PortType() const override { return PORT_TYPE_COM; }
  void SetPortType(int) override {}
  void PortSetupClick() override {}
  void CancelTransfer() override { batch_.Cancel(); }

private:
  Batch& batch_;
};

namespace {
ConnectionWindow& WindowOf(EngineOptions& options, std::unique_ptr<ConnectionWindow>& own, Batch& batch,
                           auto make)
{
  if (options.window)
    return *options.window;
  own = make(batch);
  return *own;
}
} // namespace

Engine::Engine(Host& host, Timers& timers, EngineOptions options)
    : session(host, timers, *this),
      com(session, std::move(options.serialFactory), std::move(options.comPaths)),
      midi(session, *options.midi),
      links(&com, midi, options.searchCom ? std::move(options.searchCom) : std::function<void()>([this] {
        com.SearchComPort();
      })),
      batch(session),
      control(session, links,
              WindowOf(options, ownWindow_, batch, [](Batch& b) { return std::make_unique<NoWindow>(b); }))
{
  observer_ = options.observer;
  session.Com = &com;
  session.Midi = &midi;
  session.Steps = &batch;
  // Every timer is a step of the engine: what it changed is told after it.
  const auto step = [this](void (Engine::*handler)()) {
    return [this, handler] { Entered([this, handler] { (this->*handler)(); }); };
  };
  timers.CommTimer.SetHandler(step(&Engine::CommTimerRan));
  timers.TimeoutTimer.SetHandler(step(&Engine::SearchTimedOut));
  timers.UploadTimer.SetHandler(step(&Engine::UploadTimerRan));
  timers.DownloadTimer.SetHandler(step(&Engine::DownloadTimerRan));
  timers.DummyTimer.SetHandler(step(&Engine::DummyTimerRan));
  timers.SendTimer.SetHandler(step(&Engine::SendTimerRan));
  timers.RetryTimer.SetHandler(step(&Engine::RetryTimerRan));
}

void Engine::CommTimerRan()
{
  Timer& timer = session.timers.CommTimer;
  timer.Stop();
  com.ComReadAndDispatch();
  // The reader may have shown a box, during which the port may have closed.
  if (com.ComPortOpen())
    timer.Start();
}

void Engine::UploadTimerRan()
{
  control.AnswerOverdue();
}
void Engine::DownloadTimerRan()
{
  control.SendOverdue();
}
void Engine::SendTimerRan()
{
  batch.PauseOver();
}
void Engine::RetryTimerRan()
{
  session.RetryTimerRanOut();
}

void Engine::DummyTimerRan()
{
  control.LinkTestOverdue();
  // The link test went unanswered: the ports are closed.
  if (std::exchange(linkTesting_, false))
    SetConnection({ConnectionState::Failed, MEDIUM_MIDI, 0, session.link.MidiInDevice,
                   session.link.MidiOutDevice, ConnectFailure::LinkTest});
}

void Engine::Entered(const std::function<void()>& step)
{
  const bool idleBefore = depth_ == 0 && batch.Idle();
  ++depth_;
  step();
  --depth_;
  // Inside a box's event loop the step that opened the box is not over.
  if (depth_ > 0 || !observer_)
    return;
  if (connection_ != told_) {
    told_ = connection_;
    observer_->ConnectionChanged(told_);
  }
  // Idle is told when a step leaves the engine idle that was busy before
  // it (a job may have started a batch since the last step), or when it
  // was last seen: the dispatch stops the search's time-out before the
  // engine hears of the answer.
  const bool idle = batch.Idle();
  const bool seenIdle = std::exchange(idleTold_, idle);
  if (idle && !(idleBefore && seenIdle))
    observer_->Idle();
}

// ---- The console's messages ----

void EngineSession::OnIdentify(Link* via, int medium, bool ourConsole)
{
  engine_.Entered([&] {
    const bool ran = steps().Running();
    Session::OnIdentify(via, medium, ourConsole);
    engine_.Identified(medium, ourConsole, ran);
  });
}

void EngineSession::OnDataBlock(const InboundBlock& block)
{
  engine_.Entered([&] {
    Session::OnDataBlock(block);
    engine_.LinkTestStep();
  });
}

void EngineSession::OnDirectoryReply(int medium, int type, const std::vector<std::string>& names)
{
  engine_.Entered([&] {
    const bool awaited = steps().AwaitsDirectory(type);
    Session::OnDirectoryReply(medium, type, names);
    engine_.DirectoryReplied(awaited, type);
  });
}

void EngineSession::OnBlockRequest(Link* via, int medium, int type, unsigned block)
{
  engine_.Entered([&] { Session::OnBlockRequest(via, medium, type, block); });
}

void EngineSession::OnFileRequest(Link* via, int medium, int type)
{
  engine_.Entered([&] { Session::OnFileRequest(via, medium, type); });
}

void EngineSession::SendRequestedBlock(Link& via, int type, unsigned block)
{
  engine_.Entered([&] { Session::SendRequestedBlock(via, type, block); });
}

void EngineSession::Resumed(const std::function<void()>& step)
{
  engine_.Entered(step);
}

void EngineSession::OnLinkFault(LinkFault fault, const std::string& text)
{
  engine_.Entered([&] { Session::OnLinkFault(fault, text); });
}

void Engine::Identified(int medium, bool ourConsole, bool batchRan)
{
  const LinkState& link = session.link;
  if (medium != MEDIUM_MIDI) {
    control.SearchAnswered();
    SetConnection({ConnectionState::Connected, MEDIUM_COM, link.ConnectedComPort});
    return;
  }
  // During a batch the MIDI link is plainly working already.
  if (batchRan)
    return;
  control.SearchAnswered();
  if (ourConsole)
    linkTesting_ = true; // connected once the test block comes through
  else if (chosen_)
    SetConnection({ConnectionState::Failed, MEDIUM_MIDI, 0, link.MidiInDevice, link.MidiOutDevice,
                   ConnectFailure::OtherDevice});
}

void Engine::LinkTestStep()
{
  // The session says how the test ended: passed, or damaged with no tries left.
  const Session::LinkTestEnd ended = std::exchange(session.LinkTestEnded, Session::LinkTestEnd::None);
  if (!linkTesting_ || ended == Session::LinkTestEnd::None)
    return;
  linkTesting_ = false;
  const LinkState& link = session.link;
  if (ended == Session::LinkTestEnd::Passed)
    SetConnection({ConnectionState::Connected, MEDIUM_MIDI, 0, link.MidiInDevice, link.MidiOutDevice});
  else
    SetConnection({ConnectionState::Failed, MEDIUM_MIDI, 0, link.MidiInDevice, link.MidiOutDevice,
                   ConnectFailure::LinkTest});
}

void Engine::DirectoryReplied(bool awaited, int type)
{
  if (!awaited || !observer_)
    return;
  observer_->CardListing(type, batch.CardFiles().size());
  if (type == DATA_TYPE_COUNT - 1 && batch.CardListed())
    observer_->CardListed(batch.CardFiles());
}

Engine::~Engine()
{
  // No handler may run into a half-dismantled engine.
  Timers& t = session.timers;
  for (Timer* timer : {&t.CommTimer, &t.TimeoutTimer, &t.UploadTimer, &t.DownloadTimer, &t.DummyTimer,
                       &t.SendTimer, &t.RetryTimer}) {
    timer->Stop();
    timer->SetHandler(nullptr);
  }
  com.CloseComPort();
  midi.CloseMidiPort();
  session.Com = nullptr;
  session.Midi = nullptr;
  session.Steps = nullptr;
}

const Connection& Engine::Connect(const LinkChoice& choice)
{
  Entered([&] {
    session.timers.TimeoutTimer.Stop();
    chosen_ = choice;
    LinkState& link = session.link;
    if (choice.medium == MEDIUM_MIDI) {
      com.CloseComPort();
      link.MidiInDevice = choice.midiIn;
      link.MidiOutDevice = choice.midiOut;
    } else {
      midi.CloseMidiPort();
      link.ComPortNumber = choice.comPort;
    }
    StartSearch();
  });
  return connection_;
}

void Engine::StartSearch()
{
  Timer& timeout = session.timers.TimeoutTimer;
  linkTesting_ = false;
  const LinkState& link = session.link;
  if (chosen_->medium != MEDIUM_MIDI) {
    // Opened anew: half a message the console left on the line is gone,
    // and a port that went away is found again.
    com.CloseComPort();
    timeout.SetInterval(chosen_->searchMs);
    com.SearchComPort();
    Connection now{ConnectionState::Searching, MEDIUM_COM, link.ComPortNumber};
    now.device = com.LastOpenPath();
    if (!com.ComPortOpen()) {
      now.state = ConnectionState::Failed;
      now.openResult = com.LastOpenResult();
      now.failure = now.openResult == SerialOpenResult::PermissionDenied ? ConnectFailure::PermissionDenied
                    : now.device.empty()                                 ? ConnectFailure::NoDevice
                                                                         : ConnectFailure::CannotOpen;
    }
    SetConnection(now);
    return;
  }
  // The link's search step reopens the pair and sends the search; its
  // time-out is then the chosen one, cut into the repeats.
  const bool opened = midi.SearchMidiPort() && midi.MidiPortOpen();
  Connection now{ConnectionState::Searching, MEDIUM_MIDI, 0, link.MidiInDevice, link.MidiOutDevice};
  if (!opened) {
    timeout.Stop();
    now.state = ConnectionState::Failed;
    now.failure = ConnectFailure::CannotOpen;
    SetConnection(now);
    return;
  }
  const int step = chosen_->midiRepeatMs > 0 ? chosen_->midiRepeatMs : chosen_->searchMs;
  repeatsLeft_ = chosen_->midiRepeatMs > 0 ? chosen_->searchMs / chosen_->midiRepeatMs - 1 : 0;
  timeout.SetInterval(step);
  timeout.Start();
  SetConnection(now);
}

void Engine::SearchTimedOut()
{
  if (!chosen_) {
    control.SearchOverdue();
    return;
  }
  Timer& timeout = session.timers.TimeoutTimer;
  timeout.Stop();
  if (chosen_->medium == MEDIUM_MIDI && repeatsLeft_ > 0) {
    --repeatsLeft_;
    const Bytes search = BuildSearch();
    midi.MidiSendSysEx(search.data(), search.size());
    timeout.Start();
    return;
  }
  if (connection_.state == ConnectionState::Searching) {
    Connection failed = connection_;
    failed.state = ConnectionState::Failed;
    failed.failure = ConnectFailure::NoAnswer;
    SetConnection(failed);
  }
}

void Engine::Search()
{
  Entered([this] {
    if (chosen_)
      StartSearch();
    else
      control.Search();
  });
}

void Engine::Disconnect()
{
  Entered([this] {
    Cancel();
    chosen_.reset();
    linkTesting_ = false;
    com.CloseComPort();
    midi.CloseMidiPort();
    SetConnection({});
  });
}

void Engine::Cancel()
{
  Entered([this] {
    // The batch's Cancel stops the search and every watchdog too.
    batch.Cancel();
    midi.SetMidiSearching(false);
    if (connection_.state == ConnectionState::Searching)
      SetConnection({});
  });
}

bool Engine::ListCard(BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = batch.ListCard(Listener(listener)); });
  return started;
}

bool Engine::Download(std::vector<CardFileRef> files, std::string folder, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = batch.Download(std::move(files), std::move(folder), Listener(listener)); });
  return started;
}

bool Engine::Upload(std::vector<PcFileRef> files, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = batch.Upload(std::move(files), Listener(listener)); });
  return started;
}

bool Engine::Backup(int type, std::string path, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = batch.Backup(type, std::move(path), Listener(listener)); });
  return started;
}

bool Engine::Restore(std::vector<PcFileRef> files, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = batch.Restore(std::move(files), Listener(listener)); });
  return started;
}

const char* ConnectionStateName(ConnectionState state)
{
  switch (state) {
  case ConnectionState::Closed:
    return "closed";
  case ConnectionState::Searching:
    return "searching";
  case ConnectionState::Connected:
    return "connected";
  case ConnectionState::Failed:
    return "failed";
  }
  return "?";
}

} // namespace zr
