// The window and the dialogs as a screen reader finds them through Qt's
// accessibility interface: every control that takes the focus or tells
// something has a name, Tab goes in reading order, the Internal Files rows
// carry their text, status changes are announced, and a first run without
// MIDI ports says what is missing.
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>

#include "app/card_list.h"
#include "dialogs/about_box.h"
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
      QAccessible::StaticText, QAccessible::Graphic, QAccessible::ProgressBar, QAccessible::StatusBar,
      QAccessible::Cell,       QAccessible::TreeItem, QAccessible::ListItem,   QAccessible::ColumnHeader};
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

struct WindowCase {
  const char* name;
  std::function<QWidget*(Program&)> open; // shows it, gives the widget to start Tab from
  QStringList tabStops;                   // empty: its Tab order is tested with the dialog
};

class Accessibility : public ::testing::TestWithParam<WindowCase> {};

TEST_P(Accessibility, EveryControlHasANameAndTabReadsInOrder)
{
  const WindowCase& c = GetParam();
  FakeSerialLine line;
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"), nullptr, line.Factory());
  h.Show();
  ASSERT_TRUE(WaitUntil([&] { return h.Form().PCView()->Folder() == h.documents; }));
  QWidget* start = c.open(*h.program);
  QWidget* window = start->window();
  QApplication::setActiveWindow(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  start->setFocus(Qt::TabFocusReason);

  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(Unnamed(iface, window->objectName()), QStringList());
  if (!c.tabStops.isEmpty()) {
    EXPECT_EQ(TabStops(), c.tabStops);
  }
  window->hide();
}

INSTANTIATE_TEST_SUITE_P(
    Windows, Accessibility,
    ::testing::Values(
        WindowCase{"MainWindow", [](Program& p) -> QWidget* { return p.Form1().SolanoView(); },
                   {"Card Files", "Internal Files", "Up One Level", "Create New Folder", "PC folders", "PC files"}},
        WindowCase{"PortSetup",
                   [](Program& p) -> QWidget* {
                     p.PortSetupFrm().show();
                     return p.PortSetupFrm().BitBtn1();
                   },
                   {}},
        WindowCase{"Progress",
                   [](Program& p) -> QWidget* {
                     p.ProgressForm().SetTitle(QStringLiteral("Receiving file nr 1 of 2."));
                     p.ProgressForm().show();
                     return p.ProgressForm().CancelBtn();
                   },
                   {"Cancel"}},
        WindowCase{"About",
                   [](Program& p) -> QWidget* {
                     p.AboutBox().show();
                     return p.AboutBox().focusWidget() ? p.AboutBox().focusWidget() : &p.AboutBox();
                   },
                   {"OK"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The rows are read, found by typing and read as a whole row.
TEST(AccessibleRows, InternalRowsCarryTheirTextAndTypingFindsThem)
{
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"));
  h.Show();
  InternalListView* internal = h.Form().InternalView();
  QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(internal)->tableInterface();
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->rowCount(), DATA_TYPE_COUNT);
  for (int type = 0; type < DATA_TYPE_COUNT; ++type)
    EXPECT_EQ(table->cellAt(type, 0)->text(QAccessible::Name),
              h.Form().TypeLabels[type] + u' ' + h.Form().TypeNames[type]);
  EXPECT_EQ(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("KPR: Project (all)"));
  internal->setFocus();
  QTest::keyClicks(internal, QStringLiteral("ksn"));
  EXPECT_EQ(internal->currentIndex().row(), 6);

  CardListView* card = h.Form().SolanoView();
  card->AddEntries(7, {"LIVE    "});
  EXPECT_EQ(QAccessible::queryAccessibleInterface(card)->tableInterface()->cellAt(0, 0)->text(QAccessible::Name),
            QStringLiteral("LIVE, Setup"));
  ASSERT_TRUE(WriteFile(QDir(h.documents).filePath(QStringLiteral("MIX.kch")), QByteArray(2048, 'x')));
  TPTShellList* pc = h.Form().PCView();
  pc->FillItems();
  ASSERT_TRUE(WaitUntil([&] { return pc->IndexOfCaption(QStringLiteral("MIX.kch")) >= 0; }));
  const QModelIndex mix = pc->model()->index(pc->IndexOfCaption(QStringLiteral("MIX.kch")), 0, pc->rootIndex());
  EXPECT_EQ(mix.data(Qt::AccessibleTextRole).toString(), QStringLiteral("MIX.kch, Channel Library, 2 KB"));
}

// A screen reader hears each new status: the panel's name is the whole
// text, also when it is shown cut short, and its change is announced (seen
// here only where the platform has accessibility switched on: offscreen has
// none). An empty panel still says what it is about.
TEST(AccessibleRows, StatusChangesAreAnnounced)
{
  ProgramHarness h(QStringLiteral("[Communication]\nMedium=1\nComPort=0\n"));
  h.Show();
  static QList<QPair<QObject*, QString>> heard;
  heard.clear();
  QAccessible::setActive(true);
  const QAccessible::UpdateHandler before = QAccessible::installUpdateHandler([](QAccessibleEvent* event) {
    if (event->type() == QAccessible::NameChanged)
      heard.append({event->object(), event->accessibleInterface()->text(QAccessible::Name)});
  });
  const QString longText = QStringLiteral("No permission to open /dev/ttyUSB0: add your user to the group dialout");
  h.Form().ShowStatusText(longText);
  QAccessible::installUpdateHandler(before);

  QLabel* panel = h.Form().StatusPanel(0);
  ASSERT_NE(panel->text(), longText) << "the panel must be too narrow for the text";
  EXPECT_EQ(QAccessible::queryAccessibleInterface(panel)->text(QAccessible::Name), longText);
  if (QAccessible::isActive()) {
    EXPECT_EQ(heard, (QList<QPair<QObject*, QString>>{{panel, longText}}));
  }
  EXPECT_EQ(QAccessible::queryAccessibleInterface(h.Form().StatusPanel(1))->text(QAccessible::Name),
            QStringLiteral("Nothing selected"));
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
    ProgramHarness h(c.settings ? std::optional<QString>(QString::fromLatin1(c.settings)) : std::nullopt, nullptr,
                     line.Factory());
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
