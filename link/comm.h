// The serial link `comm`: the console over a COM port at 115200-8-N-1.
// Opens and probes ports, writes requests, and frames what the console
// sends (polled by CommTimer) for the inbound dispatch.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/serial_device.h"
#include "link/wire.h"

namespace zr {

class LinkContext;

// Size of `ComReadBuffer`: one data block message (1015 bytes) and room
// for a few leading 0xFF bytes.
constexpr std::size_t COM_READ_BUFFER_SIZE = 1024;
// Consecutive empty 10 ms polls after which a frame without its end byte is dropped.
constexpr int COM_MAX_EMPTY_POLLS = 1000;
constexpr int COM_POLL_PAUSE_MS = 10;

class ComLink : public Link {
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
  void RequestBlock(int type, unsigned block) override;
  void RequestDirectory(int type) override;
  void SendFileName(int type, const std::string& name, bool request) override;
  void AnswerBlockRequest(int type, unsigned block) override;
  void ComRequestBlock(int type, unsigned block) { RequestBlock(type, block); }
  void ComRequestDirectory(int type) { RequestDirectory(type); }
  void ComSendFileName(int type, const std::string& name, bool request) { SendFileName(type, name, request); }
  void ComAnswerBlockRequest(int type, unsigned block) { AnswerBlockRequest(type, block); }

  bool ReadyToAnswer() override { return OpenComPort(); }
  const char* NotReadyText() const override { return "  No COM port"; }
  bool SendDataBlock(const std::uint8_t* message, std::size_t length) override;

  // One poll (CommTimer): read a frame and hand it to the dispatch.
  void ComReadAndDispatch();

  bool ComPortOpen() const { return comPortOpen_; }
  // Set by the search, cleared by the console's identify reply.
  bool ComSearching = false;

  // Why the last OpenComPort failed (Ok after a success), and the device it tried.
  SerialOpenResult LastOpenResult() const { return lastOpenResult_; }
  const std::string& LastOpenPath() const { return lastOpenPath_; }

private:
  // Opens the device of port n into `device`; the result says why not.
  SerialOpenResult OpenDevice(int port, std::unique_ptr<SerialDevice>& device, std::string& path);
  // Every request starts here: false (and "  No serial device") when the port stays closed.
  bool ReadyToRequest();
  void ArmUploadTimerFor(int type);

  LinkContext& context_;
  SerialDeviceFactory factory_;
  ComPortPaths paths_;
  std::unique_ptr<SerialDevice> device_; // the port handle; null when invalid
  bool comPortOpen_ = false;
  bool reading_ = false; // a poll is running (a box inside it runs a nested event loop)
  SerialOpenResult lastOpenResult_ = SerialOpenResult::Ok;
  std::string lastOpenPath_;
  // `ComReadBuffer`. A fixed array instead of a buffer per open: a box shown
  // while a frame is handled may let the port close, and the frame must stay valid.
  std::array<std::uint8_t, COM_READ_BUFFER_SIZE> ComReadBuffer{};
};

// A short text for an open failure, for status lines and logs
// ("permission denied", "in use by another program" ...).
const char* SerialOpenResultText(SerialOpenResult result);

} // namespace zr
