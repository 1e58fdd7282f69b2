// The progress dialog's percentage, shared by receiving and sending.
#pragma once

#include <cstdint>

namespace zr {

// Rounded-up percentage of blocks done, as the progress label shows it.
inline int PercentDone(unsigned blockNr, unsigned total)
{
  return total == 0 ? 100
                    : static_cast<int>((std::uint64_t(blockNr) + 1) * 100 / total +
                                       ((std::uint64_t(blockNr) + 1) * 100 % total ? 1 : 0));
}

} // namespace zr
