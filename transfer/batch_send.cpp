// PC files to the card and restores: which files of a send batch go, the
// replace question, the restore rules and confirmation, and the pause
// between files.
#include "transfer/batch.h"

#include <filesystem>
#include <system_error>

#include "transfer/datatypes.h"
#include "transfer/pc_path.h"

namespace zr {

namespace {

constexpr const char* REPLACE_QUESTION = "File already exists!\nReplace the file named ";
constexpr const char* NOTHING_TO_RESTORE = "Select one or more files to restore.";
constexpr const char* ONE_OF_EACH_TYPE = "You can only restore ONE file of each type.";
constexpr const char* PROJECT_ALONE =
    "If you restore a 'Project (all)' file, all files of types other than 'Operating System' are "
    "replaced.\n\nSelect either a 'Project (all)' file or a combination of other files.";
constexpr const char* RESTORE_QUESTION =
    "Are you sure you want to replace the current settings in the ZR4812!";

constexpr int PROJECT_TYPE = 0;

} // namespace

bool Batch::BeginSendBatch(bool internalMode)
{
  if (running_)
    return false; // one batch at a time
  BatchState& b = session_.batch;
  b.SendFinished = false;
  b.InternalMode = internalMode;
  b.FileNr = 1;
  b.CopySource = CopySourceKind::None;
  pasteRunning_ = false;
  filesStarted_ = 0;
  files_ = &pc_;
  return true;
}

void Batch::SolanoViewDragDrop()
{
  if (BeginSendBatch(false))
    StartUpload();
}

void Batch::InternalViewDragDrop()
{
  if (BeginSendBatch(true))
    StartRestore();
}

void Batch::DropPaths(ListId target, const std::vector<std::string>& paths)
{
  if (target == ListId::Pc || running_)
    return;
  const std::string refusal = RefusalOfDroppedPaths(paths);
  if (!refusal.empty()) {
    session_.SetStatusText(refusal);
    return;
  }
  if (!BeginSendBatch(target == ListId::Internal))
    return;
  paths_.Set(paths);
  files_ = &paths_;
  if (target == ListId::Card)
    StartUpload();
  else
    StartRestore();
}

std::string Batch::FolderOf(int index) const
{
  return files_ == &paths_ && index >= 0 && index < paths_.Count() ? paths_.Folder(index)
                                                                   : session_.host.SelectedPcFolder();
}

void Batch::StartUpload()
{
  if (files_->SelectedCount() == 0)
    return;
  BeginBatch();
  batchFiles_ = files_->SelectedCount();
  SendNextPcFile(-1);
}

void Batch::StartRestore()
{
  // The checks read the batch's files, wherever they are.
  const ListAccess& files = *files_;
  Host& host = session_.host;
  const int selected = files.SelectedCount();
  if (selected == 0) {
    host.ShowMessage(NOTHING_TO_RESTORE, BoxIcon::Information, BoxButtons::Ok);
    return;
  }
  if (selected > 1) {
    int counters[DATA_TYPE_COUNT] = {};
    for (int i = files.FirstSelected(); i >= 0; i = files.NextSelected(i)) {
      const int type = TypeOfFileName(files.Caption(i));
      if (IsDataType(type))
        ++counters[type];
    }
    // Several operating-system files may go one after the other; every
    // other kind replaces the console's settings, so one of each.
    bool twice = false;
    bool othersWithProject = false;
    for (int type = 0; type < OPERATING_SYSTEM_TYPE; ++type) {
      twice = twice || counters[type] > 1;
      othersWithProject = othersWithProject || (type != PROJECT_TYPE && counters[type] != 0);
    }
    if (twice) {
      host.ShowMessage(ONE_OF_EACH_TYPE, BoxIcon::Information, BoxButtons::Ok);
      return;
    }
    if (counters[PROJECT_TYPE] != 0 && othersWithProject) {
      host.ShowMessage(PROJECT_ALONE, BoxIcon::Information, BoxButtons::Ok);
      return;
    }
  }
  if (host.ShowMessage(RESTORE_QUESTION, BoxIcon::Warning, BoxButtons::YesNo) != BoxAnswer::Yes)
    return;
  BeginBatch();
  batchFiles_ = selected;
  SendNextPcFile(-1);
}

void Batch::SendNextPcFile(int index)
{
  if (pasteRunning_)
    SendNextCopiedFile(index);
  else
    SendNextSelectedFile(index);
}

void Batch::SendNextSelectedFile(int index)
{
  BatchState& b = session_.batch;
  int after = index;
  if (after < 0) {
    // The first file starts at once.
    const int first = files_->FirstSelected();
    if (first < 0) {
      EndSendBatch();
      return;
    }
    b.PcIndex = first;
    const std::string name = files_->Caption(first);
    const std::string folder = FolderOf(first);
    if (Wanted(name, folder) && StartFile(name, folder))
      return;
    after = first; // skipped or failed: it keeps number 1, the next one counts on from there
  }
  for (;;) {
    const int next = files_->NextSelected(after);
    if (next < 0) {
      // Everything after the last file sent was skipped: end the batch here
      // instead of leaving the previous file's progress up.
      EndSendBatch();
      return;
    }
    if (Wanted(files_->Caption(next), FolderOf(next))) {
      // The console gets a pause before the next file; SendTimerTimer starts it.
      b.PendingPcItem = after;
      session_.timers.SendTimer.Start();
      return;
    }
    b.PcIndex = next;
    ++b.FileNr;
    after = next;
  }
}

bool Batch::Wanted(const std::string& pcFileName, const std::string& folder)
{
  if (RefuseUnsendable(pcFileName, folder))
    return false;
  return session_.batch.InternalMode || MayReplaceOnCard(pcFileName);
}

void Batch::SendTimerTimer()
{
  BatchState& b = session_.batch;
  session_.timers.SendTimer.Stop(); // once per file
  // Cancelled during the pause: the next file must not go.
  if (b.SendFinished || !running_)
    return;
  if (pasteRunning_) {
    const int entry = b.PendingPcItem + 1;
    if (entry >= b.CopyCount) {
      EndSendBatch();
      return;
    }
    b.PcIndex = entry;
    ++b.FileNr;
    if (!StartFile(b.CopyList[entry].name, session_.host.SelectedPcFolder()))
      SendNextCopiedFile(entry);
    return;
  }
  const int next = files_->NextSelected(b.PendingPcItem);
  if (next < 0) {
    EndSendBatch();
    return;
  }
  b.PcIndex = next;
  ++b.FileNr;
  // The file may have gone in the pause; then the batch moves on.
  const std::string name = files_->Caption(next);
  const std::string folder = FolderOf(next);
  if (RefuseUnsendable(name, folder) || !StartFile(name, folder))
    SendNextSelectedFile(next);
}

void Batch::SendNextCopiedFile(int index)
{
  BatchState& b = session_.batch;
  // Pasted files are asked about like dropped ones, and each further file
  // waits the same pause: the console may still ask for the previous one.
  for (int after = index;;) {
    const int entry = after + 1;
    if (entry >= b.CopyCount) {
      EndSendBatch();
      return;
    }
    const std::string name = b.CopyList[entry].name;
    const std::string folder = session_.host.SelectedPcFolder();
    const bool wanted = Wanted(name, folder);
    if (wanted && filesStarted_ > 0) {
      b.PendingPcItem = after;
      session_.timers.SendTimer.Start();
      return;
    }
    b.PcIndex = entry;
    if (after >= 0)
      ++b.FileNr;
    // Nothing sent yet: no repeated request to wait for, it goes at once.
    if (wanted && StartFile(name, folder))
      return;
    after = entry;
  }
}

bool Batch::MayReplaceOnCard(const std::string& pcFileName)
{
  // Names only: a card file of another type with the same name is still
  // worth the question, since the console shows them side by side.
  const std::string cardName = CardNameOf(pcFileName);
  if (!card_.HasCaption(cardName))
    return true;
  return session_.AskReplace(REPLACE_QUESTION + cardName + " ?", batchFiles_ > 1);
}

bool Batch::RefuseUnsendable(const std::string& pcFileName, const std::string& folder)
{
  // Checked before the engine gets the name: a file the engine cannot load
  // is counted as failed and the batch goes on without offering it.
  Filer& tx = session_.TxTransfer;
  int error = ERR_NONE;
  int medium = MEDIUM_PC_FILE;
  if (!IsDataType(TypeOfFileName(pcFileName))) {
    error = ERR_UNKNOWN_TYPE;
  } else {
    const std::string path = JoinPcPath(folder, pcFileName, error);
    std::error_code ec;
    if (error == ERR_NONE && !std::filesystem::is_regular_file(path, ec)) {
      error = ERR_NO_FILE; // "No file loaded"
    } else if (error == ERR_NONE && (std::filesystem::file_size(path, ec) == 0 || ec)) {
      // An empty file has no blocks: the console would wait for one forever.
      // Said as the link says it, "No file to send", without offering it first.
      error = ERR_NO_FILE;
      medium = Medium() == MEDIUM_PC_FILE ? MEDIUM_COM : Medium();
    }
  }
  if (error == ERR_NONE)
    return false;
  tx.Medium = medium;
  tx.Error = error;
  tx.ReportError(1);
  FileFailed(pcFileName, tx.LastFailure);
  return true;
}

bool Batch::StartFile(const std::string& pcFileName, const std::string& folder)
{
  BatchState& b = session_.batch;
  // The engine alters the text it is given: it gets its own copy, whole.
  const bool started = b.InternalMode ? session_.RestoreInternal(Medium(), pcFileName, folder)
                                      : session_.SendFileToCard(Medium(), pcFileName, folder);
  if (!started) {
    FileFailed(pcFileName, session_.TxTransfer.LastFailure);
    return false;
  }
  ++filesStarted_;
  lastSentOs_ = b.InternalMode && TypeOfFileName(pcFileName) == OPERATING_SYSTEM_TYPE;
  return true;
}

void Batch::EndSendBatch()
{
  BatchState& b = session_.batch;
  b.SendFinished = true;
  // Nothing went out: no progress was shown and the card is unchanged. After
  // an operating-system update the console restarts: no listing, no status.
  if (filesStarted_ > 0) {
    session_.host.ProgressClose();
    if (!lastSentOs_) {
      session_.steps().RequestCardDirectory(-1);
      session_.ShowConnectionStatus();
    }
  }
  FinishBatch();
}

int Batch::SendBatchCount() const
{
  return pasteRunning_ ? session_.batch.CopyCount : files_->SelectedCount();
}

} // namespace zr
