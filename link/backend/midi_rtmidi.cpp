#include "link/backend/midi_rtmidi.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include <RtMidi.h>

#include "link/backend/midi_apis.h"

namespace zr {

namespace detail {

// What RtMidi's thread and the event loop's thread share. Posted calls hold
// it too, so it outlives a system that is destroyed while its input is
// still queued.
struct MidiInbox : std::enable_shared_from_this<MidiInbox> {
  std::atomic<unsigned> generation{0}; // counts opens and closes of the input
  std::atomic<bool> accepting{false};  // input open and started
  std::atomic<int> pending{0};         // calls posted and not yet destroyed
  std::atomic<bool> alive{true};       // cleared before the system goes
  MidiPoster post;                     // set once, before RtMidi's thread starts
  // The event loop's thread only.
  MidiSystem::SysExReceiver receiver;
};

} // namespace detail

namespace {

// A flood of input must not fill the event loop's queue without end: like a
// driver that has run out of buffers, further messages are dropped until
// the application has caught up.
constexpr int MAX_PENDING_MESSAGES = 256;
// The link takes messages up to MIDI_MAX_MESSAGE bytes; of a longer one a
// byte more tells it that it is too long, the rest need not be copied.
constexpr std::size_t MAX_COPIED_BYTES = MIDI_MAX_MESSAGE + 1;
constexpr unsigned RTMIDI_QUEUE_SIZE = 100; // unused: input goes through the callback

constexpr const char *OUR_OUTPUT_PORT = "MIDI Out";
constexpr const char *OUR_INPUT_PORT = "MIDI In";

// On the event loop's thread: hands the bytes to the receiver, unless the
// system is gone or its input has been closed since they were posted.
void Deliver(const detail::MidiInbox &inbox, unsigned generation, const std::vector<std::uint8_t> &bytes)
{
  // Input posted before the device was closed (or reopened, perhaps on
  // another pair) is not handed on: the close took its buffers back.
  if (!inbox.alive.load() || !inbox.accepting.load() || inbox.generation.load() != generation)
    return;
  if (inbox.receiver)
    inbox.receiver(bytes.data(), bytes.size());
}

// Runs on RtMidi's thread (JACK's process thread): copy and post, nothing else.
void OnRtMidiInput(double /*timeStamp*/, std::vector<unsigned char> *message, void *userData)
{
  auto *inbox = static_cast<detail::MidiInbox *>(userData);
  if (!inbox || !message || message->empty() || !inbox->accepting.load() || !inbox->alive.load())
    return;
  // Only System Exclusive messages fill input buffers; short messages
  // (notes, controllers) never reach them.
  if ((*message)[0] != 0xF0)
    return;
  if (inbox->pending.load() >= MAX_PENDING_MESSAGES)
    return;
  const std::size_t n = std::min(message->size(), MAX_COPIED_BYTES);
  auto bytes = std::make_shared<std::vector<std::uint8_t>>(message->begin(),
                                                           message->begin() + static_cast<std::ptrdiff_t>(n));
  // Counted for as long as the call exists, whether it runs or a queue
  // that closed drops it.
  struct Pending {
    explicit Pending(std::shared_ptr<detail::MidiInbox> i) : inbox(std::move(i)) { ++inbox->pending; }
    ~Pending() { --inbox->pending; }
    std::shared_ptr<detail::MidiInbox> inbox;
  };
  auto pending = std::make_shared<Pending>(inbox->shared_from_this());
  inbox->post([pending, generation = inbox->generation.load(), bytes] {
    Deliver(*pending->inbox, generation, *bytes);
  });
}

void OnRtMidiError(RtMidiError::Type type, const std::string &text, void *userData)
{
  static_cast<RtMidiSystem *>(userData)->OnError(static_cast<int>(type), text);
}

} // namespace

// --- The devices ---------------------------------------------------------------

RtMidiSystem::RtMidiSystem(std::string clientName, MidiPoster post)
    : clientName_(std::move(clientName)), inbox_(std::make_shared<detail::MidiInbox>())
{
  inbox_->post = std::move(post);
  for (const RtMidi::Api api : PREFERRED_MIDI_APIS) {
    try {
      auto in = std::make_unique<RtMidiIn>(api, clientName_, RTMIDI_QUEUE_SIZE);
      auto out = std::make_unique<RtMidiOut>(api, clientName_);
      // With an error callback RtMidi reports instead of throwing; a JACK
      // server that is not running then only means no ports.
      in->setErrorCallback(&OnRtMidiError, this);
      out->setErrorCallback(&OnRtMidiError, this);
      // RtMidi ignores System Exclusive input unless told otherwise.
      in->ignoreTypes(false, true, true);
      in->setCallback(&OnRtMidiInput, inbox_.get());
      in_ = std::move(in);
      out_ = std::move(out);
      break;
    } catch (const RtMidiError &e) {
      lastError_ = e.getMessage();
    }
  }
}

RtMidiSystem::~RtMidiSystem()
{
  inbox_->alive = false;
  inbox_->accepting = false;
  inbox_->receiver = nullptr;
  // Closing and destroying RtMidi's objects stops its thread before the
  // callback's user data could go away.
  (void)CloseInput();
  (void)CloseOutput();
  in_.reset();
  out_.reset();
}

std::string RtMidiSystem::ApiName() const
{
  if (!in_)
    return {};
  return RtMidi::getApiName(in_->getCurrentApi());
}

void RtMidiSystem::OnError(int type, const std::string &text)
{
  lastErrorType_ = type;
  lastError_ = text;
}

bool RtMidiSystem::IsOwnPort(const std::string &name) const
{
  // Port names start with the client's name; a second client of the same
  // name gets "-01" and so on appended by JACK.
  const std::string client = name.substr(0, name.find(':'));
  if (client == clientName_)
    return true;
  if (client.size() <= clientName_.size() + 1 || client.compare(0, clientName_.size(), clientName_) != 0 ||
      client[clientName_.size()] != '-')
    return false;
  return std::all_of(client.begin() + static_cast<std::ptrdiff_t>(clientName_.size() + 1), client.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; });
}

