// The whole program against the virtual console over a pseudo-terminal:
// files move between a card folder, an internal-memory folder and a PC
// folder, the questions are answered by a script, and the console's log
// tells what went over the line.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>

#include "app/card_list.h"
#include "app/internal_view.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/prompter.h"
#include "frontend/qt_timer.h"
#include "dialogs/progress_form.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"
#include "tests/serial/serial_harness.h"
#include "tests/support/fake_midi.h"
#include "tests/support/fakes.h"
#include "tests/widgets/widget_test_util.h"
#include "engine/engine_parts.h"
#include "engine/session.h"

namespace zr::test {

// Answers every box from a script: the next answer in the queue, else Ok,
// No or Abort. Each box is recorded with what the program looked like then.
class TransferPrompter : public Prompter {
public:
  struct Box {
    QString text;
    BoxIcon icon;
    BoxButtons buttons;
  };

  BoxAnswer ShowMessage(QWidget*, const QString& text, BoxIcon icon, BoxButtons buttons) override
  {
    boxes.push_back({text, icon, buttons});
    if (onBox)
      onBox(boxes.back());
    return TakeNext(answers, HarmlessAnswer(buttons));
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
  std::optional<QString> AskFolder(QWidget*, const QString&, const QString&) override
  {
    return TakeNext(folderAnswers);
  }
  int ExecDialog(QDialog& dialog) override
  {
    dialogs << dialog.objectName();
    return onDialog ? onDialog(dialog) : 0;
  }

  QStringList Texts() const
  {
    QStringList texts;
    for (const Box& b : boxes)
      texts << b.text;
    return texts;
  }

  std::vector<Box> boxes;
  std::deque<BoxAnswer> answers;
  std::function<void(const Box&)> onBox;
  QStringList dialogs;                   // every dialog shown, by name
  std::function<int(QDialog&)> onDialog; // shows it; without: not shown, result 0
  std::deque<std::optional<QString>> saveAnswers;
  std::vector<SaveFileRequest> saveRequests;
  std::vector<QStringList> openRequests; // title, folder, filter
  std::deque<QStringList> openAnswers;
  std::deque<std::optional<QString>> folderAnswers;
};

inline QByteArray RandomData(int size, unsigned seed)
{
  std::mt19937 rng(seed);
  QByteArray data(size, '\0');
  for (char& c : data)
    c = static_cast<char>(rng());
  return data;
}

// zr4812-sim on a pseudo-terminal of its own, with the paths and the log
// in the form the widget tests use.
class SimConsole {
public:
  QString CardFolder() const { return QString::fromStdString(folders.card.string()); }
  QString CardPath(const QString& name) const { return CardFolder() + QLatin1Char('/') + name; }
  QString InternalPath(int type) const
  {
    return QString::fromStdString(folders.internal.string()) + QStringLiteral("/internal.") +
           DataTypeTable[type].extension;
  }

  // Starts the console; returns the pseudo-terminal's path, or "" on failure.
  QString Start(const QStringList& extra = {})
  {
    std::string error;
    if (!process.Start(folders.card, folders.internal, extra, error))
      return {};
    return QString::fromStdString(process.Path());
  }
  void Stop() { process.Stop(); }

  QStringList Log() const
  {
    return QString::fromLocal8Bit(ReadFile(QString::fromStdString(process.LogPath())))
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  // What the console received from the PC, one message a line.
  QStringList ReceivedLines() const
  {
    QStringList lines;
    for (const QString& line : Log()) {
      const int at = line.indexOf(QStringLiteral(" ms <- "));
      if (at >= 0)
        lines << line.mid(at + 7);
    }
    return lines;
  }
  // How many messages from the PC start with `text`.
  int Received(const QString& text) const
  {
    int n = 0;
    for (const QString& line : ReceivedLines())
      n += line.startsWith(text) ? 1 : 0;
    return n;
  }

  ConsoleFolders folders;
  SimProcess process;
};

class TransfersTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(pcDir.isValid()); }
  void TearDown() override
  {
    program.reset(); // the program lets go of the line before the console ends
    sim.Stop();
  }

  // Starts the console and the program, which connects over COM3 and reads
  // the card; true once the card list holds `cardRows` rows and is complete.
  bool StartProgram(int cardRows, const QStringList& simOptions = {}, SerialDeviceFactory serialFactory = {},
                    QString device = {})
  {
    if (device.isEmpty())
      device = sim.Start(simOptions);
    if (device.isEmpty())
      return false;
    const QString settings = QStringLiteral("[Communication]\nMedium=1\nComPort=3\n[Prefs]\nDirectory=%1\n"
                                            "[Ports]\nCOM3=%2\n")
                                 .arg(pcDir.path(), device);
    // No MIDI devices: these go over the serial line only.
    return LaunchProgram(settings, cardRows, std::move(serialFactory), std::make_unique<FakeMidiSystem>());
  }

