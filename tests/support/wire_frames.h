// Messages written by hand for the codec tests. The header bytes are spelled
// out here, not taken from the codec, so that a wrong constant there shows.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "link/wire.h"

namespace zr::test {

// F0, manufacturer ID, device, model.
inline const Bytes kHeader = {0xF0, 0x00, 0x7F, 0x33, 0x20, 0x0B};

// The header followed by the given bytes, end byte included by the caller.
inline Bytes Frame(std::initializer_list<std::uint8_t> afterHeader)
{
  Bytes m = kHeader;
  m.insert(m.end(), afterHeader);
  return m;
}

} // namespace zr::test
