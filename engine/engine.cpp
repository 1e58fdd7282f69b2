#include "engine/engine.h"

#include "engine/engine_parts.h"

#include <utility>

#include "link/wire.h"

namespace zr {

// The watchdogs' view of a window that is not there.
class NoWindow : public ConnectionWindow {
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
ConnectionWindow& WindowOf(EngineOptions& options, std::unique_ptr<ConnectionWindow>& own, Batch& batch)
{
  if (options.window)
    return *options.window;
  own = std::make_unique<NoWindow>(batch);
  return *own;
}
} // namespace

EngineParts::EngineParts(Host& host, Timers& timers, Engine& engine, EngineOptions& options)
    : session(host, timers, engine),
      com(session, std::move(options.serialFactory), std::move(options.comPaths)),
      midi(session, *options.midi),
      links(&com, midi,
            [this, why = std::move(options.whyRefused)] {
              com.SearchComPort();
              if (why && !com.ComPortOpen() && com.LastOpenResult() == SerialOpenResult::PermissionDenied)
                session.ShowStatus({.id = TextId::DeviceRefused, .word = why(com.LastOpenPath())});
            }),
      batch(session), control(session, links, WindowOf(options, ownWindow, batch))
{
  session.Com = &com;
  session.Midi = &midi;
  session.Steps = &batch;
}

Engine::Engine(Host& host, Timers& timers, EngineOptions options)
    : parts_(std::make_unique<EngineParts>(host, timers, *this, options))
{
  observer_ = options.observer;
  view_ = options.view;
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
  Timer& timer = parts_->session.timers.CommTimer;
  timer.Stop();
  parts_->com.ComReadAndDispatch();
  // The reader may have shown a box, during which the port may have closed.
  if (parts_->com.ComPortOpen())
    timer.Start();
}

void Engine::UploadTimerRan()
{
  parts_->control.AnswerOverdue();
}
void Engine::DownloadTimerRan()
{
  parts_->control.SendOverdue();
}
void Engine::SendTimerRan()
{
  parts_->batch.PauseOver();
}
void Engine::RetryTimerRan()
{
  parts_->session.RetryTimerRanOut();
}

void Engine::DummyTimerRan()
{
  parts_->control.LinkTestOverdue();
  // The link test went unanswered: the ports are closed.
  if (std::exchange(linkTesting_, false))
    SetConnection({ConnectionState::Failed, MEDIUM_MIDI, 0, parts_->session.link.MidiInDevice,
                   parts_->session.link.MidiOutDevice, ConnectFailure::LinkTest});
}

void Engine::Entered(const std::function<void()>& step)
{
  const bool idleBefore = depth_ == 0 && parts_->batch.Idle();
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
  const bool idle = parts_->batch.Idle();
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

void EngineSession::OnLinkFault(LinkFault fault, const ScreenText& text)
{
  engine_.Entered([&] { Session::OnLinkFault(fault, text); });
}

// What the engine shows goes to its view as it happens.
template <class... Params, class... Args>
void EngineSession::Show(void (View::*event)(Params...), Args&&... args)
{
  if (View* view = engine_.ViewNow())
    (view->*event)(std::forward<Args>(args)...);
}

void EngineSession::StatusChanged(const ScreenText& text)
{
  Show(&View::StatusChanged, text);
}
void EngineSession::ProgressShown(const ProgressView& progress)
{
  Show(&View::ProgressShown, progress);
}
void EngineSession::ProgressClosed()
{
  Show(&View::ProgressClosed);
}
void EngineSession::TransferRunning(bool running)
{
  Show(&View::TransferRunning, running);
}
void EngineSession::CardListCleared()
{
  Show(&View::CardListCleared);
}
void EngineSession::CardListAdded(int type, const std::vector<std::string>& names)
{
  Show(&View::CardListAdded, type, names);
}
void EngineSession::CardListSorted()
{
  Show(&View::CardListSorted);
}
void EngineSession::Noticed(const Notice& notice)
{
  Show(&View::Noticed, notice);
}

void Engine::Identified(int medium, bool ourConsole, bool batchRan)
{
  const LinkState& link = parts_->session.link;
  if (medium != MEDIUM_MIDI) {
    parts_->control.SearchAnswered();
    SetConnection({ConnectionState::Connected, MEDIUM_COM, link.ConnectedComPort});
    return;
  }
  // During a batch the MIDI link is plainly working already.
  if (batchRan)
    return;
  parts_->control.SearchAnswered();
  if (ourConsole)
    linkTesting_ = true; // connected once the test block comes through
  else if (chosen_)
    SetConnection({ConnectionState::Failed, MEDIUM_MIDI, 0, link.MidiInDevice, link.MidiOutDevice,
                   ConnectFailure::OtherDevice});
}

void Engine::LinkTestStep()
{
  // The session says how the test ended: passed, or damaged with no tries left.
  const Session::LinkTestEnd ended = std::exchange(parts_->session.LinkTestEnded, Session::LinkTestEnd::None);
  if (!linkTesting_ || ended == Session::LinkTestEnd::None)
    return;
  linkTesting_ = false;
  const LinkState& link = parts_->session.link;
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
  observer_->CardListing(type, parts_->batch.CardFiles().size());
  if (type == DATA_TYPE_COUNT - 1 && parts_->batch.CardListed())
    observer_->CardListed(parts_->batch.CardFiles());
}

Engine::~Engine()
{
  // No handler may run into a half-dismantled engine.
  Timers& t = parts_->session.timers;
  for (Timer* timer : {&t.CommTimer, &t.TimeoutTimer, &t.UploadTimer, &t.DownloadTimer, &t.DummyTimer,
                       &t.SendTimer, &t.RetryTimer}) {
    timer->Stop();
    timer->SetHandler(nullptr);
  }
  parts_->com.CloseComPort();
  parts_->midi.CloseMidiPort();
  parts_->session.Com = nullptr;
  parts_->session.Midi = nullptr;
  parts_->session.Steps = nullptr;
}

const Connection& Engine::Connect(const LinkChoice& choice)
{
  Entered([&] {
    parts_->session.timers.TimeoutTimer.Stop();
    chosen_ = choice;
    LinkState& link = parts_->session.link;
    if (choice.medium == MEDIUM_MIDI) {
      parts_->com.CloseComPort();
      link.MidiInDevice = choice.midiIn;
      link.MidiOutDevice = choice.midiOut;
    } else {
      parts_->midi.CloseMidiPort();
      link.ComPortNumber = choice.comPort;
    }
    StartSearch();
  });
  return connection_;
}

void Engine::StartSearch()
{
  Timer& timeout = parts_->session.timers.TimeoutTimer;
  linkTesting_ = false;
  const LinkState& link = parts_->session.link;
  if (chosen_->medium != MEDIUM_MIDI) {
    // Opened anew: half a message the console left on the line is gone,
    // and a port that went away is found again.
    parts_->com.CloseComPort();
    timeout.SetInterval(chosen_->searchMs);
    parts_->com.SearchComPort();
    Connection now{ConnectionState::Searching, MEDIUM_COM, link.ComPortNumber};
    now.device = parts_->com.LastOpenPath();
    if (!parts_->com.ComPortOpen()) {
      now.state = ConnectionState::Failed;
      now.openResult = parts_->com.LastOpenResult();
      now.failure = now.openResult == SerialOpenResult::PermissionDenied ? ConnectFailure::PermissionDenied
                    : now.device.empty()                                 ? ConnectFailure::NoDevice
                                                                         : ConnectFailure::CannotOpen;
    }
    SetConnection(now);
    return;
  }
  // The link's search step reopens the pair and sends the search; its
  // time-out is then the chosen one, cut into the repeats.
  const bool opened = parts_->midi.SearchMidiPort() && parts_->midi.MidiPortOpen();
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
    parts_->control.SearchOverdue();
    return;
  }
  Timer& timeout = parts_->session.timers.TimeoutTimer;
  timeout.Stop();
  if (chosen_->medium == MEDIUM_MIDI && repeatsLeft_ > 0) {
    --repeatsLeft_;
    const Bytes search = BuildSearch();
    parts_->midi.MidiSendSysEx(search.data(), search.size());
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
      parts_->control.Search();
  });
}

