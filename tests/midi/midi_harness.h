// The core with the real RtMidi back-end, talking over a private JACK server
// to a zr4812-sim with MIDI ports: the pieces the MIDI integration tests and
// the MIDI throughput benchmark share. The process needs a QCoreApplication
// and its event loop, which carries the input to the link.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/backend/midi_rtmidi.h"
#include "link/midi.h"
#include "tests/serial/serial_harness.h"
#include "tests/support/jack_server.h"
#include "engine/search_links.h"

namespace zr::test {

// The search's view of the window: the "&Midi" check mark is on and the
// port setup dialog's port type is "Midi"; nothing else is needed here.
class MidiOnlyWindow : public ConnectionWindow {
public:
  bool ComportChecked() const override { return false; }
  bool MidiChecked() const override { return true; }
  void CheckComport() override {}
  void CheckMidi() override {}
  int PortType() const override { return PORT_TYPE_MIDI; }
  void SetPortType(int) override {}
  void PortSetupClick() override {}
  void CancelTransfer() override {}
};

// A session on the MIDI link over RtMidi, with the main window's search
// stepping (ConnectionControl on a real TimeoutTimer). The other watchdogs
// only record that they fired.
class MidiSession : public HarnessSession {
public:
  MidiSession()
      : HarnessSession(3), midi(session, system), links(nullptr, midi), control(session, links, window)
  {
    session.Midi = &midi;
    timers.TimeoutTimer.SetHandler([this] { control.SearchOverdue(); });
    CountFirings({&timers.UploadTimer, &timers.DownloadTimer, &timers.DummyTimer});
  }
  ~MidiSession()
  {
    for (QtTimer *t : {&timers.TimeoutTimer, &timers.UploadTimer, &timers.DownloadTimer, &timers.DummyTimer})
      t->Stop();
    midi.CloseMidiPort();
  }

  // Index of the first input or output whose name contains `part`.
  std::optional<int> FindInput(const std::string &part) { return Find(midi.ListMidiDevices().inputs, part); }
  std::optional<int> FindOutput(const std::string &part)
  {
    return Find(midi.ListMidiDevices().outputs, part);
  }

  // Searches the console on a known pair and waits for the passed link test.
  bool ConnectTo(const std::string &portName, int timeoutMs = 60000)
  {
    const auto in = FindInput(portName);
    const auto out = FindOutput(portName);
    if (!in || !out)
      return false;
    session.link.MidiInDevice = *in;
    session.link.MidiOutDevice = *out;
    midi.SearchMidiPort();
    return RunUntil([this] { return session.link.CommMedium == 3; }, timeoutMs);
  }

  RtMidiSystem system;
  MidiLink midi;
  LinkPair links;
  MidiOnlyWindow window;
  ConnectionControl control;

private:
  static std::optional<int> Find(const std::vector<std::string> &names, const std::string &part)
  {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (names[i].find(part) != std::string::npos)
        return static_cast<int>(i);
    return std::nullopt;
  }
};

// Waits until the MIDI system lists a port whose name contains `part` on
// both sides (a console's ports appear shortly after it prints their name).
inline bool WaitForPorts(MidiSession &s, const std::string &part, int timeoutMs = 30000)
{
  return RunUntil([&] { return s.FindInput(part) && s.FindOutput(part); }, timeoutMs);
}

} // namespace zr::test
