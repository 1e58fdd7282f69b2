#include "link/wire.h"

#include <algorithm>
#include <cstring>

namespace zr {
namespace {

// Model and command are masked like every other inner byte: a stray high bit
// would end the message early on a MIDI link.
Bytes Header(std::uint8_t command, std::uint8_t model = MODEL_BYTE)
{
  Bytes m{SYS_EX_START,
          MANUFACTURER_ID[0],
          MANUFACTURER_ID[1],
          MANUFACTURER_ID[2],
          DEVICE_BYTE,
          static_cast<std::uint8_t>(model & 0x7F),
          static_cast<std::uint8_t>(command & 0x7F)};
  return m;
}

std::uint8_t TypeByte(int type) { return static_cast<std::uint8_t>(type & 0x7F); }

// Emits the 8 stream bytes of one group from up to 7 source bytes.
void EncodeGroup(const std::uint8_t* src, std::size_t count, std::uint8_t* out)
{
  std::uint8_t high = 0;
  for (std::size_t i = 0; i < 7; ++i) {
    const std::uint8_t b = i < count ? src[i] : 0;
    out[i] = b & 0x7F;
    if (b & 0x80)
      high |= static_cast<std::uint8_t>(1u << i);
  }
  out[7] = high;
}

} // namespace

Bytes BuildSearch()
{
  Bytes m = Header(SYS_EX_SEARCH);
  m.push_back(SYS_EX_END);
  return m;
}

Bytes BuildIdentify(std::uint8_t model, std::uint8_t field)
{
  Bytes m = Header(SYS_EX_IDENTIFY, model);
  m.push_back(field & 0x7F);
  m.push_back(SYS_EX_END);
  return m;
}

Bytes BuildDirectoryRequest(int type)
{
  Bytes m = Header(SYS_EX_DIRECTORY_REQUEST);
  m.push_back(TypeByte(type));
  m.push_back(SYS_EX_END);
  return m;
}

Bytes BuildBlockRequest(int type, unsigned block)
{
  Bytes m = Header(SYS_EX_BLOCK_REQUEST);
  m.push_back(TypeByte(type));
  m.push_back(High7(block));
  m.push_back(Low7(block));
  m.push_back(SYS_EX_END);
  return m;
}

Bytes BuildNameMessage(std::uint8_t command, int type, std::string_view name)
{
  Bytes m = Header(command);
  m.push_back(TypeByte(type));
  for (std::size_t i = 0; i < CARD_NAME_LENGTH; ++i)
    m.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) & 0x7F : 0);
  m.push_back(0);
  m.push_back(SYS_EX_END);
  return m;
}

Bytes BuildDirectoryReply(int type, const std::vector<std::string>& names)
{
  Bytes m = Header(SYS_EX_DIRECTORY);
  m.push_back(TypeByte(type));
  for (const std::string& name : names) {
    for (std::size_t i = 0; i < CARD_NAME_LENGTH; ++i)
      m.push_back(i < name.size() ? static_cast<std::uint8_t>(name[i]) & 0x7F : ' ');
    m.push_back(0x00);
  }
  m.push_back(SYS_EX_END);
  return m;
}

Bytes BuildDataBlock(int type, unsigned total, unsigned block, const std::uint8_t* payload, std::size_t count)
{
  Bytes m = Header(SYS_EX_DATA_BLOCK);
  m.reserve(count + DATA_BLOCK_OVERHEAD);
  m.push_back(TypeByte(type));
  m.push_back(DATA_BLOCK_FLAG);
  m.push_back(High7(total));
  m.push_back(Low7(total));
  m.push_back(High7(block));
  m.push_back(Low7(block));
  m.insert(m.end(), payload, payload + count);
  m.push_back(Checksum(payload, count));
  m.push_back(SYS_EX_END);
  return m;
}

std::uint8_t Checksum(const std::uint8_t* payload, std::size_t count)
{
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < count; ++i)
    sum += std::uint32_t(payload[i]) + 1;
  return static_cast<std::uint8_t>(~sum & 0x7F);
}

std::size_t BlockPayloadSize(std::uint64_t fileSize, std::uint64_t block)
{
  const std::uint64_t encoded = EncodedLength(fileSize);
  const std::uint64_t start = block * SYS_EX_BLOCKSIZE;
  if (start >= encoded)
    return 0;
  return static_cast<std::size_t>(std::min<std::uint64_t>(SYS_EX_BLOCKSIZE, encoded - start));
}

std::size_t EncodeBlockPayload(const std::uint8_t* file, std::uint32_t fileSize, std::uint32_t block,
                               std::uint8_t* out)
{
  const std::size_t count = BlockPayloadSize(fileSize, block);
  std::size_t pos = 0;
  std::uint64_t fileOffset = 0;
  if (block == 0) {
    const std::uint8_t length[4] = {static_cast<std::uint8_t>(fileSize), static_cast<std::uint8_t>(fileSize >> 8),
                                    static_cast<std::uint8_t>(fileSize >> 16),
                                    static_cast<std::uint8_t>(fileSize >> 24)};
    EncodeGroup(length, 4, out);
    pos = 8;
  } else {
    // Every block starts on a group boundary: skip the length group and
    // the groups of the blocks before.
    fileOffset = (std::uint64_t(block) * SYS_EX_BLOCKSIZE - 8) / 8 * 7;
  }
  while (pos < count) {
    const std::uint64_t left = fileSize > fileOffset ? fileSize - fileOffset : 0;
    EncodeGroup(file + fileOffset, static_cast<std::size_t>(std::min<std::uint64_t>(7, left)), out + pos);
    pos += 8;
    fileOffset += 7;
  }
  return count;
}

