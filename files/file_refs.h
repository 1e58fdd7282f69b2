// What names a file on either side: a card file as the console lists it,
// and a PC file with the name it gets on the card.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zr {

// A card file as the console lists it: its type and its name without extension.
struct CardFileRef {
  int type = 0;
  std::string name;
  bool operator==(const CardFileRef&) const = default;
};

// A PC file: the folder it lies in and its name there.
struct PcFileRef {
  std::string folder;
  std::string name;
  // The name it gets on the card; empty: the card-name rule makes one of `name`.
  std::string cardName{};
  // Its bytes, read and checked beforehand: these go, and the file is not
  // read again. Empty: the file is read when it goes.
  std::shared_ptr<const std::vector<std::uint8_t>> bytes{};
};

// PC file references for full paths.
inline std::vector<PcFileRef> PcFilesOf(const std::vector<std::string>& paths)
{
  std::vector<PcFileRef> files;
  for (const std::string& path : paths) {
    const std::filesystem::path p(path);
    files.push_back({p.parent_path().string(), p.filename().string()});
  }
  return files;
}

} // namespace zr
