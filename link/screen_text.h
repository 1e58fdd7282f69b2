// Every line the program's core has for a screen, as a code with its
// values: the status line, the progress dialog's title and the notices. A front end
// turns one into words with Render, from the one table in
// screen_text.cpp; the core itself writes no text for a screen.
#pragma once

#include <string>

namespace zr {

enum class TextId {
  None,
  // The links.
  LookingForComPorts, // "Looking for COM ports .."
  ClosingComPort,     // "Closing COM port."
  SearchingConsole,   // "Searching ZR4812."
  NoSerialDevice,     // "  No serial device"
  NoComPort,          // "  No COM port"
  NoMidiDevice,       // "  No MIDI device"
  SearchingMidiPort,  // in, out (1-based)
  NoMidiOut,          // the device's error code
  NoMidiIn,           // device, error code
  CloseMidiError,     // error code
  MidiSysExIn,        // a MIDI message that is not the console's
  BadFrame,           // a serial frame without bounds
  LoopMode,           // our own search came back
  // A MIDI output that did not open, by the back-end's code.
  MidiOpenNoDevice,
  MidiOpenAllocated,
  MidiOpenBadDeviceId,
  MidiOpenInvalidParam,
  MidiOpenNoMemory,
  // The connection.
  ConnectedCom,  // COM port
  ConnectedMidi,
  TestingMidi,
  CheckConnection,
  NoPortSelected,
  DeviceRefused, // `word`: why this user may not open the device
  // Transfers.
  BackingUp,
  Restoring,
  SendingFile,
  ReceivingFile,
  BlockTooLong,
  ChecksumError,    // bytes in the block, checksum received, checksum computed
  BlockLengthError, // bytes in the block, bytes a block there should have
  BlockSizeField,
  FileError, // `word`: what the file system said
  CardListCut,
  BatchFailures, // failed, files, `word`: the first failure
  // The progress dialog's titles.
  ReceivingFileNr, // number, count
  BackingUpSettings,
  SendingFileNr,   // number, count
  RestoringFileNr, // number, count
  // Notices.
  OsUpdateNotice,
  MidiDeviceTooOld, // the link test went unanswered
  MidiTooOld,       // the link test's answer did not come whole
  NoComSearch,
  // Questions.
  SearchFailed,
  NoResponse,
  SendNotCompleted,
  RestoreQuestion,
  // A restore refused.
  NothingToRestore,
  OneOfEachType,
  ProjectAlone,
  Said, // `word`, whole: the console's words, a list of files
};

struct ScreenText {
  TextId id = TextId::None;
  int n1 = 0, n2 = 0, n3 = 0;
  std::string word{};
  bool operator==(const ScreenText&) const = default;
};

// The words for `text`, exactly as the window shows them.
std::string Render(const ScreenText& text);

} // namespace zr
