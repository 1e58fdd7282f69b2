// What a batch reports and asks, as values: a file started, its progress, a
// file ended (saved, skipped or failed with an error code), the batch ended
// with its counts; and the questions a front end answers (replace, restore,
// the operating-system notice, a console that went silent). The texts the
// window shows travel along for the status line and the boxes, but no front
// end decides anything by reading one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "files/file_refs.h"
#include "link/screen_text.h"

namespace zr {

enum class BatchKind { Download, Backup, Upload, Restore };
enum class FileOutcome { Saved, Skipped, Failed };

// Why a file was skipped or failed, beyond the record's error codes.
enum class FileReason {
  None,
  Error,          // `error` holds the record's error code, `reason` its text
  Exists,         // replacing was not agreed (on the PC or on the card)
  LinkNotReady,   // no port selected, or the port could not be opened
  ConsoleSilent,  // a watchdog fired and the file was given up
  Cancelled,      // the user stopped the batch
  WrongExtension, // a backup name that ends in another kind's extension
};

struct FileStart {
  BatchKind kind = BatchKind::Download;
  std::string name; // as the PC sees it ("SONG1.kpr")
  int type = -1;
  std::uint64_t size = 0; // bytes, when known before the transfer (uploads)
  int number = 0;         // 1-based within the batch
  int count = 0;
};

struct FileEnd {
  BatchKind kind = BatchKind::Download;
  std::string name;
  int type = -1;
  FileOutcome outcome = FileOutcome::Saved;
  FileReason why = FileReason::None;
  int error = 0;          // the record's error code, when `why` is Error
  std::string reason;     // the text the status line or a box showed
  std::string path;       // the PC file written (downloads, backups) or read
  std::string cardName;   // uploads: the name the card got
  std::uint64_t bytes = 0; // bytes saved or sent
};

struct BatchEnd {
  BatchKind kind = BatchKind::Download;
  int files = 0;
  int saved = 0;
  int skipped = 0;
  int failed = 0;
  bool cancelled = false;
};

// "File already exists!" on the PC (a download) or on the card (an upload).
struct ReplaceQuestion {
  std::string name;
  bool onCard = false;
  std::optional<std::uint64_t> oldSize; // on the PC: the file that is there
  std::uint64_t newSize = 0;
  bool severalFiles = false; // "Yes to All" and "No to All" may answer it
  std::string text;          // the box's text
};
enum class ReplaceAnswer { Yes, No, YesToAll, NoToAll };

// A watchdog fired: the console did not answer in time.
struct SilenceQuestion {
  bool upload = false; // the console stopped asking for blocks (else: sending them)
  std::string text;
};

// The answer to one question, given once, when the front end is ready: from
// the call that asked, or later, after its own dialog closed. The batch
// waits meanwhile with nothing armed; a copy of the reply answers the same
// question, and a second answer changes nothing. An answer that comes after
// the batch was cancelled is heard and ignored.
template <class T>
class Reply {
public:
  Reply() = default;
  explicit Reply(std::function<void(T)> resume) : resume_(std::make_shared<std::function<void(T)>>(std::move(resume)))
  {
  }
  void operator()(T answer) const
  {
    if (!resume_ || !*resume_)
      return;
    const std::function<void(T)> resume = std::move(*resume_);
    *resume_ = nullptr;
    resume(answer);
  }
  // Not yet answered.
  bool Open() const { return resume_ && *resume_; }

private:
  std::shared_ptr<std::function<void(T)>> resume_;
};

// Whoever started a batch may listen to it and answer its questions. Each
// Ask* takes the question with its reply and returns true when this
// listener answers it (now or later); false leaves it to the front end's
// boxes. By default they take the answer of the matching Answer*, which
// answers at once or, with nothing, not at all.
class BatchListener {
public:
  virtual ~BatchListener() = default;
  virtual void FileStarted(const FileStart&) {}
  virtual void FileProgress(int done, int total) { (void)done, (void)total; }
  virtual void FileEnded(const FileEnd&) {}
  virtual void BatchEnded(const BatchEnd&) {}
  // A text for the user about no file in particular (the operating-system
  // update's closing notice).
  virtual bool TakeNotice(const std::string& text) { return (void)text, false; }
  // The batch did not start: one of its rules refused it (`why`, which the
  // box would have said).
  virtual void Refused(const ScreenText& why) { (void)why; }
  virtual std::optional<ReplaceAnswer> AnswerReplace(const ReplaceQuestion&) { return std::nullopt; }
  virtual std::optional<bool> AnswerRestore(const std::vector<int>& kinds) { return (void)kinds, std::nullopt; }
  // True: try again (Retry); false: give up (Abort).
  virtual std::optional<bool> AnswerSilence(const SilenceQuestion&) { return std::nullopt; }

  virtual bool AskReplace(const ReplaceQuestion& question, const Reply<ReplaceAnswer>& reply)
  {
    return Given(AnswerReplace(question), reply);
  }
  virtual bool AskRestore(const std::vector<int>& kinds, const Reply<bool>& reply)
  {
    return Given(AnswerRestore(kinds), reply);
  }
  virtual bool AskSilence(const SilenceQuestion& question, const Reply<bool>& reply)
  {
    return Given(AnswerSilence(question), reply);
  }

private:
  template <class T>
  static bool Given(const std::optional<T>& answer, const Reply<T>& reply)
  {
    if (answer)
      reply(*answer);
    return answer.has_value();
  }
};

} // namespace zr
