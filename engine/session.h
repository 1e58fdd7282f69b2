// The program-wide state of one run: what the engine shares (SessionCore),
// the two transfer records, the commands that start transfers, and what
// the engine does with each message. The engine creates one; every test
// creates a fresh one.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/filer.h"
#include "engine/session_core.h"

namespace zr {

class Session : public SessionCore {
public:
  Session(Host& host, View& view, Timers& timers);

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
  // there is none. False when it did not start, also when the user
  // cancelled the save dialog (LastFailure then empty). True while the
  // dialog waits for its answer: `later` then hears whether it started.
  bool BackupInternal(int medium, int type, const std::optional<std::string>& path = std::nullopt,
                      std::function<void(bool started)> later = {});
  bool RestoreInternal(int medium, std::string pcFileName, const std::string& folder);

  // The save dialog for a backup of data type `type`, or the path given
  // checked as the dialog checks a name; sets RxTransfer's DataType and
  // Error (1 when cancelled). Returns the path or "".
  std::string AskBackupFileName(int type, const std::optional<std::string>& given = std::nullopt) override;
  // The same as a question: `then` hears the path, or "" with Error set,
  // once the front end's save dialog has closed.
  void ChooseBackupFile(int type, const std::optional<std::string>& given,
                        std::function<void(const std::string& path)> then);

  // What the console sends (inbound.cpp; blocks in receive.cpp, the
  // console's requests in send.cpp).
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
  // awaited any more, and the next file is asked for behind a marker, so
  // that an answer still on its way is not taken for it.
  void GiveUpReceiving();
  // RetryTimer ran out: what the PC asked for and did not get is asked for
  // again (a block 0 behind a marker, a further marker, a block, a
  // directory reply, the link test), and the next wait is twice as long.
  void RetryTimerRanOut();
  // Stops asking again for anything but the card listing (for that too
  // when `listingToo`).
  void StopAsking(bool listingToo = false);
  // Whether a barrier stands: no data block is taken until a marker's reply.
  bool Resynchronising() const { return resync_.Standing(); }

private:
  // Block 0 of the file RxTransfer is set up for goes out on `medium`
  // (behind a marker after anything unclean). False when it cannot.
  bool AskFirstBlock(int medium);
  // The backup begins once its file is chosen: block 0 asked for. False
  // when it cannot (a cancelled dialog, a bad name, no link).
  bool StartBackup(int medium, const std::string& chosen);
  // The save dialog asked for a backup file, again after a name with
  // another extension.
  void AskSaveFile(SaveFileRequest request, std::function<void(const std::string& path)> then);
  // Sets RxTransfer's DataType, or Error for a kind that is none.
  bool BackupTypeKnown(int type);
  SaveFileRequest BackupRequest(int type);
  // The name chosen, checked as the dialog checks it: the extension added
  // when it has none, "" with Error set when cancelled or refused. Another
  // extension: `again` gets the name to propose anew, or (none) it is
  // refused.
  std::string BackupPath(const std::string& chosen, std::optional<std::string>* again);
  // How a block is asked for: the first time (its watchdog starts), again
  // (it does not), or behind a marker (a barrier first, then the request).
  enum class Ask { Fresh, Again, BehindMarker };
  // What RetryTimer asks again for.
  // Offer: the console's next request for a file sent to the card; asked
  // again by offering the name once more (the console starts it afresh).
  enum class Asked { Nothing, Block, Marker, Directory, LinkTest, Offer };
  // Asks for RxTransfer's block BlockNr as `how` says; false when nothing
  // could go out (LastFailure says why).
  bool AskBlock(Ask how);
  bool SendMarker();
  // A request of kind `what` went out on `medium`: RetryTimer starts.
  void Asking(Asked what, int medium, int type);
  // A marker's reply came: the barrier is down, and the block awaited is
  // asked for.
  void BarrierDown();
  void TakeBlock(const InboundBlock& in, std::uint64_t digest);
  // Block `block` of `total` is in.
  void ShowReceiveProgress(unsigned block, unsigned total);
  // The received file is over: the batch hears how, and goes on.
  void EndReceivedFile(FileOutcome outcome);
  void AskLinkTest(Link* via);
  // A message other than the one asked for came: the retry time starts again.
  void LineHeldUp();
  // A file sent to the card waits for the console's next request: RetryTimer
  // offers it again if none comes in time. The console's request came.
  void AwaitRequest(int medium, std::size_t sentBytes);
  void RequestCame();
  void OfferAgain();
  void AnswerLinkTest(bool damaged);

  // Anything unclean happened (a file given up, a block asked for again, a
  // damaged, copied or stray block): the next block 0 goes behind a marker.
  bool unclean_ = false;
  Asked asked_ = Asked::Nothing;
  int askedType_ = -1;
  int askedMedium_ = 0;
  long long askedAt_ = 0;
  bool askedAgain_ = false; // its answer may be an earlier request's: no sample
  int askedWire_ = 0;       // what was sent takes this long to reach the console
  BlockMemory seen_;        // blocks taken or dropped lately
  // The last directory reply, and whether it was the last message in.
  std::pair<int, std::vector<std::string>> lastReply_;
  bool lastWasReply_ = false;
  std::string lastBackupName_; // the name chosen last time, shown again
};

} // namespace zr
