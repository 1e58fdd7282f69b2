// The MIDI link `midi`: one input and one output device of the platform's
// MIDI system, the search over device pairs, the four link operations, and
// the two input buffers that inbound System Exclusive messages land in.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/midi_buffer.h"
#include "link/midi_system.h"

namespace zr {

class LinkContext;

class MidiLink : public Link, public MidiPort {
public:
  static constexpr int IN_BUFFER_COUNT = 2;

  MidiLink(LinkContext &context, MidiSystem &system);
  ~MidiLink() override;
  MidiLink(const MidiLink &) = delete;
  MidiLink &operator=(const MidiLink &) = delete;

  // Names of the devices; a device whose name cannot be read is left out.
  MidiDeviceLists ListMidiDevices();
  // Counts the devices and tries the pair input 0, output 0. True when at
  // least one input and one output device exist.
  bool StartMidiSearch();
  // One search step: reopens the current pair and sends the search. True
  // when the pair opened.
  bool SearchMidiPort();
  // Opens the current pair unless it already is open.
  bool OpenMidiPort();
  void CloseMidiPort();
  void MidiSendSysEx(const std::uint8_t *data, std::size_t length);

  // The four link operations under their MIDI names.
  bool MidiRequestBlock(int type, unsigned block);
  bool MidiRequestDirectory(int type);
  bool MidiSendFileName(int type, const std::string &name, bool request);
  void MidiAnswerBlockRequest(int type, unsigned block);

  // Link
  bool RequestBlock(int type, unsigned block) override { return MidiRequestBlock(type, block); }
  bool RequestDirectory(int type) override { return MidiRequestDirectory(type); }
  bool SendFileName(int type, const std::string &name, bool request) override
  {
    return MidiSendFileName(type, name, request);
  }
  TextId CannotSend() const override { return TextId::NoMidiDevice; }
  void AnswerBlockRequest(int type, unsigned block) override { MidiAnswerBlockRequest(type, block); }
  bool ReadyToAnswer() override;
  TextId NotReady() const override { return TextId::NoMidiDevice; }
  bool SendDataBlock(const std::uint8_t *message, std::size_t length) override;

  // MidiPort
  void SendSysEx(const std::uint8_t *data, std::size_t length) override { MidiSendSysEx(data, length); }
  void Requeue(MidiInBuffer &buffer) override;

  // One System Exclusive message from the input device, on the GUI thread.
  // It fills the next queued input buffer, as a driver does, which goes to
  // HandleMidiSysExIn. A message longer than one buffer continues in the
  // next; the parts are joined and the whole message, up to
  // MIDI_MAX_MESSAGE bytes, is dispatched once. Without a queued buffer the
  // message is lost.
  void OnSysExMessage(const std::uint8_t *data, std::size_t length);

  // State that the main window's search stepping reads and writes.
  bool MidiSearching() const { return midiSearching_; }
  void SetMidiSearching(bool searching) { midiSearching_ = searching; }
  int MidiInCount() const { return midiInCount_; }
  int MidiOutCount() const { return midiOutCount_; }
  // Counts the devices into MidiInCount and MidiOutCount (the Search command).
  void CountMidiDevices();
  bool MidiPortOpen() const { return midiPortOpen_; }

  // The input buffers, for tests and diagnostics.
  const MidiInBuffer &InBuffer(int index) const { return inBuffers_[static_cast<std::size_t>(index)]; }
  std::size_t QueuedBufferCount() const { return queue_.size(); }

private:
  void SetUpInBuffers();
  void ReleaseInBuffers();
  int IndexOf(const MidiInBuffer &buffer) const;
  bool SendRequest(const std::vector<std::uint8_t> &message);

  LinkContext &context_;
  MidiSystem &system_;
  int midiInCount_ = 0;
  int midiOutCount_ = 0;
  bool midiPortOpen_ = false;
  bool midiSearching_ = false;
  std::array<MidiInBuffer, IN_BUFFER_COUNT> inBuffers_{};
  bool buffersSetUp_ = false;
  std::deque<int> queue_; // buffers handed to the device, in the order it fills them
};

} // namespace zr
