// zr4812-sim: a virtual ZR4812 console for tests, benchmarks and demos.
// Serves a card folder and an internal-memory folder over a pseudo-terminal
// (the PC opens it as a COM port), paces the line, and injects faults.
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>

#include "sim/midi_transport.h"
#include "sim/peer/chaos.h"
#include "sim/peer/console_peer.h"
#include "sim/pty_transport.h"
#include "files/datatypes.h"

namespace fs = std::filesystem;
using namespace zr;
using namespace zr::sim;

namespace {

std::atomic<bool> stopRequested{false};

void OnSignal(int)
{
  stopRequested = true;
}

const char* const HELP = R"(Usage: zr4812-sim --card DIR --internal DIR [options]

A virtual ZR4812 console. It creates a pseudo-terminal, prints the path of
its slave side on one line of standard output, and answers the PC's
messages on it until it is terminated (SIGTERM or SIGINT).

Folders:
  --card DIR          the memory card: a file NAME.EXT is a card file named
                      NAME (1 to 8 characters) of the type of its extension,
                      any letter case: kpr 0, kch 1, keq 2, kcg 3, kfx 4,
                      ka 5, ksn 6, ksu 7, kex 8. Uploads are stored here.
  --keep-case         keep card names exactly as the PC sends them (letter
                      case and any printable character): SONG1 and song1 are
                      two files. Without it a name meets another of any
                      letter case, and an upload's name keeps only letters,
                      digits, "_" and "-"
  --internal DIR      internal memory: one file per type, named internal.kpr,
                      internal.kch, internal.keq, internal.kcg, internal.kfx,
                      internal.ka, internal.ksn, internal.ksu, internal.kex.
                      Backups are read from here, restores replace them.

Line:
  --baud N            pace the line at N baud, 10 bits per byte, in both
                      directions (default 115200; 0 = as fast as possible)
  --link PATH         also make PATH a symbolic link to the slave side
  --midi              a pair of MIDI ports (ALSA, else JACK) instead of the
                      pseudo-terminal; prints their name (31250 baud is a
                      MIDI cable's rate)
  --name NAME         the MIDI ports' name (default "ZR4812 Sim")
  --log FILE          write a line for every message in and out ("-": stderr)
  --die-with-parent   end when the process that started it ends

Faults:
  --model N           answer the search with model byte N (default 0x0B)
  --corrupt-block K[:N]
                      send data block K with a wrong checksum, N times
                      (default 1); may be given more than once
  --silent-after CMD[:COUNT]
                      answer COUNT requests of command CMD (default 0), then
                      nothing at all. CMD: search, directory, file-name,
                      file-request, block-request, data-block, or a command
                      byte such as 0x50
  --wake-on-search    with --silent-after: the next search ends the silence,
                      once (a console that was busy and is back)
  --wake-after MS     with --silent-after: the first message MS ms into the
                      silence ends it, once
  --loop              a looped cable: every message comes straight back and
                      nothing is answered
  --leading-ff N      send N 0xFF bytes before every message
  --no-end-byte K     send data block K once without its end byte (F7)
  --drop-7f K         the first time block K of a file goes to the PC, leave
                      out the first 0x7F byte of its payload: the block is one
                      byte short and its checksum still good. Asked for again,
                      the block goes out whole. A block without 0x7F is sent
                      as it is, with a warning on standard error
  --stray-block       the first time the last block of a file goes to the PC,
                      send that block once more straight after it, unasked
  --repeat-last-request
                      after the last block of the first file from the PC
                      (upload or restore), ask for that block once more; the
                      file is stored once, when the last block first arrives,
                      and the repeat is compared with it (a difference is
                      reported on standard error)
  --repeat-request K  ask once more for block K of the first file from the PC
                      that has it: right after block K + 1 has arrived (after
                      block K itself when it is the last), then go on
  --reject-block K[:N]
                      take block K from the PC as corrupt N times (default
                      1): drop it and ask for it again; may be given more
                      than once
  --split-frame N[:OFFSET]
                      cut the N-th message the console sends (1 = the first;
                      the identify reply counts) after OFFSET bytes (default:
                      half of it) and send the rest 2 s later. Over MIDI the
                      two pieces go out as two messages
  --back-to-back      answer the first search with the identify reply and,
                      in the same write, a search of the console's own (the
                      PC takes the reply, then answers the search with its
                      identify, which the console ignores). Over MIDI they
                      are two messages, one straight after the other
  --double-go-ahead   the go-ahead for the first file the PC offers goes out
                      twice (a block 0 the console did not await is a
                      restore into its memory)
  --card-loses-upload every block of the first file sent to the card is
                      asked for and taken, and the card keeps none of it
  --stray-older       before the first block of the third file sent to the
                      PC, the last block of the first one once more, unasked
  --chaos SEED[:RATE] at random, the same for the same SEED: each message
                      the console sends meets a fault with RATE percent
                      likelihood (default 2): it is dropped, sent twice, has
                      one byte damaged, is cut short, is held back up to 3 s,
                      or is followed by a stray block (the block before) or a
                      repeated request (the request before). Over both lines.
  --full-directory    accepted and ignored: a directory reply always lists
                      every card file of its type, however long
  "A file" is never the MIDI link test block. All faults but --corrupt-block
  and --reject-block go off once.

