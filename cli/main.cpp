// zr4812: the ZR4812 console from the command line. The same engine, links,
// settings file and rules as the window, for scripts and terminals: list the
// card, copy files both ways, back up and restore internal data, archive
// the whole console in one step, and check or restore such an archive.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include "cli/asio_timer.h"
#include "cli/console.h"
#include "cli/interrupt.h"
#include "cli/options.h"
#include "cli/report.h"
#include "cli/stand_ins.h"
#include "frontend/ini_file.h"
#include "link/backend/device_access.h"
#include "link/backend/serial_asio.h"
#include "link/com_ports.h"
#include "link/trace.h"
#include "files/archive_check.h"
#include "jobs/console_job.h"
#include "engine/engine.h"
#include "engine/engine_events.h"
#include "engine/stand_ins.h"

using namespace zr;
using namespace zr::cli;

namespace {

// The index of the device named by `text` (an index, or a part of a name), or -1.
int FindDevice(const std::string& text, const std::vector<std::string>& names)
{
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos) {
    const int index = std::atoi(text.c_str());
    return index < static_cast<int>(names.size()) ? index : -1;
  }
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i].find(text) != std::string::npos)
      return static_cast<int>(i);
  return -1;
}

bool UsesMidi(const Options& o, const IniFile& settings)
{
  if (o.command == "ports" || !o.midi.empty())
    return true;
  return o.port.empty() && settings.Medium() == MEDIUM_MIDI;
}

std::string SettingsPath(const Options& o)
{
  if (!o.settings.empty())
    return o.settings;
  // The window's own settings file, found as the window finds it.
  const std::string name = IniFile::IniFileNameFor("zr4812-exchange");
  const std::string program = IniFile::ProgramFilePath();
  const std::string beside = program.substr(0, program.find_last_of("/\\") + 1) + name;
  const std::string config = IniFile::ConfigFolderPath() + "/zr4812-exchange/" + name;
  return IniFile::Locate(beside, config, &IniFile::FolderWritable).path;
}

// The platform's MIDI system when the run needs one; none otherwise, or
// where this build has no MIDI (`missing` says so).
std::unique_ptr<MidiSystem> MidiSystemFor(bool used, asio::io_context& io, bool& missing)
{
  std::unique_ptr<MidiSystem> system = used ? MakeCliMidiSystem(io) : nullptr;
  missing = used && !system;
  return system ? std::move(system) : std::make_unique<NoMidi>();
}

// One run of zr4812: the engine asked by intent, its events awaited on
// Asio's event loop.
class Runner : public EngineObserver {
public:
  explicit Runner(Options options)
      : o_(std::move(options)), settings_(SettingsPath(o_)),
        midiSystem_(MidiSystemFor(UsesMidi(o_, settings_), io_, midiMissing_)),
        engine_(quiet_, timers_.timers, EngineOptionsFor()), view_(!o_.quiet && StderrIsTerminal()),
        job_(engine_, view_, JobOptionsFor())
  {
  }

  // --- EngineObserver ---
  void ConnectionChanged(const Connection& connection) override { connection_ = connection; }
  void Idle() override
  {
    idle_ = true;
    // The job's next step starts from the event loop, not from inside the
    // engine's step that went idle.
    asio::post(io_, [this] { job_.Poll(); });
  }

