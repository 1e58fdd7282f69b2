// The program-wide state of one run: what the engine shares (SessionCore),
// the two transfer records, the commands that start transfers, and what
// the engine does with each message. The engine creates one; every test
// creates a fresh one.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "transfer/filer.h"
#include "transfer/session_core.h"

namespace zr {

class Session : public SessionCore {
public:
  Session(Host& host, Timers& timers);

  // Constructed in this order, destroyed in the opposite one.
  Filer RxTransfer;
  Filer TxTransfer;

  // The five commands; medium is CommMedium as the main window passes it.
  // Those that start a file say whether it went out; when not, the record's
  // LastFailure says why (it is on the status line already).
  void RequestTypeDirectory(int medium, int type);
  // The card file `cardName` of `type` into `folder`, named `pcStem` there
  // (empty: the card name made safe) with the type's extension.
  bool RequestCardFile(int medium, int type, const std::string& cardName, const std::string& folder,
                       const std::string& pcStem = {});
  // The PC file `pcFileName` in `folder` onto the card.
  // `cardName`: the name on the card; empty for the card-name rule's.
  bool SendFileToCard(int medium, std::string pcFileName, const std::string& folder,
                      const std::string& cardName = {});
  // Internal data of `type` into `path`, or where the save dialog says when
  // there is none. False also when the user cancelled the save dialog
  // (LastFailure then empty).
  bool BackupInternal(int medium, int type, const std::optional<std::string>& path = std::nullopt);
  bool RestoreInternal(int medium, std::string pcFileName, const std::string& folder);

  // The save dialog for a backup of data type `type`, or the path given
  // checked as the dialog checks a name; sets RxTransfer's DataType and
  // Error (1 when cancelled). Returns the path or "".
  std::string AskBackupFileName(int type, const std::optional<std::string>& given = std::nullopt) override;

  // What the console sends (transfer/inbound.cpp).
  void OnIdentify(Link* via, int medium, bool ourConsole) override;
  void OnDataBlock(const InboundBlock& block) override;
  void OnDirectoryReply(int medium, int type, const std::vector<std::string>& names) override;
  void OnBlockRequest(Link* via, int medium, int type, unsigned block) override;
  void OnFileRequest(Link* via, int medium, int type) override;
  // The console asks for block `block` of `type` through link `via`.
  void SendRequestedBlock(Link& via, int type, unsigned block) override;

  // A data block of the file being received, as if the link had brought it
  // (tests hand blocks in here): checked, stored, and the next block asked
  // for, or the file saved or failed.
  void ReceiveFileBlock(unsigned total, const std::uint8_t* payload, std::size_t count);
  // The file being received is given up (Cancel, a watchdog): nothing is
  // awaited any more, and an answer still due is not taken for another file.
  void GiveUpReceiving();
  // UploadTimer ran out. When no data block came while it ran, no answer
  // is on its way any more: the count of those due starts from nothing,
  // and a block 0 in doubt is asked for afresh (true returned: the watchdog
  // has done its work).
  bool UploadWatchdogRanOut();

private:
  struct KeptBlock {
    int medium = 0, type = -1;
    unsigned total = 0, block = 0;
    std::vector<std::uint8_t> bytes; // payload and checksum byte
  };
  static KeptBlock Keep(const InboundBlock& in);
  // A block 0 like the last file's only block, or like one dropped lately
  // as the answer to an earlier request.
  bool SeenBefore(const InboundBlock& in, bool anyBlock = false) const;
  void KeepDropped(const InboundBlock& in);
  // Drops a block 0 that may be an earlier request's answer, and watches
  // for the line to fall quiet.
  void DoubtBlock0();
  void TakeBlock(const InboundBlock& in);
  // Block `block` of `total` is in.
  void ShowReceiveProgress(unsigned block, unsigned total);
  // The received file is over: the batch hears how, and goes on.
  void EndReceivedFile(FileOutcome outcome);
  void AnswerLinkTest(bool damaged);
  // A block 0 of `type` came: one answer fewer is due.
  void Block0Arrived(int type);

  std::string lastBackupName_; // the name chosen last time, shown again
  KeptBlock lastTaken_;        // the block taken last
  std::deque<KeptBlock> dropped_; // the block 0s dropped lately, newest last
};

} // namespace zr
