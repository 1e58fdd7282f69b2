// The main window with the keyboard alone, against the virtual console: the
// lists are reached with Tab, rows are chosen with the arrow keys, and files
// go between the card and the PC with Ctrl+C and Ctrl+V.
#include <QApplication>
#include <QClipboard>
#include <QMenuBar>

#include "tests/widgets/transfers_fixture.h"

namespace zr::test {
namespace {

class KeyboardTest : public TransfersTest {
protected:
  // What a window manager does when a dialog has gone: the main window is
  // active again, and its focus is where the window kept it.
  bool Activate()
  {
    QApplication::setActiveWindow(&Form());
    return QTest::qWaitForWindowActive(&Form());
  }
  static QWidget* Focus() { return QApplication::focusWidget(); }
  static void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
  {
    QTest::keyClick(Focus(), key, modifiers);
  }
};

TEST_F(KeyboardTest, FilesGoBetweenCardAndPcWithoutTheMouse)
{
  const QByteArray a = RandomData(1500, 1), b = RandomData(30, 2), up = RandomData(900, 3);
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("A1.kch")), a));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("B2.kpr")), b));
  ASSERT_TRUE(WriteFile(sim.CardPath(QStringLiteral("C3.keq")), QByteArray("c")));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("zz.kch")), up));
  ASSERT_TRUE(StartProgram(3));
  ASSERT_TRUE(SelectPc({QStringLiteral("zz.kch")}));
  ASSERT_TRUE(Activate());
  ASSERT_EQ(Focus(), &Pc()) << "the PC list has the focus at start";

  // Tab: the card list; the first two rows; Shift+Tab back; Ctrl+V fetches them.
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), &Card());
  Key(Qt::Key_Home);
  Key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(Card().SelectedCount(), 2);
  EXPECT_EQ(Form().StatusText(1), QStringLiteral("2 object(s) selected"));
  Key(Qt::Key_Tab, Qt::ShiftModifier);
  ASSERT_EQ(Focus(), &Pc());
  Key(Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] { return QFileInfo::exists(PcPath(QStringLiteral("B2.kpr"))); }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("A1.kch"))), a);
  EXPECT_EQ(ReadFile(PcPath(QStringLiteral("B2.kpr"))), b);
  // The progress dialog took the window's input; the focus is back where it was.
  EXPECT_EQ(Form().focusWidget(), &Pc());
  ASSERT_TRUE(Activate());
  ASSERT_EQ(Focus(), &Pc());

  // The last PC file alone, Ctrl+C, Tab to the card list, Ctrl+V sends it.
  ASSERT_TRUE(
      WaitUntil([&] { return Pc().ItemCount() == 3 && Pc().Caption(2) == QStringLiteral("zz.kch"); }));
  Key(Qt::Key_End);
  ASSERT_EQ(Pc().SelCount(), 1);
  ASSERT_EQ(Pc().Caption(Pc().FirstSelected()), QStringLiteral("zz.kch"));
  Key(Qt::Key_C, Qt::ControlModifier);
  Key(Qt::Key_Tab);
  ASSERT_EQ(Focus(), &Card());
  Key(Qt::Key_V, Qt::ControlModifier);
  ASSERT_TRUE(WaitUntil([&] { return CardRow(QStringLiteral("zz")) >= 0; }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(ReadFile(sim.CardPath(QStringLiteral("zz.kch"))), up);
  EXPECT_TRUE(prompter.boxes.empty());

  // F2 renames; Del and Ctrl+A while the name is being typed edit the
  // name and leave the files alone.
  ASSERT_TRUE(Activate());
  Pc().setFocus();
  Key(Qt::Key_F2);
  ASSERT_NE(Focus(), &Pc()) << "an editor has the focus";
  Key(Qt::Key_A, Qt::ControlModifier);
  Key(Qt::Key_Delete);
  Key(Qt::Key_Escape);
  EXPECT_TRUE(prompter.boxes.empty());
  EXPECT_TRUE(QFileInfo::exists(PcPath(QStringLiteral("zz.kch"))));
  EXPECT_EQ(Pc().SelCount(), 1);

  // Copy switched off by the last opening of the menu (nothing was selected
  // then): Ctrl+C leaves the clipboard alone.
  Pc().clearSelection();
  Form().PopupMenu4Popup();
  ASSERT_FALSE(Form().Action("Copy4")->isEnabled());
  QApplication::clipboard()->setText(QStringLiteral("the user's"));
  Key(Qt::Key_Home);
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("the user's"));
}

TEST_F(KeyboardTest, BackupAndRestoreReachTheirDialogsFromTheKeys)
{
  constexpr int SETUP = 7;
  const QByteArray setup = RandomData(800, 50), saved = RandomData(600, 51);
  ASSERT_TRUE(WriteFile(sim.InternalPath(SETUP), setup));
  ASSERT_TRUE(WriteFile(PcPath(QStringLiteral("saved.ksu")), saved));
  ASSERT_TRUE(StartProgram(0));
  ASSERT_TRUE(Activate());
  SelectInternal(SETUP);

  // Ctrl+B: the save dialog for the selected kind, then the backup.
  prompter.saveAnswers = {PcPath(QStringLiteral("backup.ksu"))};
  Key(Qt::Key_B, Qt::ControlModifier);
  ASSERT_EQ(prompter.saveRequests.size(), 1u);
  EXPECT_EQ(prompter.saveRequests[0].title, "Save current settings as...");
  EXPECT_EQ(prompter.saveRequests[0].extension, "ksu");
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(PcPath(QStringLiteral("backup.ksu"))) == setup; }));
  ASSERT_TRUE(WaitIdle());

  // Ctrl+R: an open dialog in the selected PC folder, then the confirmation and the restore.
  ASSERT_TRUE(Activate());
  prompter.openAnswers = {QStringList{PcPath(QStringLiteral("saved.ksu"))}};
  prompter.answers = {BoxAnswer::Yes};
  Key(Qt::Key_R, Qt::ControlModifier);
  ASSERT_EQ(prompter.openRequests.size(), 1u);
  EXPECT_EQ(QDir(prompter.openRequests[0][1]), QDir(pcDir.path()));
  ASSERT_TRUE(WaitUntil([&] { return ReadFile(sim.InternalPath(SETUP)) == saved; }));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(prompter.Texts(), QStringList{QStringLiteral(
                                  "Are you sure you want to replace the current settings in the ZR4812!")});
  // Both are in the Internal Files pop-up menu and in the File menu.
  for (const char* name : {"Backup", "RestoreFromFile"}) {
    EXPECT_TRUE(Form().PopupMenu2()->actions().contains(Form().Action(name))) << name;
    EXPECT_TRUE(Form().menuBar()->actions().first()->menu()->actions().contains(Form().Action(name))) << name;
  }
}

} // namespace
} // namespace zr::test
