// Names that card files get on the PC within one batch or job: safe for the
// PC and unique among themselves (case ignored, as a Windows or macOS disk
// compares them), so that no file of a batch lands on another's; and the
// card's own name as a terminal may show it.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "files/file_refs.h"

namespace zr {

// Hands out PC names one card file at a time. The first file of a name gets
// the safe form of its card name; each later one that would meet a name
// already handed out gets "~2", "~3" ... before its extension ("MIX_1~2.kch").
// "~" never appears in a safe name, so a numbered name meets no plain one.
class PcNameSet {
public:
  // The name without extension that `file` gets.
  std::string Assign(const CardFileRef& file);
  // Marks a full PC name ("NAME.ext") as taken.
  void Take(const std::string& pcFileName);
  bool Taken(const std::string& pcFileName) const;

private:
  std::unordered_set<std::string> taken_; // full names, ASCII lower case
};

// The names without extension that `files` get, in their order.
std::vector<std::string> UniquePcStems(const std::vector<CardFileRef>& files);
// "STEM.ext" for a card file's type.
std::string PcFileNameOf(const std::string& stem, int type);

// The card's own name, readable and unambiguous on a terminal: control
// characters, blanks other than " ", quotes, backslashes and bytes of 128 or
// above as \t, \n, \", \', \\ and \xNN; a name with nothing to escape stays
// as it is.
std::string EscapedCardName(std::string_view name);
// The name EscapedCardName came from, or the text itself when it escapes
// nothing that way.
std::string UnescapedCardName(std::string_view text);

} // namespace zr
