// A session with a fake window side, fake timers and a fake serial link,
// plus a temporary PC folder; shared by the engine tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#include "link/wire.h"
#include "tests/support/fakes.h"
#include "files/disk.h"
#include "engine/session.h"

namespace zr::test {

namespace fs = std::filesystem;

inline Bytes RandomBytes(std::size_t n, unsigned seed)
{
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b)
    x = static_cast<std::uint8_t>(rng());
  return b;
}

// A path as the program holds it: UTF-8 (fs::path::string() on Windows
// would give the ANSI code page).
inline std::string Utf8(const fs::path& p)
{
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

// Through the disk unit, which reads long and non-ASCII paths on Windows too.
inline Bytes ReadFile(const fs::path& p)
{
  std::optional<Bytes> bytes = ReadWholeFile(Utf8(p));
  return bytes ? *bytes : Bytes{};
}

inline void WriteFile(const fs::path& p, const Bytes& b)
{
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// A fresh folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
  TempFolder()
  {
    static int n = 0;
    path_ = fs::temp_directory_path() /
            ("zr4812-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
             std::to_string(reinterpret_cast<std::uintptr_t>(this)) + "-" + std::to_string(++n));
    fs::create_directories(path_);
  }
  ~TempFolder()
  {
    std::error_code ec;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  std::string str() const { return path_.string(); }

private:
  fs::path path_;
};

class EngineTest : public ::testing::Test {
protected:
  EngineTest()
  {
    session.Com = &com;
    session.Midi = &midi;
    host.pcFolder = folder.str();
  }

  // The messages a console would send for a file: every block of it.
  static std::vector<Bytes> Blocks(int type, const Bytes& file)
  {
    std::vector<Bytes> blocks;
    const auto total = BlockCount(file.size());
    for (std::uint32_t k = 0; k < total; ++k)
      blocks.push_back(BuildFileBlock(type, file.data(), static_cast<std::uint32_t>(file.size()), k));
    return blocks;
  }

  // Hands a data block message to RxTransfer the way the dispatch does.
  void Deliver(const Bytes& message)
  {
    auto m = ParseMessage(message.data(), message.size());
    ASSERT_TRUE(m.has_value());
    session.RxTransfer.DataType = m->type;
    if (m->block == session.RxTransfer.BlockNr)
      session.ReceiveFileBlock(m->total, message.data() + 13, message.size() - DATA_BLOCK_OVERHEAD);
  }

  // Plays the console: answers every block request of the PC with that
  // block until the PC stops asking. Returns the number of blocks sent.
  int ServeFile(int type, const Bytes& file, std::function<void(Bytes&, unsigned)> tamper = {})
  {
    const auto blocks = Blocks(type, file);
    std::size_t handled = com.blockRequests.size();
    Bytes first = blocks[0];
    if (tamper)
      tamper(first, 0);
    Deliver(first);
    int sent = 1;
    while (com.blockRequests.size() > handled && sent < 100000) {
      const unsigned k = com.blockRequests[handled++].block;
      Bytes b = blocks.at(k);
      if (tamper)
        tamper(b, k);
      Deliver(b);
      ++sent;
    }
    return sent;
  }

  TempFolder folder;
  FakeHost host;
  FakeTimers fakeTimers;
  FakeLink com{TextId::NoComPort};
  FakeLink midi{TextId::NoMidiDevice};
  TestSession session{host, fakeTimers.timers};
};

} // namespace zr::test
