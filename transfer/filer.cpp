#include "transfer/filer.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>

#include "link/wire.h"
#include "transfer/datatypes.h"
#include "transfer/pc_path.h"
#include "transfer/session.h"

namespace zr {

namespace fs = std::filesystem;

namespace {

// Rounded-up percentage of blocks done, as the progress label shows it.
int PercentDone(unsigned blockNr, unsigned total)
{
  return total == 0 ? 100 : static_cast<int>((std::uint64_t(blockNr) + 1) * 100 / total +
                                             ((std::uint64_t(blockNr) + 1) * 100 % total ? 1 : 0));
}

std::string Format(const char* format, int a, int b)
{
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// A temporary name beside the target that no other write of this process uses.
std::string TemporaryPathFor(const std::string& target)
{
  static std::atomic<unsigned> counter{0};
  return target + ".zr4812-" + std::to_string(++counter) + ".part";
}

} // namespace

Filer::Filer(Session& session) : session_(session) {}

void Filer::AllocBuffer()
{
  Buffer.reset();
  Buffer.reset(new (std::nothrow) std::uint8_t[Size]);
  if (!Buffer)
    Error = ERR_MEMORY;
}

void Filer::FreeBuffer() { Buffer.reset(); }

void Filer::BuildPcPath(const std::string& name)
{
  Error = ERR_NONE;
  if (!IsDataType(DataType)) {
    PcPath.clear();
    Error = ERR_UNKNOWN_TYPE;
    return;
  }
  SetPcPath(*this, session_.host.SelectedPcFolder(), name + "." + DataTypeTable[DataType].extension);
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
    WritePcFile();
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

void Filer::RequestCurrentBlock()
{
  if (Link* link = session_.LinkFor(Medium))
    link->RequestBlock(DataType, BlockNr);
}

void Filer::ReceiveBlock(unsigned total, const std::uint8_t* payload, std::size_t count)
{
  BatchState& batch = session_.batch;
  Host& host = session_.host;
  const bool linkTest = DataType == SYS_EX_TEST_TYPE;

  if (count > SYS_EX_BLOCKSIZE) {
    session_.ShowStatus("nrbytes > SYS_EX_BLOCKSIZE");
    return;
  }
  if (BlockNr == 0) {
    session_.ShowStatus("  Receiving file");
    TotalBlocks = total;
    ReceivedBytes = 0;
    Size = total * SYS_EX_BLOCKSIZE;
    AllocBuffer();
  }
  if (Error == ERR_NONE) {
    if (!linkTest && batch.CancelRequested)
      return;
    // Every block must agree with block 0 on the total, and land inside
    // the buffer that block 0 sized.
    if (total == 0 || total != TotalBlocks || BlockNr >= TotalBlocks || !Buffer ||
        std::size_t(BlockNr) * SYS_EX_BLOCKSIZE + count > Size)
      Error = ERR_ILLEGAL_DATA;
  }
  if (Error == ERR_NONE) {
    if (!linkTest) {
      if (batch.InternalMode)
        host.ProgressSetTitle("Backing up current settings.");
      else
        host.ProgressSetTitle(Format("Receiving file nr %d of %d.", batch.FileNr, session_.steps().CardSelectedCount()));
      host.ProgressSetMaximum(static_cast<int>(total));
      host.ProgressShow();
      host.ProgressSetPosition(static_cast<int>(BlockNr) + 1);
      host.ProgressSetLabel(std::to_string(PercentDone(BlockNr, total)) + "%");
    }

    std::copy(payload, payload + count, Buffer.get() + std::size_t(BlockNr) * SYS_EX_BLOCKSIZE);
    const std::uint8_t computed = Checksum(payload, count);
    const std::uint8_t received = payload[count];
    if (received != computed) {
      Error = ERR_ILLEGAL_DATA;
      session_.ShowStatus("    %d Checksum error %d : %d", static_cast<int>(count), received, computed);
    }

    if (linkTest) {
      LinkState& link = session_.link;
      if (Error == ERR_NONE) {
        link.CommMedium = MEDIUM_MIDI;
        session_.ShowStatus("Connected thru MIDI");
        session_.steps().RequestCardDirectory(-1);
      } else if (link.MidiTestRetries > 0) {
        if (session_.Midi)
          session_.Midi->RequestBlock(SYS_EX_TEST_TYPE, 0);
        --link.MidiTestRetries;
      } else {
        host.ShowMessage("Error: MIDI device to old", BoxIcon::Error, BoxButtons::Ok);
      }
      Error = ERR_NONE;
      return;
    }

    if (Error != ERR_NONE) {
      // A corrupt block is simply asked for again.
      Error = ERR_NONE;
      RequestCurrentBlock();
      return;
    }

    if (BlockNr + 1 == total) {
      ReceivedBytes = BlockNr * SYS_EX_BLOCKSIZE + static_cast<std::uint32_t>(count);
      LoadData();
      if (Error == ERR_NONE) {
        Medium = MEDIUM_PC_FILE;
        // Saving may start the next card file of the batch; the dialog
        // stays up for it instead of closing between files.
        const int fileNr = batch.FileNr;
        StoreData();
        const bool nextFileStarted = batch.FileNr != fileNr;
        if (Error == ERR_NONE &&
            (batch.InternalMode || (!nextFileStarted && session_.steps().CardSelectedCount() <= batch.FileNr))) {
          host.ProgressClose();
          session_.ShowConnectionStatus();
        }
      }
    } else {
      ++BlockNr;
      RequestCurrentBlock();
    }
  }
  if (Error != ERR_NONE)
    ReportError(0);
}

void Filer::UnpackReceived()
{
  if (Size == 0 || !Buffer) {
    Error = ERR_NO_FILE;
    return;
  }
  // Only what arrived is unpacked: the rest of the last block's room holds no data.
  const std::size_t received = ReceivedBytes > 0 && ReceivedBytes <= Size ? ReceivedBytes : Size;
  const std::optional<std::uint32_t> fileSize = UnpackStream(Buffer.get(), received);
  if (!fileSize) {
    // The size field asks for more bytes than arrived.
    Error = ERR_ILLEGAL_DATA;
    return;
  }
  Size = *fileSize;
}

void Filer::WritePcFile()
{
  BatchState& batch = session_.batch;
  Host& host = session_.host;
  if (!Buffer || Size == 0)
    return;
  if (PcPath.empty()) {
    PcPath = session_.AskBackupFileName(DataType);
    if (Error == ERR_NONE)
      WritePcFile();
    return;
  }

  const std::string fileName = FileNamePart(PcPath);
  if (!batch.InternalMode) {
    if (const std::optional<std::string> sizeText = host.PcListSizeText(fileName)) {
      const std::string question = "File already exists!\nReplace the file named " + fileName +
                                   " ?\nThe existing file size is " + *sizeText + ", the new file size is " +
                                   std::to_string((std::uint64_t(Size) + 1023) / 1024) + "KB.";
      if (host.ShowMessage(question, BoxIcon::Warning, BoxButtons::YesNo) != BoxAnswer::Yes) {
        FreeBuffer();
        session_.steps().RequestNextCardFile(batch.CardIndex);
        return;
      }
    }
  }

  // Write beside the target and put the new file in place only when every
  // byte is on disk, so a failed write never costs the user the old file.
  const std::string temporary = TemporaryPathFor(PcPath);
  bool written = false;
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out) {
      out.write(reinterpret_cast<const char*>(Buffer.get()), static_cast<std::streamsize>(Size));
      out.flush();
      written = static_cast<bool>(out);
      out.close();
      written = written && !out.fail();
    }
  }
  std::error_code ec;
  if (written) {
    fs::rename(temporary, PcPath, ec);
    written = !ec;
  }
  if (!written) {
    fs::remove(temporary, ec);
    Error = ERR_DISK_FULL;
    return;
  }
  if (!batch.InternalMode)
    session_.steps().RequestNextCardFile(batch.CardIndex);
}

void Filer::ReadPcFile()
{
  std::error_code ec;
  if (!fs::is_regular_file(PcPath, ec)) {
    Error = ERR_NO_FILE;
    return;
  }
  std::ifstream in(PcPath, std::ios::binary);
  if (!in) {
    Error = ERR_NO_FILE;
    return;
  }
  const std::uintmax_t length = fs::file_size(PcPath, ec);
  if (ec) {
    Error = ERR_NO_FILE;
  } else if (length > MAX_FILE_SIZE) {
    // Its blocks could not be numbered on the wire: refuse before any byte goes out.
    Error = ERR_FILE_TOO_LARGE;
  } else {
    Size = static_cast<std::uint32_t>(length);
    if (Size > 0) {
      AllocBuffer();
      if (Error == ERR_NONE) {
        in.read(reinterpret_cast<char*>(Buffer.get()), static_cast<std::streamsize>(Size));
        if (static_cast<std::uint64_t>(in.gcount()) != Size)
          Error = ERR_DISK_FULL;
      }
    }
  }
  if (Error != ERR_NONE) {
    FreeBuffer();
    Size = 0;
  }
}

void Filer::SendBlock()
{
  BatchState& batch = session_.batch;
  Host& host = session_.host;
  if (!Buffer || Size == 0) {
    Error = ERR_NO_FILE;
    return;
  }
  const std::uint64_t total = BlockCount(Size);
  if (total >= MAX_BLOCKS) {
    Error = ERR_FILE_TOO_LARGE;
    return;
  }
  if (BlockNr >= total) {
    // The console asked for a block past the end of the file.
    Error = ERR_ILLEGAL_DATA;
    return;
  }
  const int count = session_.steps().PcSelectedCount();
  host.ProgressSetTitle(
      Format(batch.InternalMode ? "Restoring file nr %d of %d." : "Sending file nr %d of %d.", batch.FileNr, count));
  host.ProgressSetMaximum(static_cast<int>(total));
  host.ProgressShow();
  host.ProgressSetPosition(static_cast<int>(BlockNr) + 1);
  host.ProgressSetLabel(std::to_string(PercentDone(BlockNr, static_cast<unsigned>(total))) + "%");

  if (Link* link = session_.LinkFor(Medium)) {
    const Bytes message = BuildFileBlock(DataType, Buffer.get(), Size, BlockNr);
    link->SendDataBlock(message.data(), message.size());
  }

  const bool operatingSystemUpdate = DataType == OPERATING_SYSTEM_TYPE && batch.InternalMode;
  if (BlockNr + 1 == total) {
    if (session_.steps().PcSelectedCount() > batch.FileNr) {
      if (operatingSystemUpdate)
        host.ShowMessage("Please press enter on your mixer to save the update.", BoxIcon::Information,
                         BoxButtons::Ok);
      session_.steps().SendNextPcFile(batch.PcIndex);
    } else {
      batch.SendFinished = true;
      host.ProgressClose();
      if (operatingSystemUpdate) {
        host.ShowMessage("Please press enter on your mixer to save the update.", BoxIcon::Information,
                         BoxButtons::Ok);
      } else {
        session_.steps().RequestCardDirectory(-1);
        session_.ShowConnectionStatus();
      }
    }
  } else {
    session_.timers.DownloadTimer.Start();
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
  default:
    return text;
  }
}

void Filer::ReportError(int outgoing)
{
  session_.ShowStatus("File error: %s", ErrorText(outgoing).c_str());
  Error = ERR_NONE;
}

} // namespace zr
