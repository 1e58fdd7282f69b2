#include "sim/peer/console_peer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <system_error>

#include "files/datatypes.h"

namespace zr::sim {

namespace fs = std::filesystem;

namespace {

// What the console answers the MIDI link test with (block 0 of type 127).
const Bytes& LinkTestData()
{
  static const Bytes data = [] {
    const std::string text = "ZR4812 link test: long messages in both directions.";
    Bytes b(text.begin(), text.end());
    for (int i = 0; i < 64; ++i)
      b.push_back(static_cast<std::uint8_t>(0x80 + i * 2)); // exercise the high-bit byte too
    return b;
  }();
  return data;
}

std::string Lower(std::string s)
{
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A name as the card can show it: 1 to 8 printable ASCII characters.
bool IsCardName(const std::string& stem)
{
  if (stem.empty() || stem.size() > CARD_NAME_LENGTH)
    return false;
  return std::all_of(stem.begin(), stem.end(), [](char c) { return c > ' ' && c < 0x7F; });
}

const char* CommandName(std::uint8_t command)
{
  switch (command) {
  case SYS_EX_SEARCH:
    return "search";
  case SYS_EX_IDENTIFY:
    return "identify";
  case SYS_EX_DIRECTORY_REQUEST:
    return "directory request";
  case SYS_EX_DIRECTORY:
    return "directory";
  case SYS_EX_FILE_NAME:
    return "file name";
  case SYS_EX_FILE_REQUEST:
    return "file request";
  case SYS_EX_BLOCK_REQUEST:
    return "block request";
  case SYS_EX_DATA_BLOCK:
    return "data block";
  default:
    return "unknown";
  }
}

std::optional<Bytes> ReadWhole(const fs::path& path)
{
  std::error_code ec;
  if (!fs::is_regular_file(path, ec))
    return std::nullopt;
  const auto size = fs::file_size(path, ec);
  if (ec || size > MAX_FILE_SIZE)
    return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  if (!file)
    return std::nullopt;
  Bytes data(static_cast<std::size_t>(size));
  file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(size));
  if (static_cast<std::uintmax_t>(file.gcount()) != size)
    return std::nullopt;
  return data;
}

} // namespace

std::string InternalFileName(int type)
{
  return IsDataType(type) ? std::string("internal.") + DataTypeTable[type].extension : std::string();
}

std::string DescribeMessage(const std::uint8_t* bytes, std::size_t n)
{
  const std::optional<Message> m = ParseMessage(bytes, n);
  char text[160];
  if (!m) {
    std::string hex;
    for (std::size_t i = 0; i < std::min<std::size_t>(n, 24); ++i) {
      std::snprintf(text, sizeof text, "%02X ", bytes[i]);
      hex += text;
    }
    return "unrecognized (" + std::to_string(n) + " bytes) " + hex + (n > 24 ? "..." : "");
  }
  switch (m->command) {
  case SYS_EX_SEARCH:
    return "search";
  case SYS_EX_IDENTIFY:
    std::snprintf(text, sizeof text, "identify, model 0x%02X", m->model);
    return text;
  case SYS_EX_DIRECTORY_REQUEST:
    std::snprintf(text, sizeof text, "directory request type %d", m->type);
    return text;
  case SYS_EX_BLOCK_REQUEST:
    std::snprintf(text, sizeof text, "block request type %d block %u", m->type, m->block);
    return text;
  case SYS_EX_DIRECTORY:
    std::snprintf(text, sizeof text, "directory type %d, %zu entries", m->type, m->entries.size());
    return text;
  case SYS_EX_FILE_NAME:
  case SYS_EX_FILE_REQUEST:
    std::snprintf(text, sizeof text, "%s type %d \"%s\"", CommandName(m->command), m->type, m->name.c_str());
    return text;
  case SYS_EX_DATA_BLOCK: {
    const bool good = Checksum(m->payload.data(), m->payload.size()) == m->checksum;
    std::snprintf(text, sizeof text, "data block type %d block %u of %u, %zu bytes, checksum %s", m->type,
                  m->block, m->total, m->payload.size(), good ? "ok" : "WRONG");
    return text;
  }
  default:
    return "unknown";
  }
}

ConsolePeer::ConsolePeer(PeerOptions options) : options_(std::move(options)) {}

void ConsolePeer::Log(const std::string& line) const
{
  if (log_)
    log_(line);
}

void ConsolePeer::Warn(const std::string& line) const
{
  Log("   " + line);
  if (warn_)
    warn_(line);
}

std::vector<std::string> ConsolePeer::CardNames(int type) const
{
  std::vector<std::string> names;
  if (!IsDataType(type))
    return names;
  std::error_code ec;
  for (fs::directory_iterator it(options_.cardDir, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileEc;
    if (!it->is_regular_file(fileEc))
      continue;
    const fs::path name = it->path().filename();
    const std::string extension = name.extension().string();
    if (extension.size() < 2 || Lower(extension.substr(1)) != DataTypeTable[type].extension)
      continue;
    const std::string stem = name.stem().string();
    if (IsCardName(stem))
      names.push_back(stem);
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
  return names;
}

std::optional<fs::path> ConsolePeer::FindCardFile(int type, const std::string& name) const
{
  if (!IsDataType(type) || name.empty())
    return std::nullopt;
  std::error_code ec;
  for (fs::directory_iterator it(options_.cardDir, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path file = it->path().filename();
    const std::string extension = file.extension().string();
    if (extension.size() >= 2 && Lower(extension.substr(1)) == DataTypeTable[type].extension &&
        (options_.keepCase ? file.stem().string() == name : Lower(file.stem().string()) == Lower(name)))
      return it->path();
  }
  return std::nullopt;
}

std::vector<Bytes> ConsolePeer::Receive(const std::uint8_t* message, std::size_t n)
{
  std::vector<Bytes> pieces;
  for (LineOutput& piece : Respond(message, n))
    pieces.push_back(std::move(piece.bytes));
  return pieces;
}

std::vector<LineOutput> ConsolePeer::Respond(const std::uint8_t* message, std::size_t n)
{
  std::vector<LineOutput> line;
  if (message == nullptr || n == 0 || n > MAX_INBOUND_MESSAGE)
    return line;
  std::vector<Bytes> out;
  glueAt_.reset();
  Log("<- " + DescribeMessage(message, n));
  if (options_.loop) {
    out.emplace_back(message, message + n);
  } else if (const std::optional<Message> m = ParseMessage(message, n)) {
    if (options_.silentAfterCommand && m->command == *options_.silentAfterCommand && !silent_) {
      if (silentSeen_ >= options_.silentAfterCount) {
        silent_ = true;
        silentSince_ = options_.clock ? options_.clock() : 0;
        Log("   (silent from here on)");
      }
      ++silentSeen_;
    }
    const bool slept = options_.wakeAfterMs > 0 && options_.clock &&
                       options_.clock() - silentSince_ >= options_.wakeAfterMs;
    if (silent_ && ((options_.wakeOnSearch && m->command == SYS_EX_SEARCH) || slept)) {
      silent_ = false;
      options_.silentAfterCommand.reset();
      Log("   (awake again)");
    }
    if (!silent_)
      Answer(*m, out);
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    const Bytes& b = out[i];
    Log("-> " + DescribeMessage(b.data(), b.size()) +
        (b.empty() || b.back() != SYS_EX_END ? " (no end byte)" : "") +
        (glueAt_ == i ? " (in one write with the one before)" : ""));
    ++sent_;
    const std::size_t first = line.size();
    if (options_.splitMessage && *options_.splitMessage == sent_) {
      options_.splitMessage.reset();
      Split(std::move(out[i]), line);
    } else {
      line.push_back(LineOutput{std::move(out[i])});
    }
    line[first].sameWrite = glueAt_ == i;
  }
  if (filter_)
    return filter_(std::move(line));
  return line;
}

void ConsolePeer::Split(Bytes message, std::vector<LineOutput>& line)
{
  const std::size_t offset = options_.splitOffset.value_or(message.size() / 2);
  if (offset >= message.size()) {
    Warn("--split-frame: the message has only " + std::to_string(message.size()) + " bytes, sent whole");
    line.push_back(LineOutput{std::move(message)});
    return;
  }
  Log("   cut after " + std::to_string(offset) + " bytes, the rest " + std::to_string(SPLIT_PAUSE.count()) +
      " ms later");
  Bytes rest(message.begin() + static_cast<std::ptrdiff_t>(offset), message.end());
  message.resize(offset);
  line.push_back(LineOutput{std::move(message)});
  line.push_back(LineOutput{std::move(rest), SPLIT_PAUSE, false});
}

void ConsolePeer::Answer(const Message& m, std::vector<Bytes>& out)
{
  // A file already stored whose block was asked for once more: anything but
  // that block ends the wait.
  if (in_ && in_->stored &&
      !(m.command == SYS_EX_DATA_BLOCK && m.type == in_->type && m.block == in_->next)) {
    Log("   block " + std::to_string(in_->next) + " asked for again did not come");
    in_.reset();
  }
  switch (m.command) {
  case SYS_EX_SEARCH:
    out.push_back(BuildIdentify(options_.model, 0x00));
    if (options_.backToBack) {
      // Two messages in one read: the PC must take the identify reply first
      // (its search is answered), then answer the console's search.
      options_.backToBack = false;
      glueAt_ = out.size();
      out.push_back(BuildSearch());
    }
    break;
  case SYS_EX_DIRECTORY_REQUEST:
    out.push_back(BuildDirectoryReply(m.type, CardNames(m.type)));
    break;
  case SYS_EX_BLOCK_REQUEST:
    OnBlockRequest(m, out);
    break;
  case SYS_EX_FILE_REQUEST:
    OnFileRequest(m, out);
    break;
  case SYS_EX_FILE_NAME:
    OnFileName(m, out);
    break;
  case SYS_EX_DATA_BLOCK:
    OnDataBlock(m, out);
    break;
  default:
    break; // the PC's identify answer and the like need nothing
  }
}

void ConsolePeer::SendBlock(Outgoing& file, unsigned block, std::vector<Bytes>& out)
{
  if (block >= file.total) {
    Log("   block past the end of the file: no answer");
    return;
  }
  Bytes message =
      BuildFileBlock(file.type, file.file.data(), static_cast<std::uint32_t>(file.file.size()), block);
  file.lastSent = static_cast<int>(block);
  file.lastCorrupted = false;
  if (options_.drop7fBlock && *options_.drop7fBlock == block && file.type != SYS_EX_TEST_TYPE) {
    options_.drop7fBlock.reset();
    file.lastCorrupted = Drop7f(message, block);
  }
  if (auto it = options_.corruptBlocks.find(block); it != options_.corruptBlocks.end() && it->second > 0) {
    --it->second;
    message[message.size() - 2] ^= 0x01; // stays a 7-bit byte
    file.lastCorrupted = true;
  }
  if (options_.noEndByteBlock && *options_.noEndByteBlock == block) {
    options_.noEndByteBlock.reset();
    message.pop_back();
  }
  if (block == 0 && file.type != SYS_EX_TEST_TYPE && options_.strayOlder && lastBlocks_.size() == 2) {
    options_.strayOlder = false;
    Log("   first the last block of the file before the last, unasked");
    out.push_back(lastBlocks_.front());
  }
  if (block + 1 == file.total && file.type != SYS_EX_TEST_TYPE && lastBlocks_.size() < 2 &&
      (lastBlocks_.empty() || lastBlocks_.back() != message))
    lastBlocks_.push_back(message);
  out.push_back(std::move(message));
  if (options_.strayBlock && block + 1 == file.total && file.type != SYS_EX_TEST_TYPE) {
    options_.strayBlock = false;
    Log("   and the last block once more, unasked");
    out.push_back(
        BuildFileBlock(file.type, file.file.data(), static_cast<std::uint32_t>(file.file.size()), block));
  }
}

bool ConsolePeer::Drop7f(Bytes& message, unsigned block) const
{
  // Taking out a byte 0x7F leaves the checksum as it was: (0x7F + 1) adds
  // 128 to the sum, which the 7 bits of the checksum do not see.
  const auto payload = message.begin() + 13;
  const auto end = message.end() - 2; // checksum and end byte
  const auto at = std::find(payload, end, std::uint8_t{0x7F});
  if (at == end) {
    Warn("--drop-7f: block " + std::to_string(block) + " has no 0x7F byte, sent as it is");
    return false;
  }
  Log("   byte 0x7F at payload offset " + std::to_string(at - payload) + " left out");
  message.erase(at);
  return true;
}

void ConsolePeer::OnBlockRequest(const Message& m, std::vector<Bytes>& out)
{
  if (m.type == SYS_EX_TEST_TYPE) {
    Outgoing test{SYS_EX_TEST_TYPE, LinkTestData(), static_cast<unsigned>(BlockCount(LinkTestData().size()))};
    SendBlock(test, m.block, out);
    return;
  }
  // A block of the file on its way, or block 0 again after a bad checksum.
  if (out_ && out_->type == m.type && (m.block > 0 || (out_->lastSent == 0 && out_->lastCorrupted))) {
    SendBlock(*out_, m.block, out);
    return;
  }
  if (m.block != 0) {
    Log("   no file on its way: no answer");
    return;
  }
  // Block 0 of a type, unannounced: a backup of internal memory.
  const std::string name = InternalFileName(m.type);
  const std::optional<Bytes> data = name.empty() ? std::nullopt : ReadWhole(options_.internalDir / name);
  if (!data) {
    Log("   no internal data of type " + std::to_string(m.type) + ": no answer");
    return;
  }
  out_ = Outgoing{m.type, *data, static_cast<unsigned>(BlockCount(data->size()))};
  SendBlock(*out_, 0, out);
}

void ConsolePeer::OnFileRequest(const Message& m, std::vector<Bytes>& out)
{
  const std::optional<fs::path> path = FindCardFile(m.type, m.name);
  const std::optional<Bytes> data = path ? ReadWhole(*path) : std::nullopt;
  if (!data) {
    Log("   no card file \"" + m.name + "\" of type " + std::to_string(m.type) + ": no answer");
    return;
  }
  out_ = Outgoing{m.type, *data, static_cast<unsigned>(BlockCount(data->size()))};
  SendBlock(*out_, 0, out);
}

} // namespace zr::sim
