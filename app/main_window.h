// The main window `TForm1` (unit MainSolano): the card list, the Internal
// Files list, the PC folder tree and file list, the status bar and the menus.
// Its handlers are short: the connection logic lives in ConnectionControl,
// the transfers in Batch and the engine, the links in `comm` and `midi`. The
// layout is built in main_window_layout.cpp; what the engine shows goes
// through WindowHost (window_host.h).
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>

#include <QMainWindow>

#include "app/internal_view.h"
#include "app/list_gestures.h"
#include "files/archive_check.h"
#include "engine/connection_control.h"

class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QMenu;
class QMimeData;
class QSplitter;
class QToolButton;

namespace zr {

class CardListView;
class ElidingStatusPanel;
class ComLink;
class Engine;
class MidiLink;
class Prompter;
class Session;
class TAboutBox;
class TPortSetupFrm;
class TProgressForm;
class TPTShellList;
class TPTShellTree;
struct QtTimerSet;
class WindowArchive;

// What the window's handlers drive. The program builds these after the
// window (they need its lists) and hands them over with Attach.
struct WindowParts {
  // The engine's face: the window drives it by its commands only.
  Engine& engine;
  ListGestures& gestures;
  Prompter& prompter;
  TProgressForm& progressForm;
  TAboutBox& aboutBox;
  TPortSetupFrm& portSetupFrm;
  QtTimerSet& timers;
  WindowArchive& archive;
  QString settingsPath;
  // Said once on the status line at the first show: which settings file
  // is used when the one beside the program cannot be written; or empty.
  QString settingsNote;
  // The last step of closing: the process ends with this code.
  std::function<void(int exitCode)> endProcess;
};

class TForm1 : public QMainWindow, public ConnectionWindow {
  Q_OBJECT
public:
  // The size of Panel1 that the control places below are laid out for; the
  // anchored controls grow and move with the difference.
  static constexpr QSize kPanelDesignSize{667, 329};
  // The window's client area at its designed 675 by 398 (frame, caption
  // and menu bar of a 96-dpi desktop taken off) and at its minimum 670 by 255.
  static constexpr int kFrameWidth = 8;
  static constexpr int kCaptionAndFrameHeight = 31;
  static constexpr QSize kDesignWindow{675, 398};
  static constexpr QSize kMinimumWindow{670, 255};
  static constexpr int kStatusBarHeight = 18;
  static constexpr std::array<int, 3> kStatusPanelWidths{338, 160, 50};

  TForm1();
  ~TForm1() override;
  void Attach(WindowParts parts);

  // Texts of the nine data types, filled at the first show (Part of the
  // window's state because the Internal Files list draws them).
  TypeTexts TypeNames;
  TypeTexts TypeLabels;

  // --- Start and end ---
  void FormShow();
  void FormClose();
  void ExitClick();
  // File menu: every card file and internal kind into a folder of the user's.
  void BackUpEverythingClick();
  // File menu: an archive folder of the user's, checked first, put back into
  // the console as far as the user chooses; or compared with the console.
  void RestoreEverythingClick();
  void CompareWithArchiveClick();

  // --- Connection control (the timers' handlers are the engine's own) ---
  void SearchZR4812Click();
  void ComportClick();
  void MidiClick();
  void PortSetupClick() override;
  void AboutClick();

  // --- Card list ---
  void Update1Click();
  void SelectAll1Click();
  void ViewColumnClick(int column);

  // --- PC pane and selection status ---
  void ViewSelectItem(ListId list);
  void NewFolderBtnClick();
  void FolderUpBtnClick();
  void Rename4Click();
  void PCViewEdited(int item, QString& newName);
  void Delete4Click();
  void SelectAllClick();
  void UpdateList1Click();
  void PCViewDblClickOpen(int item, bool* handled);
  void PCViewFillComplete();
  void PopupMenu4Popup();

  // --- Transfers (the batch logic decides) ---
  void PCViewDragDrop(ListId source);
  void SolanoViewDragDrop();
  void InternalViewDragDrop();
  void Copy1Click();
  void Paste1Click();
  void Copy2Click();
  void SelectAll2Click();
  void Copy4Click();
  void Cut4Click();
  void Paste4Click();

  // --- At home on the desktop (main_window_desktop.cpp) ---
  // "Back up..." of the kind selected in Internal Files, and "Restore from
  // file..." with files chosen in an open dialog: the keyboard's way to
  // what a drag does.
  void BackupClick();
  void RestoreFromFileClick();
  // A file or folder given at start ("Open with"): its folder selected in
  // the tree and the file, once listed, in the PC list.
  void ShowPcPath(const QString& path);

