// One run of the program: the timers, the session, the two links, the batch
// logic, the connection control and the four windows, created once in this
// order and torn down in the opposite one. main creates one; a widget test
// creates its own with fakes for the devices and scripted answers.
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "dialogs/port_setup.h"
#include "link/midi_system.h"
#include "link/serial_device.h"
#include "engine/connection_control.h"

namespace zr {

class Engine;
class ListGestures;
class Transfers;
class Prompter;
class TAboutBox;
class TForm1;
class TProgressForm;
class WindowHost;
class WindowArchive;
struct QtTimerSet;

struct ProgramOptions {
  // The settings file; empty: "<program>.ini" beside the executable (or
  // the configuration folder's copy, see SettingsFile::Locate).
  QString settingsPath;
  // With settingsPath: where the settings go instead when that file exists
  // but cannot be used, and the check of that; empty: no such place, and a
  // check tried for real.
  QString settingsFallbackPath;
  std::function<bool(const QString& file)> settingsFileUsable;
  // Serial devices; empty: Qt SerialPort.
  SerialDeviceFactory serialFactory;
  // The MIDI devices; null: the platform's, through RtMidi.
  std::unique_ptr<MidiSystem> midiSystem;
  // Message boxes and dialogs; null: real ones. Not owned.
  Prompter* prompter = nullptr;
  // Ends the run with an exit code; empty: leave the event loop.
  std::function<void(int exitCode)> endProcess;
};

class Program : public PortSetupActions {
public:
  explicit Program(ProgramOptions options = {});
  ~Program() override;
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  TForm1& Form1() const { return *form1_; }
  TProgressForm& ProgressForm() const { return *progressForm_; }
  TAboutBox& AboutBox() const { return *aboutBox_; }
  TPortSetupFrm& PortSetupFrm() const { return *portSetupFrm_; }

  Engine& engine() const { return *engine_; }
  WindowHost& Host() const { return *host_; }
  WindowArchive& Archive() const { return *archive_; }
  ListGestures& Gestures() const { return *gestures_; }
  Prompter& prompter() const { return *prompter_; }
  QtTimerSet& Timers() const { return *timers_; }
  const QString& SettingsPath() const { return settingsPath_; }

  // The last step of closing: the process ends with this code.
  void EndProcess(int exitCode);

  // "No permission to open /dev/ttyUSB0: add your user to the group dialout".
  static QString NoPermissionText(const QString& device, const QString& group);

  // --- PortSetupActions ---
  void ListMidiDevices(QStringList& inputs, QStringList& outputs) override;
  void CloseComPort() override;
  std::vector<int> ProbeComPorts() override;
  int MidiInDevice() const override;
  int MidiOutDevice() const override;
  int ConnectedComPort() const override;
  void SetMidiInDevice(int index) override;
  void SetMidiOutDevice(int index) override;
  void SetComPortNumber(int number) override;
  void SearchMidiPort() override;
  void SearchComPort() override;
  void StopSearchAndWatchdogs() override;
  void CheckPortTypeMenuItem(int portType) override;

private:
  // Where the settings live: beside the program when that file can be read
  // and written, else the configuration folder's (noted for the status line).
  void ChooseSettingsFile(const ProgramOptions& options);
  QString settingsPath_;
  QString settingsNote_; // which file is used when the first cannot be
  std::function<void(int)> endProcess_;
  std::unique_ptr<MidiSystem> midiSystem_;
  std::unique_ptr<Prompter> ownPrompter_;
  Prompter* prompter_ = nullptr;
  std::unique_ptr<QtTimerSet> timers_;
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<WindowHost> host_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<Transfers> transfers_; // the engine's intents, for the gestures
  std::unique_ptr<ListGestures> gestures_;
  std::unique_ptr<WindowArchive> archive_;
  std::unique_ptr<TProgressForm> progressForm_;
  std::unique_ptr<TAboutBox> aboutBox_;
  std::unique_ptr<TPortSetupFrm> portSetupFrm_;
};

} // namespace zr