  // Writes the settings file and starts the program with it (midi null:
  // the platform's MIDI devices); true once it is connected and the card
  // list holds `cardRows` rows and is complete.
  bool LaunchProgram(const QString& settings, int cardRows, SerialDeviceFactory serialFactory,
                     std::unique_ptr<MidiSystem> midi)
  {
    settingsPath = settingsDir.path() + QStringLiteral("/zr4812-exchange.ini");
    WriteFile(settingsPath, settings.toUtf8());
    ProgramOptions options;
    options.settingsPath = settingsPath;
    options.prompter = &prompter;
    options.serialFactory = std::move(serialFactory);
    options.midiSystem = std::move(midi);
    options.endProcess = [](int) {};
    program = std::make_unique<Program>(std::move(options));
    QObject::connect(&program->ProgressForm(), &QWidget::windowTitleChanged,
                     [this](const QString& title) { titles << title; });
    Form().show();
    return WaitUntil([&] { return Form().StatusText(0) == connectedText; }, 60000) && WaitCardList(cardRows);
  }

  // Waits until the card list has been read to the end with `rows` rows.
  bool WaitCardList(int rows)
  {
    return WaitUntil([&] { return Card().Count() == rows && !program->Timers().UploadTimer.IsActive(); });
  }
  // Waits until the end of a batch: progress closed, connection status shown.
  bool WaitIdle()
  {
    return WaitUntil([&] {
      return !program->ProgressForm().isVisible() && !program->Timers().SendTimer.IsActive() &&
             !program->Timers().UploadTimer.IsActive() && Form().isEnabled() &&
             Form().StatusText(0) == connectedText;
    });
  }

  TForm1& Form() const { return program->Form1(); }
  CardListView& Card() const { return *Form().SolanoView(); }
  InternalListView& Internal() const { return *Form().InternalView(); }
  TPTShellList& Pc() const { return *Form().PCView(); }
  BatchState& State() const { return program->engine().Parts().session.batch; }

  QString PcPath(const QString& name) const { return pcDir.path() + QLatin1Char('/') + name; }

  // Selects exactly the card rows with these names, in the order given.
  void SelectCard(const QStringList& names)
  {
    Card().clearSelection();
    for (const QString& name : names)
      for (int row = 0; row < Card().Count(); ++row)
        if (Card().RowName(row) == name)
          Card().topLevelItem(row)->setSelected(true);
  }
  int CardRow(const QString& name) const
  {
    for (int row = 0; row < Card().Count(); ++row)
      if (Card().RowName(row).compare(name, Qt::CaseInsensitive) == 0)
        return row;
    return -1;
  }

  // Waits until the PC list shows these files, then selects exactly them.
  bool SelectPc(const QStringList& names)
  {
    if (!WaitUntil([&] {
          for (const QString& n : names)
            if (Pc().IndexOfCaption(n, Qt::CaseSensitive) < 0)
              return false;
          return true;
        }))
      return false;
    for (int i = 0; i < Pc().ItemCount(); ++i)
      Pc().SetSelected(i, false);
    for (const QString& n : names)
      Pc().SetSelected(Pc().IndexOfCaption(n, Qt::CaseSensitive), true);
    return Pc().SelCount() == names.size();
  }

  void SelectInternal(int type) { Internal().setCurrentItem(Internal().topLevelItem(type)); }

  // What a file manager's drag does when it lands on `list`: URLs and no
  // source inside the program.
  static void DropUrls(QAbstractItemView& list, const QList<QUrl>& urls)
  {
    QMimeData data;
    data.setUrls(urls);
    const QPointF at(10, 10);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &drop);
  }

  // Lets the event loop run a while, for checks that something did NOT happen.
  static void Settle(int ms = 700)
  {
    WaitUntil([] { return false; }, ms);
  }

  QTemporaryDir pcDir;
  QTemporaryDir settingsDir;
  QString settingsPath;
  SimConsole sim;
  TransferPrompter prompter;
  QStringList titles; // every title the progress dialog was given
  QString connectedText = QStringLiteral("Connected thru COM port 3");
  std::unique_ptr<Program> program;
};

} // namespace zr::test
