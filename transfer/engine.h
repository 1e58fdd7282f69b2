// One engine for every front end: the session, both links, the batch and
// connection control, built in this order, wired to each other and to the
// six timers in one place. The window, zr4812, the tests and the benchmarks
// build it here; a front end asks it by intent (connect, search, list,
// download, upload, backup, restore, cancel) and needs nothing else of it.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/comm.h"
#include "link/midi.h"
#include "transfer/batch.h"
#include "transfer/connection_control.h"
#include "transfer/search_links.h"
#include "transfer/session.h"

namespace zr {

// The link a front end chose: a COM port, or a pair of MIDI devices.
struct LinkChoice {
  int medium = MEDIUM_COM; // MEDIUM_COM or MEDIUM_MIDI
  int comPort = 0;         // "COM n"
  int midiIn = -1, midiOut = -1;
  // How long a search waits for the console's answer.
  int searchMs = SERIAL_SEARCH_MS;
  // Over MIDI the search goes again this often while unanswered: a
  // connection JACK made a moment ago may lose the first message. 0: never.
  int midiRepeatMs = 0;

  static LinkChoice Serial(int comPort) { return {MEDIUM_COM, comPort}; }
  static LinkChoice Midi(int in, int out) { return {MEDIUM_MIDI, 0, in, out}; }
};

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

  // ---- Intents ----

  // Opens the chosen link and searches for the console there. False when
  // the link did not open (nothing is searched then).
  bool Connect(const LinkChoice& choice);
  // Searches again: on the link Connect chose (opened anew), else as the
  // window's "Search ZR4812" does.
  void Search();
  // Stops whatever runs and closes both links.
  void Disconnect();
  // Each returns false when it started nothing (see Batch). Events and
  // questions go to `listener`.
  bool ListCard(BatchListener* listener = nullptr);
  bool Download(std::vector<CardFileRef> files, std::string folder, BatchListener* listener = nullptr);
  bool Upload(std::vector<PcFileRef> files, BatchListener* listener = nullptr);
  bool Backup(int type, std::string path, BatchListener* listener = nullptr);
  bool Restore(std::vector<PcFileRef> files, BatchListener* listener = nullptr);
  // Stops the batch under way, the search and every watchdog.
  void Cancel();
  // A job holds the engine between its steps (Batch::Claim).
  bool Claim(BatchListener* job) { return batch.Claim(job); }

  // ---- What a front end may read ----

  // The MIDI devices by index, for a choice of pair.
  MidiDeviceLists MidiDevices() { return midi.ListMidiDevices(); }
  const std::vector<CardFileRef>& CardFiles() const { return batch.CardFiles(); }
  // Every message in and out (--trace); empty: none.
  void SetTrace(std::function<void(bool out, const std::uint8_t* data, std::size_t length)> trace)
  {
    session.Trace = std::move(trace);
  }

  Session session;
  ComLink com;
  MidiLink midi;
  LinkPair links;
  Batch batch;

private:
  class NoWindow;
  std::unique_ptr<ConnectionWindow> ownWindow_;
  // The link Connect chose; a search on it ends at its time-out instead of
  // stepping through MIDI pairs.
  std::optional<LinkChoice> chosen_;
  int repeatsLeft_ = 0; // MIDI searches still to send before the time-out
  void StartSearch();
  void SearchTimedOut();

public:
  ConnectionControl control;
};

} // namespace zr
