// The folder tree and the file list against temporary folders: filling,
// items and selection, rename in place, the file commands through the
// clipboard and the trash, and the tree's operations.
#include <functional>

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "shell/shell_list.h"
#include "shell/shell_tree.h"
#include "tests/widgets/widget_test_util.h"

using zr::TPTShellList;
using zr::TPTShellTree;
using zr::test::kWaitMs;
using zr::test::ReadFile;
using zr::test::WaitUntil;
using zr::test::WriteFile;

namespace {

// The line editor of an in-place edit under way (an editor the view has
// just let go is hidden until it is deleted).
QLineEdit *VisibleEditor(const QWidget &view)
{
  QLineEdit *found = nullptr;
  WaitUntil([&] {
    for (QLineEdit *editor : view.findChildren<QLineEdit *>())
      if (editor->isVisible())
        found = editor;
    return found != nullptr;
  });
  return found;
}

// Shows `folder` and waits until the list reports it filled.
bool ShowAndWait(TPTShellList &list, const QString &folder)
{
  QSignalSpy filled(&list, &TPTShellList::FolderChanged);
  list.ShowFolder(folder);
  return filled.wait(kWaitMs) || filled.count() > 0;
}

QStringList Captions(const TPTShellList &list)
{
  QStringList captions;
  for (int i = 0; i < list.ItemCount(); ++i)
    captions.append(list.Caption(i));
  return captions;
}

class ShellListTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    // Under the test home, so the trash is on the same file system.
    root = std::make_unique<QTemporaryDir>(QDir::homePath() + "/shell-XXXXXX");
    folder = QDir(root->filePath("songs"));
    QDir().mkpath(folder.filePath("a subfolder"));
    ASSERT_TRUE(WriteFile(folder.filePath("mix.kch"), QByteArray(1234 * 1024, 'm')));
    ASSERT_TRUE(WriteFile(folder.filePath("live.kpr"), QByteArray(7 * 1024, 'l')));
    ASSERT_TRUE(WriteFile(folder.filePath("notes.txt"), ""));
    list.resize(400, 300);
    list.show();
    prompts = 0;
    reports.clear();
    list.SetPrompter({[this](const QString &) {
                        ++prompts;
                        return answer;
                      },
                      [this](const QString &m) { reports.append(m); }});
    ASSERT_TRUE(ShowAndWait(list, folder.path()));
  }
  int Item(const char *caption) const { return list.IndexOfCaption(caption); }

  std::unique_ptr<QTemporaryDir> root;
  QDir folder;
  TPTShellList list;
  int prompts = 0;
  bool answer = true;
  QStringList reports;
};

TEST_F(ShellListTest, ListsTheFilesWithoutSubfoldersInFourColumns)
{
  EXPECT_EQ(Captions(list), QStringList({"live.kpr", "mix.kch", "notes.txt"}));
  EXPECT_EQ(list.SizeText(Item("mix.kch")), "1,234 KB");
  EXPECT_EQ(list.SizeText(Item("live.kpr")), "7 KB");
  EXPECT_EQ(list.SizeText(Item("notes.txt")), "0 KB");
  EXPECT_EQ(list.GetShListData(Item("mix.kch")).size, 1234 * 1024);
  EXPECT_EQ(list.Model()->columnCount(), 4);
  // What the list shows in the Size column is that same text.
  const QModelIndex sizeCell = list.Model()->index(Item("mix.kch"), 1, list.rootIndex());
  EXPECT_EQ(sizeCell.data().toString(), "1,234 KB");
  EXPECT_EQ(list.Folder(), folder.path());
}

