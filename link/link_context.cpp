#include "link/link_context.h"

#include <cstdarg>
#include <cstdio>

namespace zr {

void LinkContext::ShowStatus(const char* format, ...)
{
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  SetStatusText(text);
}

} // namespace zr
