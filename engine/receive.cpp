// Receiving (RxTransfer): each block checked and stored, and the file
// unpacked once the last one is in. Saving it is engine/save.cpp's.
#include "engine/filer.h"

#include <algorithm>
#include <optional>

#include "link/wire.h"
#include "files/datatypes.h"
#include "engine/session_core.h"

namespace zr {

namespace {

// The file size that the header group (the first 8 stream bytes) carries.
std::uint32_t SizeField(const std::uint8_t* stream)
{
  std::uint32_t size = 0;
  for (int i = 0; i < 4; ++i)
    size |= std::uint32_t((stream[i] & 0x7F) | ((stream[7] >> i & 1) << 7)) << (8 * i);
  return size;
}

// Block 0's size field: the payload bytes of the last block of a stream of
// `total` blocks, or nothing when the field does not fit that many blocks.
std::optional<std::uint32_t> LastBlockBytesFor(unsigned total, const std::uint8_t* payload)
{
  const std::uint32_t size = SizeField(payload);
  if (BlockCount(size) != total)
    return std::nullopt;
  return static_cast<std::uint32_t>(EncodedLength(size) - std::uint64_t(total - 1) * SYS_EX_BLOCKSIZE);
}

} // namespace

std::uint32_t Filer::ExpectedBlockBytes(unsigned total, std::size_t count) const
{
  if (BlockNr + 1 < total)
    return SYS_EX_BLOCKSIZE;
  if (BlockNr > 0)
    return LastBlockBytes;
  // A one-block file: a whole number of groups, header included; whether
  // its size field agrees is block 0's check below.
  if (count < 8 || count % 8 != 0)
    return 0;
  return static_cast<std::uint32_t>(count);
}

ReceiveStep Filer::ReceiveBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  ReceiveStep failed{ReceiveStep::Failed};
  if (count > SYS_EX_BLOCKSIZE) {
    session_.ShowStatus("nrbytes > SYS_EX_BLOCKSIZE");
    LastFailure = "nrbytes > SYS_EX_BLOCKSIZE";
    LastError = ERR_ILLEGAL_DATA;
    return failed;
  }
  if (BlockNr == 0) {
    session_.ShowStatus("  Receiving file");
    TotalBlocks = total;
    ReceivedBytes = 0;
    LastBlockBytes = 0;
    Size = total * SYS_EX_BLOCKSIZE;
    AllocBuffer();
  }
  if (Error == ERR_NONE) {
    if (session_.batch.CancelRequested)
      return {};
    // Every block must agree with block 0 on the total, and land inside
    // the buffer that block 0 sized.
    if (total == 0 || total != TotalBlocks || BlockNr >= TotalBlocks || !Buffer ||
        std::size_t(BlockNr) * SYS_EX_BLOCKSIZE + count > Size)
      Error = ERR_ILLEGAL_DATA;
  }
  if (Error == ERR_NONE && BlockDamaged(total, payload, count)) {
    // A damaged block is asked for again, a few times.
    if (++DamagedTries < MAX_BLOCK_TRIES)
      return {ReceiveStep::AskAgain, BlockNr};
    Error = ERR_BLOCK_DAMAGED;
  }
  ReceiveStep next = failed;
  if (Error == ERR_NONE)
    next = StoreReceivedBlock(total, payload, count);
  if (Error != ERR_NONE) {
    ReportError(0);
    return failed;
  }
  return next;
}

bool Filer::ChecksumFails(const std::uint8_t* payload, std::size_t count)
{
  const std::uint8_t computed = Checksum(payload, count);
  const std::uint8_t received = payload[count];
  if (received == computed)
    return false;
  session_.ShowStatus("    %d Checksum error %d : %d", static_cast<int>(count), received, computed);
  return true;
}

bool Filer::BlockDamaged(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  if (ChecksumFails(payload, count))
    return true;
  // The checksum cannot see a lost or doubled 0x7F (it adds 128): a block
  // of another length than the stream's is damaged just the same.
  const std::uint32_t expected = ExpectedBlockBytes(total, count);
  if (expected == 0 || count != expected) {
    session_.ShowStatus("    %d Block length error : %d", static_cast<int>(count),
                        static_cast<int>(expected));
    return true;
  }
  if (BlockNr == 0) {
    const std::optional<std::uint32_t> last = LastBlockBytesFor(total, payload);
    if (!last || (total == 1 && *last != count)) {
      // A size field that does not fit the blocks announced: damaged on
      // the way, since the checksum does not see every fault.
      session_.ShowStatus("    Block size field error");
      return true;
    }
    LastBlockBytes = *last;
  }
  return false;
}

ReceiveStep Filer::StoreReceivedBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  std::copy(payload, payload + count, Buffer.get() + std::size_t(BlockNr) * SYS_EX_BLOCKSIZE);
  DamagedTries = 0;
  if (BlockNr + 1 < total)
    return {ReceiveStep::AskBlock, ++BlockNr};
  ReceivedBytes = BlockNr * SYS_EX_BLOCKSIZE + static_cast<std::uint32_t>(count);
  Expecting = false;
  LoadData();
  if (Error != ERR_NONE)
    return {ReceiveStep::Failed};
  Medium = MEDIUM_PC_FILE;
  return {ReceiveStep::Complete};
}

void Filer::UnpackReceived()
{
  if (Size == 0 || !Buffer) {
    Error = ERR_NO_FILE;
    return;
  }
  // Only what arrived is unpacked: the rest of the last block's room holds no data.
  const std::size_t received = ReceivedBytes > 0 && ReceivedBytes <= Size ? ReceivedBytes : Size;
  const std::optional<std::uint32_t> fileSize = UnpackStream(Buffer.get(), received);
  if (!fileSize) {
    // The size field asks for more bytes than arrived.
    Error = ERR_ILLEGAL_DATA;
    return;
  }
  Size = *fileSize;
}



} // namespace zr
