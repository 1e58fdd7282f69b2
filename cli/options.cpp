#include "cli/options.h"

#include <cstdio>
#include <filesystem>

#include "files/datatypes.h"
#include "files/pc_path.h"

namespace fs = std::filesystem;

namespace zr::cli {

const char* const USAGE = R"USAGE(Usage: zr4812 [LINK] COMMAND [ARGUMENTS] [OPTIONS]

Moves files between this computer and a ZR4812 mixing console, with the
same engine, links and settings file as ZR4812 File Exchange (zr4812-exchange).

Commands:
  ports                        list serial ports (COMn and device) and MIDI
                               inputs and outputs with their indexes
  list [--type KIND]           card files, "NAME.ext<TAB>type name", one a line
  get NAME.ext... [--to DIR]   card files into DIR (default: the current folder)
  get --all [--to DIR]         every card file
  put FILE...                  PC files onto the card
  backup KIND [FILE]           one kind of internal data into FILE (default:
                               the kind's name in the current folder, e.g.
                               setup.ksu)
  restore FILE... [--yes]      internal data from PC files; a new operating
                               system (.kex) needs --yes
  archive [DIR]                every card file and every internal kind into a
                               new DIR/zr4812-YYYYmmdd-HHMMSS/ with SHA256SUMS;
                               an archive that did not finish holds a file
                               INCOMPLETE that lists what is missing
  archive --resume ARCHIVE     fetches only what ARCHIVE lacks, then writes
                               SHA256SUMS and removes INCOMPLETE
  verify ARCHIVE               compares every file of ARCHIVE with the console
                               (nothing is written): one line a file, "same",
                               "differs", "missing on the console" or "not in
                               the archive"; exit 0 only when all are the same
  restore-archive ARCHIVE      checks SHA256SUMS, then puts the card files
                               (existing ones only with --replace) and restores
                               the internal kinds: the seven libraries as one
                               restore, or else "Project (all)" alone

Link (neither: the link that the settings file names, as the window uses it):
  --port DEVICE|COMn           a serial device, or a COM number mapped by the
                               settings file's Ports section
  --midi IN,OUT                MIDI input and output, by index (as `ports`
                               prints it) or by a part of the name

Options:
  --replace                    replace existing files instead of skipping them
  --retries N                  try a file again up to N times (default 2) when
                               the console fell silent or the line failed,
                               after the console answers a search again
  --card-only, --internal-only restore-archive: only that half of the archive
  --with-os                    restore-archive: the operating system too, last
                               (with --yes)
  -n, --dry-run                restore-archive: say what would be done
  --trace FILE                 write every message in and out to a new FILE,
                               one a line: time, direction, bytes in hex
  --trace-append               add to an existing trace FILE instead
  --settings FILE              the settings file (default: the window's,
                               zr4812-exchange.ini)
  --quiet                      nothing but errors and the final line
  --help                       this text
  --version                    the version

  --                           the end of the options: what follows are names

KIND: kpr kch keq kcg kfx ka ksn ksu kex, or the number 0 to 8.
A card file is named as `list` prints it (its own name, with \xNN, \t, \\ and
quotes escaped), by the name it gets on the PC, or ignoring case.

Examples:
  Check the archive against the console before a show:
    zr4812 verify /srv/mixer-backups/zr4812-20240301-023000
  Put a whole console back into a replaced one:
    zr4812 restore-archive -n ~/zr4812-20240301-023000
    zr4812 restore-archive --replace --with-os --yes ~/zr4812-20240301-023000

Exit status: 0 all done; 1 a file failed or was skipped; 2 usage error;
3 no console (port missing or in use, or no answer); 130 interrupted.
)USAGE";

int Usage(const std::string& problem)
{
  std::fprintf(
      stderr,
      "zr4812: %s\nUsage: zr4812 [--port DEVICE|COMn | --midi IN,OUT] "
      "ports|list|get|put|backup|restore|archive|verify|restore-archive ...\nTry 'zr4812 --help' for more.\n",
      problem.c_str());
  return EXIT_USAGE;
}

// The kind named by its extension or number, or -1.
int KindOf(const std::string& text)
{
  if (text.size() == 1 && text[0] >= '0' && text[0] <= '8')
    return text[0] - '0';
  std::string ext = text;
  if (!ext.empty() && ext[0] == '.')
    ext.erase(0, 1);
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    if (EqualsIgnoringCase(ext, DataTypeTable[static_cast<std::size_t>(type)].extension))
      return type;
  return -1;
}

namespace {

bool TakesValue(const std::string& a)
{
  return a == "--retries" || a == "--port" || a == "--midi" || a == "--trace" || a == "--settings" ||
         a == "--to" || a == "--type";
}

} // namespace

