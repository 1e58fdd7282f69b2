#include "link/screen_text.h"

#include <array>
#include <cstdio>

namespace zr {

namespace {

// What a row's format takes: its numbers, then the word where it has one.
enum class Takes { Nothing, One, Two, Three, Word, TwoAndWord, WholeWord };

struct Row {
  TextId id;
  const char* format;
  Takes takes;
};

// The one table. Leading blanks and spellings are the console program's own.
constexpr std::array ROWS{
    Row{TextId::None, "", Takes::Nothing},
    Row{TextId::LookingForComPorts, "Looking for COM ports ..", Takes::Nothing},
    Row{TextId::ClosingComPort, "Closing COM port.", Takes::Nothing},
    Row{TextId::SearchingConsole, "Searching ZR4812.", Takes::Nothing},
    Row{TextId::NoSerialDevice, "  No serial device", Takes::Nothing},
    Row{TextId::NoComPort, "  No COM port", Takes::Nothing},
    Row{TextId::NoMidiDevice, "  No MIDI device", Takes::Nothing},
    Row{TextId::SearchingMidiPort, "Searching MIDI port %d->%d", Takes::Two},
    Row{TextId::NoMidiOut, " ! No MIDI out device code = %d", Takes::One},
    Row{TextId::NoMidiIn, "! No MIDI in %d device code = %d", Takes::Two},
    Row{TextId::CloseMidiError, "CloseMidiPort error = %d", Takes::One},
    Row{TextId::MidiSysExIn, "HandleMidiSysExIn", Takes::Nothing},
    Row{TextId::BadFrame, "Read comm error: no block bounds.", Takes::Nothing},
    Row{TextId::LoopMode, "COM port in loop mode ?!?!", Takes::Nothing},
    Row{TextId::MidiOpenNoDevice, "No MIDI port was found. This error occurs only when the mapper is opened.",
        Takes::Nothing},
    Row{TextId::MidiOpenAllocated, "The specified resource is already allocated.", Takes::Nothing},
    Row{TextId::MidiOpenBadDeviceId, "The specified device identifier is out of range.", Takes::Nothing},
    Row{TextId::MidiOpenInvalidParam, "The specified pointer or structure is invalid.", Takes::Nothing},
    Row{TextId::MidiOpenNoMemory, "The system is unable to allocate or lock memory.", Takes::Nothing},
    Row{TextId::ConnectedCom, "Connected thru COM port %d", Takes::One},
    Row{TextId::ConnectedMidi, "Connected thru MIDI", Takes::Nothing},
    Row{TextId::TestingMidi, "Testing MIDI connection...", Takes::Nothing},
    Row{TextId::CheckConnection, "Check connection.", Takes::Nothing},
    Row{TextId::NoPortSelected, "No communication port selected", Takes::Nothing},
    Row{TextId::DeviceRefused, "%s", Takes::Word},
    Row{TextId::BackingUp, "Backing up..", Takes::Nothing},
    Row{TextId::Restoring, "Restoring..", Takes::Nothing},
    Row{TextId::SendingFile, "  Sending file", Takes::Nothing},
    Row{TextId::ReceivingFile, "  Receiving file", Takes::Nothing},
    Row{TextId::BlockTooLong, "nrbytes > SYS_EX_BLOCKSIZE", Takes::Nothing},
    Row{TextId::ChecksumError, "    %d Checksum error %d : %d", Takes::Three},
    Row{TextId::BlockLengthError, "    %d Block length error : %d", Takes::Two},
    Row{TextId::BlockSizeField, "    Block size field error", Takes::Nothing},
    Row{TextId::FileError, "File error: %s", Takes::Word},
    Row{TextId::CardListCut, "Card list cut at 100000 files", Takes::Nothing},
    Row{TextId::BatchFailures, "%d of %d files failed (first: %s)", Takes::TwoAndWord},
    Row{TextId::ReceivingFileNr, "Receiving file nr %d of %d.", Takes::Two},
    Row{TextId::BackingUpSettings, "Backing up current settings.", Takes::Nothing},
    Row{TextId::SendingFileNr, "Sending file nr %d of %d.", Takes::Two},
    Row{TextId::RestoringFileNr, "Restoring file nr %d of %d.", Takes::Two},
    Row{TextId::OsUpdateNotice, "Please press enter on your mixer to save the update.", Takes::Nothing},
    Row{TextId::MidiDeviceTooOld, "Error: MIDI device to old", Takes::Nothing},
    Row{TextId::MidiTooOld, "MIDI device to old.", Takes::Nothing},
    Row{TextId::NoComSearch, "Search not supported for Com ports\nPlease select..", Takes::Nothing},
    Row{TextId::SearchFailed, "Could not connect to ZR4812.\nCheck connection.", Takes::Nothing},
    Row{TextId::NoResponse, "No response from ZR4812 !!\nCheck connection.", Takes::Nothing},
    Row{TextId::SendNotCompleted, "!! File sending not completed !!\nCheck connection.", Takes::Nothing},
    Row{TextId::RestoreQuestion, "Are you sure you want to replace the current settings in the ZR4812!",
        Takes::Nothing},
    Row{TextId::NothingToRestore, "Select one or more files to restore.", Takes::Nothing},
    Row{TextId::OneOfEachType, "You can only restore ONE file of each type.", Takes::Nothing},
    Row{TextId::ProjectAlone,
        "If you restore a 'Project (all)' file, all files of types other than 'Operating System' are "
        "replaced.\n\nSelect either a 'Project (all)' file or a combination of other files.",
        Takes::Nothing},
    Row{TextId::Said, "%s", Takes::WholeWord},
};

constexpr bool InOrder()
{
  for (std::size_t i = 0; i < ROWS.size(); ++i)
    if (static_cast<std::size_t>(ROWS[i].id) != i)
      return false;
  return true;
}
static_assert(InOrder(), "one row per TextId, in the enum's order");

// A status line holds at most 255 characters; the batch's failure line
// and the words said whole are never cut.
constexpr int MAX_LINE = 255;

template <class... Args> std::string Printed(bool cut, const char* format, Args... args)
{
  const int length = std::snprintf(nullptr, 0, format, args...);
  if (length <= 0)
    return {};
  std::string line(static_cast<std::size_t>(length), '\0');
  std::snprintf(line.data(), line.size() + 1, format, args...);
  if (cut && length > MAX_LINE)
    line.resize(MAX_LINE);
  return line;
}

} // namespace

std::string Render(const ScreenText& text)
{
  const auto index = static_cast<std::size_t>(text.id);
  if (index >= ROWS.size())
    return {};
  const Row& row = ROWS[index];
  switch (row.takes) {
  case Takes::Nothing:
    return row.format;
  case Takes::One:
    return Printed(true, row.format, text.n1);
  case Takes::Two:
    return Printed(true, row.format, text.n1, text.n2);
  case Takes::Three:
    return Printed(true, row.format, text.n1, text.n2, text.n3);
  case Takes::Word:
    return Printed(true, row.format, text.word.c_str());
  case Takes::TwoAndWord:
    return Printed(false, row.format, text.n1, text.n2, text.word.c_str());
  case Takes::WholeWord:
    return text.word;
  }
  return {};
}

} // namespace zr
