// Fakes of the main window side and the timers, shared by the core tests.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "link/link.h"
#include "link/wire.h"
#include "engine/batch_steps.h"
#include "engine/host.h"
#include "engine/session.h"

namespace zr::test {

// A timer on a manual clock: Advance() fires what is due, in order.
class ManualClock;

class FakeTimer : public Timer {
public:
  FakeTimer(ManualClock& clock, std::string name, int interval);
  void Start() override;
  void Stop() override { active_ = false; }
  void SetInterval(int ms) override;
  int Interval() const override { return interval_; }
  bool IsActive() const override { return active_; }
  void SetHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

  const std::string& Name() const { return name_; }
  long long DueAt() const { return dueAt_; }
  void Fire();
  int starts = 0;

private:
  ManualClock& clock_;
  std::string name_;
  int interval_;
  bool active_ = false;
  long long dueAt_ = 0;
  std::function<void()> handler_;
};

class ManualClock {
public:
  long long now = 0;
  std::vector<FakeTimer*> timers;
  // Moves time forward, firing every active timer whose time comes.
  void Advance(long long ms);
};

// The timers with their creation intervals.
struct FakeTimers {
  ManualClock clock;
  FakeTimer comm{clock, "CommTimer", 50};
  FakeTimer timeout{clock, "TimeoutTimer", 1500};
  FakeTimer upload{clock, "UploadTimer", 25000};
  FakeTimer download{clock, "DownloadTimer", 5000};
  FakeTimer dummy{clock, "DummyTimer", 5000};
  FakeTimer send{clock, "SendTimer", 500};
  FakeTimer retry{clock, "RetryTimer", 1000};
  Timers timers{comm, timeout, upload, download, dummy, send, retry};
};

// The next item of a script, taken off its front; `otherwise` once the
// script has run out.
template <class T> T TakeNext(std::deque<T>& script, std::type_identity_t<T> otherwise = T())
{
  if (script.empty())
    return otherwise;
  T next = std::move(script.front());
  script.pop_front();
  return next;
}

// The answer a box gets when no script says otherwise: the one that changes
// nothing (Ok, No, Abort).
BoxAnswer HarmlessAnswer(BoxButtons buttons);

struct BoxShown {
  std::string text;
  BoxIcon icon;
  BoxButtons buttons;
};

// The main window's side with scripted answers, and a batch that records
// the engine's steps (a test makes it the session's Steps); records everything.
class FakeHost : public Host, public View, public BatchSteps {
public:
  void StatusChanged(const ScreenText& text) override { statuses.push_back(Render(text)); }
  BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) override;
  std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) override;
  // With saveLater the dialog returns at once and `saveReply` answers it.
  void AskSaveFile(const SaveFileRequest& request, const zr::Reply<std::optional<std::string>>& reply) override
  {
    if (!saveLater)
      return Host::AskSaveFile(request, reply);
    saveRequests.push_back(request);
    saveReply = reply;
  }

  // With boxLater the next question's box returns at once, and is answered
  // later through lateBoxes.
  void Ask(const BoxQuestion& q, const zr::Reply<BoxAnswer>& reply) override
  {
    if (!std::exchange(boxLater, false))
      return Host::Ask(q, reply);
    boxes.push_back({Render(q.text), q.icon, q.buttons});
    lateBoxes.push_back({reply, q.buttons});
  }

  void ProgressShown(const ProgressView& p) override
  {
    progressTitle = Render(p.title);
    progressMax = p.maximum;
    progressVisible = true;
    ++progressShows;
    progressPosition = p.position;
    progressLabels.push_back(p.Label());
  }
  void ProgressClosed() override
  {
    progressVisible = false;
    ++progressCloses;
  }

  std::string SelectedPcFolder() override { return pcFolder; }
  void TransferRunning(bool running) override
  {
    transferRunning = running;
    runningChanges.push_back(running);
  }
  int CardSelectedCount() override { return cardSelected; }
  int PcSelectedCount() override { return pcSelected; }
  std::optional<std::string> PcListSizeText(const std::string& fileName);

  void RequestNextCardFile(int index) override;
  void SendNextPcFile(int index) override;
  void RequestCardDirectory(int type) override;
  void CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply) override;
  void FileFailed(const std::string& fileName, const std::string& reason) override
  {
    failedFiles.push_back(fileName + ": " + reason);
  }
  void BatchDone() override { ++batchesDone; }
  void ReceivedFileDone(bool saved) override { receivedFilesDone.push_back(saved); }
  void CardListCleared() override { cardListRows.clear(); }
  void CardListAdded(int type, const std::vector<std::string>& names) override
  {
    for (const auto& name : names)
      cardListRows.push_back({type, name});
  }
  // A notice is a box with only OK, as the window shows it.
  void Noticed(const Notice& notice) override { (void)ShowMessage(Render(notice.text), notice.icon, BoxButtons::Ok); }
  void CardListSorted() override { ++cardListSorts; }

  std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }

  std::vector<std::string> statuses;
  std::vector<BoxShown> boxes;
  std::deque<BoxAnswer> answers;                      // answers for the next boxes; Ok/No when empty
  std::function<void(const BoxShown&)> onBox;         // what happens while a box is up (its event loop)
  std::deque<std::optional<std::string>> saveAnswers; // answers for the save dialog
  std::vector<SaveFileRequest> saveRequests;
  bool saveLater = false;
  bool boxLater = false;
  struct LateBox {
    zr::Reply<BoxAnswer> reply;
    BoxButtons buttons;
  };
  std::deque<LateBox> lateBoxes; // oldest first
  zr::Reply<std::optional<std::string>> saveReply;

  std::string progressTitle;
  int progressMax = 0;
  int progressPosition = 0;
  bool progressVisible = false;
  int progressShows = 0;
  int progressCloses = 0;
  std::vector<std::string> progressLabels;

  std::string pcFolder;
  int cardSelected = 0;
  int pcSelected = 0;
  std::map<std::string, std::string> pcListSizes; // caption -> Size text

  std::vector<int> nextCardFileCalls;
  std::vector<int> nextPcFileCalls;
  std::vector<int> cardDirectoryCalls;
  struct Reply {
    int type;
    std::vector<std::string> names;
    bool sortEvery;
  };
  std::vector<Reply> directoryReplies;
  std::vector<std::pair<int, std::string>> cardListRows; // what the card list shows
  int cardListSorts = 0;
  bool transferRunning = false;
  std::vector<bool> runningChanges;
  std::vector<std::string> failedFiles; // "name: reason"
  int batchesDone = 0;
  std::vector<bool> receivedFilesDone; // a received file ended: saved or not
  // Optional behaviour for the batch steps.
  std::function<void(int)> onRequestNextCardFile;
  std::function<void(int)> onSendNextPcFile;
  std::function<void(int)> onRequestCardDirectory;
};

