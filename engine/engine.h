// One engine for every front end: the session, both links, the batch and
// connection control, built in this order, wired to each other and to the
// seven timers in one place (engine/engine_parts.h). A front end asks it by
// intent (connect, search, list, download, upload, backup, restore, cancel),
// hears its events, answers its questions, and sees nothing of its parts:
// the build keeps their header from app/ and cli/.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/link_context.h"
#include "link/midi_system.h"
#include "link/serial_device.h"
#include "link/timer.h"
#include "engine/connection_control.h"
#include "engine/engine_events.h"
#include "engine/host.h"

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
  // What the status line says when a serial device refuses this user
  // (which group may open it); empty: the search stays silent, as it is on
  // every other failure.
  std::function<std::string(const std::string& device)> whyRefused;
  // Hears the engine's events; may be set later (Engine::Observe).
  EngineObserver* observer = nullptr;
  // Shows the engine at work: the status line, the progress dialog and the
  // card list. Null: the observer does, whichever it is at the time.
  View* view = nullptr;
};

struct EngineParts;

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
  // Without a path the save dialog asks.
  bool Backup(int type, std::optional<std::string> path = std::nullopt, BatchListener* listener = nullptr);
  bool Restore(std::vector<PcFileRef> files, BatchListener* listener = nullptr);
  // Stops the batch under way, the search and every watchdog.
  void Cancel();
  // A job holds the engine between its steps (Batch::Claim).
  bool Claim(BatchListener* job);

  // ---- What a front end may read ----

  // Who hears the events from now on; null: nobody.
  void Observe(EngineObserver* observer) { observer_ = observer; }
  const Connection& ConnectionNow() const { return connection_; }
  // A batch runs (started, not yet ended).
  bool Running() const;
  // Nothing is under way: no batch, listing, search, watchdog or question.
  bool Idle() const;

  // The MIDI devices by index, for a choice of pair.
  MidiDeviceLists MidiDevices();
  const std::vector<CardFileRef>& CardFiles() const;
  // Every message in and out (--trace); empty: none.
  void SetTrace(std::function<void(bool out, const std::uint8_t* data, std::size_t length)> trace);

  // ---- The window's link menu and port dialog ----
  // The window steps through MIDI pairs and remembers its choice in its
  // settings file; these are its commands, in its terms.

  // What the link settings are now: the medium chosen (0 none), the COM
  // port asked for and the one connected, the MIDI pair.
  struct LinkSettings {
    int medium = 0;
    int comPort = 0;
    int connectedComPort = 0;
    int midiIn = -1, midiOut = -1;
  };
  LinkSettings Settings() const;
  void SetMedium(int medium);
  void SetComPort(int port);
  void SetMidiPair(int in, int out);
  // "&Com port" and "&Midi" of the menu.
  void ChooseSerial();
  void ChooseMidi();
  // The port dialog's type follows the menu's mark.
  void AlignPortType();
  // One search on the COM port set, or one step of the MIDI search on the
  // pair set.
  void SearchSerial();
  void SearchMidiPair();
  // The port dialog opens: no search or watchdog runs under it.
  void PortSetupOpening();
  // Closes both links (the window closes).
  void CloseLinks();
  void CloseSerial();
  // The COM ports that are there; the device last tried, and how it went.
  std::vector<int> ProbeComPorts();
  std::string LastSerialDevice() const;
  SerialOpenResult LastSerialOpen() const;
  bool SerialOpen() const;
  // The progress dialog's Cancel: the file under way is dropped.
  void StopBatch();
  // A job lets go of the engine (Claim).
  void Release(BatchListener* job);

  // The parts, for the engine's own tests, benchmarks and tools.
  EngineParts& Parts() { return *parts_; }
  const EngineParts& Parts() const { return *parts_; }

private:
  std::unique_ptr<EngineParts> parts_;
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
  View* ViewNow() const { return view_ ? view_ : observer_; }

  EngineObserver* observer_ = nullptr;
  View* view_ = nullptr;
  Connection connection_;
  Connection told_;          // what the observer heard last
  bool idleTold_ = true;     // the engine was idle when last seen
  int depth_ = 0;            // steps inside steps (a box's event loop)
  bool linkTesting_ = false; // the MIDI link test of a search runs
};

} // namespace zr
