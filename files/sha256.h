// SHA-256 as `sha256sum` prints it, for the archive's checksum list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zr {

// The lower-case hex digest of `size` bytes. Callers hash the bytes they
// read once and then use, never a file read a second time.
std::string Sha256Of(const std::uint8_t* bytes, std::size_t size);
inline std::string Sha256Of(const std::vector<std::uint8_t>& bytes)
{
  return Sha256Of(bytes.data(), bytes.size());
}

} // namespace zr
