#include "app/main_window.h"

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
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "app/card_list.h"
#include "app/program.h"
#include "app/prompter.h"
#include "app/qt_timer.h"
#include "app/settings.h"
#include "dialogs/about_box.h"
#include "dialogs/port_setup.h"
#include "dialogs/progress_form.h"
#include "link/backend/midi_rtmidi.h"
#include "link/comm.h"
#include "link/midi.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"
#include "transfer/datatypes.h"
#include "transfer/session.h"

namespace zr {

namespace {

const QString kCommunication = QStringLiteral("Communication");
const QString kPrefs = QStringLiteral("Prefs");

QString FromUtf8(const std::string& text)
{
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Panel1 reports its size so that the anchored controls can follow it.
class AnchorPanel : public QFrame {
public:
  using QFrame::QFrame;
  std::function<void(QSize)> resized;

protected:
  void resizeEvent(QResizeEvent* event) override
  {
    QFrame::resizeEvent(event);
    if (resized)
      resized(size());
  }
};

QAction* MakeAction(QObject* parent, const char* name, const QString& caption,
                    const QKeySequence& shortcut = {})
{
  auto* action = new QAction(caption, parent);
  action->setObjectName(QString::fromLatin1(name));
  if (!shortcut.isEmpty())
    action->setShortcut(shortcut);
  return action;
}

} // namespace

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

// AppMessageHook, installed on the application.
class TForm1::HookFilter : public QObject {
public:
  HookFilter(TForm1& form) : QObject(&form), form_(form) {}

protected:
  bool eventFilter(QObject*, QEvent* event) override { return form_.AppMessageHook(event); }

private:
  TForm1& form_;
};

TForm1::TForm1(Program& program) : program_(program), pcList_(std::make_unique<PcListAccess>(pcView_))
{
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("ZR4812 File Exchange"));
  setFont(QFont(QStringLiteral("Arial"), 8));
  CreateMenus();
  CreateControls();
  CreatePopupMenus();
  ConnectLists();

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

TForm1::~TForm1()
{
  if (hook_)
    qApp->removeEventFilter(hook_);
}

void TForm1::CreateMenus()
{
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File"));
  QAction* exit = MakeAction(this, "Exit", QStringLiteral("E&xit"), QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(exit, &QAction::triggered, this, [this] { ExitClick(); });
  file->addAction(exit);

  QMenu* configuration = bar->addMenu(QStringLiteral("&Configuration"));
  configuration->setObjectName(QStringLiteral("Configuration"));
  QAction* comport = MakeAction(this, "Comport", QStringLiteral("&Com port"));
  QAction* midi = MakeAction(this, "Midi", QStringLiteral("&Midi"));
  portGroup_ = new QActionGroup(this);
  portGroup_->setExclusive(true);
  for (QAction* a : {comport, midi}) {
    a->setCheckable(true);
    portGroup_->addAction(a);
    configuration->addAction(a);
  }
  midi->setChecked(true);
  // `triggered` comes from the user only; moving the mark in code runs nothing.
  connect(comport, &QAction::triggered, this, [this] { ComportClick(); });
  connect(midi, &QAction::triggered, this, [this] { MidiClick(); });
  configuration->addSeparator()->setObjectName(QStringLiteral("N1"));
  QAction* portSetup = MakeAction(this, "PortSetup", QStringLiteral("&Port Setup"));
  connect(portSetup, &QAction::triggered, this, [this] { PortSetupClick(); });
  configuration->addAction(portSetup);
  QAction* search = MakeAction(this, "SearchZR4812", QStringLiteral("&Search ZR4812"));
  connect(search, &QAction::triggered, this, [this] { SearchZR4812Click(); });
  configuration->addAction(search);

  QMenu* info = bar->addMenu(QStringLiteral("&Info"));
  info->setObjectName(QStringLiteral("Info"));
  QAction* about = MakeAction(this, "About", QStringLiteral("&About"));
  connect(about, &QAction::triggered, this, [this] { AboutClick(); });
  info->addAction(about);
}

void TForm1::CreateControls()
{
  auto* panel = new AnchorPanel(this);
  panel1_ = panel;
  panel1_->setObjectName(QStringLiteral("Panel1"));
  panel1_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel1_->setMinimumHeight(113);
  setCentralWidget(panel1_);

  solanoLabel_ = new QLabel(QStringLiteral("Card Files:"), panel1_);
  solanoLabel_->setObjectName(QStringLiteral("Solano"));
  solanoView_ = new CardListView(panel1_);

  internalLabel_ = new QLabel(QStringLiteral("Internal Files:"), panel1_);
  internalLabel_->setObjectName(QStringLiteral("InternalLabel"));
  internalView_ = new InternalListView(TypeLabels, TypeNames, panel1_);

  folderUpBtn_ = new QToolButton(panel1_);
  folderUpBtn_->setObjectName(QStringLiteral("FolderUpBtn"));
  folderUpBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  folderUpBtn_->setToolTip(QStringLiteral("Up One Level"));
  folderUpBtn_->setAutoRaise(true);
  connect(folderUpBtn_, &QToolButton::clicked, this, [this] { FolderUpBtnClick(); });

  newFolderBtn_ = new QToolButton(panel1_);
  newFolderBtn_->setObjectName(QStringLiteral("NewFolderBtn"));
  newFolderBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  newFolderBtn_->setToolTip(QStringLiteral("Create New Folder"));
  newFolderBtn_->setAutoRaise(true);
  connect(newFolderBtn_, &QToolButton::clicked, this, [this] { NewFolderBtnClick(); });

  splitter_ = new QSplitter(Qt::Vertical, panel1_);
  splitter_->setObjectName(QStringLiteral("PTSplitter1"));
  splitter_->setChildrenCollapsible(false);
  shellTree_ = new TPTShellTree(splitter_);
  shellTree_->setObjectName(QStringLiteral("PTShellTree1"));
  shellTree_->setIndentation(19);
  shellTree_->setRootIsDecorated(false);
  shellTree_->setFrameShape(QFrame::NoFrame);
  pcView_ = new TPTShellList(splitter_);
  pcView_->setObjectName(QStringLiteral("PCView"));
  pcView_->setToolTip(QStringLiteral("Files in current directory"));
  shellTree_->SetShellList(pcView_);
  splitter_->addWidget(shellTree_);
  splitter_->addWidget(pcView_);

  // Every question of the shell controls goes through the program's prompter.
  const auto prompt = [this](const QString& text, BoxIcon icon, BoxButtons buttons) {
    return program_.prompter().ShowMessage(this, text, icon, buttons);
  };
  pcView_->SetPrompter({[prompt](const QString& q) {
                          return prompt(q, BoxIcon::Warning, BoxButtons::YesNo) == BoxAnswer::Yes;
                        },
                        [prompt](const QString& m) { prompt(m, BoxIcon::Warning, BoxButtons::Ok); }});
  shellTree_->SetErrorReporter([prompt](const QString& m) { prompt(m, BoxIcon::Warning, BoxButtons::Ok); });

  panel->resized = [this](QSize size) { PlaceControls(size); };
  PlaceControls(kPanelDesignSize);

  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setFixedHeight(kStatusBarHeight);
  for (int i = 0; i < 3; ++i) {
    auto* label = new QLabel(bar);
    label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setIndent(2);
    label->setTextFormat(Qt::PlainText); // a file name is never markup
    statusPanels_[i] = label;
    if (i < 2) {
      label->setFixedWidth(kStatusPanelWidths[i]);
      bar->addWidget(label);
    } else {
      // The last panel takes what is left, as a status bar's last panel does.
      label->setMinimumWidth(kStatusPanelWidths[i]);
      bar->addWidget(label, 1);
    }
  }
  statusPanels_[0]->setText(QStringLiteral("No port selected"));
}

void TForm1::PlaceControls(QSize panelSize)
{
  const int dw = panelSize.width() - kPanelDesignSize.width();
  const int dh = panelSize.height() - kPanelDesignSize.height();
  solanoLabel_->move(11, 13);
  solanoView_->setGeometry(8, 29, 188, std::max(1, 294 + dh));
  internalLabel_->move(208, 13);
  internalView_->setGeometry(205, 29, 122, std::max(1, 295 + dh));
  folderUpBtn_->setGeometry(612 + dw, 5, 20, 20);
  newFolderBtn_->setGeometry(636 + dw, 5, 20, 20);
  splitter_->setGeometry(336, 29, std::max(1, 318 + dw), std::max(1, 295 + dh));
}

void TForm1::PlaceSplitterDivider()
{
  // 139 pixels down; the lower pane takes any growth.
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({139, std::max(1, splitter_->height() - 139 - splitter_->handleWidth())});
}

void TForm1::CreatePopupMenus()
{
  // The shortcuts work while the list has the focus, also with the menu closed.
  const auto add = [this](QWidget* list, QMenu* menu, const char* name, const QString& caption,
                          const QKeySequence& key, bool enabled, std::function<void()> handler) {
    QAction* a = MakeAction(this, name, caption, key);
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    a->setEnabled(enabled);
    if (handler)
      connect(a, &QAction::triggered, this, [handler] { handler(); });
    menu->addAction(a);
    list->addAction(a);
    return a;
  };
  const auto popupOn = [](QWidget* list, QMenu* menu, std::function<void()> beforeShow) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(list, &QWidget::customContextMenuRequested, menu,
                     [list, menu, beforeShow](const QPoint& at) {
                       if (beforeShow)
                         beforeShow();
                       QWidget* viewport = qobject_cast<QAbstractScrollArea*>(list)
                                               ? qobject_cast<QAbstractScrollArea*>(list)->viewport()
                                               : list;
                       menu->popup(viewport->mapToGlobal(at));
                     });
  };

  popupMenu1_ = new QMenu(this);
  popupMenu1_->setObjectName(QStringLiteral("PopupMenu1"));
  add(solanoView_, popupMenu1_, "SelectAll1", QStringLiteral("Select &All"),
      QKeySequence(Qt::CTRL | Qt::Key_A), true, [this] { SelectAll1Click(); });
  popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N2"));
  add(solanoView_, popupMenu1_, "Rename1", QStringLiteral("Re&name"), QKeySequence(Qt::Key_F2), false,
      nullptr);
  add(solanoView_, popupMenu1_, "Delete1", QStringLiteral("&Delete"),
      QKeySequence(Qt::SHIFT | Qt::Key_Delete), false, nullptr);
  popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N3"));
  add(solanoView_, popupMenu1_, "Cut1", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X), false,
      nullptr);
  add(solanoView_, popupMenu1_, "Copy1", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), true,
      [this] { Copy1Click(); });
  add(solanoView_, popupMenu1_, "Paste1", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), false,
      [this] { Paste1Click(); });
  popupMenu1_->addSeparator()->setObjectName(QStringLiteral("N8"));
  add(solanoView_, popupMenu1_, "Update1", QStringLiteral("&Update List"), QKeySequence(Qt::Key_Insert), true,
      [this] { Update1Click(); });
  popupOn(solanoView_, popupMenu1_, nullptr);

  popupMenu2_ = new QMenu(this);
  popupMenu2_->setObjectName(QStringLiteral("PopupMenu2"));
  add(internalView_, popupMenu2_, "SelectAll2", QStringLiteral("Select &All"),
      QKeySequence(Qt::CTRL | Qt::Key_A), true, [this] { SelectAll2Click(); });
  popupMenu2_->addSeparator();
  add(internalView_, popupMenu2_, "Rename2", QStringLiteral("Re&name"), QKeySequence(Qt::Key_F2), false,
      nullptr);
  add(internalView_, popupMenu2_, "Delete2", QStringLiteral("&Delete"),
      QKeySequence(Qt::SHIFT | Qt::Key_Delete), false, nullptr);
  popupMenu2_->addSeparator();
  add(internalView_, popupMenu2_, "Cut2", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X), false,
      nullptr);
  add(internalView_, popupMenu2_, "Copy2", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), true,
      [this] { Copy2Click(); });
  // Paste2 has no action, also when enabled.
  add(internalView_, popupMenu2_, "Paste2", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V),
      false, nullptr);
  popupMenu2_->addSeparator();
  add(internalView_, popupMenu2_, "Update2", QStringLiteral("&Update List"), QKeySequence(Qt::Key_Insert),
      false, nullptr);
  popupOn(internalView_, popupMenu2_, nullptr);

  popupMenu4_ = new QMenu(this);
  popupMenu4_->setObjectName(QStringLiteral("PopupMenu4"));
  add(pcView_, popupMenu4_, "SelectAll", QStringLiteral("Select &All"), QKeySequence(Qt::CTRL | Qt::Key_A),
      true, [this] { SelectAllClick(); });
  popupMenu4_->addSeparator();
  add(pcView_, popupMenu4_, "Rename4", QStringLiteral("Re&name"), QKeySequence(Qt::Key_F2), true,
      [this] { Rename4Click(); });
  add(pcView_, popupMenu4_, "Delete4", QStringLiteral("&Delete"), QKeySequence(Qt::Key_Delete), true,
      [this] { Delete4Click(); });
  popupMenu4_->addSeparator();
  add(pcView_, popupMenu4_, "Cut4", QStringLiteral("Cu&t"), QKeySequence(Qt::CTRL | Qt::Key_X), true,
      [this] { Cut4Click(); });
  add(pcView_, popupMenu4_, "Copy4", QStringLiteral("&Copy"), QKeySequence(Qt::CTRL | Qt::Key_C), true,
      [this] { Copy4Click(); });
  add(pcView_, popupMenu4_, "Paste4", QStringLiteral("&Paste"), QKeySequence(Qt::CTRL | Qt::Key_V), true,
      [this] { Paste4Click(); });
  popupMenu4_->addSeparator();
  add(pcView_, popupMenu4_, "UpdateList1", QStringLiteral("&Update List"), QKeySequence(Qt::Key_Insert), true,
      [this] { UpdateList1Click(); });
  popupOn(pcView_, popupMenu4_, [this] { PopupMenu4Popup(); });
}