void Engine::Disconnect()
{
  Entered([this] {
    Cancel();
    chosen_.reset();
    linkTesting_ = false;
    parts_->com.CloseComPort();
    parts_->midi.CloseMidiPort();
    SetConnection({});
  });
}

void Engine::Cancel()
{
  Entered([this] {
    // The batch's Cancel stops the search and every watchdog too.
    parts_->batch.Cancel();
    parts_->midi.SetMidiSearching(false);
    if (connection_.state == ConnectionState::Searching)
      SetConnection({});
  });
}

bool Engine::ListCard(BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = parts_->batch.ListCard(Listener(listener)); });
  return started;
}

bool Engine::Download(std::vector<CardFileRef> files, std::string folder, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = parts_->batch.Download(std::move(files), std::move(folder), Listener(listener)); });
  return started;
}

bool Engine::Upload(std::vector<PcFileRef> files, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = parts_->batch.Upload(std::move(files), Listener(listener)); });
  return started;
}

bool Engine::Backup(int type, std::optional<std::string> path, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = parts_->batch.Backup(type, std::move(path), Listener(listener)); });
  return started;
}

bool Engine::Restore(std::vector<PcFileRef> files, BatchListener* listener)
{
  bool started = false;
  Entered([&] { started = parts_->batch.Restore(std::move(files), Listener(listener)); });
  return started;
}

