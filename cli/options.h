// zr4812's command line: the usage text, the options and their checks.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zr::cli {

constexpr int EXIT_DONE = 0;
constexpr int EXIT_FILE_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_NO_CONSOLE = 3;
constexpr int EXIT_INTERRUPTED = 130;
constexpr int SEARCH_TIMEOUT_MS = 3000;
constexpr int MIDI_SEARCH_REPEAT_MS = 500; // a MIDI search goes again after this long unanswered

extern const char* const USAGE;

struct Options {
  std::string command;
  std::vector<std::string> args;
  std::string port, midi, traceFile, settings, to, type;
  bool all = false, replace = false, yes = false, quiet = false;
  bool traceAppend = false, resume = false, dryRun = false, cardOnly = false, internalOnly = false,
       withOs = false;
  int retries = 2;
};

// Prints the problem and a short usage to stderr; returns EXIT_USAGE.
int Usage(const std::string& problem);
// The kind named by its extension or number, or -1.
int KindOf(const std::string& text);
// Whether the line asks for the usage or the version, in the place of an option.
enum class HelpAsked { None, Usage, Version };
HelpAsked HelpAskedIn(int argc, char** argv);
// Parses argv; an error text when the line makes no sense.
std::optional<std::string> Parse(int argc, char** argv, Options& o);

} // namespace zr::cli
