// Bytes in: a parsed message or a refusal; a packed stream in: an unpacked
// file or a refusal. Neither may read or write out of bounds, and what is
// accepted must be consistent: a parsed message rebuilds to the same fields,
// a parsed data block carries at most 1000 bytes and rebuilds to the same
// frame, and any file survives packing, framing, parsing and unpacking.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "link/wire.h"
#include "tests/support/fuzz_check.h"

namespace {

bool IsShownName(const std::string& name)
{
  if (name.size() > zr::CARD_NAME_LENGTH)
    return false;
  if (name.find('\0') != std::string::npos || name.find('\xF7') != std::string::npos)
    return false;
  return name.empty() || (static_cast<unsigned char>(name.back()) > ' ' && name.back() != 0x7F);
}

void CheckMessage(const std::uint8_t* data, std::size_t size)
{
  const auto m = zr::ParseMessage(data, size);
  if (!m)
    return;
  FUZZ_CHECK(size >= zr::HEADER_LENGTH + 1);
  FUZZ_CHECK(data[0] == zr::SYS_EX_START && data[size - 1] == zr::SYS_EX_END);
  for (std::size_t i = 1; i + 1 < size; ++i)
    FUZZ_CHECK(data[i] < 0x80);
  FUZZ_CHECK(m->type >= -1 && m->type <= 127);
  FUZZ_CHECK(m->block < zr::MAX_BLOCKS && m->total < zr::MAX_BLOCKS);
  FUZZ_CHECK(IsShownName(m->name));
  FUZZ_CHECK(m->entries.size() * 9 <= size);
  for (const std::string& entry : m->entries)
    FUZZ_CHECK(IsShownName(entry));

  switch (m->command) {
  case zr::SYS_EX_DATA_BLOCK: {
    FUZZ_CHECK(!m->payload.empty() && m->payload.size() <= zr::SYS_EX_BLOCKSIZE);
    FUZZ_CHECK(m->payload.size() + zr::DATA_BLOCK_OVERHEAD == size);
    const zr::Bytes rebuilt =
        zr::BuildDataBlock(m->type, m->total, m->block, m->payload.data(), m->payload.size());
    FUZZ_CHECK(rebuilt.size() == size);
    // Device, model and flag are not judged by the parser, and the checksum
    // is only carried: the rest of the frame must come back exactly.
    for (std::size_t i = 0; i < size; ++i)
      if (i != 4 && i != zr::OFS_MODEL && i != 8 && i != size - 2)
        FUZZ_CHECK(rebuilt[i] == data[i]);
    FUZZ_CHECK(rebuilt[size - 2] == zr::Checksum(m->payload.data(), m->payload.size()));
    break;
  }
  case zr::SYS_EX_DIRECTORY: {
    // Entries cut short by the end of the message come back padded: the
    // reply can grow past what a link takes, and is then no message.
    const zr::Bytes rebuilt = zr::BuildDirectoryReply(m->type, m->entries);
    const auto again = zr::ParseMessage(rebuilt.data(), rebuilt.size());
    FUZZ_CHECK(rebuilt.size() > zr::MAX_MESSAGE ||
               (again && again->entries == m->entries && again->type == m->type));
    break;
  }
  case zr::SYS_EX_FILE_NAME:
  case zr::SYS_EX_FILE_REQUEST: {
    const zr::Bytes rebuilt = zr::BuildNameMessage(m->command, m->type, m->name);
    const auto again = zr::ParseMessage(rebuilt.data(), rebuilt.size());
    FUZZ_CHECK(again && again->name == m->name && again->type == m->type && again->command == m->command);
    break;
  }
  case zr::SYS_EX_BLOCK_REQUEST: {
    const zr::Bytes rebuilt = zr::BuildBlockRequest(m->type, m->block);
    FUZZ_CHECK(std::memcmp(rebuilt.data() + zr::OFS_TYPE, data + zr::OFS_TYPE, 3) == 0);
    break;
  }
  default:
    break;
  }
}

// The whole road of a file: every block built, framed, parsed, checked and
// stored at k * 1000 as the receiver does, then unpacked.
void CheckFileRoundTrip(const std::uint8_t* file, std::uint32_t size)
{
  const unsigned blocks = static_cast<unsigned>(zr::BlockCount(size));
  std::vector<std::uint8_t> received(std::size_t(blocks) * zr::SYS_EX_BLOCKSIZE);
  for (unsigned k = 0; k < blocks; ++k) {
    const zr::Bytes message = zr::BuildFileBlock(3, file, size, k);
    const auto m = zr::ParseMessage(message.data(), message.size());
    FUZZ_CHECK(m && m->command == zr::SYS_EX_DATA_BLOCK);
    FUZZ_CHECK(m->total == blocks && m->block == k && m->flag == 1 && m->type == 3);
    FUZZ_CHECK(!m->payload.empty() && m->payload.size() <= zr::SYS_EX_BLOCKSIZE);
    FUZZ_CHECK(m->checksum == zr::Checksum(m->payload.data(), m->payload.size()));
    std::memcpy(received.data() + std::size_t(k) * zr::SYS_EX_BLOCKSIZE, m->payload.data(),
                m->payload.size());
  }
  const auto unpacked = zr::UnpackStream(received.data(), received.size());
  FUZZ_CHECK(unpacked && *unpacked == size);
  FUZZ_CHECK(size == 0 || std::memcmp(received.data(), file, size) == 0);
}

void CheckStream(const std::uint8_t* data, std::size_t size)
{
  std::vector<std::uint8_t> stream(data, data + size);
  const auto unpacked = zr::UnpackStream(stream.data(), stream.size());
  if (!unpacked)
    return;
  FUZZ_CHECK(size >= 8);
  FUZZ_CHECK(*unpacked <= (size - 8) / 8 * 7);
  // Whatever came out is a file like any other: it must travel unchanged.
  CheckFileRoundTrip(stream.data(), *unpacked);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  CheckMessage(data, size);

  // Random bytes rarely begin with a valid header; the same bytes framed as a
  // message (high bits cleared) reach every command's checks at once.
  std::vector<std::uint8_t> framed = {zr::SYS_EX_START,       zr::MANUFACTURER_ID[0], zr::MANUFACTURER_ID[1],
                                      zr::MANUFACTURER_ID[2], zr::DEVICE_BYTE,        zr::MODEL_BYTE};
  for (std::size_t i = 0; i < size; ++i)
    framed.push_back(data[i] & 0x7F);
  framed.push_back(zr::SYS_EX_END);
  CheckMessage(framed.data(), framed.size());

  const std::vector<std::string> entries = zr::ParseDirectoryEntries(data, size);
  FUZZ_CHECK(entries.size() * 9 <= size);
  for (const std::string& entry : entries)
    FUZZ_CHECK(IsShownName(entry));
  FUZZ_CHECK(IsShownName(zr::TrimCardName(data, size)));

  CheckStream(data, size);
  CheckFileRoundTrip(data, static_cast<std::uint32_t>(size));
  return 0;
}
