#include "transfer/engine.h"

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
  timers.TimeoutTimer.SetHandler([this] { control.TimeoutTimerTimer(); });
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

} // namespace zr
