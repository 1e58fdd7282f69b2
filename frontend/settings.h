// The program's settings file: "<program>.ini", in the text format of a
// Windows profile file, read and written key by key. The window's face of
// IniFile (ini_file.h), which the command line uses without Qt: one
// implementation of the format and its rules for both.
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "frontend/ini_file.h"
#include "link/com_ports.h"

namespace zr {

// A profile file held in memory as its lines, so that writing a key keeps
// every other section, key, comment and unknown line where it was.
//
// Format: "[Section]" lines, "Key=Value" lines, anything else (comments
// starting with ';', blank lines, junk) kept as it is. Section and key names
// are compared without regard to case; the first of two equal names wins.
// Values are raw text: only the blanks around them are dropped.
class SettingsFile {
public:
  // Reads the file at `path`; a missing or unreadable file reads as empty,
  // so every key yields its default.
  explicit SettingsFile(QString path);

  const QString &Path() const { return path_; }
  // False when the file existed but could not be read.
  bool LoadedOk() const;

  // The value as a decimal integer (blanks around it and a sign allowed);
  // a missing section or key, or any other text, gives `defaultValue`.
  int ReadInteger(const QString &section, const QString &key, int defaultValue) const;
  QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
  bool HasKey(const QString &section, const QString &key) const;

  void WriteInteger(const QString &section, const QString &key, int value);
  void WriteString(const QString &section, const QString &key, const QString &value);

  // Writes the whole file atomically (a temporary file renamed over the old
  // one), creating its folder when needed. On failure returns false and
  // leaves the reason in `error` when given; the old file is untouched.
  [[nodiscard]] bool Flush(QString *error = nullptr);

  // Keys of a section in file order.
  QStringList Keys(const QString &section) const;

  // The "Ports" section: "COMn=<device>" lines, for the serial link's
  // MakeComPortPaths. An empty value hides the port.
  ComPortTable ComPortTableFromPorts() const;
  // Device path of COM port n (1..16): the "Ports" section's "COMn" key,
  // else the default table; empty when the port has no device.
  QString ComPortDevice(int n) const;

  // --- The program's own keys ---

  // [Communication] Medium: the link to open at start (1 serial, 3 MIDI,
  // anything else: none, the port setup dialog is shown); default 0.
  int Medium() const;
  // [Communication] ComPort (default 1), MidiIn and MidiOut (default 0).
  int ComPort() const;
  int MidiIn() const;
  int MidiOut() const;
  // [Prefs] Directory: the PC folder shown at start; `fallback` when unset.
  QString Directory(const QString &fallback) const;
  // Writes the keys of the link and the folder, as the program does at close.
  void WriteLink(int medium, int comPort, int midiIn, int midiOut);
  void WriteDirectory(const QString &directory);

  // --- Where the file lives ---

  // "<name>.ini" for a program file name: a Windows ".exe" is replaced,
  // any other name (a Unix program has no extension) gets ".ini" appended.
  static QString IniFileNameFor(const QString &programFileName);

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
    QString path;
    // The file beside the program when it exists but cannot be used; empty
    // otherwise.
    QString passedOver;
  };
  static Location Locate(const QString &besideProgram, const QString &inConfigFolder,
                         const std::function<bool(const QString &folder)> &folderWritable,
                         const std::function<bool(const QString &file)> &fileUsable = &FileUsable,
                         const std::function<bool(const QString &folder)> &folderOwned = &FolderOwnedByUser);
  static QString
  ChooseLocation(const QString &besideProgram, const QString &inConfigFolder,
                 const std::function<bool(const QString &folder)> &folderWritable,
                 const std::function<bool(const QString &folder)> &folderOwned = &FolderOwnedByUser)
  {
    return Locate(besideProgram, inConfigFolder, folderWritable, &FileUsable, folderOwned).path;
  }

  // The two places for this running program (QCoreApplication must exist).
  static QString BesideProgramPath();
  static QString ConfigFolderPath();
  // The location for this running program.
  static QString DefaultLocation();

  // Whether an existing file can be read and written (a file left by a run
  // under another user may not be).
  static bool FileUsable(const QString &file);

  // Whether a file can be created in `folder`, tried for real (permission
  // bits alone say nothing when running as an administrator).
  static bool FolderWritable(const QString &folder);

  // Whether `folder` belongs to the user the program runs for: under sudo
  // (or pkexec) the user who called it, not the administrator it runs as.
  // Where files have no owners to compare, every folder is the user's.
  static bool FolderOwnedByUser(const QString &folder);

private:
  IniFile file_;
  QString path_;
};

} // namespace zr
