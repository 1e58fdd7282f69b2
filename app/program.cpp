#include "app/program.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "app/card_list.h"
#include "app/main_window.h"
#include "app/prompter.h"
#include "app/qt_timer.h"
#include "app/settings.h"
#include "app/window_archive.h"
#include "app/window_host.h"
#include "dialogs/about_box.h"
#include "dialogs/progress_form.h"
#include "link/backend/device_access.h"
#include "link/backend/midi_rtmidi.h"
#include "link/backend/serial_qt.h"
#include "link/com_ports.h"
#include "link/comm.h"
#include "link/midi.h"
#include "transfer/batch.h"
#include "transfer/host_switch.h"
#include "transfer/search_links.h"
#include "transfer/session.h"

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
  // The archive's job stands in front of the window while it runs.
  hosts_ = std::make_unique<HostSwitch>(*host_);
  session_ = std::make_unique<Session>(*hosts_, timers_->timers);
  com_ = std::make_unique<ComLink>(*session_, std::move(serialFactory), std::move(comPaths));
  midi_ = std::make_unique<MidiLink>(*session_, *midiSystem_);
  session_->Com = com_.get();
  session_->Midi = midi_.get();
  searchLinks_ = std::make_unique<LinkPair>(com_.get(), *midi_, [this] { SearchComPortTellingWhy(); });
  batch_ =
      std::make_unique<Batch>(*session_, *form1_->SolanoView(), *form1_->InternalView(), form1_->PcList());
  session_->Steps = batch_.get();
  control_ = std::make_unique<ConnectionControl>(*session_, *searchLinks_, *form1_);
  archive_ = std::make_unique<WindowArchive>(*session_, *hosts_, *progressForm_);
  progressForm_->SetCancelHandler([this] {
    if (archive_->Running())
      archive_->Cancel();
    else
      batch_->CancelBtnClick();
  });
  portSetupFrm_ = std::make_unique<TPortSetupFrm>(*this, form1_.get());
  form1_->Attach(WindowParts{*session_, *com_, *midi_, *batch_, *control_, *prompter_, *progressForm_,
                             *aboutBox_, *portSetupFrm_, *timers_, *archive_, settingsPath_, settingsNote_,
                             [this](int code) { EndProcess(code); }});

  TForm1& f = *form1_;
  QtTimerSet& t = *timers_;
  t.CommTimer.SetHandler([&f] { f.CommTimerTimer(); });
  t.TimeoutTimer.SetHandler([&f] { f.TimeoutTimerTimer(); });
  t.UploadTimer.SetHandler([&f] { f.UploadTimerTimer(); });
  t.DownloadTimer.SetHandler([&f] { f.DownloadTimerTimer(); });
  t.DummyTimer.SetHandler([&f] { f.DummyTimerTimer(); });
  t.SendTimer.SetHandler([&f] { f.SendTimerTimer(); });
}

Program::~Program()
{
  // No handler may run into a half-dismantled program.
  for (QtTimer* t : {&timers_->CommTimer, &timers_->TimeoutTimer, &timers_->UploadTimer,
                     &timers_->DownloadTimer, &timers_->DummyTimer, &timers_->SendTimer}) {
    t->Stop();
    t->SetHandler(nullptr);
  }
  portSetupFrm_.reset();
  archive_.reset();
  control_.reset();
  batch_.reset();
  searchLinks_.reset();
  midi_.reset();
  com_.reset();
  if (session_) {
    session_->Com = nullptr;
    session_->Midi = nullptr;
  }
  session_.reset();
  hosts_.reset();
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
  if (group.isEmpty())
    return QStringLiteral("No permission to open %1").arg(device);
  return QStringLiteral("No permission to open %1: add your user to the group %2").arg(device, group);
}

void Program::SearchComPortTellingWhy()
{
  com_->SearchComPort();
  if (com_->ComPortOpen() || com_->LastOpenResult() != SerialOpenResult::PermissionDenied)
    return;
  const std::string device = com_->LastOpenPath();
  const QString text =
      NoPermissionText(QString::fromStdString(device), QString::fromStdString(DeviceGroupName(device)));
  session_->ShowStatus("%s", text.toUtf8().constData());
}

// --- PortSetupActions ---

void Program::ListMidiDevices(QStringList& inputs, QStringList& outputs)
{
  const MidiDeviceLists lists = midi_->ListMidiDevices();
  for (const std::string& name : lists.inputs)
    inputs.append(QString::fromStdString(name));
  for (const std::string& name : lists.outputs)
    outputs.append(QString::fromStdString(name));
}

void Program::CloseComPort()
{
  com_->CloseComPort();
}
std::vector<int> Program::ProbeComPorts()
{
  return com_->ProbeComPorts();
}
int Program::MidiInDevice() const
{
  return session_->link.MidiInDevice;
}
int Program::MidiOutDevice() const
{
  return session_->link.MidiOutDevice;
}
int Program::ConnectedComPort() const
{
  return session_->link.ConnectedComPort;
}
void Program::SetMidiInDevice(int index)
{
  session_->link.MidiInDevice = index;
}
void Program::SetMidiOutDevice(int index)
{
  session_->link.MidiOutDevice = index;
}
void Program::SetComPortNumber(int number)
{
  session_->link.ComPortNumber = number;
}
void Program::SearchMidiPort()
{
  midi_->SearchMidiPort();
}
void Program::SearchComPort()
{
  control_->SearchComPort();
}
void Program::StopSearchAndWatchdogs()
{
  control_->PortSetupOpening();
}

void Program::CheckPortTypeMenuItem(int portType)
{
  if (portType == TPortSetupFrm::PortTypeMidi)
    form1_->CheckMidi();
  else
    form1_->CheckComport();
}

} // namespace zr
