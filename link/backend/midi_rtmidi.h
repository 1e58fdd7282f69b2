// The platform's MIDI devices through RtMidi, and the road that inbound
// System Exclusive messages take from RtMidi's own thread to the thread of
// the event loop: the callback copies the bytes and posts a call that hands
// them to the receiver. The program says how a call is posted: through Qt's
// event queue in the window (midi_post_qt.cpp), through Asio's on the
// command line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/midi_system.h"

class QEvent;
class RtMidi;
class RtMidiIn;
class RtMidiOut;

namespace zr {

namespace detail {
struct MidiInbox;
} // namespace detail

// Queues `call` to run on the event loop's thread. Called on RtMidi's
// thread: it must be safe there and must not block.
using MidiPoster = std::function<void(std::function<void()> call)>;

// Posts through Qt's event queue to the thread that first asks for it (the
// GUI thread); QCoreApplication must exist by the time input arrives.
MidiPoster QtMidiPoster();

// Runs the MIDI input the Qt poster posted, when `event` is such input, and
// returns true; any other event returns false, untouched. An application-wide
// event filter that sees the event first delivers it this way.
bool DeliverMidiInput(QEvent *event);

class RtMidiSystem : public MidiSystem {
public:
  // clientName names our side in the MIDI system; our own ports are left
  // out of the device lists.
  explicit RtMidiSystem(std::string clientName = "ZR4812 Exchange", MidiPoster post = QtMidiPoster());
  ~RtMidiSystem() override;
  RtMidiSystem(const RtMidiSystem &) = delete;
  RtMidiSystem &operator=(const RtMidiSystem &) = delete;

  // RtMidi's short name of the MIDI system in use ("alsa", "jack", ...), or
  // "" when none could be reached.
  std::string ApiName() const;
  // The last message of RtMidi's error callback, for diagnostics.
  const std::string &LastError() const { return lastError_; }

  int InputCount() override;
  int OutputCount() override;
  std::optional<std::string> InputName(int index) override;
  std::optional<std::string> OutputName(int index) override;
  MidiResult OpenOutput(int index) override;
  MidiResult OpenInput(int index) override;
  MidiResult StartInput() override;
  MidiResult CloseOutput() override;
  MidiResult CloseInput() override;
  void SendSysEx(const std::uint8_t *data, std::size_t length) override;
  void SetReceiver(SysExReceiver receiver) override;

  // Called by RtMidi; public only for the C callbacks.
  void OnError(int type, const std::string &text);

private:
  struct Port {
    unsigned rtIndex; // RtMidi's index right now
    std::string name;
  };
  // The devices of one side (input or output), our own ports left out.
  std::vector<Port> Ports(RtMidi *side) const;
  std::vector<Port> Inputs();
  std::vector<Port> Outputs();
  bool IsOwnPort(const std::string &name) const;
  MidiResult OpenResult(int errorType) const;
  // Opens device `index` of `ports` on one side under our port name.
  MidiResult OpenPort(RtMidi &side, const std::vector<Port> &ports, int index, const char *ourPortName);

  std::string clientName_;
  std::shared_ptr<detail::MidiInbox> inbox_;
  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  bool inputOpen_ = false;
  bool outputOpen_ = false;
  std::string lastError_;
  int lastErrorType_ = -1; // RtMidiError::Type of the last error, -1 for none
};

// The window's MIDI system: RtMidi over the platform's MIDI API, its input
// posted through Qt.
std::unique_ptr<MidiSystem> MakePlatformMidiSystem();

} // namespace zr
