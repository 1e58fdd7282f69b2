// The serial and MIDI links as the search and its time-outs use them: one
// adapter for the window, the command line and the tests.
#pragma once

#include "link/comm.h"
#include "link/midi.h"
#include "transfer/connection_control.h"

namespace zr {

class LinkPair : public SearchLinks {
public:
  // `com` may be null where only MIDI is searched.
  LinkPair(ComLink* com, MidiLink& midi) : com_(com), midi_(midi) {}
  void CloseComPort() override
  {
    if (com_)
      com_->CloseComPort();
  }
  void CloseMidiPort() override { midi_.CloseMidiPort(); }
  bool StartMidiSearch() override { return midi_.StartMidiSearch(); }
  bool SearchMidiPort() override { return midi_.SearchMidiPort(); }
  bool MidiSearching() const override { return midi_.MidiSearching(); }
  void SetMidiSearching(bool searching) override { midi_.SetMidiSearching(searching); }
  int MidiInCount() const override { return midi_.MidiInCount(); }
  int MidiOutCount() const override { return midi_.MidiOutCount(); }

private:
  ComLink* com_;
  MidiLink& midi_;
};

} // namespace zr
