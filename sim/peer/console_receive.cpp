// The virtual console receiving from the PC: file names it is offered, the
// blocks of a file coming in (with the faults it can be told to make), and
// a whole file stored in the card folder or the internal memory.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "sim/peer/console_peer.h"
#include "files/datatypes.h"

namespace zr::sim {

namespace fs = std::filesystem;

namespace {

// The PC's name made safe for the card folder: nothing that leads outside
// it. Keeping names, only what no file name can hold is changed.
std::string SafeCardName(const std::string& name, bool keep)
{
  std::string safe;
  for (char c : name.substr(0, CARD_NAME_LENGTH)) {
    const unsigned char u = static_cast<unsigned char>(c);
    const bool kept =
        keep ? u > ' ' && u < 0x7F && c != '/' && c != '\\' : std::isalnum(u) || c == '_' || c == '-';
    safe += kept ? c : '_';
  }
  if (safe == "." || safe == "..")
    safe = "_";
  return safe.empty() ? "UNNAMED" : safe;
}

bool WriteWhole(const fs::path& target, const std::uint8_t* data, std::size_t size)
{
  // Beside the target first, so a reader never sees half a file.
  const fs::path temporary = target.string() + ".zr4812-sim.part";
  {
    std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
    if (!file)
      return false;
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file.flush())
      return false;
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec)
    fs::remove(temporary, ec);
  return !ec;
}

} // namespace

void ConsolePeer::OnFileName(const Message& m, std::vector<Bytes>& out)
{
  if (!IsDataType(m.type)) {
    Log("   not a card file type: no answer");
    return;
  }
  in_ = Incoming{};
  in_->type = m.type;
  in_->toCard = true;
  in_->name = SafeCardName(m.name, options_.keepCase);
  out.push_back(BuildNameMessage(SYS_EX_FILE_REQUEST, m.type, m.name));
  if (options_.doubleGoAhead) {
    options_.doubleGoAhead = false;
    Log("   and the go-ahead once more");
    out.push_back(out.back());
  }
}

void ConsolePeer::OnDataBlock(const Message& m, std::vector<Bytes>& out)
{
  if (!TakeTransferOf(m))
    return;
  if (m.flag != 1) {
    Log("   flag byte not 1: ignored");
    return;
  }
  if (!BlockFits(m))
    return;
  if (Rejected(m.block) || Checksum(m.payload.data(), m.payload.size()) != m.checksum) {
    out.push_back(BuildBlockRequest(m.type, m.block)); // once more, please
    return;
  }
  if (in_->repeating) {
    OnRepeatedBlock(m, out);
    return;
  }
  const bool last = m.block + 1 == in_->total;
  KeepBlock(m, last);
  AskForNextBlock(m, last, out);
}

bool ConsolePeer::TakeTransferOf(const Message& m)
{
  if (in_ && in_->type == m.type && in_->next == m.block)
    return true;
  if (m.block != 0) {
    Log("   block not asked for: ignored");
    return false;
  }
  if (!IsDataType(m.type)) {
    Log("   not a data type: ignored");
    return false;
  }
  // Block 0 without a name first: a restore into internal memory.
  in_ = Incoming{};
  in_->type = m.type;
  in_->toCard = false;
  return true;
}

bool ConsolePeer::BlockFits(const Message& m)
{
  Incoming& in = *in_;
  if (m.block == 0 && !in.repeating) {
    if (m.total == 0 || m.total >= MAX_BLOCKS) {
      Log("   impossible block count: transfer dropped");
      in_.reset();
      return false;
    }
    in.total = m.total;
    in.stream.assign(std::size_t(m.total) * SYS_EX_BLOCKSIZE, 0);
  }
  const std::size_t offset = std::size_t(m.block) * SYS_EX_BLOCKSIZE;
  if (m.total != in.total || m.payload.empty() || offset + m.payload.size() > in.stream.size()) {
    Log("   block does not fit the file: transfer dropped");
    in_.reset();
    return false;
  }
  return true;
}