  // Panel 0 of the status bar (the engine's status line).
  void ShowStatusText(const QString& text);

  // --- ConnectionWindow ---
  bool ComportChecked() const override;
  bool MidiChecked() const override;
  void CheckComport() override;
  void CheckMidi() override;
  int PortType() const override;
  void SetPortType(int portType) override;
  void CancelTransfer() override;

  // --- The controls, for the program and the tests ---
  CardListView* SolanoView() const { return solanoView_; }
  InternalListView* InternalView() const { return internalView_; }
  TPTShellTree* PTShellTree1() const { return shellTree_; }
  TPTShellList* PCView() const { return pcView_; }
  QSplitter* PTSplitter1() const { return splitter_; }
  QFrame* Panel1() const { return panel1_; }
  QToolButton* FolderUpBtn() const { return folderUpBtn_; }
  QToolButton* NewFolderBtn() const { return newFolderBtn_; }
  QLabel* StatusPanel(int panel) const;
  // The whole text of a panel (panel 0 may show it cut short).
  QString StatusText(int panel) const;
  QAction* Action(const char* name) const; // a menu item by its name ("Comport", "Copy4" ...)
  QMenu* PopupMenu1() const { return popupMenu1_; }
  QMenu* PopupMenu2() const { return popupMenu2_; }
  QMenu* PopupMenu4() const { return popupMenu4_; }
  ListAccess& PcList() const;

  // --- Rules of the handlers, on their own for the tests ---
  // The new name with the extension of the old one (from its last dot on,
  // or none): renaming never changes a file's data type.
  static QString KeepExtension(const QString& oldName, const QString& newName);
  // Kilobytes of Size column texts ("1,234 KB"): the last two characters
  // dropped, thousands separators removed, unreadable texts skipped.
  static qint64 SumSizeTexts(const QStringList& sizeTexts, const QString& groupSeparator);

signals:
  // Every text written to the status line, in order.
  void StatusChanged(const QString& text);

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

private:
  void CreateMenus();
  void CreateControls();
  void CreateConsoleLists();
  void CreateFolderButtons();
  void CreatePcPanes();
  void CreateStatusBar();
  void CreatePopupMenus();
  void ConnectLists();
  void ConnectDesktop();
  void DropFromElsewhere(ListId target, const QMimeData* data);
  void PlaceControls(QSize panelSize);
  // Accessible names and descriptions of the lists and the folder tree.
  void NameForScreenReaders();
  void PlaceSplitterDivider();
  // Scrolls the folder tree to the selected folder.
  void ShowSelectedFolder();
  void OpenConfiguredLink();
  void RefreshPasteItems();
  struct ChosenArchive {
    QString folder;
    ArchiveContents contents;
  };
  // An archive folder chosen by the user whose every file matches its sum;
  // nothing when cancelled or refused (a box has named the file at fault).
  std::optional<ChosenArchive> ChooseArchive(const QString& title);
  // Runs a drop's transfer after the drag has ended, so that a question it
  // asks is not shown from inside the drag.
  void AfterDrop(std::function<void()> step);

  WindowParts& parts() const { return *parts_; }

  std::unique_ptr<WindowParts> parts_;
  bool shown_ = false;
  bool painted_ = false;
  bool closing_ = false;

  QFrame* panel1_ = nullptr;
  QLabel* solanoLabel_ = nullptr;
  CardListView* solanoView_ = nullptr;
  QLabel* internalLabel_ = nullptr;
  InternalListView* internalView_ = nullptr;
  QToolButton* folderUpBtn_ = nullptr;
  QToolButton* newFolderBtn_ = nullptr;
  QSplitter* splitter_ = nullptr;
  TPTShellTree* shellTree_ = nullptr;
  TPTShellList* pcView_ = nullptr;
  std::array<ElidingStatusPanel*, 3> statusPanels_{};
  ElidingStatusPanel* statusLine_ = nullptr; // panel 0

  QActionGroup* portGroup_ = nullptr;
  QMenu* popupMenu1_ = nullptr;
  QMenu* popupMenu2_ = nullptr;
  QMenu* popupMenu4_ = nullptr;

  class PcListAccess;
  std::unique_ptr<PcListAccess> pcList_;
};

} // namespace zr
