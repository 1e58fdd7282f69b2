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
#include "files/datatypes.h"
#include "engine/events.h"
#include "engine/host.h"

namespace zr::fuzz {

// The faults the engine is known to have, skipped unless
// ZR_ENGINE_FUZZ_KNOWN names fewer (each has a reproducer in
// tests/unit/batch_faults_test.cpp, named after it). None is known: the
// inputs of tests/fuzz/findings (run before each fuzzing by scripts/test;
// ZR_ENGINE_FUZZ_TRACE=1 prints what they do) are checked with the rest.
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

// Three library kinds, and an operating system that goes with the OS bit.
inline const std::vector<NamedFile>& PcFiles()
{
  static const std::vector<NamedFile> files = {File(1, "UPA", 10, 7), File(2, "UPB", 2000, 8),
                                               File(3, "UPC", 1, 9), File(8, "UPOS", 1200, 10)};
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
  // A PC file sent to the card comes back under the card's name, in lower
  // case (a job's get of every card file).
  for (const NamedFile& f : PcFiles())
    if (EqualsIgnoringCase(name, f.name + "." + f.extension))
      return f.bytes;
  return std::nullopt;
}

// A file of the card as the console has it or as the PC sent it, under its
// name in any case.
inline bool IsCardOrPcFile(const std::string& name, const Bytes& bytes)
{
  for (const auto* list : {&CardFiles(), &PcFiles()})
    for (const NamedFile& f : *list)
      if (EqualsIgnoringCase(name, f.name + "." + f.extension) && bytes == f.bytes)
        return true;
  return false;
}

struct Intent {
  BatchKind kind = BatchKind::Download;
  bool listing = false; // the card listing instead of a batch
  std::vector<CardFileRef> cardFiles;
  std::vector<PcFileRef> pcFiles;
  int type = 0;
  bool replace = false; // the card files are on the PC already: the replace question comes
  // A job as zr4812 runs it, instead of one batch: 1 list, 2 get all, 3 put, 4 archive.
  int job = 0;
};

// What an input did, for the one who reads a finding, and for the one
// excuse left: a message the console makes up that is well formed and
// comes just when its like is awaited cannot be told from the answer on
// the wire. That is a block of another file, of this kind and number, that
// never reached the PC whole; a directory reply of the marker's kind while
// a barrier stands; a copy of a block the PC doubted, while it asks behind
// a marker whether those bytes are the file's (two files may be the same).
enum class Ingredient { LinkFailed, Stray, SecondIntent, UnderWatchdog, UnderQuestion, Damaged, Empty, MadeUpReply };

struct Event {
  enum class Kind { Answer, Inject, Time, Box, Cancel, Unplug, SecondIntent, MidiIdentify };
  Kind kind = Kind::Answer;
  int variant = 0;
  int arg = 0;
  long long ms = 0;
  BoxAnswer box = BoxAnswer::Ok;
  bool later = false; // answers the oldest box left open, else leaves the next one open
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
      // From 8 up the box does not block: a later event of these answers it.
      e.later = e.variant >= 8;
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
      e.kind = e.variant == 15 ? Event::Kind::MidiIdentify : Event::Kind::SecondIntent;
      if (e.kind == Event::Kind::SecondIntent)
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
    // (A first byte no finding of the batches' had.)
    i.job = how == 0xFF ? 1 + which % 4 : 0;
    i.kind = static_cast<BatchKind>(how % 4);
    i.listing = how % 8 == 7;
    i.type = which % 3;
    const auto& card = CardFiles();
    for (std::size_t k = 0; k < card.size(); ++k)
      if (which & (1u << k))
        i.cardFiles.push_back({card[k].type, card[k].name});
    if (which & 8)
      i.cardFiles.push_back({2, "NOPE"}); // not on the card
    const auto& pc = PcFiles();
    for (std::size_t k = 0; k < 3; ++k)
      if (which & (16u << k))
        i.pcFiles.push_back({"", pc[k].name + "." + pc[k].extension});
    if (how & 0x20)
      i.pcFiles.push_back({"", pc[3].name + "." + pc[3].extension});
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
inline std::optional<Bytes> MadeUpMessage(const Event& e, const std::vector<Bytes>& history, Script& script)
{
  // Mostly the last message the console sent; now and then an older one.
  const Bytes& last = history.empty() ? Bytes() : history[history.size() - 1 - (e.variant % 4 == 3 ? std::min<std::size_t>(history.size() - 1, e.variant / 4 + 1) : 0)];
  const bool lastBlock = last.size() > DATA_BLOCK_OVERHEAD && last[OFS_COMMAND] == SYS_EX_DATA_BLOCK;
  const int type = last.size() > OFS_TYPE ? last[OFS_TYPE] : 0;
  Bytes m;
  switch (e.arg % 8) {
  case 0: { // any content behind a good header
    m = {SYS_EX_START, 0x00, 0x7F, 0x33, DEVICE_BYTE, MODEL_BYTE};
    m.insert(m.end(), e.bytes.begin(), e.bytes.end());
    m.push_back(SYS_EX_END);
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
  case 4: // the same again, or any earlier message
    if (history.empty())
      return std::nullopt;
    m = history[history.size() - 1 - static_cast<std::size_t>(e.arg / 8) % history.size()];
    break;
  case 5: // a request for any block
    m = BuildBlockRequest(type, static_cast<unsigned>(e.arg / 8));
    break;
  case 6: // a request for a file of another type
    m = BuildNameMessage(SYS_EX_FILE_REQUEST, (type + 1 + e.arg / 8 % 8) % DATA_TYPE_COUNT, "");
    break;
  default: // a block with no payload
    script.Note(Ingredient::Empty);
    return Bytes{SYS_EX_START, 0x00, 0x7F, 0x33, DEVICE_BYTE, MODEL_BYTE, SYS_EX_DATA_BLOCK,
                 static_cast<std::uint8_t>(type), DATA_BLOCK_FLAG, 0, 1, 0, 0, 0x7F, SYS_EX_END};
  }
  script.Note(Ingredient::Stray);
  return m;
}

} // namespace zr::fuzz
