#include "tests/support/fakes.h"

#include <algorithm>
#include <cctype>

namespace zr::test {

FakeTimer::FakeTimer(ManualClock& clock, std::string name, int interval)
    : clock_(clock), name_(std::move(name)), interval_(interval)
{
  clock_.timers.push_back(this);
}

void FakeTimer::Start()
{
  active_ = true;
  dueAt_ = clock_.now + interval_;
  ++starts;
}

void FakeTimer::SetInterval(int ms)
{
  interval_ = ms;
  if (active_)
    dueAt_ = clock_.now + interval_;
}

void FakeTimer::Fire()
{
  // A timer keeps running until its handler stops it, like a Qt timer.
  dueAt_ = clock_.now + interval_;
  if (handler_)
    handler_();
}

void ManualClock::Advance(long long ms)
{
  const long long end = now + ms;
  for (;;) {
    FakeTimer* next = nullptr;
    for (FakeTimer* t : timers)
      if (t->IsActive() && t->DueAt() <= end && (!next || t->DueAt() < next->DueAt()))
        next = t;
    if (!next)
      break;
    now = std::max(now, next->DueAt());
    next->Fire();
  }
  now = end;
}

BoxAnswer HarmlessAnswer(BoxButtons buttons)
{
  switch (buttons) {
  case BoxButtons::Ok:
    return BoxAnswer::Ok;
  case BoxButtons::YesNo:
  case BoxButtons::YesNoAll:
    return BoxAnswer::No;
  case BoxButtons::AbortRetry:
    return BoxAnswer::Abort;
  }
  return BoxAnswer::Closed;
}

BoxAnswer FakeHost::ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons)
{
  boxes.push_back({text, icon, buttons});
  if (onBox)
    onBox(boxes.back());
  return TakeNext(answers, HarmlessAnswer(buttons));
}

std::optional<std::string> FakeHost::AskSaveFileName(const SaveFileRequest& request)
{
  saveRequests.push_back(request);
  return TakeNext(saveAnswers);
}

std::optional<std::string> FakeHost::PcListSizeText(const std::string& fileName)
{
  auto lower = [](std::string s) {
    for (char& c : s)
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  for (const auto& [caption, size] : pcListSizes)
    if (lower(caption) == lower(fileName))
      return size;
  return std::nullopt;
}

void FakeHost::RequestNextCardFile(int index)
{
  nextCardFileCalls.push_back(index);
  if (onRequestNextCardFile)
    onRequestNextCardFile(index);
}

void FakeHost::SendNextPcFile(int index)
{
  nextPcFileCalls.push_back(index);
  if (onSendNextPcFile)
    onSendNextPcFile(index);
}

void FakeHost::RequestCardDirectory(int type)
{
  cardDirectoryCalls.push_back(type);
  if (onRequestCardDirectory)
    onRequestCardDirectory(type);
}

void FakeHost::CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply)
{
  directoryReplies.push_back({type, names, sortAfterEveryReply});
}

} // namespace zr::test
