// The platform's MIDI devices through RtMidi, and the road that inbound
// System Exclusive messages take from RtMidi's own thread to the GUI thread:
// the callback copies the bytes into an event posted to the application,
// and the application-wide event filter hands them to the receiver.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <QEvent>
#include <QObject>

#include "link/midi_system.h"

class RtMidi;
class RtMidiIn;
class RtMidiOut;

namespace zr {

namespace detail {
struct MidiInbox;
class MidiInputTarget;
} // namespace detail

// One System Exclusive message from the input device, on its way to the
// GUI thread.
class MidiSysExEvent : public QEvent {
public:
  static QEvent::Type EventType();
  MidiSysExEvent(std::shared_ptr<detail::MidiInbox> inbox, unsigned generation,
                 std::vector<std::uint8_t> bytes);
  ~MidiSysExEvent() override;

  const std::vector<std::uint8_t> &Bytes() const { return bytes_; }
  // Hands the bytes to the receiver of the system that posted them, unless
  // that system is gone or its input has been closed since.
  void Deliver() const;

private:
  std::shared_ptr<detail::MidiInbox> inbox_;
  unsigned generation_;
  std::vector<std::uint8_t> bytes_;
};

// Delivers the event when it is MIDI input and returns true; any other
// event returns false, untouched. The system posts its input to an object
// of its own, which delivers it this way on the GUI thread.
bool DeliverMidiInput(QEvent *event);

class RtMidiSystem : public MidiSystem {
public:
  // clientName names our side in the MIDI system; our own ports are left
  // out of the device lists.
  explicit RtMidiSystem(std::string clientName = "ZR4812 Exchange");
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
  std::unique_ptr<detail::MidiInputTarget> target_; // where the input is posted
  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  bool inputOpen_ = false;
  bool outputOpen_ = false;
  std::string lastError_;
  int lastErrorType_ = -1; // RtMidiError::Type of the last error, -1 for none
};

// The program's MIDI system: RtMidi over the platform's MIDI API.
std::unique_ptr<MidiSystem> MakePlatformMidiSystem();

} // namespace zr
