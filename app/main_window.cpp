#include "app/main_window.h"

#include <algorithm>
#include <cmath>

#include <QAbstractScrollArea>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "app/card_list.h"
#include "app/prompter.h"
#include "frontend/qt_timer.h"
#include "frontend/settings.h"
#include "app/status_panel.h"
#include "app/window_archive.h"
#include "dialogs/about_box.h"
#include "dialogs/archive_dialogs.h"
#include "dialogs/port_setup.h"
#include "dialogs/progress_form.h"
#include "shell/shell_list.h"
#include "engine/engine.h"
#include "shell/shell_tree.h"
#include "files/datatypes.h"

namespace zr {

// The PC file list as the batch logic reads it.
class TForm1::PcListAccess : public ListAccess {
public:
  explicit PcListAccess(TPTShellList*& list) : list_(list) {}
  int Count() const override { return list_ ? list_->ItemCount() : 0; }
  bool IsSelected(int index) const override { return list_ && list_->IsSelected(index); }
  std::string Caption(int index) const override
  {
    return list_ ? list_->Caption(index).toStdString() : std::string();
  }
  int ImageIndex(int) const override { return -1; }

private:
  TPTShellList*& list_;
};

TForm1::TForm1() : pcList_(std::make_unique<PcListAccess>(pcView_))
{
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("ZR4812 File Exchange"));
  setFont(QFont(QStringLiteral("Arial"), 8));
  CreateMenus();
  CreateControls();
  CreatePopupMenus();
  ConnectLists();
  ConnectDesktop();

  // The designed window, less what the desktop's frame takes of it; the
  // menu bar is inside the client area here.
  const QSize frame(kFrameWidth, kCaptionAndFrameHeight);
  setMinimumSize(kMinimumWindow - frame);
  resize(kDesignWindow - frame);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = frameGeometry();
    area.moveCenter(screen->availableGeometry().center());
    move(area.topLeft());
  }
}

void TForm1::Attach(WindowParts parts)
{
  parts_ = std::make_unique<WindowParts>(std::move(parts));
  // The port setup dialog names the devices behind the COM ports it found,
  // as the settings file maps them.
  parts_->portSetupFrm.SetComPortDevices(
      [path = parts_->settingsPath](int n) { return SettingsFile(path).ComPortDevice(n); });
}

TForm1::~TForm1() = default;

void TForm1::ShowSelectedFolder()
{
  // After the tree has laid out the rows that just arrived.
  QTimer::singleShot(0, shellTree_, [tree = shellTree_] {
    tree->scrollTo(tree->currentIndex(), QAbstractItemView::PositionAtCenter);
  });
}

void TForm1::AfterDrop(std::function<void()> step)
{
  QTimer::singleShot(0, this, std::move(step));
}

QString TForm1::StatusText(int panel) const
{
  return statusPanels_[panel]->FullText();
}

QLabel* TForm1::StatusPanel(int panel) const
{
  return statusPanels_[panel];
}

QAction* TForm1::Action(const char* name) const
{
  return findChild<QAction*>(QString::fromLatin1(name));
}

ListAccess& TForm1::PcList() const
{
  return *pcList_;
}

// ---------------------------------------------------------------- start, end

void TForm1::showEvent(QShowEvent* event)
{
  QMainWindow::showEvent(event);
  if (!shown_ && !event->spontaneous()) {
    shown_ = true;
    // Only a splitter on the screen keeps the sizes it is given.
    PlaceSplitterDivider();
    FormShow();
  }
}

void TForm1::FormShow()
{
  for (int type = 0; type < DATA_TYPE_COUNT; ++type) {
    TypeNames[type] = QString::fromLatin1(DataTypeTable[type].name);
    TypeLabels[type] = QString::fromLatin1(DataTypeTable[type].label);
  }
  internalView_->viewport()->update();

  Engine& engine = parts().engine;
  {
    SettingsFile settings(parts().settingsPath);
    engine.SetMedium(settings.Medium());
    if (settings.Medium() == MEDIUM_COM)
      ComportClick();
    else if (settings.Medium() == MEDIUM_MIDI)
      MidiClick();
    // Otherwise the menu's mark stays where the window was created with it;
    // the dialog's port type follows it, so that Search steps through every
    // MIDI pair on a first run too.
    engine.AlignPortType();

    shellTree_->SetSelectedPathName(TPTShellTree::StartFolder());
    const QString shown = shellTree_->GetSelectedPathName();
    const QString directory = settings.Directory(shown);
    if (!directory.isEmpty() && QFileInfo(directory).isDir())
      shellTree_->SetSelectedPathName(directory);
  }
  pcView_->setFocus(Qt::OtherFocusReason);
  ShowSelectedFolder();
  if (!parts().settingsNote.isEmpty())
    ShowStatusText(parts().settingsNote);
  OpenConfiguredLink();
}

