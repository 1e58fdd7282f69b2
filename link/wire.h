// The ZR4812 wire protocol: every message the PC and the console exchange,
// built and taken apart in one place, plus the 7-in-8 packed file stream.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zr {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t SYS_EX_START = 0xF0;
constexpr std::uint8_t SYS_EX_END = 0xF7;
constexpr std::array<std::uint8_t, 3> MANUFACTURER_ID = {0x00, 0x7F, 0x33};
constexpr std::uint8_t DEVICE_BYTE = 0x20;
constexpr std::uint8_t MODEL_BYTE = 0x0B;

constexpr std::uint8_t SYS_EX_SEARCH = 0x40;
constexpr std::uint8_t SYS_EX_IDENTIFY = 0x00;
constexpr std::uint8_t SYS_EX_DIRECTORY_REQUEST = 0x51;
constexpr std::uint8_t SYS_EX_DIRECTORY = 0x11;
constexpr std::uint8_t SYS_EX_FILE_NAME = 0x12;
constexpr std::uint8_t SYS_EX_FILE_REQUEST = 0x52;
constexpr std::uint8_t SYS_EX_BLOCK_REQUEST = 0x50;
constexpr std::uint8_t SYS_EX_DATA_BLOCK = 0x10;

constexpr int SYS_EX_TEST_TYPE = 127;   // the MIDI link test transfer, no file
constexpr int SYS_EX_BLOCKSIZE = 1000;  // payload of every data block but the last
constexpr int DATA_BLOCK_OVERHEAD = 15; // header (13), checksum and end byte
constexpr int MAX_DATA_BLOCK_MESSAGE = SYS_EX_BLOCKSIZE + DATA_BLOCK_OVERHEAD;
constexpr int MAX_BLOCKS = 16384;
// The longest message either link takes (a directory reply of a full card).
constexpr std::size_t MAX_MESSAGE = 64 * 1024; // block numbers travel as two 7-bit halves
constexpr int CARD_NAME_LENGTH = 8;
constexpr int HEADER_LENGTH = 7; // F0, ID, device, model, command

// Offsets inside a frame.
constexpr int OFS_MODEL = 5;
constexpr int OFS_COMMAND = 6;
constexpr int OFS_TYPE = 7;
constexpr int OFS_FLAG = 8;          // data block: 1 for a data block
constexpr int OFS_TOTAL = 9;         // data block: N, two 7-bit halves
constexpr int OFS_BLOCK = 11;        // data block: k
constexpr int OFS_REQUEST_BLOCK = 8; // block request: k
constexpr int OFS_PAYLOAD = 13;      // data block: first payload byte
constexpr std::uint8_t DATA_BLOCK_FLAG = 1;

// The console's data types travel as 0 to 8; 8 is its operating system.
constexpr int DATA_TYPE_COUNT = 9;
constexpr int OPERATING_SYSTEM_TYPE = 8;
constexpr bool IsDataType(int type)
{
  return type >= 0 && type < DATA_TYPE_COUNT;
}

// How long the console may take to answer a request (UploadTimer): its
// operating system takes it longer than any other kind.
constexpr int UPLOAD_INTERVAL_MS = 10000;
constexpr int UPLOAD_INTERVAL_OS_MS = 25000;
constexpr int UploadIntervalFor(int type)
{
  return type == OPERATING_SYSTEM_TYPE ? UPLOAD_INTERVAL_OS_MS : UPLOAD_INTERVAL_MS;
}

// Length of the largest file whose stream still numbers its blocks in 14 bits.
constexpr std::uint32_t MAX_FILE_SIZE = ((MAX_BLOCKS - 1) * SYS_EX_BLOCKSIZE / 8 - 1) * 7;

// 14-bit numbers: high 7 bits first.
constexpr std::uint8_t High7(unsigned value)
{
  return static_cast<std::uint8_t>((value >> 7) & 0x7F);
}
constexpr std::uint8_t Low7(unsigned value)
{
  return static_cast<std::uint8_t>(value & 0x7F);
}
constexpr unsigned Join14(std::uint8_t high, std::uint8_t low)
{
  return unsigned(high) * 128 + low;
}

