#include "link/comm.h"

#include <algorithm>

#include "link/com_ports.h"
#include "link/dispatch.h"
#include "link/link_context.h"

namespace zr {

namespace {
constexpr std::uint8_t LEADING_FILL = 0xFF;  // what some adapters send before a frame
} // namespace

const char* SerialOpenResultText(SerialOpenResult result)
{
  switch (result) {
  case SerialOpenResult::Ok:
    return "open";
  case SerialOpenResult::NotFound:
    return "no such device";
  case SerialOpenResult::PermissionDenied:
    return "permission denied";
  case SerialOpenResult::InUse:
    return "in use by another program";
  case SerialOpenResult::SetupFailed:
    return "line settings refused";
  case SerialOpenResult::OtherError:
    return "cannot be opened";
  }
  return "cannot be opened";
}

ComLink::ComLink(LinkContext& context, SerialDeviceFactory factory, ComPortPaths paths)
    : context_(context), factory_(std::move(factory)), paths_(std::move(paths))
{
}

ComLink::~ComLink()
{
  if (device_)
    device_->Close();
}

SerialOpenResult ComLink::OpenDevice(int port, std::unique_ptr<SerialDevice>& device, std::string& path)
{
  path = paths_ ? paths_(port) : std::string();
  if (path.empty())
    return SerialOpenResult::NotFound;
  device = factory_ ? factory_() : nullptr;
  if (!device)
    return SerialOpenResult::OtherError;
  const SerialOpenResult result = device->Open(path);
  if (result != SerialOpenResult::Ok) {
    // A device that opened but refused its settings would stay locked for
    // exclusive use until the program ends: let it go at once.
    device->Close();
    device.reset();
  }
  return result;
}

std::vector<int> ComLink::ProbeComPorts()
{
  context_.ShowStatus("Looking for COM ports ..");
  std::vector<int> present;
  for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) {
    if (comPortOpen_ && n == context_.link.ConnectedComPort) {
      // Our own exclusive open would make it look missing.
      present.push_back(n);
      continue;
    }
    std::unique_ptr<SerialDevice> probe;
    std::string path;
    if (OpenDevice(n, probe, path) == SerialOpenResult::Ok) {
      present.push_back(n);
      probe->Close();
    }
  }
  return present;
}

bool ComLink::OpenComPort()
{
  if (comPortOpen_ && (!device_ || !device_->IsOpen())) {
    // The device went away under us (a USB adapter pulled out): forget it,
    // so that this open finds it again once it is back.
    device_.reset();
    comPortOpen_ = false;
    context_.timers.CommTimer.Stop();
  }
  const int port = context_.link.ComPortNumber;
  if (port == 0 || comPortOpen_)
    return comPortOpen_;
  std::unique_ptr<SerialDevice> device;
  lastOpenResult_ = OpenDevice(port, device, lastOpenPath_);
  if (lastOpenResult_ == SerialOpenResult::Ok) {
    device_ = std::move(device);
    ComReadBuffer.fill(0);
    context_.timers.CommTimer.Start();
    comPortOpen_ = true;
    context_.link.ConnectedComPort = port;
  } else {
    comPortOpen_ = false;
  }
  return comPortOpen_;
}

void ComLink::CloseComPort()
{
  if (!comPortOpen_ || !device_)
    return;
  context_.ShowStatus("Closing COM port.");
  device_->Close();
  device_.reset();
  context_.timers.CommTimer.Stop();
  comPortOpen_ = false;
}

void ComLink::SearchComPort()
{
  if (!OpenComPort())
    return;
  context_.ShowStatus("Searching ZR4812.");
  ComWrite(BuildSearch());
  context_.timers.TimeoutTimer.Start();
  ComSearching = true;
}

void ComLink::ComWrite(const std::uint8_t* data, std::size_t length)
{
  if (device_ && device_->IsOpen()) {
    context_.TraceMessage(true, data, length);
    device_->Write(data, length);
  }
}

bool ComLink::ReadyToRequest()
{
  if (OpenComPort())
    return true;
  context_.ShowStatus("  No serial device");
  return false;
}

void ComLink::ArmUploadTimerFor(int type)
{
  context_.timers.UploadTimer.SetInterval(UploadIntervalFor(type));
}

void ComLink::RequestBlock(int type, unsigned block)
{
  if (!ReadyToRequest())
    return;
  ComWrite(BuildBlockRequest(type, block));
  if (type == SYS_EX_TEST_TYPE)
    context_.timers.DummyTimer.Start();
  else
    context_.timers.UploadTimer.Start();
  ArmUploadTimerFor(type);
}

void ComLink::RequestDirectory(int type)
{
  if (!ReadyToRequest())
    return;
  ComWrite(BuildDirectoryRequest(type));
  context_.timers.UploadTimer.Start();
}

void ComLink::SendFileName(int type, const std::string& name, bool request)
{
  if (!ReadyToRequest())
    return;
  ComWrite(BuildNameMessage(request ? SYS_EX_FILE_REQUEST : SYS_EX_FILE_NAME, type, name));
  ArmUploadTimerFor(type);
  context_.timers.UploadTimer.Start();
}

void ComLink::AnswerBlockRequest(int type, unsigned block)
{
  context_.SendRequestedBlock(*this, type, block);
}

bool ComLink::SendDataBlock(const std::uint8_t* message, std::size_t length)
{
  if (!device_ || !device_->IsOpen())
    return false;
  ComWrite(message, length);
  return true;
}

void ComLink::ComReadAndDispatch()
{
  if (reading_ || !device_ || !device_->IsOpen())
    return;
  std::size_t waiting = device_->BytesWaiting();
  if (waiting == 0)
    return;
  reading_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reading_};

  std::uint8_t* const buffer = ComReadBuffer.data();
  const std::size_t capacity = ComReadBuffer.size();
  std::size_t n = device_->Read(buffer, std::min(waiting, capacity));

  // Wait for the rest of the frame: it ends with F7, or the buffer is full.
  int emptyPolls = 0;
  while ((n == 0 || buffer[n - 1] != SYS_EX_END) && n < capacity) {
    device_->Pause(COM_POLL_PAUSE_MS);
    if (!device_ || !device_->IsOpen())
      return;
    waiting = device_->BytesWaiting();
    const std::size_t got = waiting ? device_->Read(buffer + n, std::min(waiting, capacity - n)) : 0;
    if (got == 0) {
      if (++emptyPolls >= COM_MAX_EMPTY_POLLS)
        return; // the rest never came: drop what was read, without a word
      continue;
    }
    n += got;
    emptyPolls = 0;
  }

  std::size_t start = 0;
  while (start < n && buffer[start] == LEADING_FILL)
    ++start;
  if (start == n || buffer[start] != SYS_EX_START || buffer[n - 1] != SYS_EX_END) {
    context_.ShowErrorBox("Read comm error: no block bounds.");
    return;
  }
  const std::uint8_t* frame = buffer + start;
  const std::size_t length = n - start;
  context_.TraceMessage(false, frame, length);
  if (!HasManufacturerId(frame, length))
    return;
  DispatchComFrame(context_, *this, frame, length);
}

} // namespace zr