void TForm1::OpenConfiguredLink()
{
  Engine& engine = parts().engine;
  SettingsFile settings(parts().settingsPath);
  const int medium = engine.Settings().medium;
  if (medium == MEDIUM_COM) {
    engine.SetComPort(settings.ComPort());
    engine.SearchSerial();
  } else if (medium == MEDIUM_MIDI) {
    engine.SetMidiPair(settings.MidiIn(), settings.MidiOut());
    engine.SearchMidiPair();
  } else {
    parts().prompter.ExecDialog(parts().portSetupFrm);
  }
}

void TForm1::closeEvent(QCloseEvent* event)
{
  event->accept();
  FormClose();
}

void TForm1::FormClose()
{
  if (closing_)
    return;
  closing_ = true;
  Engine& engine = parts().engine;
  engine.CloseLinks();

  Engine::LinkSettings link = engine.Settings();
  link.midiIn = std::max(link.midiIn, 0);
  link.midiOut = std::max(link.midiOut, 0);
  engine.SetMidiPair(link.midiIn, link.midiOut);
  SettingsFile settings(parts().settingsPath);
  settings.WriteLink(link.medium, link.connectedComPort, link.midiIn, link.midiOut);
  settings.WriteDirectory(shellTree_->GetSelectedPathName());
  // A file that cannot be written ends the run all the same, without a word.
  (void)settings.Flush();

  // Nothing may fire between here and the end of the process.
  QtTimerSet& t = parts().timers;
  for (QtTimer* timer :
       {&t.CommTimer, &t.TimeoutTimer, &t.UploadTimer, &t.DownloadTimer, &t.DummyTimer, &t.SendTimer, &t.RetryTimer})
    timer->Stop();
  parts().endProcess(0);
}

void TForm1::BackUpEverythingClick()
{
  if (parts().archive.Running())
    return;
  const std::optional<QString> folder = parts().prompter.AskFolder(
      this, QStringLiteral("Back up everything into..."), shellTree_->GetSelectedPathName());
  if (folder)
    parts().archive.Start(folder->toStdString());
}

std::optional<TForm1::ChosenArchive> TForm1::ChooseArchive(const QString& title)
{
  if (parts().archive.Running())
    return std::nullopt;
  const std::optional<QString> folder =
      parts().prompter.AskFolder(this, title, shellTree_->GetSelectedPathName());
  if (!folder)
    return std::nullopt;
  // The same check as zr4812's: every file read against SHA256SUMS before
  // the console is touched.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  ArchiveCheck check = CheckArchive(folder->toStdString());
  QApplication::restoreOverrideCursor();
  if (check.problem) {
    parts().prompter.ShowMessage(
        this,
        QStringLiteral("%1 cannot be used as an archive: %2.")
            .arg(QDir::toNativeSeparators(*folder), QString::fromStdString(*check.problem)),
        BoxIcon::Warning, BoxButtons::Ok);
    return std::nullopt;
  }
  return ChosenArchive{*folder, std::move(check.contents)};
}

void TForm1::RestoreEverythingClick()
{
  const std::optional<ChosenArchive> archive = ChooseArchive(QStringLiteral("Restore everything from..."));
  if (!archive)
    return;
  ArchiveRestoreDialog choice(archive->folder, archive->contents, this,
                              [this](QWidget* dialog, const QString& question) {
                                return parts().prompter.ShowMessage(dialog, question, BoxIcon::Warning,
                                                                    BoxButtons::YesNo) == BoxAnswer::Yes;
                              });
  if (parts().prompter.ExecDialog(choice) != QDialog::Accepted)
    return;
  parts().archive.StartRestore(archive->folder.toStdString(), choice.Choice(), choice.ReplaceExisting());
}