TEST_F(ShellListTest, TypeColumnNamesTheConsoleKindsWhateverTheSystemCallsThem)
{
  // *.kpr and *.kfx are other programs' types in the system's own database.
  const struct {
    const char *file;
    const char *type; // nullptr: the system's text
  } cases[] = {{"live.kpr", "Project (all)"},
               {"A.KCH", "Channel Library"},
               {"b.keq", "EQ Library"},
               {"c.kcg", "Dynamics Library"},
               {"d.Kfx", "Effects Library"},
               {"e.ka", "Automation Data"},
               {"f.ksn", "Snapshots"},
               {"g.ksu", "Setup"},
               {"h.kex", "Operating System"},
               {"a.kpr.kch", "Channel Library"},
               {"notes.txt", nullptr},
               {"a.kpr.bak", nullptr},
               {"x.kaa", nullptr}};
  for (const auto &c : cases)
    if (!QFileInfo::exists(folder.filePath(c.file)))
      ASSERT_TRUE(WriteFile(folder.filePath(c.file), "\xf0\x01"));
  list.FillItems();
  ASSERT_TRUE(WaitUntil([&] { return Item("x.kaa") >= 0; }));
  for (const auto &c : cases) {
    const QModelIndex cell = list.Model()->index(Item(c.file), 2, list.rootIndex());
    const QString expected = c.type ? QString(c.type) : list.Model()->type(cell);
    EXPECT_EQ(cell.data().toString(), expected) << c.file;
    EXPECT_FALSE(expected.isEmpty()) << c.file;
  }
}

TEST_F(ShellListTest, SelectionCanBeReadItemByItem)
{
  QList<QPair<int, bool>> events;
  QObject::connect(&list, &TPTShellList::SelectItem, [&](int item, bool selected) {
    events.append({item, selected});
  });
  EXPECT_EQ(list.SelCount(), 0);
  EXPECT_EQ(list.FirstSelected(), -1);
  list.SetSelected(0, true);
  list.SetSelected(2, true);
  EXPECT_EQ(list.SelCount(), 2);
  EXPECT_EQ(list.FirstSelected(), 0);
  EXPECT_EQ(list.NextSelected(0), 2);
  EXPECT_EQ(list.NextSelected(2), -1);
  EXPECT_TRUE(list.IsSelected(2));
  EXPECT_FALSE(list.IsSelected(1));
  list.SetSelected(0, false);
  EXPECT_EQ(list.FirstSelected(), 2);
  EXPECT_EQ(events, (QList<QPair<int, bool>>{{0, true}, {2, true}, {0, false}}));

  QSignalSpy once(&list, &TPTShellList::SelectionChangedOnce);
  list.SelectAll();
  EXPECT_EQ(list.SelCount(), 3);
  EXPECT_EQ(once.count(), 1);
}

TEST_F(ShellListTest, RenameInPlaceGoesThroughTheEditedHook)
{
  // The main window's rule: the extension of the old name stays.
  QStringList typed;
  list.SetEditedHook([&](int item, QString &name) {
    typed.append(name);
    const QString old = list.Caption(item);
    const int dot = name.lastIndexOf('.');
    name = (dot >= 0 ? name.left(dot) : name) + old.mid(old.lastIndexOf('.'));
  });
  QSignalSpy started(&list, &TPTShellList::EditingStarted);
  ASSERT_TRUE(list.StartEdit(Item("mix.kch")));
  EXPECT_EQ(started.count(), 1);
  auto *editor = VisibleEditor(list);
  ASSERT_NE(editor, nullptr);
  editor->setText("song.txt");
  QTest::keyClick(editor, Qt::Key_Return); // the view commits on its next turn
  ASSERT_TRUE(WaitUntil([&] { return !typed.isEmpty(); }));
  EXPECT_EQ(typed, QStringList{"song.txt"});
  EXPECT_TRUE(QFileInfo::exists(folder.filePath("song.kch")));
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("mix.kch")));
  EXPECT_TRUE(WaitUntil([&] { return Item("song.kch") >= 0; }));

  // A name that is taken is refused with a message, and nothing moves.
  int hookCalls = 0;
  list.SetEditedHook([&](int, QString &) { ++hookCalls; });
  ASSERT_TRUE(list.StartEdit(Item("song.kch")));
  editor = VisibleEditor(list);
  ASSERT_NE(editor, nullptr);
  editor->setText("live.kpr");
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(WaitUntil([&] { return hookCalls == 1; }));
  EXPECT_EQ(reports.size(), 1);
  EXPECT_TRUE(QFileInfo::exists(folder.filePath("song.kch")));
  EXPECT_EQ(ReadFile(folder.filePath("live.kpr")).size(), 7 * 1024);
}

