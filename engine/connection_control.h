// Connection control: the search for the console, the menu commands that
// choose the link, and the watchdog timers' handlers. Kept out of the window
// so that every step can be driven by a manual clock in a test.
#pragma once

#include "link/screen_text.h"
#include "engine/events.h"

namespace zr {

class Session;

// What the search needs of the two links. The program adapts the serial and
// MIDI links to it; tests use a fake.
class SearchLinks {
public:
  virtual ~SearchLinks() = default;
  virtual void CloseComPort() = 0;
  virtual void CloseMidiPort() = 0;
  // Opens COM `ComPortNumber` and sends the search; starts TimeoutTimer
  // with the interval it has. Only a program with a serial search calls it.
  virtual void SearchComPort() {}
  // Counts the devices, takes pair 0, 0 and runs one search step.
  virtual bool StartMidiSearch() = 0;
  // One search step on the current pair (MidiInDevice, MidiOutDevice).
  virtual bool SearchMidiPort() = 0;
  virtual bool MidiSearching() const = 0;
  virtual void SetMidiSearching(bool searching) = 0;
  // Device counts stored by the last StartMidiSearch; 0 before it ever ran.
  virtual int MidiInCount() const = 0;
  virtual int MidiOutCount() const = 0;
};

// What the search needs of the window: the "&Com port"/"&Midi" radio group,
// the port setup dialog's port type, the dialog itself, and the progress
// dialog's Cancel.
class ConnectionWindow {
public:
  virtual ~ConnectionWindow() = default;
  virtual bool ComportChecked() const = 0;
  virtual bool MidiChecked() const = 0;
  // Moves the check mark only.
  virtual void CheckComport() = 0;
  virtual void CheckMidi() = 0;
  // 0 "Com port", 1 "Midi".
  virtual int PortType() const = 0;
  virtual void SetPortType(int portType) = 0;
  // Shows the port setup dialog modally.
  virtual void PortSetupClick() = 0;
  // Cancels the transfer under way exactly as the progress dialog's Cancel.
  virtual void CancelTransfer() = 0;
};

constexpr int PORT_TYPE_COM = 0;
constexpr int PORT_TYPE_MIDI = 1;
// A serial search waits this long for the console's answer, whatever a MIDI
// search step left in TimeoutTimer.
constexpr int SERIAL_SEARCH_MS = 1500;

class ConnectionControl {
public:
  ConnectionControl(Session& session, SearchLinks& links, ConnectionWindow& window);
  ConnectionControl(const ConnectionControl&) = delete;
  ConnectionControl& operator=(const ConnectionControl&) = delete;

  // One-shot: the first failed search of a run searches again instead of
  // giving up. Nothing sets it again.
  bool SearchRetryPending = true;

  // The console answered the search (the engine tells it as the answer
  // comes). A box of a failed search that is open then does not report
  // the connection lost.
  void SearchAnswered() { answered_ = true; }

  void SearchOverdue();
  void AnswerOverdue();
  void SendOverdue();
  void LinkTestOverdue();

  void Search();
  void ComportClick();
  void MidiClick();

  // The serial search on COM `ComPortNumber`, given its own time-out.
  void SearchComPort();
  // Gives the port setup dialog the port type that the menu's mark names,
  // so that the two agree from the start (the search steps through MIDI
  // pairs only when both say "Midi").
  void AlignPortType();
  // The port setup dialog is opening: it closes the serial link, so no
  // search may time out and no watchdog may fire behind it.
  void PortSetupOpening();

private:
  // The error box with Abort and Retry; `reply` hears true for Retry.
  void AskAbortRetry(TextId text, const Reply<bool>& reply);
  void ReportCheckConnection();
  // UploadTimer's and DownloadTimer's box; Abort cancels the transfer too
  // when `abortCancels`.
  void TransferWatchdog(TextId text, bool abortCancels);
  Session& session_;
  SearchLinks& links_;
  ConnectionWindow& window_;
  bool answered_ = false; // since the last search step went out
};

} // namespace zr