void TForm1::ConnectLists()
{
  connect(solanoView_, &QTreeWidget::itemSelectionChanged, this, [this] { ViewSelectItem(ListId::Card); });
  connect(internalView_, &QTreeWidget::itemSelectionChanged, this,
          [this] { ViewSelectItem(ListId::Internal); });
  connect(pcView_, &TPTShellList::SelectionChangedOnce, this, [this] { ViewSelectItem(ListId::Pc); });
  connect(pcView_, &TPTShellList::FolderChanged, this, [this] { PCViewFillComplete(); });
  connect(pcView_, &TPTShellList::DblClickOpen, this,
          [this](int item, bool* handled) { PCViewDblClickOpen(item, handled); });
  pcView_->SetEditedHook([this](int item, QString& newName) { PCViewEdited(item, newName); });
  // The tree reads folders in the background, so the rows above the selected
  // folder keep arriving after it was selected: keep it in view meanwhile.
  connect(shellTree_->Model(), &QFileSystemModel::directoryLoaded, this, [this](const QString& loaded) {
    const QString selected = QDir::fromNativeSeparators(shellTree_->GetSelectedPathName());
    QString folder = QDir::cleanPath(loaded);
    if (!folder.endsWith(QLatin1Char('/')))
      folder += QLatin1Char('/');
    if (!selected.isEmpty() && (selected + QLatin1Char('/')).startsWith(folder))
      ShowSelectedFolder();
  });
  // PTShellTree1Edited: the edited folder becomes the selected one.
  connect(shellTree_, &TPTShellTree::Edited, this,
          [this](const QString& path) { shellTree_->SetSelectedPathName(path); });

  // Which list names which source, for the drop rules of the batch logic.
  const auto sourceOf = [this](QObject* source) -> std::optional<ListId> {
    if (source == solanoView_)
      return ListId::Card;
    if (source == internalView_)
      return ListId::Internal;
    if (source == pcView_)
      return ListId::Pc;
    return std::nullopt;
  };
  const auto accepts = [this, sourceOf](ListId target) {
    return [this, sourceOf, target](QObject* source) {
      const std::optional<ListId> from = sourceOf(source);
      return from && program_.batch().AcceptsDrop(target, *from);
    };
  };
  solanoView_->drop.accepts = accepts(ListId::Card);
  solanoView_->drop.dropped = [this](QObject*) { AfterDrop([this] { SolanoViewDragDrop(); }); };
  internalView_->drop.accepts = accepts(ListId::Internal);
  internalView_->drop.dropped = [this](QObject*) { AfterDrop([this] { InternalViewDragDrop(); }); };

  const auto pcAccepts = accepts(ListId::Pc);
  connect(pcView_, &TPTShellList::DragOverList, this,
          [pcAccepts](QDragMoveEvent* event, bool* accept) { *accept = pcAccepts(event->source()); });
  connect(pcView_, &TPTShellList::DropOnList, this, [this, sourceOf, pcAccepts](QDropEvent* event) {
    const std::optional<ListId> from = sourceOf(event->source());
    if (from && pcAccepts(event->source())) {
      const ListId source = *from;
      AfterDrop([this, source] { PCViewDragDrop(source); });
    }
  });
}

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
  return statusPanels_[panel]->text();
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

  if (!hook_) {
    hook_ = new HookFilter(*this);
    qApp->installEventFilter(hook_);
  }

  Session& s = program_.session();
  {
    SettingsFile settings(program_.SettingsPath());
    s.link.CommMedium = settings.ReadInteger(kCommunication, QStringLiteral("Medium"), 0);
    if (s.link.CommMedium == MEDIUM_COM)
      ComportClick();
    else if (s.link.CommMedium == MEDIUM_MIDI)
      MidiClick();

    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    shellTree_->SetSelectedPathName(documents);
    const QString shown = shellTree_->GetSelectedPathName();
    const QString directory = settings.ReadString(kPrefs, QStringLiteral("Directory"), shown);
    if (!directory.isEmpty() && QFileInfo(directory).isDir())
      shellTree_->SetSelectedPathName(directory);
  }
  pcView_->setFocus(Qt::OtherFocusReason);
  ShowSelectedFolder();
  OpenConfiguredLink();
}

