#include "cli/console.h"

#include <unistd.h>

#include <asio/post.hpp>

#include "link/backend/midi_rtmidi.h"

namespace zr::cli {

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
  return {argv, argv + argc};
}

void UseSystemPaths(Options&) {}

void PrepareConsole() {}

bool StderrIsTerminal()
{
  return ::isatty(2) != 0;
}

std::unique_ptr<MidiSystem> MakeCliMidiSystem(asio::io_context& io)
{
  // RtMidi's thread only copies and posts; asio::post may be called from any thread.
  return std::make_unique<RtMidiSystem>("ZR4812 Exchange",
                                        [&io](std::function<void()> call) { asio::post(io, std::move(call)); });
}

} // namespace zr::cli
