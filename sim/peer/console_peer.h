// The virtual console: the ZR4812's side of the protocol, built on the same
// codec as the PC. Transport-free: complete messages go in, the answers come
// out; the pseudo-terminal and MIDI transports of zr4812-sim carry them.
//
// It serves a card folder (a file NAME.kpr is a card file of type 0 named
// NAME, and so on for the nine extensions; names up to 8 characters) and an
// internal-memory folder holding one file per type (internal.kpr ...
// internal.kex), and can inject faults for the tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/wire.h"

namespace zr::sim {

struct PeerOptions {
  std::filesystem::path cardDir;
  std::filesystem::path internalDir;
  // Model byte of the identify answer (0x0B is the ZR4812).
  std::uint8_t model = MODEL_BYTE;
  // Data block number -> how many more times its checksum goes out wrong.
  std::map<unsigned, int> corruptBlocks;
  // Stop answering anything once `silentAfterCount` requests of this command
  // have been answered (count 0: the first one already gets no answer).
  std::optional<std::uint8_t> silentAfterCommand;
  int silentAfterCount = 0;
  // A search ends that silence, once: a console that was busy and is back.
  bool wakeOnSearch = false;
  // So does the first message `wakeAfterMs` after it began, on `clock`
  // (milliseconds), once.
  int wakeAfterMs = 0;
  std::function<long long()> clock;
  // Data block number whose message goes out once without its end byte.
  std::optional<unsigned> noEndByteBlock;
  // A looped cable: every message comes straight back, nothing is answered.
  bool loop = false;
  // Card names kept exactly as the PC sends them, any printable character
  // and the letter case included: "SONG1" and "song1" are two files.
  // Without it a name matches another ignoring case, and stored names keep
  // only letters, digits, "_" and "-".
  bool keepCase = false;

  // The faults below go off once each, then the option is spent.
  // Block K of a file sent to the PC goes out without the first 0x7F byte of
  // its payload: one byte short, and still with a good checksum.
  std::optional<unsigned> drop7fBlock;
  // After the last block of a file sent to the PC, that block once more, unasked.
  bool strayBlock = false;
  // After the last block of a file from the PC, the request for it once more.
  bool repeatLastRequest = false;
  // Block K of a file from the PC is asked for once more after block K + 1
  // (after K itself when K is the last block).
  std::optional<unsigned> repeatRequestBlock;
  // Data block number of a file from the PC -> how many more times it is
  // taken as corrupt and asked for again.
  std::map<unsigned, int> rejectBlocks;
  // The N-th message the console sends (1 = the first) is cut after
  // `splitOffset` bytes (default: half of it); the rest follows SPLIT_PAUSE later.
  std::optional<unsigned> splitMessage;
  std::optional<std::size_t> splitOffset;
  // The first search is answered with the identify reply and a search of the
  // console's own, in one write.
  bool backToBack = false;
  // The go-ahead for the first file the PC offers goes out twice.
  bool doubleGoAhead = false;
  bool cardLosesUpload = false; // the card keeps nothing of the first file sent to it
  // Before the third card file (or backup) sent to the PC, the last block of
  // the first one once more, unasked.
  bool strayOlder = false;
};

// The longest message the console takes from the PC: twice the longest the protocol has.
constexpr std::size_t MAX_INBOUND_MESSAGE = 2 * MAX_DATA_BLOCK_MESSAGE;

// How long the line stays quiet between the two pieces of a cut message.
constexpr std::chrono::milliseconds SPLIT_PAUSE{2000};

// A piece of the console's output as it goes onto the line.
struct LineOutput {
  Bytes bytes;
  std::chrono::milliseconds pauseBefore{0}; // the line stays quiet this long first
  bool startsMessage = true;                // false: the rest of a message cut short
  bool sameWrite = false;                   // goes out in one write with the piece before
};

// The internal-memory file of a data type: "internal." + its extension.
std::string InternalFileName(int type);

// A one-line description of a message for the log.
std::string DescribeMessage(const std::uint8_t* bytes, std::size_t n);

class ConsolePeer {
public:
  explicit ConsolePeer(PeerOptions options);

