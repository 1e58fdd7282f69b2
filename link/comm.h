// The serial link `comm`: the console over a COM port at 115200-8-N-1.
// Opens and probes ports, writes requests, and frames what the console
// sends for the inbound dispatch as the bytes arrive (CommTimer polls too,
// in case a port fails to tell).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/dispatch.h"
#include "link/link.h"
#include "link/serial_device.h"
#include "link/wire.h"

namespace zr {

class LinkContext;

// The longest message taken from the console. A data block is 1015 bytes;
// a directory reply grows by 9 bytes a file.
constexpr std::size_t COM_MAX_MESSAGE = MAX_MESSAGE;
// Bytes taken from the port at a time.
constexpr std::size_t COM_READ_CHUNK = 4096;
// Silence after which a frame without its end byte is dropped.
constexpr int COM_FRAME_SILENCE_MS = 10000;

class ComLink : public Link, public SerialSide {
public:
  ComLink(LinkContext& context, SerialDeviceFactory factory, ComPortPaths paths);
  ~ComLink() override;
  ComLink(const ComLink&) = delete;
  ComLink& operator=(const ComLink&) = delete;

  // The port numbers (1 to 16) whose devices open, in ascending order.
  // Shows "Looking for COM ports .."; each device is closed again. Meant for
  // a closed link; the link's own open port counts as present.
  std::vector<int> ProbeComPorts();
  // Opens and sets up COM `ComPortNumber` unless already open; starts CommTimer.
  bool OpenComPort();
  void CloseComPort();
  // Opens the port and sends the search; silent when the port does not open.
  void SearchComPort();
  void ComWrite(const std::uint8_t* data, std::size_t length);
  void ComWrite(const Bytes& message) { ComWrite(message.data(), message.size()); }

  // The four link operations (ComRequestBlock, ComRequestDirectory,
  // ComSendFileName, ComAnswerBlockRequest).
  bool RequestBlock(int type, unsigned block) override;
  bool RequestDirectory(int type) override;
  bool SendFileName(int type, const std::string& name, bool request) override;
  TextId CannotSend() const override { return TextId::NoSerialDevice; }
  void AnswerBlockRequest(int type, unsigned block) override;
  void ComRequestBlock(int type, unsigned block) { RequestBlock(type, block); }
  void ComRequestDirectory(int type) { RequestDirectory(type); }
  void ComSendFileName(int type, const std::string& name, bool request) { SendFileName(type, name, request); }
  void ComAnswerBlockRequest(int type, unsigned block) { AnswerBlockRequest(type, block); }

  bool ReadyToAnswer() override { return OpenComPort(); }
  TextId NotReady() const override { return TextId::NoComPort; }
  bool SendDataBlock(const std::uint8_t* message, std::size_t length) override;

  // One tick of CommTimer: takes in what the port holds, as the port's own
  // notice of arriving bytes does, and drops a frame whose rest has not
  // come for COM_FRAME_SILENCE_MS. Never waits.
  void ComReadAndDispatch();
  // Bytes of a frame still waiting for its end byte.
  std::size_t PartialFrameLength() const { return frame_.size(); }
  bool Receiving() const override { return !frame_.empty(); }

  bool ComPortOpen() const { return comPortOpen_; }
  // Set by the search, cleared by the console's identify reply.
  bool ComSearching = false;

  // SerialSide: what the dispatch answers through.
  Link& AsLink() override { return *this; }
  bool Searching() const override { return ComSearching; }
  void StopSearching() override { ComSearching = false; }
  void WriteMessage(const std::uint8_t* data, std::size_t length) override { ComWrite(data, length); }

  // Why the last OpenComPort failed (Ok after a success), and the device it tried.
  SerialOpenResult LastOpenResult() const { return lastOpenResult_; }
  const std::string& LastOpenPath() const { return lastOpenPath_; }

private:
  // Opens the device of port n into `device`; the result says why not.
  SerialOpenResult OpenDevice(int port, std::unique_ptr<SerialDevice>& device, std::string& path);
  // Every request starts here: false (and "  No serial device") when the port stays closed.
  bool ReadyToRequest();
  // Reads everything waiting and dispatches each frame completed; true when
  // bytes came. Does nothing while a frame is being dispatched (a box it
  // shows runs a nested event loop): that call reads on afterwards.
  bool ReadAndDispatch();
  // Adds bytes to the frame being assembled; each end byte completes one.
  void Assemble(const std::uint8_t* bytes, std::size_t length);
  void DispatchFrame(const Bytes& frame);
  void ForgetPartialFrame();

  LinkContext& context_;
  SerialDeviceFactory factory_;
  ComPortPaths paths_;
  std::unique_ptr<SerialDevice> device_; // the port handle; null when invalid
  bool comPortOpen_ = false;
  bool reading_ = false; // a read is running (a box inside it runs a nested event loop)
  unsigned opens_ = 0;   // counts opens: a frame read before a close is not dispatched after it
  SerialOpenResult lastOpenResult_ = SerialOpenResult::Ok;
  std::string lastOpenPath_;
  // The frame being assembled, leading 0xFF bytes left out. A complete frame
  // moves out of it before it is dispatched, so that a box shown meanwhile
  // may let the port close without the frame going away.
  Bytes frame_;
  bool overlong_ = false; // a message longer than COM_MAX_MESSAGE: skip to its end byte
  int silentTicks_ = 0;   // CommTimer ticks without a byte while a frame is partial
};

} // namespace zr
