// The engine fuzz target's script: the files of the card, the console's
// memory and the PC, the intent an input starts with, and the events that
// follow it, decoded from the fuzz bytes one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "link/wire.h"
#include "transfer/datatypes.h"
#include "transfer/events.h"
#include "transfer/host.h"

namespace zr::fuzz {

// The faults the engine is known to have, skipped unless
// ZR_ENGINE_FUZZ_KNOWN names fewer (each has a reproducer in
// tests/unit/batch_faults_test.cpp, named after it). Mended, and checked
// again by default: nolink, stray, empty, block0retry, retry, oneblock.
// The inputs of tests/fuzz/findings (run before each fuzzing by
// scripts/test; ZR_ENGINE_FUZZ_TRACE=1 prints what they do) are of
// "oneblock" too (a doubled block 0 counted as an earlier answer, the count
// of answers due stopping at eight, a made-up damaged block 0 counted as an
// answer, a damaged block taken in place of the last good one so that a
// copy of that passed for new), and of "stray" (a batch begun under the
// last one's summary box met the card listing that had given way to the
// last one).
inline constexpr const char* ALL_KNOWN_FAULTS = "";

struct NamedFile {
  int type;
  std::string name;
  std::string extension;
  Bytes bytes;
};

inline Bytes Pattern(std::size_t n, unsigned seed)
{
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<std::uint8_t>((i * 131 + seed * 17 + (i >> 7)) & 0xFF);
  return b;
}

inline NamedFile File(int type, const char* name, std::size_t size, unsigned seed)
{
  return {type, name, DataTypeTable[type].extension, Pattern(size, seed)};
}

// One block, two blocks (the second of 8 bytes), three blocks.
inline const std::vector<NamedFile>& CardFiles()
{
  static const std::vector<NamedFile> files = {File(0, "SONGA", 10, 1), File(0, "SONGB", 869, 2),
                                               File(1, "SONGC", 2000, 3)};
  return files;
}

inline const std::vector<NamedFile>& InternalFiles()
{
  static const std::vector<NamedFile> files = {File(0, "internal", 10, 4), File(1, "internal", 1200, 5),
                                               File(2, "internal", 3, 6)};
  return files;
}

inline const std::vector<NamedFile>& PcFiles()
{
  static const std::vector<NamedFile> files = {File(1, "UPA", 10, 7), File(2, "UPB", 2000, 8),
                                               File(3, "UPC", 1, 9)};
  return files;
}

inline std::string BackupName(int type)
{
  return std::string("BACKUP.") + DataTypeTable[type].extension;
}

// What a PC file of this name may hold: the PC's own file untouched, a card
// file as the console sent it, or a backup of the console's memory.
inline std::optional<Bytes> ExpectedPcFile(const std::string& name)
{
  for (const auto* list : {&PcFiles(), &CardFiles()})
    for (const NamedFile& f : *list)
      if (name == f.name + "." + f.extension)
        return f.bytes;
  for (const NamedFile& f : InternalFiles())
    if (name == BackupName(f.type))
      return f.bytes;
  return std::nullopt;
}

struct Intent {
  BatchKind kind = BatchKind::Download;
  std::vector<CardFileRef> cardFiles;
  std::vector<PcFileRef> pcFiles;
  int type = 0;
  bool replace = false; // the card files are on the PC already: the replace question comes
};

// What an input did that a known fault needs, so that its check can be skipped.
// (A made-up, well-formed block of another file, or of another type, that
// comes just when that kind and block number are awaited cannot be told
// from the answer on the wire: the target excuses a wrong file of that kind
// then. So is an answer that comes later than the watchdog's interval: the
// engine has given it up as lost. A block the console sent before, sent
// again, is no such thing and must be caught.)
// Replayed: block 0s sent again, unasked, as often as the engine asks for a
// file again before it takes two files to be the same.
enum class Ingredient {
  LinkFailed,
  Stray,
  SecondIntent,
  UnderWatchdog,
  UnderQuestion,
  Damaged,
  Empty,
  Replayed
};

struct Event {
  enum class Kind { Answer, Inject, Time, Box, Cancel, Unplug, SecondIntent };
  Kind kind = Kind::Answer;
  int variant = 0;
  int arg = 0;
  long long ms = 0;
  BoxAnswer box = BoxAnswer::Ok;
  Intent intent;
  std::vector<std::uint8_t> bytes; // made-up message content
};

class Script {
public:
  Script(const std::uint8_t* data, std::size_t size, std::set<std::string> known)
      : data_(data), size_(size), known_(std::move(known))
  {
    intent = TakeIntent();
  }

  bool Done() const { return at_ >= size_; }
  std::uint8_t TakeByte() { return at_ < size_ ? data_[at_++] : 0; }
  bool Known(const char* fault) const { return known_.count(fault) != 0; }
  void Note(Ingredient i) { ingredients.insert(i); }

  // Whether the events that come next happen under the box now shown.
  bool PeekUnderBox()
  {
    if (Done() || data_[at_] % 16 != 13)
      return false;
    ++at_;
    return true;
  }