Bytes BuildFileBlock(int type, const std::uint8_t* file, std::uint32_t fileSize, std::uint32_t block)
{
  std::uint8_t payload[SYS_EX_BLOCKSIZE];
  const std::size_t count = EncodeBlockPayload(file, fileSize, block, payload);
  return BuildDataBlock(type, static_cast<unsigned>(BlockCount(fileSize)), block, payload, count);
}

std::optional<std::uint32_t> UnpackStream(std::uint8_t* stream, std::size_t size)
{
  if (size < 8)
    return std::nullopt;
  std::uint32_t fileSize = 0;
  for (int i = 0; i < 4; ++i) {
    std::uint32_t b = stream[i] & 0x7F;
    if (stream[7] & (1u << i))
      b += 128;
    fileSize |= b << (8 * i);
  }
  const std::size_t groups = (size - 8) / 8;
  if (fileSize > groups * 7)
    return std::nullopt;
  std::size_t out = 0;
  for (std::size_t in = 8; in + 8 <= size; in += 8) {
    const std::uint8_t high = stream[in + 7];
    for (int i = 0; i < 7; ++i) {
      std::uint8_t b = stream[in + i];
      if (high & (1u << i))
        b = static_cast<std::uint8_t>(b + 0x80);
      stream[out++] = b; // out stays behind in: 7 written per 8 read
    }
  }
  return fileSize;
}

bool HasManufacturerId(const std::uint8_t* bytes, std::size_t n)
{
  return n >= 4 && std::equal(MANUFACTURER_ID.begin(), MANUFACTURER_ID.end(), bytes + 1);
}

bool IsFrame(const std::uint8_t* bytes, std::size_t n)
{
  return n >= HEADER_LENGTH + 1 && bytes[0] == SYS_EX_START && bytes[n - 1] == SYS_EX_END &&
         HasManufacturerId(bytes, n);
}

std::string TrimCardName(const std::uint8_t* field, std::size_t n)
{
  std::size_t len = std::min<std::size_t>(n, CARD_NAME_LENGTH);
  std::string name(reinterpret_cast<const char*>(field), len);
  // A zero byte ends the name, and so does the frame's end byte when the
  // field is cut short; trailing blanks and control characters (DEL
  // included) are padding.
  if (auto end = name.find_first_of(std::string_view("\0\xF7", 2)); end != std::string::npos)
    name.resize(end);
  while (!name.empty() && (static_cast<unsigned char>(name.back()) <= ' ' || name.back() == 0x7F))
    name.pop_back();
  return name;
}

std::vector<std::string> ParseDirectoryEntries(const std::uint8_t* bytes, std::size_t n)
{
  std::vector<std::string> entries;
  // An entry cut short by the end of the frame still shows what it has: the
  // user sees that something is there, and TrimCardName drops the end byte.
  for (std::size_t at = 8; at < n; at += 9) {
    if (bytes[at] == 0 || bytes[at] == SYS_EX_END)
      break;
    entries.push_back(TrimCardName(bytes + at, std::min<std::size_t>(CARD_NAME_LENGTH, n - at)));
  }
  return entries;
}

std::optional<Message> ParseMessage(const std::uint8_t* bytes, std::size_t n)
{
  if (bytes == nullptr || !IsFrame(bytes, n) || n > MAX_MESSAGE)
    return std::nullopt;
  for (std::size_t i = 1; i + 1 < n; ++i)
    if (bytes[i] & 0x80)
      return std::nullopt;
  Message m;
  m.command = bytes[OFS_COMMAND];
  m.model = bytes[OFS_MODEL];
  switch (m.command) {
  case SYS_EX_SEARCH:
    if (n != 8)
      return std::nullopt;
    break;
  case SYS_EX_IDENTIFY:
    if (n < 8)
      return std::nullopt;
    break;
  case SYS_EX_DIRECTORY_REQUEST:
    if (n != 9)
      return std::nullopt;
    m.type = bytes[OFS_TYPE];
    break;
  case SYS_EX_DIRECTORY:
    if (n < 9)
      return std::nullopt;
    m.type = bytes[OFS_TYPE];
    m.entries = ParseDirectoryEntries(bytes, n - 1);
    break;
  case SYS_EX_FILE_NAME:
  case SYS_EX_FILE_REQUEST:
    if (n < 9)
      return std::nullopt;
    m.type = bytes[OFS_TYPE];
    if (n >= 18)
      m.name = TrimCardName(bytes + 8, CARD_NAME_LENGTH);
    break;
  case SYS_EX_BLOCK_REQUEST:
    if (n < 11)
      return std::nullopt;
    m.type = bytes[OFS_TYPE];
    m.block = Join14(bytes[OFS_REQUEST_BLOCK], bytes[OFS_REQUEST_BLOCK + 1]);
    break;
  case SYS_EX_DATA_BLOCK: {
    if (n < DATA_BLOCK_OVERHEAD + 1 || n > MAX_DATA_BLOCK_MESSAGE)
      return std::nullopt;
    m.type = bytes[OFS_TYPE];
    m.flag = bytes[OFS_FLAG];
    m.total = Join14(bytes[OFS_TOTAL], bytes[OFS_TOTAL + 1]);
    m.block = Join14(bytes[OFS_BLOCK], bytes[OFS_BLOCK + 1]);
    const std::size_t count = n - DATA_BLOCK_OVERHEAD;
    m.payload.assign(bytes + OFS_PAYLOAD, bytes + OFS_PAYLOAD + count);
    m.checksum = bytes[OFS_PAYLOAD + count];
    break;
  }
  default:
    return std::nullopt;
  }
  return m;
}

} // namespace zr