  int Run()
  {
    if (!o_.traceFile.empty()) {
      trace_ = std::make_unique<TraceFile>(o_.traceFile, o_.traceAppend);
      if (!trace_->Ok()) {
        if (errno == EEXIST)
          std::fprintf(stderr, "zr4812: the trace %s exists already (--trace-append adds to it)\n",
                       o_.traceFile.c_str());
        else
          std::fprintf(stderr, "zr4812: cannot write the trace %s: %s\n", o_.traceFile.c_str(),
                       std::strerror(errno));
        return EXIT_USAGE;
      }
      engine_.SetTrace([this](bool out, const std::uint8_t* d, std::size_t n) { trace_->Write(out, d, n); });
    }
    if (o_.command == "ports")
      return Ports();
    if (o_.command == "get") {
      const std::string folder = o_.to.empty() ? "." : o_.to;
      if (const std::optional<std::string> problem = FolderProblem(folder)) {
        std::fprintf(stderr, "zr4812: %s: %s\n", folder.c_str(), problem->c_str());
        return EXIT_FILE_FAILED;
      }
    }
    if (o_.command == "verify" || o_.command == "restore-archive") {
      // A damaged archive is refused before the console is touched.
      const ArchiveCheck check = CheckArchive(o_.args[0]);
      if (check.problem) {
        std::fprintf(stderr, "zr4812: %s: %s\n", o_.args[0].c_str(), check.problem->c_str());
        return EXIT_FILE_FAILED;
      }
      if (o_.dryRun && o_.command == "restore-archive")
        return PrintDryRun(o_, check.contents);
    }
    cli::HandleInterrupts(io_, [this] {
      interrupted_ = true;
      job_.Cancel();
    });
    engine_.Claim(&job_);
    const int connected = Connect();
    if (connected != EXIT_DONE)
      return connected;
    Plan(o_, job_);
    job_.Run();
    WaitFor([this] { return job_.Done(); });
    if (interrupted_)
      return EXIT_INTERRUPTED;
    // The last message may still be on its way through the MIDI system,
    // which has no flush: give it time before the ports close. A serial
    // block takes 88 ms on the wire at 115200 baud, and the console takes
    // the last one (a restore's) without an answer: it gets that long too.
    RunFor(connection_.medium == MEDIUM_MIDI ? 500 : 100);
    view_.ClearLine();
    return Report(o_, job_);
  }

private:
  JobOptions JobOptionsFor()
  {
    JobOptions options;
    options.replace = o_.replace;
    options.yes = o_.yes;
    options.retries = o_.retries;
    // A search before a file goes again (on the link opened anew): the
    // console must answer it first. Only a search that ran out of time
    // counts as unanswered.
    options.searchAgain = [this] { engine_.Search(); };
    options.searchAnswered = [this] { return connection_.failure != ConnectFailure::NoAnswer; };
    return options;
  }


  EngineOptions EngineOptionsFor()
  {
    EngineOptions options;
    options.serialFactory = AsioSerialDeviceFactory(io_);
    options.comPaths = ComPaths();
    options.midi = midiSystem_.get();
    options.observer = this;
    return options;
  }

  ComPortPaths ComPaths()
  {
    ComPortTable table = settings_.ComPortTableFromPorts();
    // A device given by its path stands behind the COM number its own,
    // one past the numbers the window shows.
    if (!o_.port.empty() && KindOfPort(o_.port) == 0)
      table[COM_PORT_LAST] = o_.port;
    return MakeComPortPaths(table);
  }

  // The COM number of "COMn", or 0 for a device path.
  static int KindOfPort(const std::string& port) { return ComPortKeyNumber(port); }

  int Ports()
  {
    const ComPortTable table = settings_.ComPortTableFromPorts();
    for (int n = COM_PORT_FIRST; n <= COM_PORT_LAST; ++n) {
      const std::string device = settings_.ComPortDevice(n);
      if (!device.empty() && DeviceExists(device))
        std::printf("COM%d\t%s\n", n, device.c_str());
    }
    const MidiDeviceLists lists = engine_.MidiDevices();
    for (std::size_t i = 0; i < lists.inputs.size(); ++i)
      std::printf("MIDI in %zu\t%s\n", i, lists.inputs[i].c_str());
    for (std::size_t i = 0; i < lists.outputs.size(); ++i)
      std::printf("MIDI out %zu\t%s\n", i, lists.outputs[i].c_str());
    return EXIT_DONE;
  }

