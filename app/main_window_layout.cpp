// The main window's layout: the menus, the controls of Panel1 with their
// anchors, the pop-up menus, and the wiring of the lists to the handlers.
#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QFileSystemModel>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>

#include "app/card_list.h"
#include "app/prompter.h"
#include "app/status_panel.h"
#include "shell/shell_list.h"
#include "shell/shell_tree.h"

namespace zr {

namespace {

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

void TForm1::CreateMenus()
{
  QMenuBar* bar = menuBar();
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File"));
  QAction* archive = MakeAction(this, "BackUpEverything", QStringLiteral("&Back up everything..."));
  connect(archive, &QAction::triggered, this, [this] { BackUpEverythingClick(); });
  file->addAction(archive);
  QAction* restoreAll = MakeAction(this, "RestoreEverything", QStringLiteral("Restore e&verything..."));
  connect(restoreAll, &QAction::triggered, this, [this] { RestoreEverythingClick(); });
  file->addAction(restoreAll);
  QAction* compare = MakeAction(this, "CompareWithArchive", QStringLiteral("&Compare with archive..."));
  connect(compare, &QAction::triggered, this, [this] { CompareWithArchiveClick(); });
  file->addAction(compare);
  file->addSeparator();
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

  CreateConsoleLists();
  CreateFolderButtons();
  CreatePcPanes();
  panel->resized = [this](QSize size) { PlaceControls(size); };
  PlaceControls(kPanelDesignSize);
  CreateStatusBar();
}

// The card and internal lists under their labels.
void TForm1::CreateConsoleLists()
{
  solanoLabel_ = new QLabel(QStringLiteral("Card Files:"), panel1_);
  solanoLabel_->setObjectName(QStringLiteral("Solano"));
  solanoView_ = new CardListView(panel1_);
  solanoLabel_->setBuddy(solanoView_);

  internalLabel_ = new QLabel(QStringLiteral("Internal Files:"), panel1_);
  internalLabel_->setObjectName(QStringLiteral("InternalLabel"));
  internalView_ = new InternalListView(TypeLabels, TypeNames, panel1_);
  internalLabel_->setBuddy(internalView_);
}

// Up One Level and Create New Folder, above the PC panes.
void TForm1::CreateFolderButtons()
{
  folderUpBtn_ = new QToolButton(panel1_);
  folderUpBtn_->setObjectName(QStringLiteral("FolderUpBtn"));
  folderUpBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  folderUpBtn_->setToolTip(QStringLiteral("Up One Level"));
  folderUpBtn_->setAccessibleName(folderUpBtn_->toolTip());
  folderUpBtn_->setAutoRaise(true);
  connect(folderUpBtn_, &QToolButton::clicked, this, [this] { FolderUpBtnClick(); });

  newFolderBtn_ = new QToolButton(panel1_);
  newFolderBtn_->setObjectName(QStringLiteral("NewFolderBtn"));
  newFolderBtn_->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  newFolderBtn_->setToolTip(QStringLiteral("Create New Folder"));
  newFolderBtn_->setAccessibleName(newFolderBtn_->toolTip());
  newFolderBtn_->setAutoRaise(true);
  connect(newFolderBtn_, &QToolButton::clicked, this, [this] { NewFolderBtnClick(); });
}

// The folder tree above the PC file list, in a splitter.
void TForm1::CreatePcPanes()
{
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
  NameForScreenReaders();
  splitter_->addWidget(shellTree_);
  splitter_->addWidget(pcView_);

  // Every question of the shell controls goes through the program's prompter.
  const auto prompt = [this](const QString& text, BoxIcon icon, BoxButtons buttons) {
    return parts().prompter.ShowMessage(this, text, icon, buttons);
  };
  pcView_->SetPrompter({[prompt](const QString& q) {
                          return prompt(q, BoxIcon::Warning, BoxButtons::YesNo) == BoxAnswer::Yes;
                        },
                        [prompt](const QString& m) { prompt(m, BoxIcon::Warning, BoxButtons::Ok); }});
  shellTree_->SetErrorReporter([prompt](const QString& m) { prompt(m, BoxIcon::Warning, BoxButtons::Ok); });
}

// Three panels: the status line, the selection, and the size of the selected
// PC files.
void TForm1::CreateStatusBar()
{
  QStatusBar* bar = statusBar();
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setFixedHeight(kStatusBarHeight);
  bar->setAccessibleName(QStringLiteral("Status bar"));
  for (int i = 0; i < 3; ++i) {
    ElidingStatusPanel* label = new ElidingStatusPanel(bar);
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
  statusLine_ = statusPanels_[0];
  // A screen reader on an empty panel still hears what it is for.
  statusPanels_[0]->SetPurpose(QStringLiteral("Status line"), QStringLiteral("No status"));
  statusPanels_[1]->SetPurpose(QStringLiteral("Selection"), QStringLiteral("Nothing selected"));
  statusPanels_[2]->SetPurpose(QStringLiteral("Size of the selected PC files"),
                               QStringLiteral("No PC files selected"));
  statusLine_->SetFullText(QStringLiteral("No port selected"));
}

void TForm1::NameForScreenReaders()
{
  // The lists' names are their labels' words without the colon, or what
  // the pane shows where it has no label; the hints become descriptions.
  const struct {
    QWidget* widget;
    const char* name;
    QString description;
  } names[] = {
      {solanoView_, "Card Files", solanoView_->toolTip()},
      {internalView_, "Internal Files", QStringLiteral("The kinds of data in the console's internal memory")},
      {shellTree_, "PC folders", QStringLiteral("Folders on this computer")},
      {pcView_, "PC files", pcView_->toolTip()},
  };
  for (const auto& n : names) {
    n.widget->setAccessibleName(QString::fromLatin1(n.name));
    n.widget->setAccessibleDescription(n.description);
  }
}

void TForm1::PlaceControls(QSize panelSize)
{
  const int dw = panelSize.width() - kPanelDesignSize.width();
  const int dh = panelSize.height() - kPanelDesignSize.height();
  solanoLabel_->move(11, 13);
  solanoView_->setGeometry(8, 29, 188, std::max(1, 294 + dh));
  internalLabel_->move(208, 13);
  // Internal Files shows its longest row whole in the window's font; the
  // PC pane gives way by as much as it needs beyond its designed 122.
  const int internalWidth = std::max(122, internalView_->FitToRows());
  const int wider = internalWidth - 122;
  internalView_->setGeometry(205, 29, internalWidth, std::max(1, 295 + dh));
  folderUpBtn_->setGeometry(612 + dw, 5, 20, 20);
  newFolderBtn_->setGeometry(636 + dw, 5, 20, 20);
  splitter_->setGeometry(336 + wider, 29, std::max(1, 318 + dw - wider), std::max(1, 295 + dh));
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
      return from && parts().gestures.AcceptsDrop(target, *from);
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

} // namespace zr
