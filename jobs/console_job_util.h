// File and name helpers shared by the job's plan and its running part.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace zr::job_detail {

// Paths are UTF-8 strings in this program. A std::filesystem::path made
// from a std::string, and its string(), take the ANSI code page on
// Windows: these two go through char8_t instead.
inline std::filesystem::path PathOf(const std::string& utf8)
{
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string Utf8Of(const std::filesystem::path& path)
{
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::uint64_t FileSize(const std::string& path)
{
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(PathOf(path), ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

inline bool Exists(const std::string& path)
{
  std::error_code ec;
  return std::filesystem::exists(PathOf(path), ec);
}

inline std::string Absolute(const std::string& path)
{
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(PathOf(path), ec);
  return ec ? path : Utf8Of(p.lexically_normal());
}

} // namespace zr::job_detail