// --- Outgoing messages ------------------------------------------------------
Bytes BuildSearch();                                                             // 8 bytes
Bytes BuildIdentify(std::uint8_t model = MODEL_BYTE, std::uint8_t field = 0x7F); // 9 bytes
Bytes BuildDirectoryRequest(int type);                                           // 9 bytes
Bytes BuildBlockRequest(int type, unsigned block);                               // 11 bytes
// Name message: command SYS_EX_FILE_NAME or SYS_EX_FILE_REQUEST, 18 bytes.
// At most 8 name bytes are used; the rest is filled with zero bytes.
Bytes BuildNameMessage(std::uint8_t command, int type, std::string_view name);
// A console's directory reply (used by the virtual console and tests).
Bytes BuildDirectoryReply(int type, const std::vector<std::string>& names);
// A data block message around an already encoded payload (1 to 1000 bytes).
Bytes BuildDataBlock(int type, unsigned total, unsigned block, const std::uint8_t* payload,
                     std::size_t count);

// --- Checksum ---------------------------------------------------------------
std::uint8_t Checksum(const std::uint8_t* payload, std::size_t count);

// --- The packed stream ------------------------------------------------------
// Encoded length E = 8 * (1 + ceil(L / 7)).
constexpr std::uint64_t EncodedLength(std::uint64_t fileSize)
{
  return 8 * (1 + (fileSize + 6) / 7);
}
constexpr std::uint64_t BlockCount(std::uint64_t fileSize)
{
  return (EncodedLength(fileSize) + SYS_EX_BLOCKSIZE - 1) / SYS_EX_BLOCKSIZE;
}
// Payload bytes carried by block k of a file of fileSize bytes (0 if k is past the end).
std::size_t BlockPayloadSize(std::uint64_t fileSize, std::uint64_t block);

// Encodes block k of the file straight from its bytes into out (room for
// SYS_EX_BLOCKSIZE bytes). Returns the payload count.
std::size_t EncodeBlockPayload(const std::uint8_t* file, std::uint32_t fileSize, std::uint32_t block,
                               std::uint8_t* out);

// Builds the whole data block message of block k straight from the file.
Bytes BuildFileBlock(int type, const std::uint8_t* file, std::uint32_t fileSize, std::uint32_t block);

// Unpacks a received stream in place. The stream is size bytes long (a whole
// number of blocks as received). Every group in the buffer is unpacked; the
// file size comes from the length group. Returns the file size, or nothing
// when the stream is shorter than one group or the size field asks for more
// bytes than the stream carries.
std::optional<std::uint32_t> UnpackStream(std::uint8_t* stream, std::size_t size);

// --- Parsing inbound messages -----------------------------------------------
// True when the bytes form a frame: F0 first, F7 last, manufacturer ID, at
// least HEADER_LENGTH + 1 bytes.
bool IsFrame(const std::uint8_t* bytes, std::size_t n);
bool HasManufacturerId(const std::uint8_t* bytes, std::size_t n);

// Directory entries of a reply frame: from offset 8, one every 9 bytes, up to
// the first entry that starts with 0 or F7 or lies past n. An entry cut short
// by n keeps the bytes it has. Nothing at or after bytes[n] is read.
std::vector<std::string> ParseDirectoryEntries(const std::uint8_t* bytes, std::size_t n);

// A card name as shown: at most 8 bytes of the field, up to a zero or F7
// byte, without trailing blanks and control characters.
std::string TrimCardName(const std::uint8_t* field, std::size_t n);

// A complete parsed message (the virtual console and the fuzz target use it;
// the dispatch reads frames at their offsets as the links deliver them).
struct Message {
  std::uint8_t command = 0;
  std::uint8_t model = 0;
  int type = -1;                    // byte 7 where the command has one
  unsigned total = 0;               // data block: N
  unsigned block = 0;               // data block and block request: k
  std::uint8_t flag = 0;            // data block flag byte
  std::string name;                 // name messages, trimmed
  Bytes payload;                    // data block payload
  std::uint8_t checksum = 0;        // data block checksum byte as received
  std::vector<std::string> entries; // directory reply
};
// Returns the message, or nothing for anything that is not a well-formed
// message of a known command ("not a message").
std::optional<Message> ParseMessage(const std::uint8_t* bytes, std::size_t n);

} // namespace zr