void ConsolePeer::KeepBlock(const Message& m, bool last)
{
  Incoming& in = *in_;
  const std::size_t offset = std::size_t(m.block) * SYS_EX_BLOCKSIZE;
  std::copy(m.payload.begin(), m.payload.end(), in.stream.begin() + static_cast<std::ptrdiff_t>(offset));
  in.filled = offset + m.payload.size();
  if (!last)
    return;
  Bytes stream(in.stream.begin(), in.stream.begin() + static_cast<std::ptrdiff_t>(in.filled));
  const std::optional<std::uint32_t> size = UnpackStream(stream.data(), stream.size());
  if (!size)
    Log("   the size field asks for more than arrived: not stored");
  else
    Store(in, stream.data(), *size);
}

void ConsolePeer::AskForNextBlock(const Message& m, bool last, std::vector<Bytes>& out)
{
  Incoming& in = *in_;
  if (const std::optional<unsigned> again = BlockToAskAgain(m.block, last)) {
    Log("   asking for block " + std::to_string(*again) + " once more");
    in.repeating = true;
    in.stored = last;
    in.resume = m.block + 1;
    in.next = *again;
    out.push_back(BuildBlockRequest(m.type, in.next));
    return;
  }
  if (last) {
    in_.reset();
    return;
  }
  in.next = m.block + 1;
  out.push_back(BuildBlockRequest(m.type, in.next));
}

bool ConsolePeer::Rejected(unsigned block)
{
  auto it = options_.rejectBlocks.find(block);
  if (it == options_.rejectBlocks.end() || it->second <= 0)
    return false;
  --it->second;
  Log("   taken as corrupt: asked for again");
  return true;
}

std::optional<unsigned> ConsolePeer::BlockToAskAgain(unsigned block, bool last)
{
  if (const std::optional<unsigned> k = options_.repeatRequestBlock;
      k && (block == *k + 1 || (last && block == *k))) {
    options_.repeatRequestBlock.reset();
    return k;
  }
  if (last && options_.repeatLastRequest) {
    options_.repeatLastRequest = false;
    return block;
  }
  return std::nullopt;
}

void ConsolePeer::OnRepeatedBlock(const Message& m, std::vector<Bytes>& out)
{
  Incoming& in = *in_;
  const auto first = in.stream.begin() + static_cast<std::ptrdiff_t>(std::size_t(m.block) * SYS_EX_BLOCKSIZE);
  const std::size_t firstSize =
      std::min<std::size_t>(SYS_EX_BLOCKSIZE, in.filled - std::size_t(m.block) * SYS_EX_BLOCKSIZE);
  if (m.payload.size() == firstSize && std::equal(m.payload.begin(), m.payload.end(), first))
    Log("   block " + std::to_string(m.block) + " again: the same bytes");
  else
    Warn("block " + std::to_string(m.block) + " came back different when asked for again; the first kept");
  in.repeating = false;
  if (in.stored) {
    in_.reset();
    return;
  }
  in.next = in.resume;
  out.push_back(BuildBlockRequest(m.type, in.next));
}

void ConsolePeer::Store(const Incoming& in, const std::uint8_t* data, std::size_t size)
{
  fs::path target;
  if (in.toCard && options_.cardLosesUpload) {
    options_.cardLosesUpload = false;
    Log("   the card did not keep " + in.name);
    return;
  }
  if (in.toCard) {
    const std::optional<fs::path> existing = FindCardFile(in.type, in.name);
    target = existing ? *existing : options_.cardDir / (in.name + "." + DataTypeTable[in.type].extension);
  } else {
    target = options_.internalDir / InternalFileName(in.type);
  }
  if (WriteWhole(target, data, size))
    Log("   stored " + std::to_string(size) + " bytes as " + target.string());
  else
    Log("   could not write " + target.string());
}

} // namespace zr::sim
