// PC files to the card and restores: which files of a send batch go, the
// replace question, the restore rules and confirmation, and the pause
// between files.
#include <filesystem>
#include <memory>
#include <system_error>

#include "engine/batch.h"
#include "files/datatypes.h"
#include "files/pc_path.h"

namespace zr {

namespace {

constexpr const char* REPLACE_QUESTION = "File already exists!\nReplace the file named ";

constexpr int PROJECT_TYPE = 0;

std::uint64_t SizeOf(const PcFileRef& file)
{
  if (file.bytes)
    return file.bytes->size();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(std::filesystem::path(file.folder) / file.name, ec);
  return ec ? 0 : static_cast<std::uint64_t>(size);
}

} // namespace

bool Batch::BeginSendBatch(BatchKind kind, std::vector<PcFileRef> files, BatchListener* listener)
{
  if (!MayStart(listener))
    return false; // one batch at a time
  BatchState& b = session_.batch;
  b.SendFinished = false;
  b.InternalMode = kind == BatchKind::Restore;
  b.FileNr = 1;
  filesStarted_ = 0;
  sendFiles_ = std::move(files);
  kind_ = kind;
  listener_ = listener;
  return true;
}

bool Batch::Upload(std::vector<PcFileRef> files, BatchListener* listener)
{
  if (!BeginSendBatch(BatchKind::Upload, std::move(files), listener) || sendFiles_.empty())
    return false;
  BeginBatch(BatchKind::Upload, SendBatchCount(), listener);
  SendNextPcFile(-1);
  return true;
}

bool Batch::Restore(std::vector<PcFileRef> files, BatchListener* listener)
{
  if (!BeginSendBatch(BatchKind::Restore, std::move(files), listener))
    return false;
  std::vector<int> kinds;
  if (!RestoreAllowed(kinds)) {
    listener_ = nullptr;
    return false;
  }
  auto began = std::make_shared<bool>(false);
  const Reply<bool> reply = session_.Question<bool>([this, listener, began](bool yes) {
    // Cancel pressed while the confirmation was open wins over its Yes.
    if (!yes || session_.batch.SendFinished) {
      listener_ = nullptr;
      return;
    }
    *began = true;
    BeginBatch(BatchKind::Restore, SendBatchCount(), listener);
    SendNextPcFile(-1);
  });
  if (!listener_ || !listener_->AskRestore(kinds, reply))
    session_.host.Ask({{TextId::RestoreQuestion}, BoxIcon::Warning, BoxButtons::YesNo},
                      Reply<BoxAnswer>([reply](BoxAnswer answer) { reply(answer == BoxAnswer::Yes); }));
  // Begun (it may have ended already), or waiting for the answer.
  return *began || questionsOpen_ > 0;
}

bool Batch::RestoreAllowed(std::vector<int>& kinds)
{
  // Whoever listens hears a refusal; else the box says it.
  const auto refuse = [this](TextId why) {
    if (listener_)
      listener_->Refused({why});
    else
      session_.view.Noticed({{why}, BoxIcon::Information});
    return false;
  };
  const int selected = SendBatchCount();
  if (selected == 0)
    return refuse(TextId::NothingToRestore);
  int counters[DATA_TYPE_COUNT] = {};
  for (const PcFileRef& file : sendFiles_) {
    const int type = TypeOfFileName(file.name);
    if (IsDataType(type) && counters[type]++ == 0)
      kinds.push_back(type);
  }
  if (selected > 1) {
    // Several operating-system files may go one after the other; every
    // other kind replaces the console's settings, so one of each.
    bool twice = false;
    bool othersWithProject = false;
    for (int type = 0; type < OPERATING_SYSTEM_TYPE; ++type) {
      twice = twice || counters[type] > 1;
      othersWithProject = othersWithProject || (type != PROJECT_TYPE && counters[type] != 0);
    }
    if (twice)
      return refuse(TextId::OneOfEachType);
    if (counters[PROJECT_TYPE] != 0 && othersWithProject)
      return refuse(TextId::ProjectAlone);
  }
  return true;
}

void Batch::SendNextPcFile(int index)
{
  if (!running_ || (kind_ != BatchKind::Upload && kind_ != BatchKind::Restore))
    return;
  SendNextFile(index);
}

void Batch::SendNextFile(int index)
{
  BatchState& b = session_.batch;
  // Each file is asked about before it goes, and each further file waits
  // a pause: the console may still ask for the previous one again.
  for (int after = index;;) {
    const int next = after + 1;
    if (next >= SendBatchCount()) {
      // Everything after the last file sent was skipped: end the batch here
      // instead of leaving the previous file's progress up.
      EndSendBatch();
      return;
    }
    const PcFileRef& file = sendFiles_[static_cast<std::size_t>(next)];
    if (after >= 0)
      ++b.FileNr;
    b.PcIndex = next;
    BeginFile(file.name, TypeOfFileName(file.name), SizeOf(file));
    // Answered at once, the loop goes on; answered later, the answer does.
    auto now = std::make_shared<std::optional<bool>>();
    auto waiting = std::make_shared<bool>(false);
    Wanted(next, [this, now, waiting, after, next](bool wanted) {
      if (!*waiting) {
        *now = wanted;
        return;
      }
      if (!(wanted && Go(after, next)))
        SendNextFile(next);
    });
    if (!*now) {
      *waiting = true;
      return;
    }
    if (**now && Go(after, next))
      return;
    after = next;
  }
}

bool Batch::Go(int after, int next)
{
  if (filesStarted_ > 0) {
    // The console gets a pause before the next file; PauseOver starts it.
    BatchState& b = session_.batch;
    --b.FileNr;
    b.PendingPcItem = after;
    Pause(session_.timers.SendTimer.Interval());
    return true;
  }
  // Nothing sent yet: no repeated request to wait for, it goes at once.
  return StartFile(sendFiles_[static_cast<std::size_t>(next)]);
}

void Batch::Wanted(int next, const std::function<void(bool)>& then)
{
  const PcFileRef& file = sendFiles_[static_cast<std::size_t>(next)];
  if (RefuseUnsendable(file))
    return then(false);
  const std::string cardName = file.cardName.empty() ? CardNameOf(file.name) : file.cardName;
  // Names only: a card file of another type with the same name is still
  // worth the question, since the console shows them side by side.
  if (session_.batch.InternalMode || !CardHolds(cardName))
    return then(true);
  ReplaceQuestion question;
  question.name = cardName;
  question.onCard = true;
  question.newSize = current_ ? current_->size : 0;
  question.severalFiles = counts_.files > 1;
  question.text = REPLACE_QUESTION + cardName + " ?";
  session_.AskReplace(question, [this, then](bool yes) {
    if (!yes)
      EndFile(FileOutcome::Skipped, FileReason::Exists, "it exists on the card");
    then(yes);
  });
}

void Batch::SendAfterPause()
{
  BatchState& b = session_.batch;
  // Cancelled during the pause: the next file must not go.
  if (b.SendFinished || !running_)
    return;
  const int next = b.PendingPcItem + 1;
  if (next >= SendBatchCount()) {
    EndSendBatch();
    return;
  }
  b.PcIndex = next;
  ++b.FileNr;
  // The file may have gone in the pause; then the batch moves on.
  const PcFileRef& file = sendFiles_[static_cast<std::size_t>(next)];
  if (!current_)
    BeginFile(file.name, TypeOfFileName(file.name), SizeOf(file));
  if (RefuseUnsendable(file) || !StartFile(file))
    SendNextFile(next);
}

bool Batch::CardHolds(const std::string& cardName) const
{
  for (const CardFileRef& f : cardFiles_)
    if (EqualsIgnoringCase(f.name, cardName))
      return true;
  return false;
}

bool Batch::RefuseUnsendable(const PcFileRef& file)
{
  // Checked before the engine gets the name: a file the engine cannot load
  // is counted as failed and the batch goes on without offering it.
  Filer& tx = session_.TxTransfer;
  int error = ERR_NONE;
  int medium = MEDIUM_PC_FILE;
  if (!IsDataType(TypeOfFileName(file.name))) {
    error = ERR_UNKNOWN_TYPE;
  } else if (file.bytes) {
    if (file.bytes->empty()) {
      error = ERR_NO_FILE;
      medium = Medium() == MEDIUM_PC_FILE ? MEDIUM_COM : Medium();
    }
  } else {
    const std::string path = JoinPcPath(file.folder, file.name, error);
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
  // The record may still be answering repeated requests for the previous
  // file: it lends its error texts and keeps what it holds.
  const std::int32_t keptMedium = tx.Medium;
  tx.Medium = medium;
  tx.Error = error;
  tx.ReportError(1);
  tx.Medium = keptMedium;
  FileEnd end;
  end.name = file.name;
  end.outcome = FileOutcome::Failed;
  end.why = FileReason::Error;
  end.error = error;
  end.reason = tx.LastFailure;
  FileEnded(end);
  return true;
}

bool Batch::StartFile(const PcFileRef& file)
{
  BatchState& b = session_.batch;
  session_.TxTransfer.Preloaded = file.bytes;
  const bool started = b.InternalMode
                           ? session_.RestoreInternal(Medium(), file.name, file.folder)
                           : session_.SendFileToCard(Medium(), file.name, file.folder, file.cardName);
  session_.TxTransfer.Preloaded.reset();
  if (!started) {
    const Filer& tx = session_.TxTransfer;
    FileEnd end;
    end.name = file.name;
    end.outcome = FileOutcome::Failed;
    end.why = tx.LastError != 0 ? FileReason::Error : FileReason::LinkNotReady;
    end.error = tx.LastError;
    end.reason = tx.LastFailure;
    FileEnded(end);
    return false;
  }
  ++filesStarted_;
  Enter(Stage::Offering);
  lastSentOs_ = b.InternalMode && TypeOfFileName(file.name) == OPERATING_SYSTEM_TYPE;
  return true;
}

void Batch::EndSendBatch()
{
  BatchState& b = session_.batch;
  b.SendFinished = true;
  // Nothing went out: no progress was shown and the card is unchanged. After
  // an operating-system update the console restarts: no listing, no status.
  if (filesStarted_ > 0) {
    // The console may still ask for the last file's last block again: the
    // pause between files stands after the last one too, and nothing new
    // goes out in it (the job waits for it; PauseOver does nothing).
    session_.timers.SendTimer.Start();
    session_.CloseProgress();
    if (!lastSentOs_) {
      session_.steps().RequestCardDirectory(-1);
      session_.ShowConnectionStatus();
    }
  }
  FinishBatch();
}

} // namespace zr