  Event Next()
  {
    static constexpr long long TICKS[] = {50, 300, 600, 5100, 10100, 25100};
    static constexpr BoxAnswer ANSWERS[] = {BoxAnswer::Yes,   BoxAnswer::No,    BoxAnswer::YesToAll,
                                            BoxAnswer::NoToAll, BoxAnswer::Abort, BoxAnswer::Retry,
                                            BoxAnswer::Ok};
    const std::uint8_t op = TakeByte();
    Event e;
    e.variant = op >> 4;
    switch (op % 16) {
    case 6:
    case 7:
      e.kind = Event::Kind::Time;
      e.ms = TICKS[e.variant % 6];
      break;
    case 8:
      e.kind = Event::Kind::Box;
      e.box = ANSWERS[e.variant % 7];
      break;
    case 9:
      e.kind = Event::Kind::Inject;
      e.arg = TakeByte();
      for (int n = e.arg % 24; n > 0 && !Done(); --n)
        e.bytes.push_back(TakeByte() & 0x7F);
      break;
    case 10:
      e.kind = Event::Kind::Cancel;
      break;
    case 11:
      e.kind = Event::Kind::Unplug;
      break;
    case 12:
      e.kind = Event::Kind::SecondIntent;
      e.intent = TakeIntent();
      break;
    default: // 0-5, 13-15: the console answers, mostly faithfully
      e.kind = Event::Kind::Answer;
      e.arg = op;
      break;
    }
    return e;
  }

  Intent intent;
  std::set<Ingredient> ingredients;

private:
  Intent TakeIntent()
  {
    const std::uint8_t how = TakeByte();
    const std::uint8_t which = TakeByte();
    Intent i;
    i.kind = static_cast<BatchKind>(how % 4);
    i.type = which % 3;
    const auto& card = CardFiles();
    for (std::size_t k = 0; k < card.size(); ++k)
      if (which & (1u << k))
        i.cardFiles.push_back({card[k].type, card[k].name});
    if (which & 8)
      i.cardFiles.push_back({2, "NOPE"}); // not on the card
    const auto& pc = PcFiles();
    for (std::size_t k = 0; k < pc.size(); ++k)
      if (which & (16u << k))
        i.pcFiles.push_back({"", pc[k].name + "." + pc[k].extension});
    i.replace = which & 128;
    return i;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
  std::set<std::string> known_;
};

// A message the console makes up, from the last one it sent: a block past
// the end, of another type, of another file, the same again, a request for
// a block or a file the PC does not send, an empty block, or any content.
inline std::optional<Bytes> MadeUpMessage(const Event& e, const Bytes& last, Script& script)
{
  const bool lastBlock = last.size() > DATA_BLOCK_OVERHEAD && last[OFS_COMMAND] == SYS_EX_DATA_BLOCK;
  const int type = last.size() > OFS_TYPE ? last[OFS_TYPE] : 0;
  Bytes m;
  switch (e.arg % 8) {
  case 0: { // any content behind a good header
    m = {SYS_EX_START, 0x00, 0x7F, 0x33, DEVICE_BYTE, MODEL_BYTE};
    m.insert(m.end(), e.bytes.begin(), e.bytes.end());
    m.push_back(SYS_EX_END);
    const bool empty = m.size() == DATA_BLOCK_OVERHEAD && m[OFS_COMMAND] == SYS_EX_DATA_BLOCK;
    if (empty && script.Known("empty"))
      return std::nullopt;
    return m;
  }
  case 1: // the block after the last
    if (!lastBlock)
      return std::nullopt;
    m = last;
    m[OFS_BLOCK] = m[OFS_TOTAL];
    m[OFS_BLOCK + 1] = m[OFS_TOTAL + 1];
    break;
  case 2: // of another type
    if (!lastBlock)
      return std::nullopt;
    m = last;
    m[OFS_TYPE] = static_cast<std::uint8_t>((type + 1 + e.arg / 8 % 8) % DATA_TYPE_COUNT);
    break;
  case 3: { // block 0 of another file
    const auto& f = CardFiles()[static_cast<std::size_t>(e.arg / 8) % CardFiles().size()];
    m = BuildFileBlock(type, f.bytes.data(), static_cast<std::uint32_t>(f.bytes.size()), 0);
    break;
  }
  case 4: // the same again
    if (last.empty())
      return std::nullopt;
    m = last;
    break;
  case 5: // a request for any block
    m = BuildBlockRequest(type, static_cast<unsigned>(e.arg / 8));
    break;
  case 6: // a request for a file of another type
    m = BuildNameMessage(SYS_EX_FILE_REQUEST, (type + 1 + e.arg / 8 % 8) % DATA_TYPE_COUNT, "");
    break;
  default: // a block with no payload
    if (script.Known("empty"))
      return std::nullopt;
    script.Note(Ingredient::Empty);
    return Bytes{SYS_EX_START, 0x00, 0x7F, 0x33, DEVICE_BYTE, MODEL_BYTE, SYS_EX_DATA_BLOCK,
                 static_cast<std::uint8_t>(type), DATA_BLOCK_FLAG, 0, 1, 0, 0, 0x7F, SYS_EX_END};
  }
  script.Note(Ingredient::Stray);
  return m;
}

} // namespace zr::fuzz
