#include "cli/console.h"

#include <io.h>
#include <shellapi.h>
#include <windows.h>

#include "link/utf16_win.h"

namespace zr::cli {

namespace {

bool Ascii(const std::string& text)
{
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0x80)
      return false;
  return true;
}

// `path` in ASCII where the system has short names for its parts. A name
// that is ASCII already stays, so that a file put on the card keeps its own
// name there; one that is not is replaced by its short form when it exists.
// Unchanged when there is no short form to be had (the engine then says
// that it cannot find or write the file).
std::string ShortPath(const std::string& path)
{
  if (Ascii(path))
    return path;
  const std::size_t cut = path.find_last_of("/\\");
  const bool hasFolder = cut != std::string::npos && cut > 0;
  if (hasFolder && Ascii(path.substr(cut)))
    return ShortPath(path.substr(0, cut)) + path.substr(cut);
  static wchar_t buffer[32768];
  const DWORD n = ::GetShortPathNameW(Wide(path).c_str(), buffer, 32768);
  if (n > 0 && n < 32768 && Ascii(Utf8(buffer)))
    return Utf8(buffer);
  return hasFolder ? ShortPath(path.substr(0, cut)) + path.substr(cut) : path;
}

} // namespace

void UseSystemPaths(Options& o)
{
  static wchar_t current[32768];
  const DWORD n = ::GetCurrentDirectoryW(32768, current);
  if (n > 0 && n < 32768 && !Ascii(Utf8(current)))
    ::SetCurrentDirectoryW(Wide(ShortPath(Utf8(current))).c_str());
  o.to = ShortPath(o.to);
  o.settings = ShortPath(o.settings);
  o.traceFile = ShortPath(o.traceFile);
  // Card names (get) are no paths; a backup's first argument is a kind.
  const std::size_t first = o.command == "backup" ? 1 : 0;
  if (o.command != "get")
    for (std::size_t i = first; i < o.args.size(); ++i)
      o.args[i] = ShortPath(o.args[i]);
}

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
