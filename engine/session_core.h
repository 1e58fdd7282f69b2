// What every part of the engine shares: the front end, the batch state,
// the two links and the batch's steps, the status line, the progress dialog
// and the replace question. The transfer records see the engine through
// this; Session adds the records and the commands.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "link/link.h"
#include "link/link_context.h"
#include "link/wire.h"
#include "engine/batch_steps.h"
#include "engine/host.h"
#include "engine/resync.h"

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

class SessionCore : public LinkContext {
public:
  SessionCore(Host& host, View& view, Timers& timers);

  Host& host;
  // Where the status line, the progress dialog and the card list go.
  View& view;
  BatchState batch;
  // Answers of the console that the engine took (blocks awaited, requests
  // answered): a watchdog's box sees by it whether the transfer went on
  // while the box was open.
  unsigned Answers = 0;
  // How the last MIDI link test ended, until whoever watches takes it.
  enum class LinkTestEnd { None, Passed, Failed };
  LinkTestEnd LinkTestEnded = LinkTestEnd::None;

  // The two links and the batch; set by whoever builds them (the program,
  // a test).
  Link* Com = nullptr;
  Link* Midi = nullptr;
  BatchSteps* Steps = nullptr;
  // The batch, or one that holds no files and takes no steps.
  BatchSteps& steps() const;
  // 1 and 2: the serial link; 3: the MIDI link; anything else: none.
  Link* LinkFor(int medium) const;

  // LinkContext: the status line goes to the view.
  void ShowStatus(const ScreenText& text) override;
  // A fault on a link: a box, except that bytes that are no message show
  // one box per burst (line noise, a wrong baud rate) and the rest on the
  // status line.
  void OnLinkFault(LinkFault fault, const ScreenText& text) override;
  // Milliseconds on a steady clock, for the bursts; tests set their own.
  std::function<long long()> Clock;
  // "Connected thru COM port %d" when CommMedium is 1, else "Connected thru MIDI".
  void ShowConnectionStatus();
  // The progress dialog at block `position` of `maximum`, and closed; both
  // left alone while a job shows its own progress.
  void ShowProgress(const ScreenText& title, int maximum, int position, int percent);
  void CloseProgress();

  // The replace question "File already exists!\nReplace the file named ...":
  // inside a batch of several files it also offers "Yes to All" and "No to
  // All", whose answer then stands for the rest of the batch. Whoever
  // started the batch may answer it, now or later; else the box asks.
  // `then` hears true for Yes, once the answer is there.
  void AskReplace(const ReplaceQuestion& question, std::function<void(bool yes)> then);
  // The same for whichever question: the batch waits in its Asking stage
  // until `reply` is answered; a late answer runs as a step of the engine.
  template <class T>
  Reply<T> Question(std::function<void(T)> then)
  {
    steps().QuestionOpen(true);
    return Reply<T>([this, era = questionEra_, then = std::move(then)](T answer) {
      Resumed([&] {
        steps().QuestionOpen(false);
        // Else the batch it was asked for is over: the answer closes the
        // question and changes nothing.
        if (era == questionEra_)
          then(answer);
      });
    });
  }
  // The batch ended or was cancelled: what the questions still open would
  // have done is moot. Each stays open until answered; nothing new starts
  // before that.
  void ForgetQuestions() { ++questionEra_; }
  // Runs an answer that came from outside the engine's own steps; the
  // engine wraps it as it wraps a message or a timer.
  virtual void Resumed(const std::function<void()>& step) { step(); }

  // The save dialog for a backup of data type `type`, or the path given
  // checked as the dialog checks a name; sets RxTransfer's DataType and
  // Error (1 when cancelled). Returns the path or "".
  virtual std::string AskBackupFileName(int type, const std::optional<std::string>& given = std::nullopt) = 0;

  // A request went out: the watchdog for its answer starts (DummyTimer for
  // the link test, else UploadTimer, longer for the operating system). A
  // directory request keeps the interval the last request set. Asking again
  // does not restart it: it is for a console silent for its whole interval.
  void ArmWatchdog(int type);
  void ArmDirectoryWatchdog() { timers.UploadTimer.Start(); }
  // Milliseconds on Clock.
  long long Now() const;

protected:
  // The barrier and the directory requests on their way.
  Resync resync_;
  // Round trips of a first answer (block 0, a directory reply, the link
  // test) and of a further block: a console may take longer to find a file
  // than to send its next block.
  RoundTrip firstTrip_;
  RoundTrip nextTrip_;
  // From a block (or name) sent to the card to the console's next request.
  RoundTrip sendTrip_;

private:
  std::optional<long long> lastFrameFault_; // when the last bad frame came
  unsigned questionEra_ = 0;                // ForgetQuestions so far
};

} // namespace zr