  // One complete message from the PC; returns what goes back on the line, in order.
  std::vector<LineOutput> Respond(const std::uint8_t* message, std::size_t n);
  // The same without the timing: the messages (or pieces of a cut one) only.
  std::vector<Bytes> Receive(const std::uint8_t* message, std::size_t n);
  std::vector<Bytes> Receive(const Bytes& message) { return Receive(message.data(), message.size()); }

  // Receives a line for every message in and out, and for what the console did.
  void SetLog(std::function<void(const std::string&)> log) { log_ = std::move(log); }
  // Receives a line when a fault cannot be injected as asked (it is logged too).
  void SetWarn(std::function<void(const std::string&)> warn) { warn_ = std::move(warn); }
  // Sees every answer before it goes on the line and may change it (the chaos mode).
  using LineFilter = std::function<std::vector<LineOutput>(std::vector<LineOutput>)>;
  void SetFilter(LineFilter filter) { filter_ = std::move(filter); }

  // The card files of a type, as the directory reply lists them (sorted).
  std::vector<std::string> CardNames(int type) const;

private:
  struct Outgoing {
    int type = 0;
    Bytes file;
    unsigned total = 0;
    int lastSent = -1;
    bool lastCorrupted = false; // the last block went out damaged: the PC may ask for it again
  };
  struct Incoming {
    int type = 0;
    bool toCard = true; // else a restore into internal memory
    std::string name;
    unsigned total = 0;
    unsigned next = 0;
    std::size_t filled = 0; // encoded bytes up to the end of the last block stored
    Bytes stream;
    // A block asked for once more (`next`): then go on with `resume`, or, when
    // the file is already stored, end the transfer.
    bool repeating = false;
    unsigned resume = 0;
    bool stored = false;
  };

  void Log(const std::string& line) const;
  void Warn(const std::string& line) const;
  void Answer(const Message& m, std::vector<Bytes>& out);
  void OnBlockRequest(const Message& m, std::vector<Bytes>& out);
  void OnFileRequest(const Message& m, std::vector<Bytes>& out);
  void OnFileName(const Message& m, std::vector<Bytes>& out);
  void OnDataBlock(const Message& m, std::vector<Bytes>& out);
  // The transfer block `m` belongs to, in in_: the one under way when it is
  // the block asked for, else a restore into internal memory that block 0
  // starts. False (logged) when it belongs to none.
  bool TakeTransferOf(const Message& m);
  // Block 0 sizes the file; every block must fit it. False when it does not
  // (the transfer dropped).
  bool BlockFits(const Message& m);
  // A good block into the file; after the last one the file is stored.
  void KeepBlock(const Message& m, bool last);
  // The request for the block after `m`, or for one the fault options ask
  // for again; nothing after the last block.
  void AskForNextBlock(const Message& m, bool last, std::vector<Bytes>& out);
  void SendBlock(Outgoing& file, unsigned block, std::vector<Bytes>& out);
  bool Drop7f(Bytes& message, unsigned block) const;
  bool Rejected(unsigned block);
  std::optional<unsigned> BlockToAskAgain(unsigned block, bool last);
  void OnRepeatedBlock(const Message& m, std::vector<Bytes>& out);
  void Split(Bytes message, std::vector<LineOutput>& line);
  void Store(const Incoming& in, const std::uint8_t* data, std::size_t size);
  std::optional<std::filesystem::path> FindCardFile(int type, const std::string& name) const;

  PeerOptions options_;
  std::function<void(const std::string&)> log_;
  std::function<void(const std::string&)> warn_;
  LineFilter filter_;
  std::optional<Outgoing> out_;
  std::vector<Bytes> lastBlocks_; // the last block of each file sent to the PC, for strayOlder
  std::optional<Incoming> in_;
  int silentSeen_ = 0;
  bool silent_ = false;
  long long silentSince_ = 0;
  unsigned sent_ = 0;                 // messages sent so far
  std::optional<std::size_t> glueAt_; // this answer goes in one write with the one before
};

} // namespace zr::sim
