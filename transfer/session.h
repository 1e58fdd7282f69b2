// The program-wide state of one run: link settings, the batch state of the
// main window, the two transfer records, and the commands that start
// transfers. main creates one; every test creates a fresh one.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "link/link.h"
#include "link/link_context.h"
#include "transfer/batch_steps.h"
#include "transfer/filer.h"
#include "transfer/host.h"

namespace zr {

struct BatchState {
  int FileNr = 0;
  int CardIndex = 0;
  int PcIndex = 0;
  int PendingPcItem = 0;
  bool InternalMode = false;
  bool CancelRequested = false;
  bool SendFinished = false;
  // "Yes to All" or "No to All" given to a replace question of the running
  // batch: the answer for every later one. Cleared when a batch starts.
  std::optional<bool> ReplaceAll;
};

class Session : public LinkContext {
public:
  Session(Host& host, Timers& timers);

  Host& host;
  BatchState batch;
  // Constructed in this order, destroyed in the opposite one.
  Filer RxTransfer;
  Filer TxTransfer;

  // The two links and the batch; set by whoever builds them (the program,
  // a test).
  Link* Com = nullptr;
  Link* Midi = nullptr;
  BatchSteps* Steps = nullptr;
  // The batch, or one that holds no files and takes no steps.
  BatchSteps& steps() const;
  // 1 and 2: the serial link; 3: the MIDI link; anything else: none.
  Link* LinkFor(int medium) const;

  // LinkContext: the status line and boxes go to the host.
  void SetStatusText(const std::string& text) override;
  void ShowErrorBox(const std::string& text) override;
  // "Connected thru COM port %d" when CommMedium is 1, else "Connected thru MIDI".
  void ShowConnectionStatus();
  // The progress dialog at block `position` of `maximum`, and closed; both
  // left alone while a job shows its own progress.
  void ShowProgress(const std::string& title, int maximum, int position, const std::string& label);
  void CloseProgress();

  // The five commands; medium is CommMedium as the main window passes it.
  // Those that start a file say whether it went out; when not, the record's
  // LastFailure says why (it is on the status line already).
  void RequestTypeDirectory(int medium, int type);
  // The card file `cardName` of `type` into `folder`, named `pcStem` there
  // (empty: the card name made safe) with the type's extension.
  bool RequestCardFile(int medium, int type, const std::string& cardName, const std::string& folder,
                       const std::string& pcStem = {});
  // The PC file `pcFileName` in `folder` onto the card.
  bool SendFileToCard(int medium, std::string pcFileName, const std::string& folder);
  // Internal data of `type` into `path`, or where the save dialog says when
  // there is none. False also when the user cancelled the save dialog
  // (LastFailure then empty).
  bool BackupInternal(int medium, int type, const std::optional<std::string>& path = std::nullopt);
  bool RestoreInternal(int medium, std::string pcFileName, const std::string& folder);

  // The replace question "File already exists!\nReplace the file named ...":
  // inside a batch of several files it also offers "Yes to All" and "No to
  // All", whose answer then stands for the rest of the batch. Whoever
  // started the batch may answer it; else the box asks. True for Yes.
  bool AskReplace(const ReplaceQuestion& question);

  // The save dialog for a backup of data type `type`, or the path given
  // checked as the dialog checks a name; sets RxTransfer's DataType and
  // Error (1 when cancelled). Returns the path or "".
  std::string AskBackupFileName(int type, const std::optional<std::string>& given = std::nullopt);

  // What the console sends (transfer/inbound.cpp).
  void OnIdentify(Link* via, int medium, bool ourConsole) override;
  void OnDataBlock(const InboundBlock& block) override;
  void OnDirectoryReply(int medium, int type, const std::vector<std::string>& names) override;
  void OnBlockRequest(Link* via, int medium, int type, unsigned block) override;
  void OnFileRequest(Link* via, int medium, int type) override;
  // The console asks for block `block` of `type` through link `via`.
  void SendRequestedBlock(Link& via, int type, unsigned block) override;

private:
  std::string lastBackupName_; // the name chosen last time, shown again
};

} // namespace zr
