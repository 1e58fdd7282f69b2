// A whole program for the widget tests: its own settings file in a temporary
// folder, scripted answers for every box and dialog, a scripted MIDI system
// that can put the virtual console's protocol peer on one device pair, and
// the record of every status line.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <QDialog>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "app/main_window.h"
#include "app/program.h"
#include "app/prompter.h"
#include "app/window_host.h"
#include "sim/peer/console_peer.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fakes.h"
#include "tests/widgets/widget_test_util.h"
#include "engine/engine_parts.h"

namespace zr::test {

struct BoxRecord {
  QString text;
  BoxIcon icon;
  BoxButtons buttons;
};

// Answers boxes and dialogs from scripts, in order; without a script a box
// gets its harmless answer (Ok, No, Abort) and a dialog is closed unchanged.
class ScriptedPrompter : public Prompter {
public:
  using BoxScript = std::function<BoxAnswer(const BoxRecord&)>;
  using DialogScript = std::function<int(QDialog&)>;

  BoxAnswer ShowMessage(QWidget*, const QString& text, BoxIcon icon, BoxButtons buttons) override
  {
    boxes.push_back({text, icon, buttons});
    if (const BoxScript script = TakeNext(boxScripts))
      return script(boxes.back());
    return HarmlessAnswer(buttons);
  }

  std::optional<QString> AskSaveFileName(QWidget*, const SaveFileRequest& request) override
  {
    saveRequests.push_back(request);
    return TakeNext(saveAnswers);
  }
  QStringList AskOpenFileNames(QWidget*, const QString& title, const QString& folder,
                               const QString& filter) override
  {
    openRequests.push_back({title, folder, filter});
    return TakeNext(openAnswers);
  }

  // Shown for real (its show event runs), scripted, then hidden again.
  int ExecDialog(QDialog& dialog) override
  {
    dialogs.push_back(dialog.objectName());
    dialog.show();
    int result = QDialog::Rejected;
    if (const DialogScript script = TakeNext(dialogScripts))
      result = script(dialog);
    dialog.hide();
    return result;
  }

  static BoxScript Answer(BoxAnswer answer)
  {
    return [answer](const BoxRecord&) { return answer; };
  }

  QStringList BoxTexts() const
  {
    QStringList texts;
    for (const BoxRecord& b : boxes)
      texts.append(b.text);
    return texts;
  }

  std::vector<BoxRecord> boxes;
  std::deque<BoxScript> boxScripts;
  QStringList dialogs;
  std::deque<DialogScript> dialogScripts;
  std::vector<SaveFileRequest> saveRequests;
  std::vector<QStringList> openRequests; // title, folder, filter
  std::deque<QStringList> openAnswers;
  std::deque<std::optional<QString>> saveAnswers;
};

// A MIDI system whose devices are scripted; the virtual console's peer
// listens on one pair, and answers arrive a moment later, as from a device.
class ConsoleMidiSystem : public FakeMidiSystem {
public:
  ConsoleMidiSystem(int inputs, int outputs, std::pair<int, int> consolePair, sim::PeerOptions options)
      : consolePair_(consolePair), peer_(std::move(options))
  {
    SetDevices(inputs, outputs);
    onSend = [this](const Bytes& message) {
      if (deaf || openIn_ != consolePair_.first || openOut_ != consolePair_.second)
        return;
      Answer(message);
    };
  }

  MidiResult OpenInput(int index) override
  {
    const MidiResult result = FakeMidiSystem::OpenInput(index);
    if (result == MIDI_OK)
      openIn_ = index;
    return result;
  }
  MidiResult OpenOutput(int index) override
  {
    const MidiResult result = FakeMidiSystem::OpenOutput(index);
    if (result == MIDI_OK)
      openOut_ = index;
    return result;
  }
  MidiResult CloseInput() override
  {
    openIn_ = -1;
    return FakeMidiSystem::CloseInput();
  }
  MidiResult CloseOutput() override
  {
    openOut_ = -1;
    return FakeMidiSystem::CloseOutput();
  }

  // The console gets `message` and its answers come in on the next turn of
  // the event loop.
  void Answer(const Bytes& message)
  {
    for (Bytes& answer : peer_.Receive(message))
      QTimer::singleShot(0, [this, answer = std::move(answer)] {
        if (inputOpen)
          Deliver(answer);
      });
  }

  bool deaf = false;

private:
  std::pair<int, int> consolePair_;
  sim::ConsolePeer peer_;
  int openIn_ = -1;
  int openOut_ = -1;
};

// One program with its settings file and the records of a run.
class ProgramHarness {
public:
  // settingsText: the file's content before the run; nothing: no file.
  explicit ProgramHarness(std::optional<QString> settingsText = std::nullopt,
                          std::unique_ptr<MidiSystem> midi = nullptr, SerialDeviceFactory serial = {},
                          const std::function<void(ProgramOptions&)>& adjust = {})
  {
    // The documents folder is where the PC pane starts.
    documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(documents);
    settingsPath = dir.filePath(QStringLiteral("zr4812-exchange.ini"));
    if (settingsText)
      WriteFile(settingsPath, settingsText->toUtf8());
    if (!midi) {
      auto none = std::make_unique<FakeMidiSystem>();
      midi = std::move(none);
    }
    midiSystem = static_cast<FakeMidiSystem*>(midi.get());
    ProgramOptions options;
    options.settingsPath = settingsPath;
    options.midiSystem = std::move(midi);
    options.serialFactory = std::move(serial);
    options.prompter = &prompter;
    options.endProcess = [this](int code) { endCodes.push_back(code); };
    if (adjust)
      adjust(options);
    program = std::make_unique<Program>(std::move(options));
    QObject::connect(&Form(), &TForm1::StatusChanged, [this](const QString& s) { statuses.append(s); });
  }
  ~ProgramHarness() { program.reset(); }

  TForm1& Form() const { return program->Form1(); }
  Session& session() const { return program->engine().Parts().session; }
  Batch& batch() const { return program->engine().Parts().batch; }

  void Show() { Form().show(); }
  void Close() { Form().close(); }

  bool StatusSeen(const QString& text) const { return statuses.contains(text); }
  bool WaitForStatus(const QString& text, int timeoutMs = kWaitMs)
  {
    return WaitUntil([&] { return StatusSeen(text); }, timeoutMs);
  }
  QString SettingsText() const { return QString::fromUtf8(ReadFile(settingsPath)); }

  QTemporaryDir dir;
  QString settingsPath;
  QString documents;
  ScriptedPrompter prompter;
  FakeMidiSystem* midiSystem = nullptr;
  std::unique_ptr<Program> program;
  QStringList statuses;
  std::vector<int> endCodes;
};

// The settings file of a serial run on COM3 = `device`, with lines of
// other sections that must survive a run.
inline QString SerialSettings(const std::string& device, int comPort = 3)
{
  return QStringLiteral("; written by hand\n"
                        "[Communication]\n"
                        "Medium=1\n"
                        "ComPort=%1\n"
                        "MidiIn=5\n"
                        "[Other]\n"
                        "Keep=yes\n"
                        "[Ports]\n"
                        "COM3=%2\n")
      .arg(comPort)
      .arg(QString::fromStdString(device));
}

} // namespace zr::test
