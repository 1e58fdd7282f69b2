#include "dialogs/port_setup.h"

#include <algorithm>

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>

namespace zr {

namespace {

const QString kComPortPrefix = QStringLiteral("COM Port ");
// The designed client area; the note about missing ports adds to its height.
constexpr QSize kDesignSize{497, 137};

void Place(QWidget *w, int left, int top, int width, int height)
{
  w->setGeometry(left, top, width, height);
}

// A label sized to its text at the given place.
QLabel *MakeLabel(QWidget *parent, const QString &text, int left, int top)
{
  auto *label = new QLabel(text, parent);
  label->adjustSize();
  label->move(left, top);
  return label;
}

} // namespace

const QString TPortSetupFrm::kNoMidiPorts =
    QStringLiteral("No MIDI ports found: connect the interface, or choose Com port");

TPortSetupFrm::TPortSetupFrm(PortSetupActions &actions, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint),
      actions_(actions)
{
  setObjectName(QStringLiteral("PortSetupFrm"));
  setWindowTitle(QStringLiteral("Port Setup"));
  setFixedSize(kDesignSize);

  CreatePortTypeBox();
  CreatePortLists();
  CreateOkButton();

  setTabOrder(comboBox2_, comboBox1_);
  setTabOrder(comboBox1_, bitBtn1_);
  setTabOrder(bitBtn1_, comboBox3_);
  setTabOrder(comboBox3_, comButton_);
  setTabOrder(comButton_, midiButton_);

  ApplyPortTypeToLists();
}

void TPortSetupFrm::CreatePortTypeBox()
{
  portType_ = new QGroupBox(QStringLiteral("Port Type"), this);
  portType_->setObjectName(QStringLiteral("PortType"));
  Place(portType_, 8, 8, 113, 89);
  comButton_ = new QRadioButton(QStringLiteral("Com port"), portType_);
  midiButton_ = new QRadioButton(QStringLiteral("Midi"), portType_);
  Place(comButton_, 8, 24, 97, 20);
  Place(midiButton_, 8, 52, 97, 20);
  portTypeGroup_ = new QButtonGroup(this);
  portTypeGroup_->addButton(comButton_, PortTypeCom);
  portTypeGroup_->addButton(midiButton_, PortTypeMidi);
  comButton_->setChecked(true);
  // Only a choice made by the user moves the menu's check mark.
  connect(portTypeGroup_, &QButtonGroup::idClicked, this, [this](int) { PortTypeClick(); });
}

void TPortSetupFrm::CreatePortLists()
{
  label3_ = MakeLabel(this, QStringLiteral("Com port:"), 128, 8);
  comboBox3_ = new QComboBox(this);
  comboBox3_->setObjectName(QStringLiteral("ComboBox3"));
  Place(comboBox3_, 128, 24, 170, 21);

  label1_ = MakeLabel(this, QStringLiteral("MIDI In:"), 128, 56);
  comboBox1_ = new QComboBox(this);
  comboBox1_->setObjectName(QStringLiteral("ComboBox1"));
  Place(comboBox1_, 128, 72, 170, 21);

  label2_ = MakeLabel(this, QStringLiteral("MIDI Out:"), 320, 56);
  comboBox2_ = new QComboBox(this);
  comboBox2_->setObjectName(QStringLiteral("ComboBox2"));
  Place(comboBox2_, 320, 72, 170, 21);

  // Each list is named by its label; an empty one says so where it stands.
  const struct {
    QLabel *label;
    QComboBox *box;
    const char *name;
    const char *whenEmpty;
  } lists[] = {{label3_, comboBox3_, "Com port", "No serial devices found"},
               {label1_, comboBox1_, "MIDI In", "No MIDI ports found"},
               {label2_, comboBox2_, "MIDI Out", "No MIDI ports found"}};
  for (const auto &l : lists) {
    l.label->setBuddy(l.box);
    l.box->setAccessibleName(QString::fromLatin1(l.name));
    l.box->setPlaceholderText(QString::fromLatin1(l.whenEmpty));
  }
  portNote_ = new QLabel(this);
  portNote_->setObjectName(QStringLiteral("PortNote"));
  portNote_->setTextFormat(Qt::PlainText);
  portNote_->setWordWrap(true);
  portNote_->hide();
}

void TPortSetupFrm::CreateOkButton()
{
  bitBtn1_ = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("Ok"), this);
  bitBtn1_->setObjectName(QStringLiteral("BitBtn1"));
  Place(bitBtn1_, 128, 104, 113, 25);
  bitBtn1_->setDefault(true);
  connect(bitBtn1_, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

QString TPortSetupFrm::ComPortItemText(int number)
{
  return kComPortPrefix + QString::number(number);
}

int TPortSetupFrm::PortType() const
{
  return midiButton_->isChecked() ? PortTypeMidi : PortTypeCom;
}

void TPortSetupFrm::SetPortType(int index)
{
  (index == PortTypeMidi ? midiButton_ : comButton_)->setChecked(true);
  ApplyPortTypeToLists();
}

void TPortSetupFrm::ApplyPortTypeToLists()
{
  const bool midi = PortType() == PortTypeMidi;
  comboBox1_->setEnabled(midi);
  comboBox2_->setEnabled(midi);
  comboBox3_->setEnabled(!midi);
  // The port type is one stop for Tab, at the type that is chosen; the
  // arrow keys move between the two.
  comButton_->setFocusPolicy(midi ? Qt::ClickFocus : Qt::StrongFocus);
  midiButton_->setFocusPolicy(midi ? Qt::StrongFocus : Qt::ClickFocus);
}

void TPortSetupFrm::FormShow()
{
  comboBox1_->clear();
  comboBox2_->clear();
  comboBox3_->clear();

  QStringList inputs, outputs;
  actions_.ListMidiDevices(inputs, outputs);
  comboBox1_->addItems(inputs);
  comboBox2_->addItems(outputs);
  // Index 0 also stands for "nothing stored yet" (a negative index).
  const auto pick = [](QComboBox *box, int stored) {
    box->setCurrentIndex(stored > 0 && stored < box->count() ? stored : (box->count() > 0 ? 0 : -1));
  };
  pick(comboBox1_, actions_.MidiInDevice());
  pick(comboBox2_, actions_.MidiOutDevice());

  // The ports are probed by opening them, which an open link would block.
  actions_.StopSearchAndWatchdogs();
  actions_.CloseComPort();
  const std::vector<int> found = actions_.ProbeComPorts();
  QStringList ports;
  for (int n : found)
    ports.append(ComPortItemText(n));
  // Sorted as text, like the list always was: "COM Port 10" before "COM Port 2".
  std::sort(ports.begin(), ports.end(),
            [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
  comboBox3_->addItems(ports);
  SayWhatIsMissing(inputs.isEmpty(), outputs.isEmpty(), found);
  const int connected = actions_.ConnectedComPort();
  if (connected > 0)
    comboBox3_->setCurrentIndex(comboBox3_->findText(ComPortItemText(connected), Qt::MatchExactly));
  else
    comboBox3_->setCurrentIndex(comboBox3_->count() > 0 ? 0 : -1);

  ApplyPortTypeToLists();
}

void TPortSetupFrm::SayWhatIsMissing(bool noMidiIn, bool noMidiOut, std::vector<int> comPorts)
{
  QStringList lines;
  if (noMidiIn && noMidiOut)
    lines.append(kNoMidiPorts);
  else if (noMidiIn || noMidiOut)
    lines.append(noMidiIn ? QStringLiteral("No MIDI In ports found")
                          : QStringLiteral("No MIDI Out ports found"));
  // Which serial devices there are, for whoever has to choose one instead;
  // in the order of the list.
  if (!lines.isEmpty() || comPorts.empty()) {
    std::sort(comPorts.begin(), comPorts.end(), [](int a, int b) {
      return ComPortItemText(a).compare(ComPortItemText(b), Qt::CaseInsensitive) < 0;
    });
    QStringList devices;
    for (int n : comPorts) {
      const QString device = comPortDevice_ ? comPortDevice_(n) : QString();
      devices.append(device.isEmpty() ? ComPortItemText(n)
                                      : QStringLiteral("%1 (%2)").arg(device, ComPortItemText(n)));
    }
    lines.append(devices.isEmpty() ? QStringLiteral("No serial devices found")
                                   : QStringLiteral("Serial devices: ") + devices.join(QStringLiteral(", ")));
  }
  portNote_->setText(lines.join(u'\n'));
  portNote_->setVisible(!lines.isEmpty());
  // A screen reader on an empty list hears why it is empty.
  comboBox1_->setAccessibleDescription(noMidiIn ? lines.first() : QString());
  comboBox2_->setAccessibleDescription(noMidiOut ? lines.first() : QString());
  comboBox3_->setAccessibleDescription(comPorts.empty() ? lines.last() : QString());

  // The note goes below the controls, the dialog growing to hold it.
  const int width = kDesignSize.width() - 16;
  const int height = lines.isEmpty() ? 0 : portNote_->heightForWidth(width);
  portNote_->setGeometry(8, kDesignSize.height(), width, height);
  setFixedSize(kDesignSize.width(), kDesignSize.height() + (height > 0 ? height + 8 : 0));
}

void TPortSetupFrm::PortTypeClick()
{
  actions_.CheckPortTypeMenuItem(PortType());
  ApplyPortTypeToLists();
}

void TPortSetupFrm::BitBtn1Click()
{
  if (PortType() == PortTypeMidi) {
    actions_.SetMidiInDevice(comboBox1_->currentIndex());
    actions_.SetMidiOutDevice(comboBox2_->currentIndex());
    actions_.SearchMidiPort();
  } else if (comboBox3_->currentIndex() >= 0) {
    QString digits;
    for (QChar c : comboBox3_->currentText().mid(kComPortPrefix.size()))
      if (c.isDigit())
        digits.append(c);
    bool ok = false;
    const int number = digits.toInt(&ok);
    if (ok) {
      actions_.SetComPortNumber(number);
      actions_.SearchComPort();
    }
  }
  // With no COM port to choose nothing is started and the stored choice
  // stays as it was; the dialog still closes, as Ok always does.
  accept();
}

void TPortSetupFrm::showEvent(QShowEvent *event)
{
  QDialog::showEvent(event);
  if (event->spontaneous())
    return; // brought back from minimised: not a new showing
  FormShow(); // first: a note about missing ports makes the dialog taller
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
  bitBtn1_->setFocus(Qt::OtherFocusReason);
}

void TPortSetupFrm::mousePressEvent(QMouseEvent *event)
{
  // Only the dialog's own background; a label or the group box passes its
  // clicks on to us, and those are not a click on the dialog.
  if (event->button() == Qt::LeftButton && childAt(event->position().toPoint()) == nullptr)
    FormShow();
  QDialog::mousePressEvent(event);
}

} // namespace zr
