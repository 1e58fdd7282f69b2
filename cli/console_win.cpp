#include "cli/console.h"

#include <io.h>
#include <shellapi.h>
#include <windows.h>

namespace zr::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide)
    return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(n > 0 ? n - 1 : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), n, nullptr, nullptr);
    arguments.push_back(std::move(utf8));
  }
  ::LocalFree(wide);
  return arguments;
}

void PrepareConsole()
{
  ::SetConsoleOutputCP(CP_UTF8);
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (::GetConsoleMode(error, &mode))
    ::SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StderrIsTerminal()
{
  return ::_isatty(2) != 0;
}

// This build speaks to the console over a COM port only.
std::unique_ptr<MidiSystem> MakeCliMidiSystem(asio::io_context&)
{
  return nullptr;
}

} // namespace zr::cli
