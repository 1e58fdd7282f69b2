#include "link/com_ports.h"

#include <cctype>

namespace zr {

#if defined(_WIN32)
std::string DefaultComPortPath(int port)
{
  if (port < COM_PORT_FIRST || port > COM_PORT_LAST)
    return {};
  // COM1 to COM9 are names of their own; COM10 and above open only through
  // the device namespace.
  const std::string name = "COM" + std::to_string(port);
  return port <= 9 ? name : "\\\\.\\" + name;
}
#else
std::string DefaultComPortPath(int port)
{
  static constexpr const char* families[] = {"/dev/ttyS", "/dev/ttyUSB", "/dev/ttyACM"};
  if (port < COM_PORT_FIRST || port > 12)
    return {};
  const int index = port - 1;
  return families[index / 4] + std::to_string(index % 4);
}
#endif

std::string ComPortItemText(int port)
{
  return "COM Port " + std::to_string(port);
}

int ComPortKeyNumber(std::string_view key)
{
  if (key.size() < 4 || key.size() > 5)
    return 0;
  for (int i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(key[i])) != "COM"[i])
      return 0;
  int n = 0;
  for (char c : key.substr(3)) {
    if (!std::isdigit(static_cast<unsigned char>(c)))
      return 0;
    n = n * 10 + (c - '0');
  }
  // "COM01" is not a key the user wrote for port 1 on purpose; keep the names exact.
  if (key[3] == '0')
    return 0;
  return n >= COM_PORT_FIRST && n <= COM_PORT_LAST ? n : 0;
}

ComPortPaths MakeComPortPaths(ComPortTable table)
{
  return [table = std::move(table)](int port) -> std::string {
    if (port < COM_PORT_FIRST || port > COM_PORT_LAST)
      return {};
    if (auto it = table.find(port); it != table.end())
      return it->second;
    return DefaultComPortPath(port);
  };
}

} // namespace zr
