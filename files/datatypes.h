// The nine kinds of console data, their PC file extensions, and the rules
// that turn PC file names into data types and card names and back.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "link/wire.h"

namespace zr {

struct DataTypeRow {
  const char* name;      // display name, at most 16 characters
  const char* extension; // lower case, without the dot, at most 3 characters
  const char* label;     // upper-case extension and a colon
};

inline constexpr std::array<DataTypeRow, DATA_TYPE_COUNT> DataTypeTable = {{
    {"Project (all)", "kpr", "KPR:"},
    {"Channel Library", "kch", "KCH:"},
    {"EQ Library", "keq", "KEQ:"},
    {"Dynamics Library", "kcg", "KCG:"},
    {"Effects Library", "kfx", "KFX:"},
    {"Automation Data", "ka", "KA:"},
    {"Snapshots", "ksn", "KSN:"},
    {"Setup", "ksu", "KSU:"},
    {"Operating System", "kex", "KEX:"},
}};

// Console names and file names compared with ASCII letters folded to upper
// case and every other byte as it is: the same in every locale. Negative,
// zero or positive as in strcmp.
int CompareIgnoringCase(std::string_view a, std::string_view b);
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// The card listing's order: by name as above, equal names keeping the
// order they came in (a stable sort with this).
inline bool CardNameLess(std::string_view a, std::string_view b)
{
  return CompareIgnoringCase(a, b) < 0;
}

// The data type of a PC file name, or -1. The name is lower-cased in place;
// the first dot whose whole remainder is one of the extensions wins.
int TypeFromFileName(std::string& name);
// The same without touching the caller's text.
int TypeOfFileName(std::string_view name);

// The name a PC file gets on the card (the engine's rule): cut at the last
// dot, at most 8 characters, everything but ASCII letters and digits as "_".
// The name is expected in the lower case that TypeFromFileName leaves.
std::string CardFileName(std::string_view nameWithoutExtension);

// The name with its extension (text from the last dot on) removed.
std::string WithoutExtension(std::string_view name);

// The card name used for the replace check when files go to the card:
// upper case, cut at the last dot, inner dots as "_", at most 8 characters.
// A name without a dot gives an empty card name.
std::string CardNameOf(std::string_view pcFileName);

// A card file name from the console made safe as a PC file name: every byte
// but ASCII letters, digits, "_", "-" and blanks becomes "_" (so no path
// separator, dot, colon or control character remains); a name of blanks only
// gets a leading "_", and a Windows device name (CON, AUX, COM1 ...) a
// trailing "_". The result is never empty.
std::string SafePcFileName(std::string_view cardName);

} // namespace zr
