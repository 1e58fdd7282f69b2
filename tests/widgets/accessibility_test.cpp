// The window and the dialogs as a screen reader finds them through Qt's
// accessibility interface: names, Tab order, rows and status panels read
// whole, and a first run without MIDI ports that says what is missing.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>

#include "app/card_list.h"
#include "dialogs/about_box.h"
#include "dialogs/archive_dialogs.h"
#include "dialogs/port_setup.h"
#include "dialogs/progress_form.h"
#include "shell/shell_list.h"
#include "tests/support/fake_serial.h"
#include "tests/widgets/main_window_fixture.h"

namespace zr::test {
namespace {

// What a reader needs named even when it takes no focus.
bool Informative(QAccessible::Role role)
{
  static const QSet<QAccessible::Role> roles{
      QAccessible::StaticText, QAccessible::Graphic,  QAccessible::ProgressBar, QAccessible::StatusBar,
      QAccessible::Cell,       QAccessible::TreeItem, QAccessible::ListItem,    QAccessible::ColumnHeader};
  return roles.contains(role);
}

// The one walker: every visible control below `iface` that takes the focus
// or tells something and has no name, as "path: role".
QStringList Unnamed(QAccessibleInterface* iface, const QString& path)
{
  QStringList missing;
  for (int i = 0; i < iface->childCount(); ++i) {
    QAccessibleInterface* child = iface->child(i);
    if (!child || child->state().invisible)
      continue;
    const QString name = child->text(QAccessible::Name).trimmed();
    QString at = path + u'/' + (child->object() ? child->object()->objectName() : QString());
    if (at.endsWith(u'/'))
      at += name.isEmpty() ? QString::number(i) : name;
    if (name.isEmpty() && (child->state().focusable || Informative(child->role())))
      missing.append(at + QStringLiteral(": role %1").arg(int(child->role()), 0, 16));
    missing += Unnamed(child, at);
  }
  return missing;
}

// The accessible names of the controls Tab reaches from the focused one,
// until it comes back round (or after 12 presses).
QStringList TabStops()
{
  QStringList names;
  QWidget* first = QApplication::focusWidget();
  for (QWidget* w = first; w && names.size() < 12;) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    names.append(iface ? iface->text(QAccessible::Name) : w->objectName());
    QTest::keyClick(w, Qt::Key_Tab);
    w = QApplication::focusWidget();
    if (w == first)
      break;
  }
  return names;
}

// One table of the window and the dialogs: each is shown and walked, and Tab
// is pressed round it from its first control in reading order.
TEST(Accessibility, EveryControlHasANameAndTabGoesInReadingOrder)
{
  FakeSerialLine line;
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"), nullptr, line.Factory());
  h.Show();
  ASSERT_TRUE(WaitUntil([&] { return h.Form().PCView()->Folder() == h.documents; }));
  Program& p = *h.program;
  ArchiveRestoreDialog restore(QStringLiteral("/home/me/zr4812-20240301-023000"),
                               {{"SONG.kpr"}, {"project-all.kpr", "setup.ksu"}}, &p.Form1());
  ArchiveCompareDialog compare({{"card/SONG.kpr", Verdict::Differs}}, &p.Form1());
  const struct {
    QWidget* window;
    QWidget* first;
    QStringList tabStops; // empty: the dialog's own test has its Tab order
  } windows[] = {
      {&p.Form1(),
       p.Form1().SolanoView(),
       {"Card Files", "Internal Files", "Up One Level", "Create New Folder", "PC folders", "PC files"}},
      {&p.PortSetupFrm(), p.PortSetupFrm().BitBtn1(), {}},
      {&p.ProgressForm(), p.ProgressForm().CancelBtn(), {"Cancel"}},
      {&p.AboutBox(), p.AboutBox().findChild<QPushButton*>(QStringLiteral("OKButton")), {"OK"}},
      {&restore, restore.Items(), {}},
      {&compare, compare.List(), {"Files compared with the archive", "Close"}},
  };
  for (const auto& w : windows) {
    w.window->show();
    QApplication::setActiveWindow(w.window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.window));
    w.first->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(Unnamed(QAccessible::queryAccessibleInterface(w.window), w.window->objectName()),
              QStringList());
    if (!w.tabStops.isEmpty()) {
      EXPECT_EQ(TabStops(), w.tabStops) << w.window->objectName().toStdString();
    }
    if (w.window != &p.Form1())
      w.window->hide();
  }
}