HelpAsked HelpAskedIn(int argc, char** argv)
{
  // Only where an option stands: not after "--", where every word is a
  // name, and not as the value of an option ("--to --help" is a folder).
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--")
      break;
    if (TakesValue(a))
      ++i;
    else if (a == "--help" || a == "-h")
      return HelpAsked::Usage;
    else if (a == "--version")
      return HelpAsked::Version;
  }
  return HelpAsked::None;
}

namespace {

// Options and arguments into `o`; an error text for an option that is unknown
// or lacks its value.
std::optional<std::string> ReadArguments(int argc, char** argv, Options& o)
{
  bool names = false; // after "--" every word is a name
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (names || a == "-" || a.empty() || a[0] != '-') {
      if (o.command.empty())
        o.command = a;
      else
        o.args.push_back(a);
    } else if (a == "--") {
      names = true;
    } else if (a == "--retries") {
      if (i + 1 >= argc)
        return a + " needs a value";
      const std::string v = argv[++i];
      if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos)
        return "--retries needs a number from 0 to 999";
      o.retries = std::stoi(v);
    } else if (a == "--port" || a == "--midi" || a == "--trace" || a == "--settings" || a == "--to" ||
               a == "--type") {
      if (i + 1 >= argc)
        return a + " needs a value";
      const std::string v = argv[++i];
      (a == "--port"       ? o.port
       : a == "--midi"     ? o.midi
       : a == "--trace"    ? o.traceFile
       : a == "--settings" ? o.settings
       : a == "--to"       ? o.to
                           : o.type) = v;
    } else if (a == "--all") {
      o.all = true;
    } else if (a == "--replace") {
      o.replace = true;
    } else if (a == "--yes") {
      o.yes = true;
    } else if (a == "--quiet" || a == "-q") {
      o.quiet = true;
    } else if (a == "--trace-append") {
      o.traceAppend = true;
    } else if (a == "--resume") {
      o.resume = true;
    } else if (a == "--dry-run" || a == "-n") {
      o.dryRun = true;
    } else if (a == "--card-only") {
      o.cardOnly = true;
    } else if (a == "--internal-only") {
      o.internalOnly = true;
    } else if (a == "--with-os") {
      o.withOs = true;
    } else {
      return "unknown option " + a;
    }
  }
  return std::nullopt;
}

// Whether the command has the arguments it needs; an error text when not.
std::optional<std::string> CheckArguments(const Options& o)
{
  if (o.command.empty())
    return std::string("no command given");
  if (!o.port.empty() && !o.midi.empty())
    return std::string("--port and --midi exclude each other");
  if (o.traceAppend && o.traceFile.empty())
    return std::string("--trace-append goes with --trace FILE");
  const std::string& c = o.command;
  const std::size_t n = o.args.size();
  if (c == "ports" || c == "list") {
    if (n != 0)
      return c + " takes no file names";
    if (!o.type.empty() && KindOf(o.type) < 0)
      return "unknown kind " + o.type;
  } else if (c == "get") {
    if (o.all == (n > 0))
      return std::string("get needs NAME.ext... or --all");
    for (const std::string& name : o.args)
      if (!IsDataType(TypeOfFileName(name)))
        return name + " does not end in a kind's extension";
  } else if (c == "put" || c == "restore") {
    if (n == 0)
      return c + " needs at least one FILE";
    for (const std::string& name : o.args)
      if (!IsDataType(TypeOfFileName(fs::path(name).filename().string())))
        return name + " does not end in a kind's extension";
  } else if (c == "backup") {
    if (n < 1 || n > 2)
      return std::string("backup needs KIND [FILE]");
    const int kind = KindOf(o.args[0]);
    if (kind < 0)
      return "unknown kind " + o.args[0];
    if (n == 2) {
      const std::string file = fs::path(o.args[1]).filename().string();
      const std::size_t dot = file.rfind('.');
      if (dot != std::string::npos &&
          !EqualsIgnoringCase(file.substr(dot + 1), DataTypeTable[static_cast<std::size_t>(kind)].extension))
        return o.args[1] + " does not end in ." + DataTypeTable[static_cast<std::size_t>(kind)].extension;
    }
  } else if (c == "archive") {
    if (n > 1)
      return std::string("archive takes one folder at most");
    if (o.resume && n != 1)
      return std::string("archive --resume needs the archive's folder");
  } else if (c == "verify" || c == "restore-archive") {
    if (n != 1)
      return c + " needs the archive's folder";
    if (o.cardOnly && o.internalOnly)
      return std::string("--card-only and --internal-only exclude each other");
  } else {
    return "unknown command " + c;
  }
  return std::nullopt;
}

} // namespace

std::optional<std::string> Parse(int argc, char** argv, Options& o)
{
  if (std::optional<std::string> problem = ReadArguments(argc, argv, o))
    return problem;
  return CheckArguments(o);
}

} // namespace zr::cli
