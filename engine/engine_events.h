// What the engine tells a front end, as values: the state of the connection
// to the console, the card listing as it comes in, each file and the batch's
// end (engine/events.h), and that nothing is under way any more. A front
// end waits for these; it reads no link setting and polls nothing.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "link/serial_device.h"
#include "engine/events.h"
#include "engine/host.h"

namespace zr {

enum class ConnectionState { Closed, Searching, Connected, Failed };
const char* ConnectionStateName(ConnectionState state);

// Why a connection failed.
enum class ConnectFailure {
  None,
  NoDevice,         // no device stands behind the COM port
  PermissionDenied, // the device is there, but this user may not open it
  CannotOpen,       // the port or the MIDI pair did not open (`openResult` says why for a port)
  NoAnswer,         // the search went unanswered
  OtherDevice,      // something answered over MIDI, but not a ZR4812
  LinkTest,         // the console answered, but its MIDI link does not carry long messages
};

struct Connection {
  ConnectionState state = ConnectionState::Closed;
  int medium = 0;  // 1 serial, 3 MIDI (link/link_context.h); 0 none
  int comPort = 0; // "COM n"
  int midiIn = -1, midiOut = -1;
  ConnectFailure failure = ConnectFailure::None;
  SerialOpenResult openResult = SerialOpenResult::Ok;
  std::string device{}; // the serial device tried, when one was
  bool operator==(const Connection&) const = default;
};

// The engine's events. They come from inside the engine, once what caused
// them is dealt with: an observer that wants to start something on Idle
// should do so from its event loop rather than from the call itself. The
// questions of BatchListener are answered here too, for the intents the
// face starts without a listener of their own. What the engine shows (View:
// the status line, the progress dialog, the card list) comes as it happens,
// to the observer unless the front end gave the engine a view of its own.
class EngineObserver : public BatchListener, public View {
public:
  virtual void ConnectionChanged(const Connection& connection) { (void)connection; }
  // A directory reply of the card listing came in: `files` listed so far.
  virtual void CardListing(int type, std::size_t files) { (void)type, (void)files; }
  // The listing got to its last type.
  virtual void CardListed(const std::vector<CardFileRef>& files) { (void)files; }
  // Nothing is under way with the console any more: no batch, no listing,
  // no search, no watchdog, no pause.
  virtual void Idle() {}
};

} // namespace zr
