// What a link needs of the layer above it: the program-wide link settings,
// the timers that guard each request, the status line and error boxes, and
// one call per kind of message the console sends. The transfer engine's
// Session provides it; the links and the dispatch see nothing else of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/screen_text.h"
#include "link/timer.h"

namespace zr {

class Link;

// The values of CommMedium, and where a transfer record's next step reads
// or writes (0: the PC file).
enum Medium : std::int32_t { MEDIUM_PC_FILE = 0, MEDIUM_COM = 1, MEDIUM_COM_ALT = 2, MEDIUM_MIDI = 3 };

// The link settings of a run (loaded from and saved to the settings file).
struct LinkState {
  int CommMedium = 0;        // 0 none, 1 serial (2 routed like 1), 3 MIDI: a Medium
  int ComPortNumber = 0;     // 1 to 16, 0 none
  int ConnectedComPort = 0;  // port of the last successful open
  int MidiInDevice = -1;
  int MidiOutDevice = -1;
  int MidiTestRetries = 0;
};

// A data block as it arrived: the header's fields and the payload, which is
// followed by the block's checksum byte.
struct InboundBlock {
  int medium = 0; // MEDIUM_COM or MEDIUM_MIDI
  int type = 0;
  unsigned total = 0;
  unsigned block = 0;
  const std::uint8_t* payload = nullptr;
  std::size_t count = 0;
};

// What went wrong on a link, reported up for the engine to show: the link
// itself opens no box.
enum class LinkFault {
  FrameBounds, // bytes that are no message ("Read comm error: no block bounds.")
  LoopMode,    // our own search came back ("COM port in loop mode ?!?!")
  MidiDevice,  // a MIDI device that could not be opened (the text says why)
};

// One call per message the console sends that the engine acts on. The
// dispatch has checked the header and the fields' presence, and has stopped
// the watchdog that the message answers.
class InboundHandler {
public:
  virtual ~InboundHandler() = default;
  // `via` is the link a message came in on, or null where the engine finds
  // it by `medium` (1 serial, 3 MIDI).
  // The console answered a search.
  virtual void OnIdentify(Link* via, int medium, bool ourConsole) = 0;
  virtual void OnDataBlock(const InboundBlock& block) = 0;
  // A directory reply for one of the nine types, names trimmed.
  virtual void OnDirectoryReply(int medium, int type, const std::vector<std::string>& names) = 0;
  // The console asks for block `block` of the file being sent.
  virtual void OnBlockRequest(Link* via, int medium, int type, unsigned block) = 0;
  // The console accepted a file name and asks for block 0 of it.
  virtual void OnFileRequest(Link* via, int medium, int type) = 0;
  // ComAnswerBlockRequest / MidiAnswerBlockRequest end here: block `block`
  // of the file being sent goes out over `via`.
  virtual void SendRequestedBlock(Link& via, int type, unsigned block) = 0;
  // A fault on a link, with what the user is to see.
  virtual void OnLinkFault(LinkFault fault, const ScreenText& text) = 0;
};

class LinkContext : public InboundHandler {
public:
  explicit LinkContext(Timers& t) : timers(t) {}
  LinkContext(const LinkContext&) = delete;
  LinkContext& operator=(const LinkContext&) = delete;

  Timers& timers;
  LinkState link;
  // Sees every message in and out on either link, whole, as it goes on or
  // comes off the wire (--trace); empty when nobody listens.
  std::function<void(bool out, const std::uint8_t* data, std::size_t length)> Trace;
  void TraceMessage(bool out, const std::uint8_t* data, std::size_t length)
  {
    if (Trace)
      Trace(out, data, length);
  }

  // Panel 0 of the status line says `text`.
  virtual void ShowStatus(const ScreenText& text) = 0;
};

} // namespace zr
