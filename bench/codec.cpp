// How fast the 7-in-8 codec packs and unpacks a file of 14 MB (about the
// largest file the block numbers allow), block by block as the links use it,
// measured against memcpy of the same bytes on the same run, and against
// what the serial link can carry.
//
// Usage: bench_codec [repeats]   (default 5; the best run of each counts)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "link/wire.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kFileSize = 14'000'000;
static_assert(kFileSize <= zr::MAX_FILE_SIZE, "the file must still number its blocks in 14 bits");

// 115200 baud, 10 bits a byte on the line, 8 stream bytes per 7 file bytes,
// 15 bytes of framing per 1000 bytes of payload.
constexpr double kSerialFileBytesPerSecond = 115200.0 / 10 * 7 / 8 * 1000 / 1015;

template <class F> double BestSeconds(int repeats, F&& run)
{
  double best = 1e30;
  for (int i = 0; i < repeats; ++i) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

double MegabytesPerSecond(double seconds) { return kFileSize / seconds / 1e6; }

} // namespace

int main(int argc, char** argv)
{
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  std::mt19937 random(4812);
  std::vector<std::uint8_t> file(kFileSize);
  for (auto& b : file)
    b = static_cast<std::uint8_t>(random());

  const std::uint32_t blocks = static_cast<std::uint32_t>(zr::BlockCount(kFileSize));
  std::vector<std::uint8_t> stream(std::size_t(blocks) * zr::SYS_EX_BLOCKSIZE);
  std::vector<std::uint8_t> work(stream.size());
  std::vector<std::uint8_t> copy(kFileSize);
  unsigned sink = 0; // keeps the optimiser from dropping the work

  const double copySeconds = BestSeconds(repeats, [&] {
    std::memcpy(copy.data(), file.data(), kFileSize);
    sink += copy[kFileSize / 2];
  });

  // The sender's work per block: encode the payload and its checksum.
  const double packSeconds = BestSeconds(repeats, [&] {
    for (std::uint32_t k = 0; k < blocks; ++k) {
      std::uint8_t* out = stream.data() + std::size_t(k) * zr::SYS_EX_BLOCKSIZE;
      const std::size_t count = zr::EncodeBlockPayload(file.data(), kFileSize, k, out);
      sink += zr::Checksum(out, count);
    }
  });

  // The same with the whole message built, as the link sends it.
  const double frameSeconds = BestSeconds(repeats, [&] {
    for (std::uint32_t k = 0; k < blocks; ++k)
      sink += zr::BuildFileBlock(1, file.data(), kFileSize, k).back();
  });

  // The receiver unpacks the stream in place; each run starts from a fresh
  // copy of the stream, made outside the timed part.
  double unpackSeconds = 1e30;
  for (int i = 0; i < repeats; ++i) {
    std::memcpy(work.data(), stream.data(), stream.size());
    const auto start = Clock::now();
    const auto size = zr::UnpackStream(work.data(), work.size());
    unpackSeconds = std::min(unpackSeconds, std::chrono::duration<double>(Clock::now() - start).count());
    if (!size || *size != kFileSize || std::memcmp(work.data(), file.data(), kFileSize) != 0) {
      std::fprintf(stderr, "bench_codec: the unpacked file differs from the original\n");
      return 1;
    }
  }

  std::printf("codec on a %u-byte file in %u blocks, best of %d runs\n", kFileSize, blocks, repeats);
#ifndef NDEBUG
  std::printf("  (a debug build: expect several times these speeds from a release build)\n");
#endif
  std::printf("  memcpy  %9.1f MB/s\n", MegabytesPerSecond(copySeconds));
  std::printf("  pack    %9.1f MB/s  (%.1fx the time of memcpy)\n", MegabytesPerSecond(packSeconds),
              packSeconds / copySeconds);
  std::printf("  frame   %9.1f MB/s  (%.1fx the time of memcpy)\n", MegabytesPerSecond(frameSeconds),
              frameSeconds / copySeconds);
  std::printf("  unpack  %9.1f MB/s  (%.1fx the time of memcpy)\n", MegabytesPerSecond(unpackSeconds),
              unpackSeconds / copySeconds);
  std::printf("  serial link at 115200 baud carries %.4f MB/s of file data: pack is %.0fx faster\n",
              kSerialFileBytesPerSecond / 1e6, MegabytesPerSecond(packSeconds) * 1e6 / kSerialFileBytesPerSecond);
  return sink == 0xFFFFFFFFu ? 2 : 0;
}
