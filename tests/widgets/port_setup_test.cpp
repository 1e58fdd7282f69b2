// The port setup dialog against scripted actions: the lists it fills, what it
// preselects, what Ok stores and starts, and its tab order.
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

#include "dialogs/port_setup.h"
#include "tests/widgets/widget_test_util.h"

using zr::TPortSetupFrm;

namespace {

struct FakeActions : zr::PortSetupActions {
  QStringList inputs, outputs;
  std::vector<int> ports;
  int midiIn = -1, midiOut = -1, connected = 0, comPortNumber = 0;
  int stops = 0, closes = 0, probes = 0, midiSearches = 0, comSearches = 0;
  std::vector<int> checkMarks;

  void ListMidiDevices(QStringList &in, QStringList &out) override
  {
    in = inputs;
    out = outputs;
  }
  void CloseComPort() override { ++closes; }
  void StopSearchAndWatchdogs() override { ++stops; }
  std::vector<int> ProbeComPorts() override
  {
    ++probes;
    return ports;
  }
  int MidiInDevice() const override { return midiIn; }
  int MidiOutDevice() const override { return midiOut; }
  int ConnectedComPort() const override { return connected; }
  void SetMidiInDevice(int i) override { midiIn = i; }
  void SetMidiOutDevice(int i) override { midiOut = i; }
  void SetComPortNumber(int n) override { comPortNumber = n; }
  void SearchMidiPort() override { ++midiSearches; }
  void SearchComPort() override { ++comSearches; }
  void CheckPortTypeMenuItem(int type) override { checkMarks.push_back(type); }
};

QStringList Items(QComboBox *box)
{
  QStringList items;
  for (int i = 0; i < box->count(); ++i)
    items.append(box->itemText(i));
  return items;
}

TEST(PortSetup, LooksAsDesigned)
{
  FakeActions actions;
  TPortSetupFrm dialog(actions);
  EXPECT_EQ(dialog.windowTitle(), "Port Setup");
  EXPECT_EQ(dialog.size(), QSize(497, 137));
  struct Place {
    QWidget *widget;
    QRect rect;
  } places[] = {
      {dialog.PortTypeBox(), QRect(8, 8, 113, 89)},  {dialog.ComboBox3(), QRect(128, 24, 170, 21)},
      {dialog.ComboBox1(), QRect(128, 72, 170, 21)}, {dialog.ComboBox2(), QRect(320, 72, 170, 21)},
      {dialog.BitBtn1(), QRect(128, 104, 113, 25)},
  };
  for (const Place &p : places)
    EXPECT_EQ(p.widget->geometry(), p.rect) << p.widget->objectName().toStdString();
  EXPECT_EQ(dialog.PortTypeBox()->title(), "Port Type");
  EXPECT_EQ(dialog.PortTypeButton(0)->text(), "Com port");
  EXPECT_EQ(dialog.PortTypeButton(1)->text(), "Midi");
  EXPECT_EQ(dialog.BitBtn1()->text(), "Ok");
  EXPECT_EQ(dialog.PortType(), TPortSetupFrm::PortTypeCom);
  QStringList labels;
  for (QLabel *label : dialog.findChildren<QLabel *>())
    if (!label->isHidden()) // the note about missing ports shows only when one is missing
      labels.append(label->text() + QStringLiteral("@%1,%2").arg(label->x()).arg(label->y()));
  labels.sort();
  EXPECT_EQ(labels, QStringList({"Com port:@128,8", "MIDI In:@128,56", "MIDI Out:@320,56"}));
}

// Out, In, Ok, COM port, port type; the lists switched off are passed over,
// and the port type is one stop, at the type that is chosen.
TEST(PortSetup, TabGoesOutInOkComThenToTheChosenPortType)
{
  FakeActions actions;
  actions.inputs = {"In A"};
  actions.outputs = {"Out A"};
  actions.ports = {1};
  TPortSetupFrm dialog(actions);
  dialog.show();
  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  const auto tabs = [](int count) {
    QList<QWidget *> order{QApplication::focusWidget()};
    for (int i = 0; i < count; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      order.append(QApplication::focusWidget());
    }
    return order;
  };
  const QList<QWidget *> com{dialog.BitBtn1(), dialog.ComboBox3(),
                             dialog.PortTypeButton(TPortSetupFrm::PortTypeCom), dialog.BitBtn1()};
  EXPECT_EQ(tabs(3), com);

  dialog.SetPortType(TPortSetupFrm::PortTypeMidi);
  dialog.BitBtn1()->setFocus();
  const QList<QWidget *> midi{dialog.BitBtn1(), dialog.PortTypeButton(TPortSetupFrm::PortTypeMidi),
                              dialog.ComboBox2(), dialog.ComboBox1(), dialog.BitBtn1()};
  EXPECT_EQ(tabs(4), midi);

  // An arrow key chooses the other type, as a click does.
  dialog.PortTypeButton(TPortSetupFrm::PortTypeMidi)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
  EXPECT_EQ(dialog.PortType(), TPortSetupFrm::PortTypeCom);
  EXPECT_EQ(QApplication::focusWidget(), dialog.PortTypeButton(TPortSetupFrm::PortTypeCom));
  EXPECT_EQ(actions.checkMarks, std::vector<int>{TPortSetupFrm::PortTypeCom});
  EXPECT_TRUE(dialog.ComboBox3()->isEnabled());
}

TEST(PortSetup, ComPortsAreSortedAsTextAndChoosingOneSearchesIt)
{
  FakeActions actions;
  actions.ports = {2, 10};
  TPortSetupFrm dialog(actions);
  dialog.show();
  EXPECT_EQ(actions.closes, 1); // showing closes an open serial link before probing
  EXPECT_EQ(actions.stops, 1);  // and stops the search and the watchdogs
  EXPECT_EQ(actions.probes, 1);
  EXPECT_EQ(Items(dialog.ComboBox3()), QStringList({"COM Port 10", "COM Port 2"}));
  EXPECT_EQ(dialog.ComboBox3()->currentIndex(), 0);
  EXPECT_TRUE(dialog.ComboBox3()->isEnabled());
  EXPECT_FALSE(dialog.ComboBox1()->isEnabled());

  QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
  EXPECT_EQ(actions.comPortNumber, 10);
  EXPECT_EQ(actions.comSearches, 1);
  EXPECT_EQ(actions.midiSearches, 0);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(PortSetup, ConnectedPortIsPreselectedOrNothingWhenItIsGone)
{
  struct Case {
    std::vector<int> ports;
    int connected;
    QString selected; // empty: nothing selected
  } cases[] = {
      {{1, 3, 5}, 3, "COM Port 3"},
      {{1, 5}, 3, ""},
      {{4, 6}, 0, "COM Port 4"}, // never connected: the first item
      {{}, 0, ""},
  };
  for (const Case &c : cases) {
    FakeActions actions;
    actions.ports = c.ports;
    actions.connected = c.connected;
    TPortSetupFrm dialog(actions);
    dialog.show();
    EXPECT_EQ(dialog.ComboBox3()->currentIndex() < 0 ? QString() : dialog.ComboBox3()->currentText(),
              c.selected)
        << c.connected;
  }
}

TEST(PortSetup, OkWithNoComPortStartsNothingAndKeepsTheChoice)
{
  FakeActions actions;
  actions.ports = {1, 5};
  actions.connected = 3; // gone: no item selected
  actions.comPortNumber = 7;
  TPortSetupFrm dialog(actions);
  dialog.show();
  QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
  EXPECT_EQ(actions.comPortNumber, 7);
  EXPECT_EQ(actions.comSearches, 0);
  EXPECT_EQ(actions.midiSearches, 0);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(PortSetup, StoredMidiDeviceOutsideTheListSelectsTheFirst)
{
  struct Case {
    int stored;
    int expected;
  } cases[] = {{-1, 0}, {0, 0}, {1, 1}, {2, 2}, {3, 0}, {99, 0}};
  for (const Case &c : cases) {
    FakeActions actions;
    actions.inputs = {"In A", "In B", "In C"};
    actions.outputs = {"Out A", "Out B", "Out C"};
    actions.midiIn = c.stored;
    actions.midiOut = c.stored;
    TPortSetupFrm dialog(actions);
    dialog.show();
    EXPECT_EQ(dialog.ComboBox1()->currentIndex(), c.expected) << c.stored;
    EXPECT_EQ(dialog.ComboBox2()->currentIndex(), c.expected) << c.stored;
    EXPECT_EQ(Items(dialog.ComboBox1()), actions.inputs);
  }
}

TEST(PortSetup, OkWithMidiStoresTheIndicesAndSearches)
{
  struct Case {
    QStringList inputs, outputs;
    int chooseIn, chooseOut;
    int expectIn, expectOut;
  } cases[] = {
      {{"In A", "In B"}, {"Out A", "Out B", "Out C"}, 1, 2, 1, 2},
      {{}, {}, -1, -1, -1, -1}, // no devices: -1 is stored, the link reports the failed open
  };
  for (const Case &c : cases) {
    FakeActions actions;
    actions.inputs = c.inputs;
    actions.outputs = c.outputs;
    TPortSetupFrm dialog(actions);
    dialog.SetPortType(TPortSetupFrm::PortTypeMidi);
    dialog.show();
    if (c.chooseIn >= 0) {
      dialog.ComboBox1()->setCurrentIndex(c.chooseIn);
      dialog.ComboBox2()->setCurrentIndex(c.chooseOut);
    }
    QTest::mouseClick(dialog.BitBtn1(), Qt::LeftButton);
    EXPECT_EQ(actions.midiIn, c.expectIn);
    EXPECT_EQ(actions.midiOut, c.expectOut);
    EXPECT_EQ(actions.midiSearches, 1);
    EXPECT_EQ(actions.comSearches, 0);
  }
}

TEST(PortSetup, ChoosingAPortTypeMovesTheCheckMarkOnlyWhenTheUserDoes)
{
  FakeActions actions;
  TPortSetupFrm dialog(actions);
  dialog.show();
  // The main window's menu sets the type: no check mark back to it.
  dialog.SetPortType(TPortSetupFrm::PortTypeMidi);
  EXPECT_TRUE(actions.checkMarks.empty());
  EXPECT_TRUE(dialog.ComboBox1()->isEnabled());
  EXPECT_TRUE(dialog.ComboBox2()->isEnabled());
  EXPECT_FALSE(dialog.ComboBox3()->isEnabled());

  QTest::mouseClick(dialog.PortTypeButton(TPortSetupFrm::PortTypeCom), Qt::LeftButton);
  EXPECT_EQ(actions.checkMarks, std::vector<int>{TPortSetupFrm::PortTypeCom});
  EXPECT_EQ(dialog.PortType(), TPortSetupFrm::PortTypeCom);
  EXPECT_FALSE(dialog.ComboBox1()->isEnabled());
  EXPECT_TRUE(dialog.ComboBox3()->isEnabled());
  EXPECT_EQ(actions.comSearches + actions.midiSearches, 0); // no search starts
}

TEST(PortSetup, ClickOnTheBackgroundListsAndProbesAgain)
{
  FakeActions actions;
  actions.ports = {1};
  TPortSetupFrm dialog(actions);
  dialog.show();
  ASSERT_EQ(actions.probes, 1);
  actions.ports = {1, 2};
  QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(480, 20)); // empty corner
  EXPECT_EQ(actions.probes, 2);
  EXPECT_EQ(actions.closes, 2);
  EXPECT_EQ(actions.stops, 2);
  EXPECT_EQ(dialog.ComboBox3()->count(), 2);
  // A click on a label is not a click on the dialog.
  QLabel *label = dialog.findChild<QLabel *>();
  QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(2, 2));
  EXPECT_EQ(actions.probes, 2);
}

} // namespace
