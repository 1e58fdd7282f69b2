#include "sim/midi_transport.h"

#include <algorithm>
#include <thread>

#include <RtMidi.h>

#include "link/backend/midi_apis.h"

namespace zr::sim {

namespace {

constexpr int BITS_PER_BYTE = 10;         // start bit, 8 data bits, stop bit
constexpr std::size_t MAX_WAITING = 1024; // messages not yet answered; a flood beyond is dropped
constexpr auto POLL = std::chrono::milliseconds(100); // how often a quiet line looks at the stop flag

void OnInput(double /*timeStamp*/, std::vector<unsigned char> *message, void *userData)
{
  if (message)
    static_cast<MidiTransport *>(userData)->OnMessage(*message);
}

void OnRtMidiError(RtMidiError::Type type, const std::string &text, void *userData)
{
  static_cast<MidiTransport *>(userData)->OnError(static_cast<int>(type), text);
}

} // namespace

MidiTransport::MidiTransport(int baud, std::string name)
    : baud_(baud), name_(name.empty() ? DEFAULT_NAME : std::move(name))
{
}

MidiTransport::~MidiTransport()
{
  // The input goes first: its callback must not run into a half-gone object.
  in_.reset();
  out_.reset();
}

void MidiTransport::OnError(int type, const std::string &text)
{
  std::lock_guard lock(mutex_);
  lastError_ = text;
  if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
    failed_ = true;
}

void MidiTransport::OnMessage(const std::vector<unsigned char> &message)
{
  // RtMidi's thread: keep the bytes and wake the console, nothing more.
  if (message.empty() || message[0] != SYS_EX_START)
    return;
  const std::size_t n = std::min(message.size(), MAX_MESSAGE);
  std::lock_guard lock(mutex_);
  if (inbox_.size() >= MAX_WAITING) {
    ++dropped_;
    return;
  }
  inbox_.push_back({Bytes(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(n)), Clock::now()});
  arrived_.notify_one();
}

bool MidiTransport::Open(std::string &error)
{
  std::string reasons;
  // The same choice of MIDI system as the PC's back-end, so that both meet.
  for (const RtMidi::Api api : PREFERRED_MIDI_APIS) {
    try {
      {
        std::lock_guard lock(mutex_);
        failed_ = false;
        lastError_.clear();
      }
      auto in = std::make_unique<RtMidiIn>(api, name_);
      auto out = std::make_unique<RtMidiOut>(api, name_);
      in->setErrorCallback(&OnRtMidiError, this);
      out->setErrorCallback(&OnRtMidiError, this);
      in->ignoreTypes(false, true, true); // System Exclusive in, timing and sensing out
      in->setCallback(&OnInput, this);
      in->openVirtualPort(name_);
      out->openVirtualPort(name_);
      std::lock_guard lock(mutex_);
      if (!failed_) {
        in_ = std::move(in);
        out_ = std::move(out);
        return true;
      }
      reasons += "\n  " + RtMidi::getApiDisplayName(api) + ": " + lastError_;
    } catch (const RtMidiError &e) {
      reasons += "\n  " + RtMidi::getApiDisplayName(api) + ": " + e.getMessage();
    }
  }
  error = "cannot create the MIDI ports \"" + name_ + "\":" + reasons;
  return false;
}

MidiTransport::Clock::duration MidiTransport::WireTime(std::size_t bytes) const
{
  if (baud_ <= 0)
    return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(
      std::chrono::nanoseconds(1'000'000'000LL * BITS_PER_BYTE * static_cast<long long>(bytes) / baud_));
}

bool MidiTransport::SendPaced(const Bytes &message, const std::atomic<bool> &stop)
{
  if (baud_ > 0) {
    // A MIDI message is delivered whole, once its last byte is on the cable.
    outputFree_ = std::max(outputFree_, Clock::now()) + WireTime(message.size());
    std::this_thread::sleep_until(outputFree_);
  }
  if (stop)
    return false;
  out_->sendMessage(message.data(), message.size());
  return true;
}

int MidiTransport::Serve(ConsolePeer &peer, const std::atomic<bool> &stop)
{
  if (!in_ || !out_)
    return 1;
  while (!stop) {
    Inbound message;
    {
      std::unique_lock lock(mutex_);
      if (!arrived_.wait_for(lock, POLL, [this] { return !inbox_.empty(); }))
        continue;
      message = std::move(inbox_.front());
      inbox_.pop_front();
    }
    // The PC's message takes its time on the cable too: the console acts on
    // it (answers, stores a received file) only once all of it is in.
    if (baud_ > 0) {
      inputFree_ = std::max(inputFree_, message.at) + WireTime(message.bytes.size());
      std::this_thread::sleep_until(inputFree_);
    }
    // Each piece goes as a message of its own, also the two halves of a cut
    // one and messages meant for one write.
    for (const LineOutput &piece : peer.Respond(message.bytes.data(), message.bytes.size())) {
      if (piece.pauseBefore.count() > 0 && !QuietLine(piece.pauseBefore, stop))
        break;
      if (!piece.bytes.empty() && !SendPaced(piece.bytes, stop))
        break;
    }
  }
  return 0;
}

} // namespace zr::sim
