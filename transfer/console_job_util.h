// File and name helpers shared by the job's plan and its running part.
#pragma once

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

namespace zr::job_detail {

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