TEST_F(ShellListTest, CopyThenPasteIntoAnotherFolderCopiesTheFiles)
{
  list.SetSelected(Item("mix.kch"), true);
  list.SetSelected(Item("live.kpr"), true);
  ASSERT_TRUE(list.DoCommandForAllSelected("copy"));
  const QMimeData *clip = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(clip, nullptr);
  EXPECT_TRUE(clip->data("x-special/gnome-copied-files").startsWith("copy\nfile://"));

  const QString other = root->filePath("other");
  QDir().mkpath(other);
  TPTShellList target;
  target.SetPrompter(zr::ShellPrompter{[](const QString &) { return true; }, [](const QString &) {}});
  ASSERT_TRUE(ShowAndWait(target, other));
  EXPECT_EQ(target.ItemCount(), 0);
  ASSERT_TRUE(target.DoCommandForFolder("paste"));
  EXPECT_EQ(ReadFile(QDir(other).filePath("mix.kch")), ReadFile(folder.filePath("mix.kch")));
  EXPECT_EQ(ReadFile(QDir(other).filePath("live.kpr")), ReadFile(folder.filePath("live.kpr")));
  // The list follows the file system by itself.
  EXPECT_TRUE(WaitUntil([&] { return target.ItemCount() == 2; }));

  // Pasting again overwrites nothing.
  ASSERT_TRUE(target.DoCommandForFolder("paste"));
  EXPECT_EQ(QDir(other).entryList(QDir::Files),
            QStringList({"live (copy).kpr", "live.kpr", "mix (copy).kch", "mix.kch"}));
}

TEST_F(ShellListTest, CutThenPasteMovesTheFilesAndEmptiesTheClipboard)
{
  list.SetSelected(Item("notes.txt"), true);
  ASSERT_TRUE(list.DoCommandForAllSelected("cut"));
  EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data("application/x-kde-cutselection"), "1");
  const QString other = root->filePath("moved");
  QDir().mkpath(other);
  TPTShellList target;
  ASSERT_TRUE(ShowAndWait(target, other));
  ASSERT_TRUE(target.DoCommandForFolder("paste"));
  EXPECT_TRUE(QFileInfo::exists(QDir(other).filePath("notes.txt")));
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("notes.txt")));
  const QMimeData *after = QGuiApplication::clipboard()->mimeData();
  EXPECT_TRUE(after == nullptr || !after->hasUrls());
}

TEST_F(ShellListTest, DeleteAsksOnceThenMovesTheFilesToTheTrash)
{
  list.SetSelected(Item("mix.kch"), true);
  list.SetSelected(Item("live.kpr"), true);
  answer = false;
  EXPECT_FALSE(list.DoCommandForAllSelected("delete"));
  EXPECT_EQ(prompts, 1);
  EXPECT_TRUE(QFileInfo::exists(folder.filePath("mix.kch")));

  answer = true;
  EXPECT_TRUE(list.DoCommandForAllSelected("delete"));
  EXPECT_EQ(prompts, 2); // one question for both files
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("mix.kch")));
  EXPECT_FALSE(QFileInfo::exists(folder.filePath("live.kpr")));
  const QString trash =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files/";
  EXPECT_TRUE(QFileInfo::exists(trash + "live.kpr"));
  EXPECT_TRUE(reports.isEmpty()) << reports.join('\n').toStdString();
  EXPECT_TRUE(WaitUntil([&] { return Captions(list) == QStringList{"notes.txt"}; }));
}

TEST_F(ShellListTest, FillItemsReadsTheFolderAgain)
{
  ASSERT_TRUE(WriteFile(folder.filePath("new.kfx"), "x"));
  QSignalSpy filled(&list, &TPTShellList::FolderChanged);
  list.SetColumnWidth(0, 116);
  list.FillItems();
  ASSERT_TRUE(filled.wait(kWaitMs) || filled.count() > 0);
  EXPECT_GE(Item("new.kfx"), 0);
  EXPECT_EQ(list.ColumnWidth(0), 116); // the widths survive a refill
}