// Rows read as a whole and are found by typing; status panels read whole.
TEST(AccessibleText, RowsAndStatusPanelsReadWhole)
{
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"));
  h.Show();
  InternalListView* internal = h.Form().InternalView();
  QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(internal)->tableInterface();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), DATA_TYPE_COUNT);
  EXPECT_EQ(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("KPR: Project (all)"));
  internal->setFocus();
  QTest::keyClicks(internal, QStringLiteral("ksn"));
  EXPECT_EQ(internal->currentIndex().row(), 6);

  CardListView* card = h.Form().SolanoView();
  card->AddEntries(7, {"LIVE    "});
  EXPECT_EQ(
      QAccessible::queryAccessibleInterface(card)->tableInterface()->cellAt(0, 0)->text(QAccessible::Name),
      QStringLiteral("LIVE, Setup"));
  ASSERT_TRUE(WriteFile(QDir(h.documents).filePath(QStringLiteral("MIX.kch")), QByteArray(2048, 'x')));
  TPTShellList* pc = h.Form().PCView();
  pc->FillItems();
  ASSERT_TRUE(WaitUntil([&] { return pc->IndexOfCaption(QStringLiteral("MIX.kch")) >= 0; }));
  const QModelIndex mix =
      pc->model()->index(pc->IndexOfCaption(QStringLiteral("MIX.kch")), 0, pc->rootIndex());
  EXPECT_EQ(mix.data(Qt::AccessibleTextRole).toString(), QStringLiteral("MIX.kch, Channel Library, 2 KB"));

  // A status panel's name is its whole text, also when it shows it cut short
  // (setting the name is what announces it); an empty panel says so.
  const QString text =
      QStringLiteral("No permission to open /dev/ttyUSB0: add your user to the group dialout");
  h.Form().ShowStatusText(text);
  ASSERT_NE(h.Form().StatusPanel(0)->text(), text) << "the panel must be too narrow for the text";
  EXPECT_EQ(QAccessible::queryAccessibleInterface(h.Form().StatusPanel(0))->text(QAccessible::Name), text);
  // The Internal Files row chosen above: a count, and no size.
  EXPECT_EQ(QAccessible::queryAccessibleInterface(h.Form().StatusPanel(1))->text(QAccessible::Name),
            QStringLiteral("1 object(s) selected"));
  EXPECT_EQ(QAccessible::queryAccessibleInterface(h.Form().StatusPanel(2))->text(QAccessible::Name),
            QStringLiteral("No PC files selected"));
}

// A first run without MIDI ports: the dialog says what is missing and which
// serial devices there are, where it used to show two blank lists.
TEST(FirstRun, PortSetupWithoutMidiSaysWhatIsMissing)
{
  struct Case {
    const char* settings; // nothing: no file
    const char* device;   // one that opens, or nothing
    QString note;
  } cases[] = {
      {nullptr, nullptr, TPortSetupFrm::kNoMidiPorts + QStringLiteral("\nNo serial devices found")},
      {"[Ports]\nCOM3=/dev/zr-fake3\n", "/dev/zr-fake3",
       TPortSetupFrm::kNoMidiPorts + QStringLiteral("\nSerial devices: /dev/zr-fake3 (COM Port 3)")},
  };
  for (const Case& c : cases) {
    FakeSerialLine line;
    if (c.device)
      line.devices[c.device] = SerialOpenResult::Ok;
    ProgramHarness h(c.settings ? std::optional<QString>(QString::fromLatin1(c.settings)) : std::nullopt,
                     nullptr, line.Factory());
    QString note, inDescription;
    bool noteVisible = false;
    h.prompter.dialogScripts.push_back([&](QDialog& d) {
      auto& dialog = static_cast<TPortSetupFrm&>(d);
      note = dialog.PortNote()->text();
      noteVisible = dialog.PortNote()->isVisible() && dialog.rect().contains(dialog.PortNote()->geometry());
      inDescription = dialog.ComboBox1()->accessibleDescription();
      return int(QDialog::Rejected);
    });
    h.Show();
    ASSERT_EQ(h.prompter.dialogs, QStringList{"PortSetupFrm"});
    EXPECT_EQ(note, c.note);
    EXPECT_TRUE(noteVisible);
    EXPECT_EQ(inDescription, TPortSetupFrm::kNoMidiPorts);
  }
}

} // namespace
} // namespace zr::test
