#include "link/midi.h"

#include <algorithm>
#include <cstring>

#include "link/dispatch.h"
#include "link/link_context.h"
#include "link/wire.h"

namespace zr {
namespace {

constexpr int SEARCH_STEP_MS = 500; // time a console gets to answer on one pair
constexpr int SEARCH_SKIP_MS = 10;  // a pair that does not open is left at once

// The output open failures that get a box besides the status line.
struct OpenFailureText {
  int code;
  TextId text;
};
constexpr OpenFailureText OPEN_FAILURE_TEXTS[] = {
    {MIDI_NO_DEVICE, TextId::MidiOpenNoDevice},         {MIDI_ALLOCATED, TextId::MidiOpenAllocated},
    {MIDI_BAD_DEVICE_ID, TextId::MidiOpenBadDeviceId}, {MIDI_INVALID_PARAM, TextId::MidiOpenInvalidParam},
    {MIDI_NO_MEMORY, TextId::MidiOpenNoMemory},
};

TextId OpenFailureBoxText(int code)
{
  for (const auto &entry : OPEN_FAILURE_TEXTS)
    if (entry.code == code)
      return entry.text;
  return TextId::None;
}

} // namespace

MidiLink::MidiLink(LinkContext &context, MidiSystem &system) : context_(context), system_(system)
{
  system_.SetReceiver([this](const std::uint8_t *data, std::size_t length) { OnSysExMessage(data, length); });
}

MidiLink::~MidiLink()
{
  // Nothing may reach a link that is gone; the devices themselves belong to
  // the system object and are closed by it.
  system_.SetReceiver(nullptr);
}

MidiDeviceLists MidiLink::ListMidiDevices()
{
  MidiDeviceLists lists;
  const int inputs = system_.InputCount();
  const int outputs = system_.OutputCount();
  for (int i = 0; i < inputs; ++i)
    if (auto name = system_.InputName(i))
      lists.inputs.push_back(*name);
  for (int i = 0; i < outputs; ++i)
    if (auto name = system_.OutputName(i))
      lists.outputs.push_back(*name);
  lists.bothPresent = inputs > 0 && outputs > 0;
  return lists;
}

void MidiLink::CountMidiDevices()
{
  midiInCount_ = system_.InputCount();
  midiOutCount_ = system_.OutputCount();
}

bool MidiLink::StartMidiSearch()
{
  CountMidiDevices();
  context_.link.MidiInDevice = 0;
  context_.link.MidiOutDevice = 0;
  SearchMidiPort();
  return midiInCount_ > 0 && midiOutCount_ > 0;
}

bool MidiLink::SearchMidiPort()
{
  CloseMidiPort();
  Timer &timeout = context_.timers.TimeoutTimer;
  if (!OpenMidiPort()) {
    timeout.SetInterval(SEARCH_SKIP_MS);
    timeout.Start();
    return false;
  }
  context_.ShowStatus({TextId::SearchingMidiPort, context_.link.MidiInDevice + 1, context_.link.MidiOutDevice + 1});
  midiSearching_ = true;
  const Bytes search = BuildSearch();
  MidiSendSysEx(search.data(), search.size());
  timeout.SetInterval(SEARCH_STEP_MS);
  timeout.Start();
  return true;
}

bool MidiLink::OpenMidiPort()
{
  if (midiPortOpen_)
    return true;

  const MidiResult outResult = system_.OpenOutput(context_.link.MidiOutDevice);
  if (outResult != MIDI_OK) {
    context_.ShowStatus({TextId::NoMidiOut, outResult});
    if (const TextId text = OpenFailureBoxText(outResult); text != TextId::None)
      context_.OnLinkFault(LinkFault::MidiDevice, {text});
    midiPortOpen_ = false;
    return false;
  }

  const MidiResult inResult = system_.OpenInput(context_.link.MidiInDevice);
  if (inResult == MIDI_OK) {
    // As on the platform this was first written for, a failed start shows up
    // later, when a request finds no input running.
    (void)system_.StartInput();
    midiPortOpen_ = true;
  } else {
    context_.ShowStatus({TextId::NoMidiIn, context_.link.MidiInDevice, inResult});
    midiPortOpen_ = false;
  }

  if (midiPortOpen_)
    SetUpInBuffers();
  else
    (void)system_.CloseOutput();
  return midiPortOpen_;
}

void MidiLink::CloseMidiPort()
{
  if (!midiPortOpen_)
    return;
  const int r1 = system_.CloseOutput();
  const int r2 = system_.CloseInput();
  ReleaseInBuffers();
  if ((r1 | r2) != 0) {
    // The devices may still be held; the link keeps counting as open so that
    // the user sees the error rather than a silent reopen of a busy pair.
    context_.ShowStatus({TextId::CloseMidiError, r1 | r2});
    return;
  }
  midiPortOpen_ = false;
}

void MidiLink::MidiSendSysEx(const std::uint8_t *data, std::size_t length)
{
  // The back-end copies the bytes before it returns, so the caller's buffer
  // may go away at once.
  if (data && length > 0) {
    context_.TraceMessage(true, data, length);
    system_.SendSysEx(data, length);
  }
}

bool MidiLink::SendRequest(const Bytes &message)
{
  if (!OpenMidiPort()) {
    context_.ShowStatus({TextId::NoMidiDevice});
    return false;
  }
  MidiSendSysEx(message.data(), message.size());
  return true;
}

bool MidiLink::MidiRequestBlock(int type, unsigned block)
{
  return SendRequest(BuildBlockRequest(type, block));
}

bool MidiLink::MidiRequestDirectory(int type)
{
  return SendRequest(BuildDirectoryRequest(type));
}

bool MidiLink::MidiSendFileName(int type, const std::string &name, bool request)
{
  const std::uint8_t command = request ? SYS_EX_FILE_REQUEST : SYS_EX_FILE_NAME;
  return SendRequest(BuildNameMessage(command, type, name));
}

void MidiLink::MidiAnswerBlockRequest(int type, unsigned block)
{
  context_.SendRequestedBlock(*this, type, block);
}

bool MidiLink::ReadyToAnswer()
{
  return OpenMidiPort() && system_.StartInput() == MIDI_OK;
}

bool MidiLink::SendDataBlock(const std::uint8_t *message, std::size_t length)
{
  if (!midiPortOpen_ || !message || length == 0)
    return false;
  MidiSendSysEx(message, length);
  return true;
}

// --- Input buffers ------------------------------------------------------------

void MidiLink::SetUpInBuffers()
{
  buffersSetUp_ = true;
  queue_.clear();
  for (int i = 0; i < IN_BUFFER_COUNT; ++i) {
    MidiInBuffer &b = inBuffers_[static_cast<std::size_t>(i)];
    b.bytesRecorded = 0;
    b.hasData = true;
    b.queued = true;
    queue_.push_back(i);
  }
}

void MidiLink::ReleaseInBuffers()
{
  // The input device has been reset: every buffer is back with us and none
  // stays queued until the next open sets them up again.
  buffersSetUp_ = false;
  queue_.clear();
  for (MidiInBuffer &b : inBuffers_) {
    b.bytesRecorded = 0;
    b.queued = false;
  }
}

int MidiLink::IndexOf(const MidiInBuffer &buffer) const
{
  for (int i = 0; i < IN_BUFFER_COUNT; ++i)
    if (&inBuffers_[static_cast<std::size_t>(i)] == &buffer)
      return i;
  return -1;
}

void MidiLink::Requeue(MidiInBuffer &buffer)
{
  const int index = IndexOf(buffer);
  // A buffer that is not ours, already queued, or released by a close in
  // the meantime stays where it is; one without a data area cannot take input.
  if (index < 0 || buffer.queued || !buffer.hasData || !buffersSetUp_)
    return;
  // The device sets the count when it fills the buffer again.
  buffer.queued = true;
  queue_.push_back(index);
}

void MidiLink::OnSysExMessage(const std::uint8_t *data, std::size_t length)
{
  if (!data || length == 0)
    return;
  context_.TraceMessage(false, data, length);
  if (queue_.empty())
    return; // no buffer to take it: lost, as with a driver

  if (length <= MidiInBuffer::SIZE) {
    const int index = queue_.front();
    queue_.pop_front();
    MidiInBuffer &b = inBuffers_[static_cast<std::size_t>(index)];
    std::memcpy(b.data.data(), data, length);
    b.bytesRecorded = length;
    b.queued = false;
    HandleMidiSysExIn(context_, *this, b);
    return;
  }

  // A longer message fills the buffers one after another, each given back
  // as soon as its part is copied out, and goes to the dispatch whole.
  Bytes message;
  message.reserve(std::min(length, MIDI_MAX_MESSAGE));
  std::size_t offset = 0;
  while (offset < length && !queue_.empty()) {
    const int index = queue_.front();
    queue_.pop_front();
    MidiInBuffer &b = inBuffers_[static_cast<std::size_t>(index)];
    const std::size_t chunk = std::min(length - offset, MidiInBuffer::SIZE);
    std::memcpy(b.data.data(), data + offset, chunk);
    b.bytesRecorded = chunk;
    b.queued = false;
    if (offset + chunk <= MIDI_MAX_MESSAGE)
      message.insert(message.end(), b.data.begin(), b.data.begin() + static_cast<std::ptrdiff_t>(chunk));
    offset += chunk;
    Requeue(b);
  }
  // Longer than any message of the console: dropped, as a frame the serial
  // link cannot take is.
  if (offset < length || length > MIDI_MAX_MESSAGE)
    return;
  DispatchMidiMessage(context_, *this, message.data(), message.size());
}

} // namespace zr
