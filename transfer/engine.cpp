#include "transfer/engine.h"

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
    : session(host, timers), com(session, std::move(options.serialFactory), std::move(options.comPaths)),
      midi(session, *options.midi),
      links(&com, midi, options.searchCom ? std::move(options.searchCom) : std::function<void()>([this] {
        com.SearchComPort();
      })),
      batch(session),
      control(session, links,
              WindowOf(options, ownWindow_, batch, [](Batch& b) { return std::make_unique<NoWindow>(b); }))
{
  session.Com = &com;
  session.Midi = &midi;
  session.Steps = &batch;
  timers.CommTimer.SetHandler([this] {
    Timer& timer = session.timers.CommTimer;
    timer.Stop();
    com.ComReadAndDispatch();
    // The reader may have shown a box, during which the port may have closed.
    if (com.ComPortOpen())
      timer.Start();
  });
  timers.TimeoutTimer.SetHandler([this] { SearchTimedOut(); });
  timers.UploadTimer.SetHandler([this] { control.UploadTimerTimer(); });
  timers.DownloadTimer.SetHandler([this] { control.DownloadTimerTimer(); });
  timers.DummyTimer.SetHandler([this] { control.DummyTimerTimer(); });
  timers.SendTimer.SetHandler([this] { batch.SendTimerTimer(); });
  timers.RetryTimer.SetHandler([this] { session.RetryTimerRanOut(); });
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

bool Engine::Connect(const LinkChoice& choice)
{
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
  const bool opened = choice.medium == MEDIUM_MIDI ? midi.MidiPortOpen() : com.ComPortOpen();
  if (!opened)
    session.timers.TimeoutTimer.Stop();
  return opened;
}

void Engine::StartSearch()
{
  Timer& timeout = session.timers.TimeoutTimer;
  if (chosen_->medium != MEDIUM_MIDI) {
    // Opened anew: half a message the console left on the line is gone,
    // and a port that went away is found again.
    com.CloseComPort();
    timeout.SetInterval(chosen_->searchMs);
    com.SearchComPort();
    return;
  }
  // The link's search step reopens the pair and sends the search; its
  // time-out is then the chosen one, cut into the repeats.
  midi.SearchMidiPort();
  const int step = chosen_->midiRepeatMs > 0 ? chosen_->midiRepeatMs : chosen_->searchMs;
  repeatsLeft_ = chosen_->midiRepeatMs > 0 ? chosen_->searchMs / chosen_->midiRepeatMs - 1 : 0;
  timeout.SetInterval(step);
  timeout.Start();
}

void Engine::SearchTimedOut()
{
  if (!chosen_) {
    control.TimeoutTimerTimer();
    return;
  }
  Timer& timeout = session.timers.TimeoutTimer;
  timeout.Stop();
  if (chosen_->medium == MEDIUM_MIDI && repeatsLeft_ > 0) {
    --repeatsLeft_;
    const Bytes search = BuildSearch();
    midi.MidiSendSysEx(search.data(), search.size());
    timeout.Start();
  }
  // Otherwise the search is over unanswered.
}

void Engine::Search()
{
  if (!chosen_) {
    control.SearchZR4812Click();
    return;
  }
  StartSearch();
}

void Engine::Disconnect()
{
  Cancel();
  chosen_.reset();
  com.CloseComPort();
  midi.CloseMidiPort();
}

void Engine::Cancel()
{
  // The batch's Cancel stops the search and every watchdog too.
  batch.Cancel();
  midi.SetMidiSearching(false);
}

bool Engine::ListCard(BatchListener* listener)
{
  return batch.ListCard(listener);
}

bool Engine::Download(std::vector<CardFileRef> files, std::string folder, BatchListener* listener)
{
  return batch.Download(std::move(files), std::move(folder), listener);
}

bool Engine::Upload(std::vector<PcFileRef> files, BatchListener* listener)
{
  return batch.Upload(std::move(files), listener);
}

bool Engine::Backup(int type, std::string path, BatchListener* listener)
{
  return batch.Backup(type, std::move(path), listener);
}

bool Engine::Restore(std::vector<PcFileRef> files, BatchListener* listener)
{
  return batch.Restore(std::move(files), listener);
}

} // namespace zr