  // Runs the event loop until `done` holds after one of its events, or the
  // run is interrupted.
  void WaitFor(const std::function<bool()>& done)
  {
    while (!done() && !interrupted_)
      io_.run_one();
  }
  // Runs the event loop for `ms`, unless the run is interrupted.
  void RunFor(int ms)
  {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!interrupted_ && std::chrono::steady_clock::now() < end)
      io_.run_one_until(end);
  }

  int NoConsole(const std::string& why)
  {
    view_.ClearLine();
    std::fprintf(stderr, "zr4812: %s\n", why.c_str());
    return EXIT_NO_CONSOLE;
  }

  int Connect()
  {
    bool serial = !o_.port.empty();
    bool midi = !o_.midi.empty();
    if (!serial && !midi) {
      const int medium = settings_.Medium();
      serial = medium == MEDIUM_COM || medium == MEDIUM_COM_ALT;
      midi = medium == MEDIUM_MIDI;
      if (!serial && !midi)
        return NoConsole(
            "no link: give --port or --midi, or choose one in ZR4812 File Exchange (settings file " +
            settings_.Path() + ")");
    }
    std::string where;
    const int opened = serial ? OpenSerial(where) : OpenMidi(where);
    if (opened != EXIT_DONE)
      return opened;
    // Connected once the console has answered and its card list is in; not
    // at all once nothing is armed any more without a connection (a MIDI
    // link test that never came through closes the ports).
    WaitFor([this] { return idle_; });
    if (interrupted_)
      return EXIT_INTERRUPTED;
    if (connection_.state != ConnectionState::Connected || job_.ConsoleLost())
      return NoConsole("no answer from the ZR4812 on " + where);
    return EXIT_DONE;
  }

  // The search's time-out, and over MIDI how often the search goes again
  // meanwhile: a connection JACK made a moment ago may not carry the first
  // message.
  static LinkChoice Timed(LinkChoice choice)
  {
    choice.searchMs = SEARCH_TIMEOUT_MS;
    choice.midiRepeatMs = MIDI_SEARCH_REPEAT_MS;
    return choice;
  }

  // Opens the serial port and starts the search; `where` names the port.
  int OpenSerial(std::string& where)
  {
    int port = settings_.ComPort();
    if (!o_.port.empty())
      port = KindOfPort(o_.port) ? KindOfPort(o_.port) : COM_PORT_LAST;
    const Connection c = engine_.Connect(Timed(LinkChoice::Serial(port)));
    where = c.device.empty() ? "COM" + std::to_string(port) : c.device;
    switch (c.failure) {
    case ConnectFailure::PermissionDenied:
      return NoConsole(NoPermissionText(c.device));
    case ConnectFailure::NoDevice:
      return NoConsole("COM" + std::to_string(port) + " has no device");
    case ConnectFailure::CannotOpen:
      return NoConsole("cannot open " + where + ": " + SerialOpenResultText(c.openResult));
    default:
      return EXIT_DONE;
    }
  }

  // Opens the MIDI ports and starts the search; `where` names them.
  int OpenMidi(std::string& where)
  {
    if (midiMissing_)
      return NoConsole("this zr4812 has no MIDI: connect over a COM port (--port COMn)");
    const MidiDeviceLists lists = engine_.MidiDevices();
    std::string in = "0", out = "0";
    if (!o_.midi.empty()) {
      const std::size_t comma = o_.midi.find(',');
      in = o_.midi.substr(0, comma);
      out = comma == std::string::npos ? in : o_.midi.substr(comma + 1);
    } else {
      in = std::to_string(settings_.MidiIn());
      out = std::to_string(settings_.MidiOut());
    }
    const int inIndex = FindDevice(in, lists.inputs), outIndex = FindDevice(out, lists.outputs);
    if (inIndex < 0)
      return NoConsole("no MIDI input " + in + " (zr4812 ports lists them)");
    if (outIndex < 0)
      return NoConsole("no MIDI output " + out + " (zr4812 ports lists them)");
    where = "MIDI " + lists.inputs[static_cast<std::size_t>(inIndex)] + " -> " +
            lists.outputs[static_cast<std::size_t>(outIndex)];
    if (engine_.Connect(Timed(LinkChoice::Midi(inIndex, outIndex))).state == ConnectionState::Failed)
      return NoConsole("cannot open " + where);
    return EXIT_DONE;
  }



  // First made, last gone: everything below posts into it.
  asio::io_context io_;
  // The loop waits for events even when nothing is under way.
  asio::executor_work_guard<asio::io_context::executor_type> busy_ = asio::make_work_guard(io_);
  Options o_;
  IniFile settings_;
  QuietHost quiet_;
  AsioTimerSet timers_{io_};
  bool midiMissing_ = false;
  std::unique_ptr<MidiSystem> midiSystem_;
  Engine engine_;
  TerminalView view_;
  ConsoleJob job_;
  std::unique_ptr<TraceFile> trace_;
  Connection connection_; // as the engine told it last
  bool idle_ = false;     // the engine went idle since the connection began
  bool interrupted_ = false;
};

} // namespace

int main(int argc, char** argv)
{
  // The arguments in UTF-8, handed on as the parser takes them.
  std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<char*> pointers;
  for (std::string& argument : arguments)
    pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = pointers.data();
  PrepareConsole();
  switch (HelpAskedIn(argc, argv)) {
  case HelpAsked::Usage:
    std::fputs(USAGE, stdout);
    return EXIT_DONE;
  case HelpAsked::Version:
    std::printf("zr4812 %s\n", ZR_VERSION);
    return EXIT_DONE;
  case HelpAsked::None:
    break;
  }
  Options options;
  if (const std::optional<std::string> problem = Parse(argc, argv, options))
    return Usage(*problem);
  UseSystemPaths(options);
  Runner runner(std::move(options));
  return runner.Run();
}