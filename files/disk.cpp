// The parts of the disk unit that are the same on every system: the names of
// temporary files and the split of a path into folder and name.
#include "files/disk.h"

#include <atomic>
#include <cstdio>
#include <random>

#include "files/pc_path.h"

namespace zr {

namespace {
constexpr std::string_view TEMPORARY_PREFIX = ".zr4812-";
constexpr std::string_view TEMPORARY_SUFFIX = ".part";
} // namespace

std::string TemporaryFileName(unsigned long process)
{
  // The counter keeps one process's names apart, the process id two
  // processes, and the random part two runs that got the same id.
  static std::atomic<unsigned long> counter{0};
  static const std::uint32_t run = [] {
    std::random_device device;
    return static_cast<std::uint32_t>(device());
  }();
  thread_local std::mt19937 mix{run};
  char random[9];
  std::snprintf(random, sizeof random, "%08x", static_cast<unsigned>(mix()));
  return std::string(TEMPORARY_PREFIX) + std::to_string(process) + "-" + std::to_string(++counter) + "-" + random +
         std::string(TEMPORARY_SUFFIX);
}

bool IsTemporaryFileName(std::string_view name)
{
  if (name.size() <= TEMPORARY_PREFIX.size() + TEMPORARY_SUFFIX.size() || !name.starts_with(TEMPORARY_PREFIX) ||
      !name.ends_with(TEMPORARY_SUFFIX))
    return false;
  // Only our own pattern: digits, dashes and hex digits in between.
  for (char c : name.substr(TEMPORARY_PREFIX.size(), name.size() - TEMPORARY_PREFIX.size() - TEMPORARY_SUFFIX.size()))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == '-'))
      return false;
  return true;
}

std::string FolderOf(const std::string& path)
{
  std::string folder = path.substr(0, path.size() - FileNamePart(path).size());
  const bool root = folder.size() == 1 || (folder.size() == 3 && folder[1] == ':'); // "/" or "C:\"
  if (!root && (folder.back() == PATH_SEPARATOR || folder.back() == '/'))
    folder.pop_back();
  return folder.empty() ? std::string(".") : folder;
}

const char* ReadProblemText(ReadProblem problem)
{
  switch (problem) {
  case ReadProblem::None:
    return "is readable";
  case ReadProblem::Missing:
    return "is missing";
  case ReadProblem::Link:
    return "is a link (an archive holds files, not links)";
  case ReadProblem::NotRegular:
    return "is not a regular file";
  case ReadProblem::TooLarge:
    return "is too large";
  case ReadProblem::Unreadable:
    return "cannot be read";
  }
  return "cannot be read";
}

int WriteStringSafely(const std::string& target, std::string_view text, bool replace)
{
  return WriteFileSafely(target, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), replace);
}

} // namespace zr
