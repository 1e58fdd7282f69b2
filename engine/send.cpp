// Sending (TxTransfer): the PC file read whole, and each block the console
// asks for packed straight from it.
#include "engine/filer.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "link/link.h"
#include "link/wire.h"
#include "files/disk.h"
#include "files/pc_path.h"
#include "engine/progress_text.h"
#include "engine/session_core.h"

namespace zr {

void Filer::ReadPcFile()
{
  // Bytes read and checked by the caller go as they are: what was checked
  // is what is sent, and the file is not read a second time.
  const std::shared_ptr<const std::vector<std::uint8_t>> preloaded = std::move(Preloaded);
  Preloaded.reset();
  // The size first: a file too large is refused before it is read.
  const std::optional<std::uint64_t> length =
      preloaded ? std::optional<std::uint64_t>(preloaded->size()) : ExistingFileSize(PcPath);
  std::optional<std::vector<std::uint8_t>> bytes;
  if (!length) {
    Error = ERR_NO_FILE;
  } else if (*length > MAX_FILE_SIZE) {
    // Its blocks could not be numbered on the wire: refuse before any byte goes out.
    Error = ERR_FILE_TOO_LARGE;
  } else if (!(bytes = preloaded ? std::optional<std::vector<std::uint8_t>>(*preloaded)
                                 : ReadWholeFile(PcPath))) {
    Error = ERR_NO_FILE;
  } else if (bytes->size() > MAX_FILE_SIZE) {
    Error = ERR_FILE_TOO_LARGE; // it grew meanwhile
  } else {
    Size = static_cast<std::uint32_t>(bytes->size());
    if (Size > 0) {
      AllocBuffer();
      if (Error == ERR_NONE)
        std::copy(bytes->begin(), bytes->end(), Buffer.get());
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
  // A block asked for again after the file's end shows no progress: the
  // dialog may be closed already, and the next file may be on its way.
  if (!EndOfFileDone) {
    const int count = session_.steps().PcSelectedCount();
    session_.ShowProgress(Format(batch.InternalMode ? "Restoring file nr %d of %d." : "Sending file nr %d of %d.",
                                 batch.FileNr, count),
                          static_cast<int>(total), static_cast<int>(BlockNr) + 1,
                          std::to_string(PercentDone(BlockNr, static_cast<unsigned>(total))) + "%");
    session_.steps().FileProgress(static_cast<int>(BlockNr) + 1, static_cast<int>(total));
  }

  if (Link* link = session_.LinkFor(Medium)) {
    const Bytes message = BuildFileBlock(DataType, Buffer.get(), Size, BlockNr);
    link->SendDataBlock(message.data(), message.size());
  }

  if (EndOfFileDone) {
    // A block asked for again after the whole file went out: sent, nothing more.
    return;
  }
  if (BlockNr + 1 == total)
    EndSentFile();
  else
    session_.timers.DownloadTimer.Start();
}

void Filer::NoticeOsUpdate()
{
  constexpr const char* notice = "Please press enter on your mixer to save the update.";
  if (!session_.steps().TakeNotice(notice))
    session_.host.ShowMessage(notice, BoxIcon::Information, BoxButtons::Ok);
}

void Filer::EndSentFile()
{
  BatchState& batch = session_.batch;
  const bool operatingSystemUpdate = DataType == OPERATING_SYSTEM_TYPE && batch.InternalMode;
  // Once per file, however often the console asks for the last block.
  EndOfFileDone = true;
  FileEnd end;
  end.name = FileNamePart(PcPath);
  end.outcome = FileOutcome::Saved;
  end.path = PcPath;
  end.bytes = Size;
  end.cardName = CardName; // none for a restore
  session_.steps().FileEnded(end);
  if (session_.steps().PcSelectedCount() > batch.FileNr) {
    if (operatingSystemUpdate)
      NoticeOsUpdate();
    session_.steps().SendNextPcFile(batch.PcIndex);
    return;
  }
  batch.SendFinished = true;
  session_.CloseProgress();
  if (operatingSystemUpdate) {
    NoticeOsUpdate();
  } else {
    session_.steps().RequestCardDirectory(-1);
    session_.ShowConnectionStatus();
  }
  session_.steps().BatchDone();
}

} // namespace zr
