// The user's transfers, asked for by intent: card files into a folder, PC
// files onto the card, a backup of one kind, a restore of PC files. The batch
// decides which files go, in which order, how they are numbered, when the
// next one starts and how it ends, and reports each file and the batch's end
// as values (engine/events.h). One batch runs at a time, whoever asks.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/batch_steps.h"
#include "engine/events.h"
#include "engine/session.h"

namespace zr {

// The box that ends a batch with failed files lists them, one a line.
// That box's text for `failed` ("name: reason", in order) of `files` files,
// and the status line's shorter word ("2 of 5 files failed (first: ...)").
std::string BatchSummaryText(int files, const std::vector<std::string>& failed);
ScreenText BatchFailureLine(int files, const std::vector<std::string>& failed);

// Where a batch stands. Every stage but Idle has one thing that moves it on:
// an armed watchdog (listing, offering, awaiting), the pause's timer, or an
// open question; Ending is passed through on the way back to Idle.
enum class Stage { Idle, Listing, Offering, Awaiting, Asking, Pausing, Ending };
const char* StageName(Stage stage);

class Batch : public BatchSteps {
public:
  explicit Batch(Session& session);

  // ---- Intents. Each returns false when it started nothing: another batch
  // runs, there is nothing to do, or a rule or the user refused (a box or
  // the status line has said why). `listener` hears the batch's events and
  // may answer its questions. ----

  // Card files into `folder`, in the order given, under names unique within
  // the batch (files/pc_names.h); `pcStems` gives them instead, one a file.
  bool Download(std::vector<CardFileRef> files, std::string folder, BatchListener* listener = nullptr,
                std::vector<std::string> pcStems = {});
  // Internal data of `type` into `path`; without a path the save dialog asks.
  bool Backup(int type, std::optional<std::string> path = std::nullopt, BatchListener* listener = nullptr);
  // PC files onto the card, in the order given.
  bool Upload(std::vector<PcFileRef> files, BatchListener* listener = nullptr);
  // PC files into the console's internal memory, with the restore rules and
  // the confirmation.
  bool Restore(std::vector<PcFileRef> files, BatchListener* listener = nullptr);
  // Empties and reads the card list again.
  bool ListCard(BatchListener* by = nullptr);

  // A job holds the engine from its first step to its last: no other batch
  // starts between its steps, the window stays locked meanwhile, and the
  // job shows the progress itself. False when another batch or job runs.
  bool Claim(BatchListener* job);
  void Release(BatchListener* job);
  // Whether the front end's progress dialog shows the batch's files.
  bool ShowsProgress() const override { return claimer_ == nullptr; }
  // The progress dialog's Cancel: the file under way is dropped.
  void StopTransfer();
  // Cancel for a front end that leaves: every watchdog, the search and the
  // pause stop too.
  void Cancel();

  // Whether a batch runs: from its start until its last file is done.
  bool Running() const override { return running_; }
  Stage Now() const { return stage_; }
  // Nothing under way with the console: no batch, no listing, no watchdog,
  // no retry and no pause armed.
  bool Idle() const;
  // The card files the last listing brought, in the order they came.
  const std::vector<CardFileRef>& CardFiles() const { return cardFiles_; }
  // Whether the last listing got as far as the last type.
  bool CardListed() const { return cardListed_; }
  // Whether the card holds a file of this name (any type, case ignored).
  bool CardHolds(const std::string& cardName) const;

  // ---- BatchSteps: what the engine asks after each file. ----
  int CardSelectedCount() override;
  int PcSelectedCount() override { return SendBatchCount(); }
  void RequestNextCardFile(int index) override;
  void SendNextPcFile(int index) override;
  // The card listing (card_listing.cpp): types 0 to 8, one at a time.
  void RequestCardDirectory(int type) override;
  void CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply) override;
  bool AwaitsDirectory(int type) const override { return type == awaitedType_; }
  void FileFailed(const std::string& fileName, const std::string& reason) override;
  void FileEnded(const FileEnd& end) override;
  void FileProgress(int done, int total) override;
  void ReceivedFileDone(bool saved) override;
  void QuestionOpen(bool open) override;
  void ConsoleSilent() override { silent_ = true; }
  void GiveUp() override { StopTransfer(); }
  bool AskReplace(const ReplaceQuestion& question, const Reply<ReplaceAnswer>& reply) override;
  bool AskSilence(const SilenceQuestion& question, const Reply<bool>& reply) override;
  bool TakeNotice(const std::string& text) override;
  void BatchDone() override;

