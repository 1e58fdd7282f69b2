// The "Port Setup" dialog (unit chooseMidi): the user picks a COM port or a
// MIDI input and output pair, and Ok starts the search on that link.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>
#include <vector>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace zr {

// What the dialog needs of the rest of the program. The main window supplies
// it; the dialog itself knows nothing of links or menus.
class PortSetupActions {
public:
  virtual ~PortSetupActions() = default;

  // Names of the MIDI input and output devices, in device order.
  virtual void ListMidiDevices(QStringList &inputs, QStringList &outputs) = 0;
  // Closes the serial link if it is open.
  virtual void CloseComPort() = 0;
  // Stops the search and the watchdogs: the dialog closes the serial link,
  // and nothing may time out into a box, or into this dialog, behind it.
  virtual void StopSearchAndWatchdogs() = 0;
  // Numbers (1..16) of the COM ports that open right now.
  virtual std::vector<int> ProbeComPorts() = 0;

  virtual int MidiInDevice() const = 0;
  virtual int MidiOutDevice() const = 0;
  virtual int ConnectedComPort() const = 0;
  virtual void SetMidiInDevice(int index) = 0;
  virtual void SetMidiOutDevice(int index) = 0;
  virtual void SetComPortNumber(int number) = 0;

  // Start the search for the console on the chosen link.
  virtual void SearchMidiPort() = 0;
  virtual void SearchComPort() = 0;
  // Move the main menu's check mark to "&Com port" (PortTypeCom) or "&Midi"
  // (PortTypeMidi), without running the menu items' commands.
  virtual void CheckPortTypeMenuItem(int portType) = 0;
};

class TPortSetupFrm : public QDialog {
  Q_OBJECT
public:
  static constexpr int PortTypeCom = 0;
  static constexpr int PortTypeMidi = 1;

  explicit TPortSetupFrm(PortSetupActions &actions, QWidget *parent = nullptr);

  // The port type's item index (PortTypeCom or PortTypeMidi). Setting it from
  // the main window's menu updates the lists' enabled states but does not
  // move the menu's check mark again (the menu command has already done so).
  int PortType() const;
  void SetPortType(int index);

  void FormShow();
  void PortTypeClick();
  void BitBtn1Click();

  // The controls, for the main window's needs and for tests.
  QGroupBox *PortTypeBox() const { return portType_; }
  QRadioButton *PortTypeButton(int index) const { return index == PortTypeMidi ? midiButton_ : comButton_; }
  QComboBox *ComboBox1() const { return comboBox1_; }
  QComboBox *ComboBox2() const { return comboBox2_; }
  QComboBox *ComboBox3() const { return comboBox3_; }
  QPushButton *BitBtn1() const { return bitBtn1_; }

  static QString ComPortItemText(int number);

  // The device behind COM port n ("/dev/ttyUSB0"), for the note that names
  // the serial devices found; without it the note names the ports only.
  void SetComPortDevices(std::function<QString(int number)> device) { comPortDevice_ = std::move(device); }
  // Below the lists when one of them is empty: what is missing and which
  // serial devices there are. Hidden when every list has something.
  QLabel *PortNote() const { return portNote_; }
  static const QString kNoMidiPorts;

protected:
  void showEvent(QShowEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;

private:
  // The dialog's controls, made and placed: the port type's radio buttons,
  // the three lists with their labels and the note under them, and Ok.
  void CreatePortTypeBox();
  void CreatePortLists();
  void CreateOkButton();
  void ApplyPortTypeToLists();
  void SayWhatIsMissing(bool noMidiIn, bool noMidiOut, std::vector<int> comPorts);

  PortSetupActions &actions_;
  QGroupBox *portType_;
  QRadioButton *comButton_;
  QRadioButton *midiButton_;
  QButtonGroup *portTypeGroup_;
  QLabel *label1_;
  QLabel *label2_;
  QLabel *label3_;
  QComboBox *comboBox1_;
  QComboBox *comboBox2_;
  QComboBox *comboBox3_;
  QPushButton *bitBtn1_;
  QLabel *portNote_;
  std::function<QString(int)> comPortDevice_;
};

} // namespace zr
