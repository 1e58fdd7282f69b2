// One engine for every front end: the session, both links, the batch and
// connection control, built in this order, wired to each other and to the
// six timers in one place. The window, zr4812, the tests and the benchmarks
// build it here and talk to it through the batch's intents and events.
#pragma once

#include <functional>
#include <memory>

#include "link/comm.h"
#include "link/midi.h"
#include "transfer/batch.h"
#include "transfer/connection_control.h"
#include "transfer/search_links.h"
#include "transfer/session.h"

namespace zr {

struct EngineOptions {
  // Serial devices and which device stands behind "COM n".
  SerialDeviceFactory serialFactory;
  ComPortPaths comPaths;
  // The MIDI devices; not owned, required.
  MidiSystem* midi = nullptr;
  // What the watchdogs and the search see of a window; null: none (a front
  // end without one: the port type is serial, Cancel cancels the batch).
  ConnectionWindow* window = nullptr;
  // The serial step of a search; empty: the serial link's own search.
  std::function<void()> searchCom;
};

class Engine {
public:
  Engine(Host& host, Timers& timers, EngineOptions options);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  Session session;
  ComLink com;
  MidiLink midi;
  LinkPair links;
  Batch batch;

private:
  class NoWindow;
  std::unique_ptr<ConnectionWindow> ownWindow_;

public:
  ConnectionControl control;
};

} // namespace zr
