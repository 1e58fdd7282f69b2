// What the engine asks of the batch that owns the transfers under way: how
// many files it holds, the step to its next file, the card listing (types 0
// to 8, one directory request each), how each file ended, and the questions
// whoever started the batch may answer. `Batch` implements it; the engine
// never goes through the window for these.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/events.h"

namespace zr {

class BatchSteps {
public:
  virtual ~BatchSteps() = default;
  // Files in the current receive batch.
  virtual int CardSelectedCount() = 0;
  // Files in the current send batch.
  virtual int PcSelectedCount() = 0;
  // The next file of a download (after list item `index`) or of an upload.
  virtual void RequestNextCardFile(int index) = 0;
  virtual void SendNextPcFile(int index) = 0;
  // Empties and re-reads the card list (-1), or asks for one data type.
  virtual void RequestCardDirectory(int type) = 0;
  // A directory reply for one type (names trimmed). sortAfterEveryReply
  // tells whether this link sorts after every reply (MIDI) or after type 8
  // only (serial).
  virtual void CardDirectoryReply(int type, const std::vector<std::string>& names,
                                  bool sortAfterEveryReply) = 0;
  // Whether a directory reply of this type was asked for and is still
  // awaited: one nobody asked for would start another round of requests.
  virtual bool AwaitsDirectory(int type) const { return (void)type, true; }
  // A file of the batch failed (the reason is on the status line already);
  // the batch counts it and goes on with its next file.
  virtual void FileFailed(const std::string& fileName, const std::string& reason) = 0;
  // A file of the batch ended: saved (or sent), skipped or failed.
  virtual void FileEnded(const FileEnd& end)
  {
    if (end.outcome == FileOutcome::Failed)
      FileFailed(end.name, end.reason);
  }
  // The file being received is over (FileEnded has told how): the batch
  // goes on with its next file, or ends.
  virtual void ReceivedFileDone(bool saved) { (void)saved; }
  // A question of the batch's is open (true) or answered (false).
  virtual void QuestionOpen(bool open) { (void)open; }
  // Blocks of the file under way: `done` of `total`.
  virtual void FileProgress(int done, int total) { (void)done, (void)total; }
  // A watchdog gave up on the console: the file under way failed for that.
  virtual void ConsoleSilent() {}
  // Ends the batch as Cancel does.
  virtual void GiveUp() {}
  // The questions of a batch, for whoever started it, answered now or
  // later by the reply: false lets the front end's boxes ask.
  virtual bool AskReplace(const ReplaceQuestion&, const Reply<ReplaceAnswer>&) { return false; }
  virtual bool AskSilence(const SilenceQuestion&, const Reply<bool>&) { return false; }
  virtual bool TakeNotice(const std::string& text) { return (void)text, false; }
  // The engine has ended the batch after its last file (progress closed,
  // status written): the batch adds what failed and lets the window go.
  virtual void BatchDone() = 0;
  // Whether the front end's progress dialog shows the files (else the job
  // that started the batch shows its own).
  virtual bool ShowsProgress() const { return true; }
  // Whether a batch runs (started, not yet ended).
  virtual bool Running() const { return false; }
};

} // namespace zr
