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
#include "engine/batch.h"
#include "engine/connection_control.h"
#include "engine/engine_events.h"
#include "engine/search_links.h"
#include "engine/session.h"

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
  // Hears the engine's events; may be set later (Engine::Observe).
  EngineObserver* observer = nullptr;
};

class Engine;

// The session as the engine runs it: after each message of the console the
// engine sees what changed (the connection, the listing, idle) and tells
// its observer.
class EngineSession : public Session {
public:
  EngineSession(Host& host, Timers& timers, Engine& engine) : Session(host, timers), engine_(engine) {}

  void OnIdentify(Link* via, int medium, bool ourConsole) override;
  void OnDataBlock(const InboundBlock& block) override;
  void OnDirectoryReply(int medium, int type, const std::vector<std::string>& names) override;
  void OnBlockRequest(Link* via, int medium, int type, unsigned block) override;
  void OnFileRequest(Link* via, int medium, int type) override;
  void SendRequestedBlock(Link& via, int type, unsigned block) override;
  void OnLinkFault(LinkFault fault, const std::string& text) override;
  void Resumed(const std::function<void()>& step) override;

private:
  Engine& engine_;
};

class Engine {
public:
  Engine(Host& host, Timers& timers, EngineOptions options);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // ---- Intents ----

  // Opens the chosen link and searches for the console there: Searching,
  // or Failed when the link did not open (nothing is searched then).
  const Connection& Connect(const LinkChoice& choice);
  // Searches again: on the link Connect chose (opened anew), else as the
  // window's "Search ZR4812" does.
  void Search();
  // Stops whatever runs and closes both links.
  void Disconnect();
  // Each returns false when it started nothing (see Batch). Events and
  // questions go to `listener`, or else to the observer.
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

  // Who hears the events from now on; null: nobody.
  void Observe(EngineObserver* observer) { observer_ = observer; }
  const Connection& ConnectionNow() const { return connection_; }

  // The MIDI devices by index, for a choice of pair.
  MidiDeviceLists MidiDevices() { return midi.ListMidiDevices(); }
  const std::vector<CardFileRef>& CardFiles() const { return batch.CardFiles(); }
  // Every message in and out (--trace); empty: none.
  void SetTrace(std::function<void(bool out, const std::uint8_t* data, std::size_t length)> trace)
  {
    session.Trace = std::move(trace);
  }

  EngineSession session;
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
  // Sends the search on the chosen link; Searching, or Failed when it did
  // not open.
  void StartSearch();
  void SearchTimedOut();
  void CommTimerRan();
  void UploadTimerRan();
  void DownloadTimerRan();
  void DummyTimerRan();
  void SendTimerRan();
  void RetryTimerRan();

  friend class EngineSession;
  // Runs one step of the engine (a timer, a message, an intent) and then
  // tells the observer what it changed.
  void Entered(const std::function<void()>& step);
  void Identified(int medium, bool ourConsole, bool batchRan);
  void LinkTestStep();
  void DirectoryReplied(bool awaited, int type);
  void SetConnection(const Connection& connection) { connection_ = connection; }
  BatchListener* Listener(BatchListener* given) const { return given ? given : observer_; }

  EngineObserver* observer_ = nullptr;
  Connection connection_;
  Connection told_;          // what the observer heard last
  bool idleTold_ = true;     // the engine was idle when last seen
  int depth_ = 0;            // steps inside steps (a box's event loop)
  bool linkTesting_ = false; // the MIDI link test of a search runs

public:
  ConnectionControl control;
};

} // namespace zr
