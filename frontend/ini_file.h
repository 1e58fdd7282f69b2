// The program's settings file: "<program>.ini", in the text format of a
// Windows profile file, read and written key by key. Standard C++, so that
// the command line reads and writes it without Qt; the window's
// SettingsFile (settings.h) is this with QString faces.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "link/com_ports.h"

namespace zr {

// A profile file held in memory as its lines, so that writing a key keeps
// every other section, key, comment and unknown line where it was.
//
// Format: "[Section]" lines, "Key=Value" lines, anything else (comments
// starting with ';' or '#', blank lines, junk) kept as it is. Section and
// key names are compared without regard to case; the first of two equal
// names wins. Values are raw text: only the blanks around them are dropped.
// Text is UTF-8 in memory; a file that is not UTF-8 (an older Windows
// program's code page) is read byte for byte as Latin-1 and written back so.
class IniFile {
public:
  // Reads the file at `path` (UTF-8); a missing file reads as empty, so
  // every key yields its default.
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }
  // False when the file existed but could not be read.
  bool LoadedOk() const { return loadedOk_; }

  // The value as a decimal integer (blanks around it and a sign allowed);
  // a missing section or key, or any other text, gives `defaultValue`.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  bool HasKey(const std::string& section, const std::string& key) const;

  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteString(const std::string& section, const std::string& key, const std::string& value);

  // Writes the whole file atomically (a temporary file renamed over the old
  // one), creating its folder when needed. On failure returns false and
  // leaves the reason in `error` when given; the old file is untouched.
  [[nodiscard]] bool Flush(std::string* error = nullptr);

  // Keys of a section in file order.
  std::vector<std::string> Keys(const std::string& section) const;

  // The "Ports" section: "COMn=<device>" lines. An empty value hides the port.
  ComPortTable ComPortTableFromPorts() const;
  // Device path of COM port n (1..16): the "Ports" section's "COMn" key,
  // else the default table; empty when the port has no device.
  std::string ComPortDevice(int n) const;

  // --- The program's own keys ---

  // [Communication] Medium: the link to open at start (1 serial, 3 MIDI,
  // anything else: none); default 0.
  int Medium() const;
  // [Communication] ComPort (default 1), MidiIn and MidiOut (default 0).
  int ComPort() const;
  int MidiIn() const;
  int MidiOut() const;
  // [Prefs] Directory: the PC folder shown at start; `fallback` when unset.
  std::string Directory(const std::string& fallback) const;
  void WriteLink(int medium, int comPort, int midiIn, int midiOut);
  void WriteDirectory(const std::string& directory);

  // --- Where the file lives ---

  // "<name>.ini" for a program file name: a Windows ".exe" is replaced,
  // any other name (a Unix program has no extension) gets ".ini" appended.
  static std::string IniFileNameFor(const std::string& programFileName);

  // Which file to use, given the file beside the program and the one in the
  // user's configuration folder: an existing file beside the program that
  // can be read and written wins; then an existing one in the configuration
  // folder; else the program's folder when no file is there and the folder
  // is the user's own and can be written; else the configuration folder, so
  // that settings are never silently lost. A run under sudo may write to
  // /usr/bin, but a file it left there would be every user's first choice
  // and none of theirs to write: a new file goes only where its user owns
  // the folder.
  struct Location {
    std::string path;
    // The file beside the program when it exists but cannot be used; empty
    // otherwise.
    std::string passedOver;
  };
  using FolderTest = std::function<bool(const std::string& folder)>;
  static Location Locate(const std::string& besideProgram, const std::string& inConfigFolder,
                         const FolderTest& folderWritable, const FolderTest& fileUsable = &FileUsable,
                         const FolderTest& folderOwned = &FolderOwnedByUser);

  // Whether an existing file can be read and written (a file left by a run
  // under another user may not be).
  static bool FileUsable(const std::string& file);
  // Whether a file can be created in `folder`, tried for real (permission
  // bits alone say nothing when running as an administrator).
  static bool FolderWritable(const std::string& folder);
  // Whether `folder` belongs to the user the program runs for: under sudo
  // (or pkexec) the user who called it, not the administrator it runs as.
  // Where files have no owners to compare, every folder is the user's.
  static bool FolderOwnedByUser(const std::string& folder);

  // The running program's own file, and the user's configuration folder
  // ($XDG_CONFIG_HOME or ~/.config; %APPDATA% on Windows); empty when
  // unknown.
  static std::string ProgramFilePath();
  static std::string ConfigFolderPath();

private:
  int FindSection(const std::string& section) const;            // line of "[section]" or -1
  int FindKey(int sectionLine, const std::string& key) const;   // line of "key=" or -1
  int SectionEnd(int sectionLine) const;                        // first line after the section

  std::string path_;
  std::vector<std::string> lines_;
  bool crlf_ = false;
  bool latin1_ = false; // the file was not UTF-8
  bool loadedOk_ = true;
};

} // namespace zr