  --help              this text
)";

struct Options {
  PeerOptions peer;
  int baud = 115200;
  int leadingFill = 0;
  std::string linkPath;
  std::string logPath;
  bool dieWithParent = false;
  bool midi = false;
  std::string midiName;
  std::optional<ChaosOptions> chaos;
};

[[noreturn]] void Fail(const std::string& message)
{
  std::cerr << "zr4812-sim: " << message << "\n";
  std::exit(2);
}

// A whole number in decimal or 0x hex, within [low, high].
long Number(const std::string& text, const std::string& option, long low, long high)
{
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || errno != 0 || *end != '\0' || value < low || value > high)
    Fail(option + ": \"" + text + "\" is not a number from " + std::to_string(low) + " to " +
         std::to_string(high));
  return value;
}

std::uint8_t CommandByte(const std::string& text)
{
  static const std::pair<const char*, std::uint8_t> names[] = {{"search", SYS_EX_SEARCH},
                                                               {"directory", SYS_EX_DIRECTORY_REQUEST},
                                                               {"file-name", SYS_EX_FILE_NAME},
                                                               {"file-request", SYS_EX_FILE_REQUEST},
                                                               {"block-request", SYS_EX_BLOCK_REQUEST},
                                                               {"data-block", SYS_EX_DATA_BLOCK}};
  for (const auto& [name, command] : names)
    if (text == name)
      return command;
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
    Fail("--silent-after: \"" + text +
         "\" is no command (search, directory, file-name, file-request, block-request, data-block, or a "
         "byte)");
  return static_cast<std::uint8_t>(Number(text, "--silent-after", 0, 127));
}

// "A" or "A:B" -> (A, B or fallback).
std::pair<std::string, std::optional<std::string>> SplitColon(const std::string& text)
{
  const auto colon = text.find(':');
  if (colon == std::string::npos)
    return {text, std::nullopt};
  return {text.substr(0, colon), text.substr(colon + 1)};
}

