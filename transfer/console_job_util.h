// File and name helpers shared by the job's plan and its running part.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace zr::job_detail {

// ASCII only, as the card list compares captions.
inline int CompareIgnoringCase(const std::string& a, const std::string& b)
{
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    const unsigned char x = static_cast<unsigned char>(upper(a[i]));
    const unsigned char y = static_cast<unsigned char>(upper(b[i]));
    if (x != y)
      return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

inline std::uint64_t FileSize(const std::string& path)
{
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

inline bool Exists(const std::string& path)
{
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

inline std::string Absolute(const std::string& path)
{
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

} // namespace zr::job_detail
