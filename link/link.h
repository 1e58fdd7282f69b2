// The four link operations that the transfer engine and the card list use,
// one implementation per medium (serial `comm`, MIDI `midi`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/screen_text.h"

namespace zr {

class Link {
public:
  virtual ~Link() = default;
  // ComRequestBlock / MidiRequestBlock. These three say whether the
  // message went out: when not, the link has said why on the status line
  // (CannotSend) and nothing will answer. The engine arms the watchdog
  // for the answer; a link arms none.
  virtual bool RequestBlock(int type, unsigned block) = 0;
  // ComRequestDirectory / MidiRequestDirectory
  virtual bool RequestDirectory(int type) = 0;
  // ComSendFileName / MidiSendFileName: 0x52 when request is set, else 0x12.
  virtual bool SendFileName(int type, const std::string& name, bool request) = 0;
  // "  No serial device" or "  No MIDI device".
  virtual TextId CannotSend() const = 0;
  std::string CannotSendText() const { return Render({CannotSend()}); }
  // ComAnswerBlockRequest / MidiAnswerBlockRequest: SendRequestedBlock of
  // TxTransfer over this link.
  virtual void AnswerBlockRequest(int type, unsigned block) = 0;

  // Used by the engine's SendRequestedBlock: makes the link ready to answer
  // (opens the port, starts MIDI input). False when it cannot be.
  virtual bool ReadyToAnswer() = 0;
  // The status line when ReadyToAnswer fails: "  No COM port" or "  No MIDI device".
  virtual TextId NotReady() const = 0;
  std::string NotReadyText() const { return Render({NotReady()}); }
  // Sends one complete data block message. False when the link could not
  // take it (nothing was sent).
  virtual bool SendDataBlock(const std::uint8_t* message, std::size_t length) = 0;
  // Part of a message has come and its end has not yet: an answer is on
  // its way in. (A MIDI interface hands over whole messages only.)
  virtual bool Receiving() const { return false; }
};

} // namespace zr