std::vector<RtMidiSystem::Port> RtMidiSystem::Ports(RtMidi *side) const
{
  std::vector<Port> ports;
  if (!side)
    return ports;
  const unsigned n = side->getPortCount();
  for (unsigned i = 0; i < n; ++i) {
    std::string name = side->getPortName(i);
    if (!IsOwnPort(name))
      ports.push_back({i, std::move(name)});
  }
  return ports;
}

std::vector<RtMidiSystem::Port> RtMidiSystem::Inputs()
{
  return Ports(in_.get());
}

std::vector<RtMidiSystem::Port> RtMidiSystem::Outputs()
{
  return Ports(out_.get());
}

int RtMidiSystem::InputCount()
{
  return static_cast<int>(Inputs().size());
}
int RtMidiSystem::OutputCount()
{
  return static_cast<int>(Outputs().size());
}

namespace {
// `ports`: a list of RtMidiSystem's ports, whose name an empty one lacks.
template <class Ports> std::optional<std::string> NameAt(const Ports &ports, int index)
{
  if (index < 0 || index >= static_cast<int>(ports.size()) ||
      ports[static_cast<std::size_t>(index)].name.empty())
    return std::nullopt;
  return ports[static_cast<std::size_t>(index)].name;
}
} // namespace

std::optional<std::string> RtMidiSystem::InputName(int index)
{
  return NameAt(Inputs(), index);
}

std::optional<std::string> RtMidiSystem::OutputName(int index)
{
  return NameAt(Outputs(), index);
}

MidiResult RtMidiSystem::OpenResult(int errorType) const
{
  switch (errorType) {
  case RtMidiError::NO_DEVICES_FOUND:
    return MIDI_NO_DEVICE;
  case RtMidiError::INVALID_DEVICE:
    return MIDI_BAD_DEVICE_ID;
  case RtMidiError::MEMORY_ERROR:
    return MIDI_NO_MEMORY;
  case RtMidiError::INVALID_PARAMETER:
  case RtMidiError::INVALID_USE:
    return MIDI_INVALID_PARAM;
  default:
    return MIDI_ALLOCATED; // the device is there but would not open for us
  }
}

MidiResult RtMidiSystem::OpenPort(RtMidi &side, const std::vector<Port> &ports, int index,
                                  const char *ourPortName)
{
  if (index < 0 || index >= static_cast<int>(ports.size()))
    return MIDI_BAD_DEVICE_ID;
  lastErrorType_ = -1;
  side.openPort(ports[static_cast<std::size_t>(index)].rtIndex, ourPortName);
  // RtMidi may leave a half-made port behind after reporting an error.
  if (lastErrorType_ != -1 || !side.isPortOpen()) {
    const MidiResult result = OpenResult(lastErrorType_);
    side.closePort();
    return result;
  }
  return MIDI_OK;
}

MidiResult RtMidiSystem::OpenOutput(int index)
{
  if (!out_)
    return MIDI_NO_DEVICE;
  (void)CloseOutput();
  const std::vector<Port> ports = Outputs();
  // Index -1 asks for the default output, the first one there is.
  if (index == -1) {
    if (ports.empty())
      return MIDI_NO_DEVICE;
    index = 0;
  }
  const MidiResult result = OpenPort(*out_, ports, index, OUR_OUTPUT_PORT);
  outputOpen_ = result == MIDI_OK;
  return result;
}

MidiResult RtMidiSystem::OpenInput(int index)
{
  if (!in_)
    return MIDI_NO_DEVICE;
  (void)CloseInput();
  const MidiResult result = OpenPort(*in_, Inputs(), index, OUR_INPUT_PORT);
  if (result != MIDI_OK)
    return result;
  ++inbox_->generation;
  inputOpen_ = true;
  return MIDI_OK;
}

MidiResult RtMidiSystem::StartInput()
{
  if (!inputOpen_)
    return MIDI_INVALID_HANDLE;
  inbox_->accepting = true;
  return MIDI_OK;
}

MidiResult RtMidiSystem::CloseOutput()
{
  if (outputOpen_ && out_)
    out_->closePort();
  outputOpen_ = false;
  return MIDI_OK;
}

MidiResult RtMidiSystem::CloseInput()
{
  inbox_->accepting = false;
  ++inbox_->generation;
  if (inputOpen_ && in_)
    in_->closePort();
  inputOpen_ = false;
  return MIDI_OK;
}

void RtMidiSystem::SendSysEx(const std::uint8_t *data, std::size_t length)
{
  // RtMidi has taken the bytes when sendMessage returns (JACK copies them
  // into its ring buffer, ALSA encodes them at once, Windows waits until
  // the driver is done with its header), so the caller's buffer is free.
  if (!outputOpen_ || !out_ || !data || length == 0)
    return;
  out_->sendMessage(data, length);
}

void RtMidiSystem::SetReceiver(SysExReceiver receiver)
{
  inbox_->receiver = std::move(receiver);
}


} // namespace zr
