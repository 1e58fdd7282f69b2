#include "link/comm.h"

#include <algorithm>

#include "link/com_ports.h"
#include "link/dispatch.h"
#include "link/link_context.h"

namespace zr {

namespace {
constexpr std::uint8_t LEADING_FILL = 0xFF; // what some adapters send before a frame
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
  context_.ShowStatus({TextId::LookingForComPorts});
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
    ForgetPartialFrame();
    // What waited on the line while the port was closed answers nothing
    // the engine still awaits.
    std::uint8_t drop[256];
    while (device_->BytesWaiting() > 0 && device_->Read(drop, sizeof drop) > 0) {
    }
    ++opens_;
    device_->SetReadyReadHandler([this] { ReadAndDispatch(); });
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
  context_.ShowStatus({TextId::ClosingComPort});
  device_->SetReadyReadHandler(nullptr);
  device_->Close();
  device_.reset();
  ForgetPartialFrame();
  context_.timers.CommTimer.Stop();
  comPortOpen_ = false;
}

void ComLink::SearchComPort()
{
  if (!OpenComPort())
    return;
  context_.ShowStatus({TextId::SearchingConsole});
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
  context_.ShowStatus({CannotSend()});
  return false;
}

bool ComLink::RequestBlock(int type, unsigned block)
{
  if (!ReadyToRequest())
    return false;
  ComWrite(BuildBlockRequest(type, block));
  return true;
}

bool ComLink::RequestDirectory(int type)
{
  if (!ReadyToRequest())
    return false;
  ComWrite(BuildDirectoryRequest(type));
  return true;
}

bool ComLink::SendFileName(int type, const std::string& name, bool request)
{
  if (!ReadyToRequest())
    return false;
  ComWrite(BuildNameMessage(request ? SYS_EX_FILE_REQUEST : SYS_EX_FILE_NAME, type, name));
  return true;
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
  if (reading_)
    return; // a frame is being dispatched; the silence is not the console's
  const bool arrived = ReadAndDispatch();
  if (arrived || (frame_.empty() && !overlong_)) {
    silentTicks_ = 0;
    return;
  }
  // Counted in ticks: the first may come at once after the last byte.
  const int tick = std::max(1, context_.timers.CommTimer.Interval());
  if (++silentTicks_ > COM_FRAME_SILENCE_MS / tick)
    ForgetPartialFrame(); // the rest never came: dropped without a word
}

bool ComLink::ReadAndDispatch()
{
  if (reading_)
    return false;
  reading_ = true;
  struct Done {
    bool& flag;
    ~Done() { flag = false; }
  } done{reading_};

  bool arrived = false;
  std::array<std::uint8_t, COM_READ_CHUNK> chunk;
  while (device_ && device_->IsOpen()) {
    const std::size_t waiting = device_->BytesWaiting();
    if (waiting == 0)
      break;
    const std::size_t got = device_->Read(chunk.data(), std::min(waiting, chunk.size()));
    if (got == 0)
      break;
    arrived = true;
    silentTicks_ = 0;
    Assemble(chunk.data(), got);
  }
  return arrived;
}

void ComLink::Assemble(const std::uint8_t* bytes, std::size_t length)
{
  const unsigned opens = opens_;
  const std::uint8_t* p = bytes;
  const std::uint8_t* const end = bytes + length;
  while (p < end) {
    if (frame_.empty() && !overlong_) {
      while (p < end && *p == LEADING_FILL)
        ++p;
      if (p == end)
        break;
    }
    // No byte inside a message is F0: one always starts the next message,
    // and a message that lost its end byte is over there.
    const std::uint8_t* const from = frame_.empty() && !overlong_ && *p == SYS_EX_START ? p + 1 : p;
    const std::uint8_t* stop =
        std::find_if(from, end, [](std::uint8_t b) { return b == SYS_EX_END || b == SYS_EX_START; });
    if (stop != end && *stop == SYS_EX_START) {
      // (The rest of a message too long to take was reported already.)
      const bool unfinished = (!frame_.empty() || stop != p) && !overlong_;
      frame_.clear();
      overlong_ = false;
      p = stop;
      if (unfinished)
        context_.OnLinkFault(LinkFault::FrameBounds, {TextId::BadFrame});
    } else {
      const bool complete = stop != end;
      const std::uint8_t* const next = complete ? stop + 1 : end;
      if (overlong_) {
        // The rest of a message too long to take, up to its end byte.
        overlong_ = !complete;
        p = next;
        continue;
      }
      if (static_cast<std::size_t>(next - p) > COM_MAX_MESSAGE - frame_.size()) {
        // Longer than any message of the console: its start is lost.
        frame_.clear();
        overlong_ = !complete;
        p = next;
        context_.OnLinkFault(LinkFault::FrameBounds, {TextId::BadFrame});
      } else {
        frame_.insert(frame_.end(), p, next);
        p = next;
        if (!complete)
          break;
        Bytes frame;
        frame.swap(frame_);
        DispatchFrame(frame);
      }
    }
    // A box shown on the way runs an event loop, in which the port may have
    // been closed (and opened again): what is left here came before that.
    if (opens != opens_ || !device_)
      return;
  }
}

void ComLink::DispatchFrame(const Bytes& frame)
{
  context_.TraceMessage(false, frame.data(), frame.size());
  // Leading 0xFF bytes were left out and the end byte completed the frame.
  if (frame.front() != SYS_EX_START) {
    context_.OnLinkFault(LinkFault::FrameBounds, {TextId::BadFrame});
    return;
  }
  DispatchComFrame(context_, *this, frame.data(), frame.size());
}

void ComLink::ForgetPartialFrame()
{
  frame_.clear();
  frame_.shrink_to_fit();
  overlong_ = false;
  silentTicks_ = 0;
}

} // namespace zr
