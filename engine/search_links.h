// The serial and MIDI links as the search and its time-outs use them: one
// adapter for the window, the command line and the tests.
#pragma once

#include <functional>
#include <utility>

#include "link/comm.h"
#include "link/midi.h"
#include "engine/connection_control.h"

namespace zr {

class LinkPair : public SearchLinks {
public:
  // `com` may be null where only MIDI is searched. `searchCom` runs a serial
  // search (the window's says why a port does not open); without it a
  // serial search step does nothing here.
  LinkPair(ComLink* com, MidiLink& midi, std::function<void()> searchCom = {})
      : com_(com), midi_(midi), searchCom_(std::move(searchCom))
  {
  }
  void SearchComPort() override
  {
    if (searchCom_)
      searchCom_();
  }
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
  std::function<void()> searchCom_;
};

} // namespace zr