  void PauseOver();

  // Files in the current send batch.
  int SendBatchCount() const { return static_cast<int>(sendFiles_.size()); }

private:
  int Medium() const;
  void Enter(Stage stage) { stage_ = stage; }
  // The pause between two files (the console may still send or ask for
  // something of the last one): `ms` on SendTimer.
  void Pause(int ms);
  // SendTimer back to the pause between uploads after a download's settle.
  void RestorePauseInterval();
  // A batch starts: the window takes no second one until FinishBatch.
  void BeginBatch(BatchKind kind, int files, BatchListener* listener);
  // The batch is over: what failed goes on the status line, the window is free.
  void FinishBatch();
  void BeginFile(const std::string& name, int type, std::uint64_t size);
  void EndFile(FileOutcome outcome, FileReason why, const std::string& reason, int error = 0);
  bool BeginSendBatch(BatchKind kind, std::vector<PcFileRef> files, BatchListener* listener);
  // The restore's rules: false when one refused the files (said already);
  // `kinds` the data types they hold.
  bool RestoreAllowed(std::vector<int>& kinds);
  // The backup's file is chosen: it began (block 0 asked for), or it ends.
  void BackupChosen(bool started);
  void SendNextFile(int index);
  // The pause before the next file of a send is over: it goes.
  void SendAfterPause();
  // Whether file `next` goes: `then` hears it at once, or once the replace
  // question for the card is answered. A skipped file is ended here.
  void Wanted(int next, const std::function<void(bool)>& then);
  // File `next` wanted: the pause before it, or it goes now. False when it
  // could not go (the batch moves on).
  bool Go(int after, int next);
  bool RefuseUnsendable(const PcFileRef& file);
  bool StartFile(const PcFileRef& file);
  void EndSendBatch();

  Session& session_;
  bool running_ = false;
  Stage stage_ = Stage::Idle;
  Stage beforeQuestion_ = Stage::Idle;
  int questionsOpen_ = 0;
  int uploadPauseMs_ = -1; // SendTimer's own interval while a settle uses it
  bool lastSaved_ = false; // the last file received was saved
  bool listAfterBatch_ = false; // a listing gave way to the batch
  BatchKind kind_ = BatchKind::Download;
  BatchListener* listener_ = nullptr;
  BatchListener* claimer_ = nullptr; // the job that holds the engine
  // Whether an intent by `by` may start now.
  // A question of a batch that has ended under it (Cancel, a watchdog) is
  // still open: nothing new starts until it is answered.
  bool MayStart(BatchListener* by) const
  {
    return !running_ && questionsOpen_ == 0 && (!claimer_ || by == claimer_);
  }
  // The files of the batch, fixed when it starts: a re-sorted list neither
  // repeats nor skips one. CardIndex and PcIndex are positions in here.
  std::vector<CardFileRef> downloadFiles_;
  std::vector<std::string> downloadStems_; // their PC names without extension
  std::string downloadFolder_;
  std::vector<PcFileRef> sendFiles_;
  int filesStarted_ = 0;    // files of the current send batch handed to the engine
  bool lastSentOs_ = false; // the last file sent was an operating-system update
  bool silent_ = false;     // a watchdog gave the file under way up
  // The file under way, until it is reported ended.
  std::optional<FileStart> current_;
  BatchEnd counts_;
  std::vector<std::string> failed_; // "name: reason", in the order they failed

  // The card listing as the replies brought it.
  std::vector<CardFileRef> cardFiles_;
  std::unordered_set<std::string> cardKeys_; // type + name, for the duplicate check
  bool cardListed_ = false;
  int awaitedType_ = -1; // the directory reply asked for last
};

} // namespace zr