Options Parse(int argc, char** argv)
{
  Options o;
  bool haveCard = false, haveInternal = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc)
        Fail(arg + " needs a value (see --help)");
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << HELP;
      std::exit(0);
    } else if (arg == "--card") {
      o.peer.cardDir = value();
      haveCard = true;
    } else if (arg == "--internal") {
      o.peer.internalDir = value();
      haveInternal = true;
    } else if (arg == "--model") {
      o.peer.model = static_cast<std::uint8_t>(Number(value(), arg, 0, 127));
    } else if (arg == "--baud") {
      o.baud = static_cast<int>(Number(value(), arg, 0, 100'000'000));
    } else if (arg == "--link") {
      o.linkPath = value();
    } else if (arg == "--log") {
      o.logPath = value();
    } else if (arg == "--die-with-parent") {
      o.dieWithParent = true;
    } else if (arg == "--corrupt-block") {
      const auto [block, times] = SplitColon(value());
      o.peer.corruptBlocks[static_cast<unsigned>(Number(block, arg, 0, MAX_BLOCKS - 1))] +=
          times ? static_cast<int>(Number(*times, arg, 0, 1'000'000)) : 1;
    } else if (arg == "--silent-after") {
      const auto [command, count] = SplitColon(value());
      o.peer.silentAfterCommand = CommandByte(command);
      o.peer.silentAfterCount = count ? static_cast<int>(Number(*count, arg, 0, 1'000'000)) : 0;
    } else if (arg == "--wake-on-search") {
      o.peer.wakeOnSearch = true;
    } else if (arg == "--wake-after") {
      o.peer.wakeAfterMs = static_cast<int>(Number(value(), arg, 1, 1'000'000'000));
      o.peer.clock = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
      };
    } else if (arg == "--loop") {
      o.peer.loop = true;
    } else if (arg == "--leading-ff") {
      o.leadingFill = static_cast<int>(Number(value(), arg, 0, 1000));
    } else if (arg == "--no-end-byte") {
      o.peer.noEndByteBlock = static_cast<unsigned>(Number(value(), arg, 0, MAX_BLOCKS - 1));
    } else if (arg == "--drop-7f") {
      o.peer.drop7fBlock = static_cast<unsigned>(Number(value(), arg, 0, MAX_BLOCKS - 1));
    } else if (arg == "--keep-case") {
      o.peer.keepCase = true;
    } else if (arg == "--stray-block") {
      o.peer.strayBlock = true;
    } else if (arg == "--card-loses-upload") {
      o.peer.cardLosesUpload = true;
    } else if (arg == "--double-go-ahead") {
      o.peer.doubleGoAhead = true;
    } else if (arg == "--stray-older") {
      o.peer.strayOlder = true;
    } else if (arg == "--repeat-last-request") {
      o.peer.repeatLastRequest = true;
    } else if (arg == "--repeat-request") {
      o.peer.repeatRequestBlock = static_cast<unsigned>(Number(value(), arg, 0, MAX_BLOCKS - 1));
    } else if (arg == "--reject-block") {
      const auto [block, times] = SplitColon(value());
      o.peer.rejectBlocks[static_cast<unsigned>(Number(block, arg, 0, MAX_BLOCKS - 1))] +=
          times ? static_cast<int>(Number(*times, arg, 0, 1'000'000)) : 1;
    } else if (arg == "--split-frame") {
      const auto [message, offset] = SplitColon(value());
      o.peer.splitMessage = static_cast<unsigned>(Number(message, arg, 1, 1'000'000'000));
      if (offset)
        o.peer.splitOffset = static_cast<std::size_t>(Number(*offset, arg, 0, 1'000'000));
    } else if (arg == "--back-to-back") {
      o.peer.backToBack = true;
    } else if (arg == "--chaos") {
      o.chaos = ParseChaos(value());
      if (!o.chaos)
        Fail("--chaos: SEED[:RATE] expected, RATE a percentage from 0 to 100");
    } else if (arg == "--full-directory") {
      // Directory replies always list every file now; kept for old scripts.
    } else if (arg == "--midi") {
      o.midi = true;
    } else if (arg == "--name") {
      o.midiName = value();
    } else {
      Fail("unknown option " + arg + " (see --help)");
    }
  }
  if (!haveCard || !haveInternal)
    Fail("--card DIR and --internal DIR are both needed (see --help)");
  std::error_code ec;
  if (!fs::is_directory(o.peer.cardDir, ec))
    Fail("--card: " + o.peer.cardDir.string() + " is not a folder");
  if (!fs::is_directory(o.peer.internalDir, ec))
    Fail("--internal: " + o.peer.internalDir.string() + " is not a folder");
  return o;
}

// The seam for further lines: a MIDI transport plugs in here.
std::unique_ptr<Transport> MakeTransport(const Options& o)
{
  if (o.midi)
    return std::make_unique<MidiTransport>(o.baud, o.midiName);
  return std::make_unique<PtyTransport>(o.baud, o.leadingFill);
}

// SIGTERM and SIGINT end the serving; a PC that goes away mid-write does not.
void CatchSignals()
{
  struct sigaction action {};
  action.sa_handler = OnSignal; // no SA_RESTART: a blocked poll or write returns at once
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

// Where --log writes: standard error for "-", else `file` opened on `path`
// for appending; nowhere without --log.
std::ostream* OpenLog(const std::string& path, std::ofstream& file)
{
  if (path == "-")
    return &std::cerr;
  if (path.empty())
    return nullptr;
  file.open(path, std::ios::app);
  if (!file)
    Fail("--log: cannot write " + path);
  return &file;
}

// --link: `path` made a symbolic link to `address`, replacing a link that
// was left there.
void MakeLink(const std::string& path, const std::string& address)
{
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec)))
    fs::remove(path, ec);
  fs::create_symlink(address, path, ec);
  if (ec)
    Fail("--link: cannot make " + path + ": " + ec.message());
}

} // namespace

int main(int argc, char** argv)
{
  const Options options = Parse(argc, argv);
  if (options.dieWithParent)
    DieWithParent();

  CatchSignals();
  std::ofstream logFile;
  std::ostream* log = OpenLog(options.logPath, logFile);
  const auto start = std::chrono::steady_clock::now();

  ConsolePeer peer(options.peer);
  peer.SetWarn([](const std::string& line) { std::cerr << "zr4812-sim: " << line << std::endl; });
  std::function<void(const std::string&)> logLine;
  if (log)
    logLine = [&](const std::string& line) {
      const auto ms =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
              .count();
      *log << ms << " ms " << line << std::endl;
    };
  peer.SetLog(logLine);
  std::optional<Chaos> chaos;
  if (options.chaos) {
    chaos.emplace(*options.chaos);
    peer.SetFilter([&](std::vector<LineOutput> line) { return chaos->Apply(std::move(line), logLine); });
  }

  std::unique_ptr<Transport> transport = MakeTransport(options);
  std::string error;
  if (!transport->Open(error))
    Fail(error);
  if (!options.linkPath.empty())
    MakeLink(options.linkPath, transport->Address());
  std::cout << transport->Address() << std::endl;

  const int code = transport->Serve(peer, stopRequested);

  if (!options.linkPath.empty()) {
    std::error_code ec;
    fs::remove(options.linkPath, ec);
  }
  return code;
}
