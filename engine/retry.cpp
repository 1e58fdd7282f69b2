// Asking the console for what the PC receives: each request, the marker
// that goes before it after anything unclean, and asking again when the
// retry time runs out; the request itself.
//
// The rule that makes it safe: the line delivers in order and the console
// answers each exchange, so once the reply to a marker sent after every
// other request has come, every answer to those has come or is lost. No
// data block is taken while the barrier stands; after it, the one request
// that goes out has the line to itself.
#include <algorithm>
#include <utility>

#include "files/datatypes.h"
#include "engine/session.h"

namespace zr {

namespace {
// The least a retry waits: a serial line answers within a few ms, a MIDI
// interface queues more.
constexpr int SERIAL_RETRY_FLOOR_MS = 100;
constexpr int MIDI_RETRY_FLOOR_MS = 300;
// A directory reply as long as the shortest listing: the header and a few names.
constexpr std::size_t MARKER_REPLY_BYTES = 64;
} // namespace

bool Session::AskBlock(Ask how)
{
  Filer& rx = RxTransfer;
  // The watchdog starts with a request after an answer (or the first); one
  // asked again while no answer came runs on under the same watchdog.
  const bool watch = how == Ask::Fresh || !timers.UploadTimer.IsActive();
  if (how == Ask::BehindMarker || resync_.Standing()) {
    if (!resync_.Standing())
      resync_.Raise();
    if (!SendMarker())
      return false;
    if (watch)
      ArmWatchdog(rx.DataType);
    return true;
  }
  if (!rx.RequestCurrentBlock())
    return false;
  resync_.Sent();
  if (watch)
    ArmWatchdog(rx.DataType);
  Asking(Asked::Block, rx.Medium, rx.DataType);
  askedAgain_ = how == Ask::Again;
  return true;
}

bool Session::SendMarker()
{
  Filer& rx = RxTransfer;
  Link* l = LinkFor(rx.Medium);
  const int type = resync_.MarkerType();
  if (!l || !l->RequestDirectory(type))
    return rx.RequestNotSent(l);
  resync_.DirectorySent(type, true);
  Asking(Asked::Marker, rx.Medium, rx.DataType);
  return true;
}

void Session::Asking(Asked what, int medium, int type)
{
  asked_ = what;
  askedType_ = type;
  askedMedium_ = medium;
  askedAt_ = Now();
  askedAgain_ = false;
  const bool midi = medium == MEDIUM_MIDI;
  RoundTrip& trip = what == Asked::Block && RxTransfer.BlockNr > 0 ? nextTrip_ : firstTrip_;
  const std::size_t answer = what == Asked::Marker || what == Asked::Directory ? MARKER_REPLY_BYTES
                                                                               : MAX_DATA_BLOCK_MESSAGE;
  const int cap = IsDataType(type) ? UploadIntervalFor(type) : UPLOAD_INTERVAL_MS;
  timers.RetryTimer.SetInterval(
      trip.RetryMs(WireMs(medium, answer), midi ? MIDI_RETRY_FLOOR_MS : SERIAL_RETRY_FLOOR_MS, cap));
  timers.RetryTimer.Start();
}

void Session::BarrierDown()
{
  resync_.Lower();
  unclean_ = false;
  timers.RetryTimer.Stop();
  asked_ = Asked::Nothing;
  firstTrip_.Answered();
  Filer& rx = RxTransfer;
  if (!rx.Expecting)
    return;
  // Every earlier answer is in: the answer to this one is unambiguous, so
  // it gives a sample.
  if (!AskBlock(Ask::Again))
    EndReceivedFile(FileOutcome::Failed);
  else
    askedAgain_ = false;
}

void Session::RetryTimerRanOut()
{
  timers.RetryTimer.Stop();
  Filer& rx = RxTransfer;
  // An answer coming in as the time runs out is not lost (a message the
  // console sent unasked may have held up the line): wait for its end.
  if (Link* l = LinkFor(askedMedium_); asked_ != Asked::Nothing && l && l->Receiving()) {
    timers.RetryTimer.SetInterval(WireMs(askedMedium_, MAX_DATA_BLOCK_MESSAGE));
    timers.RetryTimer.Start();
    return;
  }
  const Asked what = std::exchange(asked_, Asked::Nothing);
  switch (what) {
  case Asked::Nothing:
    return;
  case Asked::Block:
    if (!rx.Expecting)
      return;
    // The first answer may still come after the second: whatever follows
    // this file is asked for behind a marker. Block 0 is asked for behind
    // one at once, since another file's block 0 may look like its answer.
    unclean_ = true;
    (rx.BlockNr == 0 ? firstTrip_ : nextTrip_).Backoff();
    if (!AskBlock(rx.BlockNr == 0 ? Ask::BehindMarker : Ask::Again))
      EndReceivedFile(FileOutcome::Failed);
    return;
  case Asked::Marker:
    if (!rx.Expecting || !resync_.Standing())
      return;
    firstTrip_.Backoff();
    if (!SendMarker())
      EndReceivedFile(FileOutcome::Failed);
    return;
  case Asked::Directory:
    if (!steps().AwaitsDirectory(askedType_))
      return;
    firstTrip_.Backoff();
    if (Link* l = LinkFor(askedMedium_); l && l->RequestDirectory(askedType_)) {
      resync_.DirectorySent(askedType_);
      const int type = askedType_;
      Asking(Asked::Directory, askedMedium_, type);
      askedAgain_ = true;
    }
    return;
  case Asked::Offer:
    OfferAgain();
    return;
  case Asked::LinkTest:
    if (!rx.Expecting || rx.DataType != SYS_EX_TEST_TYPE)
      return;
    firstTrip_.Backoff();
    if (Midi && Midi->RequestBlock(SYS_EX_TEST_TYPE, 0)) {
      resync_.Sent();
      Asking(Asked::LinkTest, MEDIUM_MIDI, SYS_EX_TEST_TYPE);
      askedAgain_ = true;
    }
    return;
  }
}

void Session::LineHeldUp()
{
  // What came first held up the line: the answer, in order, is behind it.
  if (asked_ != Asked::Nothing && timers.RetryTimer.IsActive())
    timers.RetryTimer.Start();
}

void Session::AwaitRequest(int medium, std::size_t sentBytes)
{
  asked_ = Asked::Offer;
  askedMedium_ = medium;
  askedType_ = TxTransfer.DataType;
  askedAt_ = Now();
  askedAgain_ = false;
  // The console reads what was sent before it asks on.
  const int wire = WireMs(medium, sentBytes);
  const int floor = medium == MEDIUM_MIDI ? MIDI_RETRY_FLOOR_MS : SERIAL_RETRY_FLOOR_MS;
  timers.RetryTimer.SetInterval(sendTrip_.RetryMs(wire, floor, timers.DownloadTimer.Interval()));
  timers.RetryTimer.Start();
  askedWire_ = wire;
}

void Session::RequestCame()
{
  if (asked_ != Asked::Offer)
    return;
  timers.RetryTimer.Stop();
  if (!askedAgain_)
    sendTrip_.Sample(static_cast<double>(Now() - askedAt_ - askedWire_));
  else
    sendTrip_.Answered();
  asked_ = Asked::Nothing;
}

void Session::OfferAgain()
{
  // The console asked for nothing in time: its request was lost, or it
  // never had the block. Offered again, the file starts afresh on the
  // console (a new name drops what it had of it), and block 0 goes out
  // only on the go-ahead of this offer: whatever the console asks for
  // meanwhile of the old offer gets a block other than 0, which it ignores.
  Filer& tx = TxTransfer;
  if (!tx.Offered || tx.EndOfFileDone || batch.SendFinished || batch.InternalMode || !tx.ToCard())
    return;
  Link* l = LinkFor(askedMedium_);
  if (!l || !l->SendFileName(tx.DataType, tx.CardName, false))
    return;
  tx.GoAhead = false;
  sendTrip_.Backoff();
  AwaitRequest(askedMedium_, tx.CardName.size() + 10);
  askedAgain_ = true;
}

void Session::StopAsking(bool listingToo)
{
  if (asked_ == Asked::Directory && !listingToo)
    return;
  asked_ = Asked::Nothing;
  timers.RetryTimer.Stop();
}

bool Filer::RequestCurrentBlock()
{
  Link* link = session_.LinkFor(Medium);
  // Block 0 of a card file is asked for again by its name: a request for
  // block 0 alone is how a backup of the console's memory begins.
  const bool sent = link && (BlockNr == 0 && !CardName.empty() ? link->SendFileName(DataType, CardName, true)
                                                                : link->RequestBlock(DataType, BlockNr));
  if (sent)
    return true;
  // Nothing went out, so nothing will come: the file is given up.
  return RequestNotSent(link);
}

} // namespace zr
