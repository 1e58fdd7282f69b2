#include "engine/session_core.h"

#include <chrono>

namespace zr {

SessionCore::SessionCore(Host& h, View& v, Timers& t) : LinkContext(t), host(h), view(v) {}

namespace {
class NoBatch final : public BatchSteps {
public:
  int CardSelectedCount() override { return 0; }
  int PcSelectedCount() override { return 0; }
  void RequestNextCardFile(int) override {}
  void SendNextPcFile(int) override {}
  void RequestCardDirectory(int) override {}
  void CardDirectoryReply(int, const std::vector<std::string>&, bool) override {}
  void FileFailed(const std::string&, const std::string&) override {}
  void BatchDone() override {}
};
} // namespace

BatchSteps& SessionCore::steps() const
{
  static NoBatch none;
  return Steps ? *Steps : none;
}

Link* SessionCore::LinkFor(int medium) const
{
  switch (medium) {
  case MEDIUM_COM:
  case MEDIUM_COM_ALT:
    return Com;
  case MEDIUM_MIDI:
    return Midi;
  default:
    return nullptr;
  }
}

void SessionCore::ShowStatus(const ScreenText& text)
{
  view.StatusChanged(text);
}

void SessionCore::OnLinkFault(LinkFault fault, const ScreenText& text)
{
  // Bad frames closer together than this are one burst: one box for it.
  constexpr long long BURST_GAP_MS = 2000;
  if (fault == LinkFault::FrameBounds) {
    const long long now = Now();
    const bool sameBurst = lastFrameFault_ && now - *lastFrameFault_ < BURST_GAP_MS;
    lastFrameFault_ = now;
    if (sameBurst) {
      ShowStatus(text);
      return;
    }
  }
  view.Noticed({text, BoxIcon::Error});
}

void SessionCore::ShowConnectionStatus()
{
  if (link.CommMedium == MEDIUM_COM)
    ShowStatus({TextId::ConnectedCom, link.ConnectedComPort});
  else
    ShowStatus({TextId::ConnectedMidi});
}

void SessionCore::ShowProgress(const ScreenText& title, int maximum, int position, int percent)
{
  if (!steps().ShowsProgress())
    return;
  view.ProgressShown({title, maximum, position, percent});
}

void SessionCore::CloseProgress()
{
  if (steps().ShowsProgress())
    view.ProgressClosed();
}

void SessionCore::AskReplace(const ReplaceQuestion& question, std::function<void(bool yes)> then)
{
  if (batch.ReplaceAll) {
    then(*batch.ReplaceAll);
    return;
  }
  // Nothing is armed while the question is open: the answer moves the batch on.
  const Reply<ReplaceAnswer> reply = Question<ReplaceAnswer>([this, then = std::move(then)](ReplaceAnswer answer) {
    if (answer == ReplaceAnswer::YesToAll || answer == ReplaceAnswer::NoToAll)
      batch.ReplaceAll = answer == ReplaceAnswer::YesToAll;
    then(answer == ReplaceAnswer::Yes || answer == ReplaceAnswer::YesToAll);
  });
  if (steps().AskReplace(question, reply))
    return;
  host.Ask({{.id = TextId::Said, .word = question.text}, BoxIcon::Warning,
            question.severalFiles ? BoxButtons::YesNoAll : BoxButtons::YesNo},
           Reply<BoxAnswer>([reply](BoxAnswer answer) {
             switch (answer) {
             case BoxAnswer::Yes:
               return reply(ReplaceAnswer::Yes);
             case BoxAnswer::YesToAll:
               return reply(ReplaceAnswer::YesToAll);
             case BoxAnswer::NoToAll:
               return reply(ReplaceAnswer::NoToAll);
             default:
               return reply(ReplaceAnswer::No);
             }
           }));
}

void SessionCore::ArmWatchdog(int type)
{
  if (type == SYS_EX_TEST_TYPE) {
    timers.DummyTimer.Start();
    return;
  }
  timers.UploadTimer.SetInterval(UploadIntervalFor(type));
  timers.UploadTimer.Start();
}

long long SessionCore::Now() const
{
  if (Clock)
    return Clock();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

} // namespace zr