TEST_F(ShellListTest, DoubleClickCanBeHandledByTheWindow)
{
  int clicked = -1;
  QObject::connect(&list, &TPTShellList::DblClickOpen, [&](int item, bool *handled) {
    clicked = item;
    *handled = true; // so no program is started to open the file
  });
  const QRect cell = list.visualRect(list.Model()->index(1, 0, list.rootIndex()));
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(clicked, 1);
}

class ShellTreeTest : public ::testing::Test {
protected:
  void SetUp() override
  {
    root = std::make_unique<QTemporaryDir>(QDir::homePath() + "/tree-XXXXXX");
    base = QDir(root->path());
    QDir().mkpath(base.filePath("a/b/c"));
    QDir().mkpath(base.filePath(".hidden"));
    ASSERT_TRUE(WriteFile(base.filePath("a/b/file.kch"), "x"));
    tree.SetShellList(&list);
    tree.resize(300, 300);
    tree.show();
  }
  std::unique_ptr<QTemporaryDir> root;
  QDir base;
  TPTShellTree tree;
  TPTShellList list;
};

TEST_F(ShellTreeTest, SelectingAFolderExpandsDownToItAndTheListFollows)
{
  QSignalSpy filled(&list, &TPTShellList::FolderChanged);
  ASSERT_TRUE(tree.SetSelectedPathName(base.filePath("a/b")));
  EXPECT_EQ(tree.GetSelectedPathName(), QDir::toNativeSeparators(base.filePath("a/b")));
  EXPECT_TRUE(tree.isExpanded(tree.Model()->index(base.filePath("a"))));
  EXPECT_EQ(list.Folder(), base.filePath("a/b"));
  ASSERT_TRUE(filled.wait(kWaitMs) || filled.count() > 0);
  EXPECT_EQ(Captions(list), QStringList{"file.kch"});

  // No such folder: nothing changes.
  EXPECT_FALSE(tree.SetSelectedPathName(base.filePath("a/nothing")));
  EXPECT_FALSE(tree.SetSelectedPathName(base.filePath("a/b/file.kch")));
  EXPECT_EQ(tree.GetSelectedPathName(), QDir::toNativeSeparators(base.filePath("a/b")));
}

TEST_F(ShellTreeTest, GoUpStopsAtTheTop)
{
  ASSERT_TRUE(tree.SetSelectedPathName(base.filePath("a/b/c")));
  tree.GoUp(1);
  EXPECT_EQ(tree.GetSelectedPathName(), QDir::toNativeSeparators(base.filePath("a/b")));
  tree.GoUp(2);
  EXPECT_EQ(tree.GetSelectedPathName(), QDir::toNativeSeparators(base.path()));

  const QString top = QDir::toNativeSeparators(QDir::rootPath());
  ASSERT_TRUE(tree.SetSelectedPathName(top));
  tree.GoUp(1);
  EXPECT_EQ(tree.GetSelectedPathName(), top);
}

TEST_F(ShellTreeTest, AFolderStaysSelected)
{
  const auto ctrlClick = [](TPTShellTree &t, const QDir &) {
    const QRect row = t.visualRect(t.currentIndex());
    QTest::mouseClick(t.viewport(), Qt::LeftButton, Qt::ControlModifier, row.center());
  };
  const auto ctrlSpace = [](TPTShellTree &t, const QDir &) {
    t.setFocus();
    QTest::keyClick(&t, Qt::Key_Space, Qt::ControlModifier);
  };
  const auto remove = [](const char *folder) {
    return [folder](TPTShellTree &, const QDir &base) { QDir(base.filePath(folder)).removeRecursively(); };
  };
  const struct {
    const char *what;
    const char *selected;
    std::function<void(TPTShellTree &, const QDir &)> action;
    const char *after;
  } cases[] = {
      {"Ctrl+click", "a/b", ctrlClick, "a/b"},
      {"Ctrl+Space", "a/b", ctrlSpace, "a/b"},
      {"the folder deleted", "a/b/c", remove("a/b/c"), "a/b"},
      {"a folder above deleted", "a/b/c", remove("a/b"), "a"},
  };
  for (const auto &c : cases) {
    QDir().mkpath(base.filePath("a/b/c"));
    QDir().mkpath(base.filePath("a/b/d")); // Qt's own choice when c goes
    ASSERT_TRUE(tree.SetSelectedPathName(base.filePath(c.selected))) << c.what;
    c.action(tree, base);
    const QString expected = QDir::toNativeSeparators(base.filePath(c.after));
    EXPECT_TRUE(WaitUntil([&] { return tree.GetSelectedPathName() == expected; }))
        << c.what << ": " << tree.GetSelectedPathName().toStdString();
    EXPECT_EQ(list.Folder(), QDir::fromNativeSeparators(expected)) << c.what;
  }
}