void TForm1::CompareWithArchiveClick()
{
  const std::optional<ChosenArchive> archive =
      ChooseArchive(QStringLiteral("Compare with the archive in..."));
  if (!archive)
    return;
  parts().archive.StartVerify(archive->folder.toStdString(), [this](const std::vector<Comparison>& found) {
    ShowStatusText(ArchiveCompareDialog::Summary(found));
    ArchiveCompareDialog list(found, this);
    parts().prompter.ExecDialog(list);
  });
}

void TForm1::ExitClick()
{
  close();
}

void TForm1::paintEvent(QPaintEvent* event)
{
  QMainWindow::paintEvent(event);
  if (!painted_) {
    painted_ = true;
    PCViewFillComplete();
  }
}

// ---------------------------------------------------------------- connection

void TForm1::SearchZR4812Click()
{
  parts().engine.Search();
}
void TForm1::ComportClick()
{
  parts().engine.ChooseSerial();
}
void TForm1::MidiClick()
{
  parts().engine.ChooseMidi();
}
void TForm1::PortSetupClick()
{
  // Already open (a search or a watchdog box behind it asked again): the
  // user is choosing there; a second modal showing of it cannot be.
  TPortSetupFrm& dialog = parts().portSetupFrm;
  if (dialog.isVisible()) {
    dialog.raise();
    dialog.activateWindow();
    return;
  }
  parts().prompter.ExecDialog(dialog);
}
void TForm1::AboutClick()
{
  parts().prompter.ExecDialog(parts().aboutBox);
}


bool TForm1::ComportChecked() const
{
  return Action("Comport")->isChecked();
}
bool TForm1::MidiChecked() const
{
  return Action("Midi")->isChecked();
}
void TForm1::CheckComport()
{
  Action("Comport")->setChecked(true);
}
void TForm1::CheckMidi()
{
  Action("Midi")->setChecked(true);
}
int TForm1::PortType() const
{
  return parts().portSetupFrm.PortType();
}
void TForm1::SetPortType(int portType)
{
  parts().portSetupFrm.SetPortType(portType);
}
void TForm1::CancelTransfer()
{
  // A watchdog gives up the file under way. The window's own job (an
  // archive, its restore or comparison) then goes on with its next file:
  // only the user's Cancel ends the whole job.
  if (parts().archive.Running()) {
    parts().engine.StopBatch();
    return;
  }
  parts().progressForm.CancelBtnClick();
}

// ---------------------------------------------------------------- card list

void TForm1::Update1Click()
{
  parts().engine.ListCard();
}
void TForm1::SelectAll1Click()
{
  solanoView_->SelectAll1Click();
}
void TForm1::ViewColumnClick(int column)
{
  solanoView_->ViewColumnClick(column);
}

// ---------------------------------------------------------------- transfers

void TForm1::RefreshPasteItems()
{
  Action("Paste1")->setEnabled(parts().gestures.Paste1Enabled());
  Action("Paste2")->setEnabled(parts().gestures.Paste2Enabled());
}

void TForm1::PCViewDragDrop(ListId source)
{
  parts().gestures.PCViewDragDrop(source);
}
void TForm1::SolanoViewDragDrop()
{
  parts().gestures.SolanoViewDragDrop();
}
void TForm1::InternalViewDragDrop()
{
  parts().gestures.InternalViewDragDrop();
}

void TForm1::Copy1Click()
{
  parts().gestures.Copy1Click();
  RefreshPasteItems();
}

void TForm1::Paste1Click()
{
  parts().gestures.Paste1Click();
}

void TForm1::Copy2Click()
{
  parts().gestures.Copy2Click();
  RefreshPasteItems();
}

void TForm1::SelectAll2Click()
{
  internalView_->SelectAll2Click();
}

void TForm1::Copy4Click()
{
  parts().gestures.Copy4Click();
  RefreshPasteItems();
  pcView_->DoCommandForAllSelected(QStringLiteral("copy"));
}

void TForm1::Cut4Click()
{
  Copy4Click();
  pcView_->DoCommandForAllSelected(QStringLiteral("cut"));
}

void TForm1::Paste4Click()
{
  // The clipboard's files before the card's: a box about the paste would
  // otherwise stand over the window that the download disables, greyed out
  // and unanswerable until the download ends.
  pcView_->DoCommandForFolder(QStringLiteral("paste"));
  parts().gestures.Paste4Click();
}

// --------------------------------------------------------------- status line

void TForm1::ShowStatusText(const QString& text)
{
  statusLine_->SetFullText(text);
  emit StatusChanged(text);
}

} // namespace zr
