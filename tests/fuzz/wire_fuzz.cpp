// Bytes in: a parsed message or a refusal; a packed stream in: an unpacked
// file or a refusal. Neither may read or write out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/wire.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  (void)zr::ParseMessage(data, size);
  (void)zr::ParseDirectoryEntries(data, size);
  std::vector<std::uint8_t> stream(data, data + size);
  (void)zr::UnpackStream(stream.data(), stream.size());
  return 0;
}