void TForm1::OpenConfiguredLink()
{
  Session& s = program_.session();
  SettingsFile settings(program_.SettingsPath());
  if (s.link.CommMedium == MEDIUM_COM) {
    s.link.ComPortNumber = settings.ReadInteger(kCommunication, QStringLiteral("ComPort"), 1);
    program_.SearchComPortTellingWhy();
  } else if (s.link.CommMedium == MEDIUM_MIDI) {
    s.link.MidiInDevice = settings.ReadInteger(kCommunication, QStringLiteral("MidiIn"), 0);
    s.link.MidiOutDevice = settings.ReadInteger(kCommunication, QStringLiteral("MidiOut"), 0);
    program_.Midi().SearchMidiPort();
  } else {
    program_.prompter().ExecDialog(program_.PortSetupFrm());
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
  Session& s = program_.session();
  program_.Com().CloseComPort();
  program_.Midi().CloseMidiPort();

  if (s.link.MidiInDevice < 0)
    s.link.MidiInDevice = 0;
  if (s.link.MidiOutDevice < 0)
    s.link.MidiOutDevice = 0;
  SettingsFile settings(program_.SettingsPath());
  settings.WriteInteger(kCommunication, QStringLiteral("Medium"), s.link.CommMedium);
  settings.WriteInteger(kCommunication, QStringLiteral("ComPort"), s.link.ConnectedComPort);
  settings.WriteInteger(kCommunication, QStringLiteral("MidiIn"), s.link.MidiInDevice);
  settings.WriteInteger(kCommunication, QStringLiteral("MidiOut"), s.link.MidiOutDevice);
  settings.WriteString(kPrefs, QStringLiteral("Directory"), shellTree_->GetSelectedPathName());
  // A file that cannot be written ends the run all the same, without a word.
  (void)settings.Flush();

  // Nothing may fire between here and the end of the process.
  QtTimerSet& t = program_.Timers();
  for (QtTimer* timer :
       {&t.CommTimer, &t.TimeoutTimer, &t.UploadTimer, &t.DownloadTimer, &t.DummyTimer, &t.SendTimer})
    timer->Stop();
  program_.EndProcess(0);
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

// ----------------------------------------------------- connection and timers

void TForm1::CommTimerTimer()
{
  Timer& timer = program_.session().timers.CommTimer;
  timer.Stop();
  ComLink& com = program_.Com();
  com.ComReadAndDispatch();
  // The reader may have shown a box, during which the port may have closed.
  if (com.ComPortOpen())
    timer.Start();
}

void TForm1::TimeoutTimerTimer()
{
  program_.Control().TimeoutTimerTimer();
}
void TForm1::UploadTimerTimer()
{
  program_.Control().UploadTimerTimer();
}
void TForm1::DownloadTimerTimer()
{
  program_.Control().DownloadTimerTimer();
}
void TForm1::DummyTimerTimer()
{
  program_.Control().DummyTimerTimer();
}
void TForm1::SendTimerTimer()
{
  program_.batch().SendTimerTimer();
}
void TForm1::SearchZR4812Click()
{
  program_.Control().SearchZR4812Click();
}
void TForm1::ComportClick()
{
  program_.Control().ComportClick();
}
void TForm1::MidiClick()
{
  program_.Control().MidiClick();
}
void TForm1::PortSetupClick()
{
  program_.prompter().ExecDialog(program_.PortSetupFrm());
}
void TForm1::AboutClick()
{
  program_.prompter().ExecDialog(program_.AboutBox());
}

bool TForm1::AppMessageHook(QEvent* event)
{
  // The back-end posts each inbound message from its own thread; here, on
  // the GUI thread, it reaches the MIDI link's input buffers.
  return DeliverMidiInput(event);
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
  return program_.PortSetupFrm().PortType();
}
void TForm1::SetPortType(int portType)
{
  program_.PortSetupFrm().SetPortType(portType);
}
void TForm1::CancelTransfer()
{
  program_.ProgressForm().CancelBtnClick();
}

// ---------------------------------------------------------------- card list

void TForm1::CardListClear()
{
  solanoView_->ClearRows();
}
void TForm1::CardListAdd(int type, const std::vector<std::string>& names)
{
  solanoView_->AddEntries(type, names);
}
void TForm1::CardListSort()
{
  solanoView_->SortRows();
}

void TForm1::Update1Click()
{
  program_.batch().RequestCardDirectory(-1);
}
void TForm1::SelectAll1Click()
{
  solanoView_->SelectAll1Click();
}
void TForm1::ViewColumnClick(int column)
{
  solanoView_->ViewColumnClick(column);
}

// ------------------------------------------------ PC pane, selection status

qint64 TForm1::SumSizeTexts(const QStringList& sizeTexts, const QString& groupSeparator)
{
  double total = 0;
  for (const QString& text : sizeTexts) {
    if (text.isEmpty())
      continue;
    QString number = text.left(std::max<qsizetype>(0, text.size() - 2));
    if (!groupSeparator.isEmpty())
      number.remove(groupSeparator);
    bool ok = false;
    const double value = number.trimmed().toDouble(&ok);
    if (ok && std::isfinite(value))
      total += value;
  }
  return static_cast<qint64>(std::floor(total));
}

void TForm1::ViewSelectItem(ListId list)
{
  const ListAccess& access = list == ListId::Card       ? static_cast<const ListAccess&>(*solanoView_)
                             : list == ListId::Internal ? static_cast<const ListAccess&>(*internalView_)
                                                        : *pcList_;
  const int selected = access.SelectedCount();
  if (selected == 0) {
    statusPanels_[1]->clear();
    statusPanels_[2]->clear();
    return;
  }
  statusPanels_[1]->setText(QStringLiteral("%1 object(s) selected").arg(selected));
  if (list != ListId::Pc) {
    statusPanels_[2]->clear();
    return;
  }
  QStringList sizes;
  for (int i = pcView_->FirstSelected(); i >= 0; i = pcView_->NextSelected(i))
    sizes.append(pcView_->SizeText(i));
  statusPanels_[2]->setText(QStringLiteral("%1 KB").arg(SumSizeTexts(sizes, QLocale().groupSeparator())));
}

void TForm1::NewFolderBtnClick()
{
  if (shellTree_->CreateNewFolder(true))
    shellTree_->Synchronize(true);
  else
    ShowMessage("Cannot create new directory.", BoxIcon::None, BoxButtons::Ok);
}

// Only the step up: the "Configuration" box that used to follow it told the
// user nothing.
void TForm1::FolderUpBtnClick()
{
  shellTree_->GoUp(1);
}

void TForm1::Rename4Click()
{
  const int item = pcView_->FirstSelected();
  if (item >= 0)
    pcView_->StartEdit(item);
}

QString TForm1::KeepExtension(const QString& oldName, const QString& newName)
{
  const qsizetype oldDot = oldName.lastIndexOf(QLatin1Char('.'));
  const QString extension = oldDot >= 0 ? oldName.mid(oldDot) : QString();
  const qsizetype newDot = newName.lastIndexOf(QLatin1Char('.'));
  // A name that is all extension (".kch") keeps its text as the stem.
  const QString stem = newDot > 0 ? newName.left(newDot) : newName;
  return stem + extension;
}

void TForm1::PCViewEdited(int item, QString& newName)
{
  // The item being edited, not the first selected one: the two differ only
  // while several are selected, and then the edited file is the one meant.
  newName = KeepExtension(pcView_->Caption(item), newName);
}

void TForm1::Delete4Click()
{
  pcView_->DoCommandForAllSelected(QStringLiteral("delete"));
}
void TForm1::SelectAllClick()
{
  pcView_->SelectAll();
}
void TForm1::UpdateList1Click()
{
  pcView_->FillItems();
}
void TForm1::PCViewDblClickOpen(int, bool* handled)
{
  if (handled)
    *handled = true;
}

void TForm1::PCViewFillComplete()
{
  pcView_->SetColumnWidth(0, 116);
  pcView_->SetColumnWidth(1, 45);
  pcView_->SetColumnWidth(2, 52);
  pcView_->SetColumnWidth(3, std::max(1, pcView_->ClientWidth() - 213));
}

void TForm1::PopupMenu4Popup()
{
  const int selected = pcView_->SelCount();
  Action("Rename4")->setEnabled(selected == 1);
  for (const char* name : {"Delete4", "Cut4", "Copy4"})
    Action(name)->setEnabled(selected >= 1);
}

// ---------------------------------------------------------------- transfers

void TForm1::RefreshPasteItems()
{
  Action("Paste1")->setEnabled(program_.batch().Paste1Enabled());
  Action("Paste2")->setEnabled(program_.batch().Paste2Enabled());
}

void TForm1::PCViewDragDrop(ListId source)
{
  program_.batch().PCViewDragDrop(source);
}
void TForm1::SolanoViewDragDrop()
{
  program_.batch().SolanoViewDragDrop();
}
void TForm1::InternalViewDragDrop()
{
  program_.batch().InternalViewDragDrop();
}

void TForm1::Copy1Click()
{
  program_.batch().Copy1Click();
  RefreshPasteItems();
}

void TForm1::Paste1Click()
{
  program_.batch().Paste1Click();
}

void TForm1::Copy2Click()
{
  program_.batch().Copy2Click();
  RefreshPasteItems();
}

void TForm1::SelectAll2Click()
{
  internalView_->SelectAll2Click();
}

void TForm1::Copy4Click()
{
  program_.batch().Copy4Click();
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
  program_.batch().Paste4Click();
}

// --------------------------------------------------------------------- Host

void TForm1::SetStatusText(const std::string& text)
{
  const QString shown = FromUtf8(text);
  statusPanels_[0]->setText(shown);
  emit StatusChanged(shown);
}

BoxAnswer TForm1::ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons)
{
  return program_.prompter().ShowMessage(this, FromUtf8(text), icon, buttons);
}

std::optional<std::string> TForm1::AskSaveFileName(const SaveFileRequest& request)
{
  const std::optional<QString> chosen = program_.prompter().AskSaveFileName(this, request);
  if (!chosen)
    return std::nullopt;
  return chosen->toStdString();
}

void TForm1::ProgressSetTitle(const std::string& title)
{
  program_.ProgressForm().SetTitle(FromUtf8(title));
}
void TForm1::ProgressSetMaximum(int maximum)
{
  program_.ProgressForm().SetMaximum(maximum);
}
void TForm1::ProgressShow()
{
  program_.ProgressForm().show();
}
void TForm1::ProgressSetPosition(int position)
{
  program_.ProgressForm().SetPosition(position);
}
void TForm1::ProgressSetLabel(const std::string& text)
{
  program_.ProgressForm().SetLabel(FromUtf8(text));
}
void TForm1::ProgressClose()
{
  program_.ProgressForm().close();
}

std::string TForm1::SelectedPcFolder()
{
  return shellTree_->GetSelectedPathName().toStdString();
}

std::optional<std::string> TForm1::PcListSizeText(const std::string& fileName)
{
  const int item = pcView_->IndexOfCaption(FromUtf8(fileName), Qt::CaseInsensitive);
  if (item < 0)
    return std::nullopt;
  return pcView_->SizeText(item).toStdString();
}

} // namespace zr