TEST(ShellTreeStart, TheDocumentsFolderOrElseHome)
{
  const QString userDirs =
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/user-dirs.dirs";
  QTemporaryDir documents(QDir::homePath() + "/docs-XXXXXX");
  ASSERT_TRUE(WriteFile(documents.filePath("a file"), "x"));
  const struct {
    QString documents;
    QString start;
  } cases[] = {
      {documents.path(), documents.path()},
      {documents.filePath("missing"), QDir::homePath()},
      {documents.filePath("a file"), QDir::homePath()},
  };
  for (const auto &c : cases) {
    ASSERT_TRUE(WriteFile(userDirs, QStringLiteral("XDG_DOCUMENTS_DIR=\"%1\"\n").arg(c.documents).toUtf8()));
    EXPECT_EQ(QFileInfo(TPTShellTree::StartFolder()), QFileInfo(c.start)) << c.documents.toStdString();
  }
  QFile::remove(userDirs);
}

TEST_F(ShellTreeTest, ShowsHiddenFolders)
{
  QSignalSpy loaded(tree.Model(), &QFileSystemModel::directoryLoaded);
  ASSERT_TRUE(tree.SetSelectedPathName(base.path()));
  tree.expand(tree.currentIndex());
  const QModelIndex parent = tree.Model()->index(base.path());
  ASSERT_TRUE(WaitUntil([&] { return tree.Model()->rowCount(parent) >= 2; }));
  QStringList names;
  for (int r = 0; r < tree.Model()->rowCount(parent); ++r)
    names.append(tree.Model()->index(r, 0, parent).data().toString());
  names.sort();
  EXPECT_EQ(names, QStringList({".hidden", "a"}));
}

TEST_F(ShellTreeTest, NewFoldersGetFreeNamesAndCanBeNamedInPlace)
{
  ASSERT_TRUE(tree.SetSelectedPathName(base.filePath("a")));
  EXPECT_TRUE(tree.CreateNewFolder(false));
  EXPECT_TRUE(QFileInfo(base.filePath("a/New Folder")).isDir());
  EXPECT_EQ(tree.GetSelectedPathName(), QDir::toNativeSeparators(base.filePath("a")));

  QSignalSpy edited(&tree, &TPTShellTree::Edited);
  EXPECT_TRUE(tree.CreateNewFolder(true));
  EXPECT_TRUE(QFileInfo(base.filePath("a/New Folder (2)")).isDir());
  EXPECT_TRUE(tree.isExpanded(tree.Model()->index(base.filePath("a"))));
  auto *editor = VisibleEditor(tree);
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->text(), "New Folder (2)");
  editor->setText("Live 2024");
  QTest::keyClick(editor, Qt::Key_Return);
  ASSERT_TRUE(edited.wait(kWaitMs) || edited.count() > 0);
  ASSERT_EQ(edited.count(), 1);
  EXPECT_EQ(edited.at(0).at(0).toString(), QDir::toNativeSeparators(base.filePath("a/Live 2024")));
  EXPECT_TRUE(QFileInfo(base.filePath("a/Live 2024")).isDir());

  // Nothing selected: nothing to create in.
  TPTShellTree empty;
  EXPECT_FALSE(empty.CreateNewFolder(false));
  EXPECT_EQ(empty.GetSelectedPathName(), "");
  empty.GoUp(1);
  EXPECT_EQ(empty.GetSelectedPathName(), "");
}

} // namespace