bool Engine::Claim(BatchListener* job)
{
  return parts_->batch.Claim(job);
}

void Engine::Release(BatchListener* job)
{
  Entered([&] { parts_->batch.Release(job); });
}

void Engine::StopBatch()
{
  Entered([this] { parts_->batch.StopTransfer(); });
}

bool Engine::Running() const
{
  return parts_->batch.Running();
}

bool Engine::Idle() const
{
  return parts_->batch.Idle();
}

MidiDeviceLists Engine::MidiDevices()
{
  return parts_->midi.ListMidiDevices();
}

const std::vector<CardFileRef>& Engine::CardFiles() const
{
  return parts_->batch.CardFiles();
}

void Engine::SetTrace(std::function<void(bool out, const std::uint8_t* data, std::size_t length)> trace)
{
  parts_->session.Trace = std::move(trace);
}

// ---- The window's link menu and port dialog ----

Engine::LinkSettings Engine::Settings() const
{
  const LinkState& link = parts_->session.link;
  return {link.CommMedium, link.ComPortNumber, link.ConnectedComPort, link.MidiInDevice, link.MidiOutDevice};
}

void Engine::SetMedium(int medium)
{
  parts_->session.link.CommMedium = medium;
}

void Engine::SetComPort(int port)
{
  parts_->session.link.ComPortNumber = port;
}

void Engine::SetMidiPair(int in, int out)
{
  parts_->session.link.MidiInDevice = in;
  parts_->session.link.MidiOutDevice = out;
}

void Engine::ChooseSerial()
{
  Entered([this] { parts_->control.ComportClick(); });
}

void Engine::ChooseMidi()
{
  Entered([this] { parts_->control.MidiClick(); });
}

void Engine::AlignPortType()
{
  parts_->control.AlignPortType();
}

void Engine::SearchSerial()
{
  Entered([this] { parts_->control.SearchComPort(); });
}

void Engine::SearchMidiPair()
{
  Entered([this] { parts_->midi.SearchMidiPort(); });
}

void Engine::PortSetupOpening()
{
  Entered([this] { parts_->control.PortSetupOpening(); });
}

void Engine::CloseLinks()
{
  parts_->com.CloseComPort();
  parts_->midi.CloseMidiPort();
}

void Engine::CloseSerial()
{
  parts_->com.CloseComPort();
}

std::vector<int> Engine::ProbeComPorts()
{
  return parts_->com.ProbeComPorts();
}

std::string Engine::LastSerialDevice() const
{
  return parts_->com.LastOpenPath();
}

SerialOpenResult Engine::LastSerialOpen() const
{
  return parts_->com.LastOpenResult();
}

bool Engine::SerialOpen() const
{
  return parts_->com.ComPortOpen();
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
