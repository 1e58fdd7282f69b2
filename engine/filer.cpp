#include "engine/filer.h"

#include <new>
#include <system_error>

#include "link/link.h"
#include "link/wire.h"
#include "files/datatypes.h"
#include "files/pc_path.h"
#include "engine/session_core.h"

namespace zr {

Filer::Filer(SessionCore& session) : session_(session) {}

void Filer::AllocBuffer()
{
  Buffer.reset();
  Buffer.reset(new (std::nothrow) std::uint8_t[Size]);
  if (!Buffer)
    Error = ERR_MEMORY;
}

void Filer::FreeBuffer()
{
  Buffer.reset();
}

void Filer::BuildPcPath(const std::string& folder, const std::string& name)
{
  Error = ERR_NONE;
  if (!IsDataType(DataType)) {
    PcPath.clear();
    Error = ERR_UNKNOWN_TYPE;
    return;
  }
  SetPcPath(folder, name + "." + DataTypeTable[DataType].extension);
}

void Filer::SetPcPath(const std::string& folder, const std::string& name)
{
  int error = ERR_NONE;
  PcPath = JoinPcPath(folder, name, error);
  Error = error;
}

void Filer::LoadData()
{
  Error = ERR_NONE;
  switch (Medium) {
  case MEDIUM_PC_FILE:
    ReadPcFile();
    break;
  case MEDIUM_COM:
  case MEDIUM_COM_ALT:
  case MEDIUM_MIDI:
    UnpackReceived();
    break;
  default:
    Error = ERR_BAD_MEDIUM;
  }
}

void Filer::StoreData()
{
  Error = ERR_NONE;
  switch (Medium) {
  case MEDIUM_PC_FILE:
    WritePcFile([](std::optional<FileOutcome>) {});
    break;
  case MEDIUM_COM:
  case MEDIUM_COM_ALT:
  case MEDIUM_MIDI:
    SendBlock();
    break;
  default:
    Error = ERR_BAD_MEDIUM;
  }
}

std::string Filer::ErrorText(int outgoing) const
{
  char text[32];
  std::snprintf(text, sizeof text, "Not %d On %d For %d", outgoing, Medium, Error);
  const bool pcFile = Medium == MEDIUM_PC_FILE;
  const bool link = Medium >= MEDIUM_COM && Medium <= MEDIUM_MIDI;
  if (!pcFile && !link)
    return text;
  switch (Error) {
  case ERR_NO_FILE:
    if (pcFile)
      return outgoing ? "No file loaded" : "No file to save backup";
    return outgoing ? "No file to send" : "File not send";
  case ERR_MEMORY:
    return "Memory full";
  case ERR_DISK_FULL:
    return pcFile ? "Disk full" : text;
  case ERR_WRITE_PROTECTED:
    return pcFile ? "Disk write protected" : text;
  case ERR_ILLEGAL_DATA:
    return "File has illegal data";
  case ERR_PATH_TOO_LONG:
    return "Path too long";
  case ERR_FILE_TOO_LARGE:
    return "File too large to send";
  case ERR_UNKNOWN_TYPE:
    return "Unknown file type";
  case ERR_NO_FOLDER:
    return "No PC folder selected";
  case ERR_NO_CARD_NAME:
    return "File has no name";
  case ERR_NOT_WRITABLE:
    return "Folder is not writable";
  case ERR_EMPTY_FILE:
    return "File is empty";
  case ERR_BLOCK_DAMAGED:
    return "Block damaged again and again";
  case ERR_NAME_IS_FOLDER:
    return "Name is taken by a folder";
  case ERR_FILE_EXISTS:
    return "File already exists";
  case ERR_FILE_IN_USE:
    return "File is open in another program";
  case ERR_ACCESS_DENIED:
    return "Access to the file denied";
  case ERR_WRITE_FAILED:
    return "Cannot write the file";
  default:
    return text;
  }
}

void Filer::ReportError(int outgoing)
{
  LastFailure = ErrorText(outgoing);
  LastError = Error;
  session_.ShowStatus({.id = TextId::FileError, .word = LastFailure});
  Error = ERR_NONE;
}

bool Filer::RequestNotSent(const Link* link)
{
  const std::string text = link ? link->CannotSendText() : Render({TextId::NoPortSelected});
  LastFailure = text.substr(text.find_first_not_of(' '));
  LastError = ERR_NONE;
  return false;
}

} // namespace zr