// A link that records every request and every data block it is given.
class FakeLink : public Link {
public:
  explicit FakeLink(TextId notReady = TextId::NoComPort) : notReady_(notReady) {}
  bool RequestBlock(int type, unsigned block) override
  {
    blockRequests.push_back({type, block});
    return sends;
  }
  bool RequestDirectory(int type) override
  {
    directoryRequests.push_back(type);
    return sends;
  }
  bool SendFileName(int type, const std::string& name, bool request) override
  {
    fileNames.push_back({type, name, request});
    return sends;
  }
  TextId CannotSend() const override { return TextId::NoSerialDevice; }
  // The engine answers requests itself (Session::SendRequestedBlock).
  void AnswerBlockRequest(int, unsigned) override {}
  bool ReadyToAnswer() override { return ready; }
  TextId NotReady() const override { return notReady_; }
  bool SendDataBlock(const std::uint8_t* message, std::size_t length) override
  {
    sentBlocks.emplace_back(message, message + length);
    if (onDataBlock)
      onDataBlock(sentBlocks.back());
    return acceptsBlocks;
  }

  struct BlockRequest {
    int type;
    unsigned block;
  };
  struct FileName {
    int type;
    std::string name;
    bool request;
  };
  std::vector<BlockRequest> blockRequests;
  std::vector<int> directoryRequests;
  std::size_t directoryAnswered = 0; // of directoryRequests, by AnswerDirectoryRequests
  std::vector<FileName> fileNames;
  std::vector<Bytes> sentBlocks;
  std::function<void(const Bytes&)> onDataBlock;
  bool ready = true;
  bool acceptsBlocks = true;
  bool sends = true; // false: the line is gone, nothing goes out

private:
  TextId notReady_;
};

// The console answers every directory request the link was given and has
// not had answered yet: the markers the engine sends before asking again.
inline void AnswerDirectoryRequests(Session& session, FakeLink& link, int medium = 1)
{
  // Names of their own: the same reply twice in a row is a copy on the line.
  while (link.directoryAnswered < link.directoryRequests.size()) {
    const std::string name = "M" + std::to_string(link.directoryAnswered);
    session.OnDirectoryReply(medium, link.directoryRequests[link.directoryAnswered++], {name});
  }
}

// A session whose batch steps are recorded by the fake host.
class TestSession : public Session {
public:
  TestSession(FakeHost& h, Timers& t) : Session(h, h, t) { Steps = &h; }
};

} // namespace zr::test
