#include "app/program.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/card_list.h"
#include "app/list_gestures.h"
#include "app/main_window.h"
#include "app/prompter.h"
#include "frontend/qt_timer.h"
#include "frontend/settings.h"
#include "app/window_archive.h"
#include "app/window_host.h"
#include "dialogs/about_box.h"
#include "dialogs/progress_form.h"
#include "link/backend/device_access.h"
#include "link/backend/midi_rtmidi.h"
#include "link/backend/serial_qt.h"
#include "link/com_ports.h"
#include "engine/engine.h"

namespace zr {

namespace {

// The configuration folder's first settings file starts as a copy of the one
// that could not be written, so that its ports and choices carry over.
void SeedSettings(const QString& from, const QString& to)
{
  QFile source(from);
  if (!source.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(to).absolutePath()))
    return;
  QSaveFile target(to);
  if (target.open(QIODevice::WriteOnly) && target.write(source.readAll()) >= 0)
    target.commit();
}

} // namespace

void Program::ChooseSettingsFile(const ProgramOptions& options)
{
  QString beside = options.settingsPath, config = options.settingsFallbackPath;
  if (beside.isEmpty()) {
    beside = SettingsFile::BesideProgramPath();
    config = SettingsFile::ConfigFolderPath();
  }
  if (config.isEmpty()) {
    settingsPath_ = beside;
  } else {
    const auto usable = options.settingsFileUsable ? options.settingsFileUsable : &SettingsFile::FileUsable;
    const SettingsFile::Location place =
        SettingsFile::Locate(beside, config, &SettingsFile::FolderWritable, usable);
    settingsPath_ = place.path;
    // Said once, when the settings move; later starts just use the new file.
    if (!place.passedOver.isEmpty() && !QFileInfo::exists(place.path)) {
      SeedSettings(place.passedOver, place.path);
      settingsNote_ =
          QStringLiteral("Cannot write %1; settings kept in %2").arg(place.passedOver, place.path);
    }
  }
}

Program::Program(ProgramOptions options)
    : endProcess_(std::move(options.endProcess)), midiSystem_(std::move(options.midiSystem))
{
  ChooseSettingsFile(options);
  if (!midiSystem_)
    midiSystem_ = MakePlatformMidiSystem();
  prompter_ = options.prompter;
  if (!prompter_) {
    ownPrompter_ = std::make_unique<QtPrompter>();
    prompter_ = ownPrompter_.get();
  }
  SerialDeviceFactory serialFactory =
      options.serialFactory ? std::move(options.serialFactory) : QtSerialDeviceFactory();
  // Which device stands behind "COM n" is read once: the user's own table in
  // the settings file, over the platform's default one.
  ComPortPaths comPaths = MakeComPortPaths(SettingsFile(settingsPath_).ComPortTableFromPorts());

  timers_ = std::make_unique<QtTimerSet>();
  // The four windows first, in the order the user may meet them; the main
  // window's lists are what the batch reads.
  form1_ = std::make_unique<TForm1>();
  progressForm_ = std::make_unique<TProgressForm>();
  progressForm_->SetMainWindow(form1_.get());
  aboutBox_ = std::make_unique<TAboutBox>(form1_.get());
  host_ = std::make_unique<WindowHost>(*form1_, *progressForm_, *prompter_);
  EngineOptions engineOptions;
  engineOptions.serialFactory = std::move(serialFactory);
  engineOptions.comPaths = std::move(comPaths);
  engineOptions.midi = midiSystem_.get();
  engineOptions.window = form1_.get();
  engineOptions.view = host_.get();
  engineOptions.whyRefused = [](const std::string& device) { return zr::NoPermissionText(device); };
  engine_ = std::make_unique<Engine>(*host_, timers_->timers, std::move(engineOptions));
  transfers_ = std::make_unique<TransfersOf<Engine>>(*engine_);
  gestures_ = std::make_unique<ListGestures>(
      *transfers_, *form1_->SolanoView(), *form1_->InternalView(), form1_->PcList(),
      [this] { return host_->SelectedPcFolder(); }, [this](const std::string& text) { host_->SetStatusText(text); });
  archive_ = std::make_unique<WindowArchive>(*engine_, *host_);
  progressForm_->SetCancelHandler([this] {
    if (archive_->Running())
      archive_->Cancel();
    else
      engine_->StopBatch();
  });
  portSetupFrm_ = std::make_unique<TPortSetupFrm>(*this, form1_.get());
  form1_->Attach(WindowParts{*engine_, *gestures_,
                             *prompter_, *progressForm_, *aboutBox_, *portSetupFrm_, *timers_, *archive_,
                             settingsPath_, settingsNote_, [this](int code) { EndProcess(code); }});
}

Program::~Program()
{
  portSetupFrm_.reset();
  archive_.reset();
  gestures_.reset();
  transfers_.reset();
  engine_.reset(); // stops the timers: no handler runs into a half-dismantled program
  host_.reset();
  aboutBox_.reset();
  progressForm_.reset();
  form1_.reset();
}

void Program::EndProcess(int exitCode)
{
  if (endProcess_) {
    endProcess_(exitCode);
    return;
  }
  // Leaves every event loop, a nested one of a box included.
  QCoreApplication::exit(exitCode);
}

QString Program::NoPermissionText(const QString& device, const QString& group)
{
  return QString::fromStdString(zr::NoPermissionText(device.toStdString(), group.toStdString()));
}

// --- PortSetupActions ---

void Program::ListMidiDevices(QStringList& inputs, QStringList& outputs)
{
  const MidiDeviceLists lists = engine_->MidiDevices();
  for (const std::string& name : lists.inputs)
    inputs.append(QString::fromStdString(name));
  for (const std::string& name : lists.outputs)
    outputs.append(QString::fromStdString(name));
}

void Program::CloseComPort()
{
  engine_->CloseSerial();
}
std::vector<int> Program::ProbeComPorts()
{
  return engine_->ProbeComPorts();
}
int Program::MidiInDevice() const
{
  return engine_->Settings().midiIn;
}
int Program::MidiOutDevice() const
{
  return engine_->Settings().midiOut;
}
int Program::ConnectedComPort() const
{
  return engine_->Settings().connectedComPort;
}
void Program::SetMidiInDevice(int index)
{
  engine_->SetMidiPair(index, engine_->Settings().midiOut);
}
void Program::SetMidiOutDevice(int index)
{
  engine_->SetMidiPair(engine_->Settings().midiIn, index);
}
void Program::SetComPortNumber(int number)
{
  engine_->SetComPort(number);
}
void Program::SearchMidiPort()
{
  engine_->SearchMidiPair();
}
void Program::SearchComPort()
{
  engine_->SearchSerial();
}
void Program::StopSearchAndWatchdogs()
{
  engine_->PortSetupOpening();
}

void Program::CheckPortTypeMenuItem(int portType)
{
  if (portType == TPortSetupFrm::PortTypeMidi)
    form1_->CheckMidi();
  else
    form1_->CheckComport();
}

} // namespace zr
