// The terminal zr4812 runs in, where the systems differ: one file per system
// (console_posix.cpp, console_win.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <asio/io_context.hpp>

#include "cli/options.h"
#include "link/midi_system.h"

namespace zr::cli {

// The command line in UTF-8, as the rest of the program takes its text
// (Windows hands a program its arguments in the code page otherwise).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// The paths of the command line as the engine can open them. On Windows a
// name outside ASCII is handed to the engine as its short (8.3) form, and the
// current folder too: the C++ library of MinGW-w64 reads a narrow path in
// the C library's code page, not in UTF-8. Elsewhere nothing changes.
void UseSystemPaths(Options& options);

// Makes the terminal show UTF-8 and the progress line's escapes.
void PrepareConsole();

// Whether stderr is a terminal, where the progress line is drawn.
bool StderrIsTerminal();

// The platform's MIDI system for the command line, its input posted into
// `io`; null where this build has no MIDI.
std::unique_ptr<MidiSystem> MakeCliMidiSystem(asio::io_context& io);

} // namespace zr::cli
