#include "cli/options.h"

#include <cstdio>
#include <filesystem>

#include "transfer/datatypes.h"
#include "transfer/pc_path.h"

namespace fs = std::filesystem;

namespace zr::cli {

const char* const USAGE = R"(Usage: zr4812 [LINK] COMMAND [ARGUMENTS] [OPTIONS]

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
  archive [DIR]                every card file and every internal kind into
                               DIR/zr4812-YYYYmmdd-HHMMSS/ with SHA256SUMS

Link (neither: the link that the settings file names, as the window uses it):
  --port DEVICE|COMn           a serial device, or a COM number mapped by the
                               settings file's Ports section
  --midi IN,OUT                MIDI input and output, by index (as `ports`
                               prints it) or by a part of the name

Options:
  --replace                    replace existing files instead of skipping them
  --trace FILE                 write every message in and out to FILE, one a
                               line: time, direction, bytes in hex
  --settings FILE              the settings file (default: the window's,
                               zr4812-exchange.ini)
  --quiet                      nothing but errors and the final line
  --help                       this text
  --version                    the version

KIND: kpr kch keq kcg kfx ka ksn ksu kex, or the number 0 to 8.

Exit status: 0 all done; 1 a file failed or was skipped; 2 usage error;
3 no console (port missing or in use, or no answer); 130 interrupted.
)";

int Usage(const std::string& problem)
{
  std::fprintf(stderr,
               "zr4812: %s\nUsage: zr4812 [--port DEVICE|COMn | --midi IN,OUT] "
               "ports|list|get|put|backup|restore|archive ...\nTry 'zr4812 --help' for more.\n",
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

// Options and arguments into `o`; an error text for an option that is unknown
// or lacks its value.
std::optional<std::string> ReadArguments(int argc, char** argv, Options& o)
{
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--port" || a == "--midi" || a == "--trace" || a == "--settings" || a == "--to" ||
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
    } else if (a.size() > 1 && a[0] == '-') {
      return "unknown option " + a;
    } else if (o.command.empty()) {
      o.command = a;
    } else {
      o.args.push_back(a);
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
