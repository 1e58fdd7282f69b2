// The engine's parts and how they are wired: the session as the engine runs
// it, both links, the pair the search steps through, the batch and
// connection control. The engine, its tests, benchmarks and tools see
// them; a front end does not (the build refuses this header in app/ and
// cli/).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/batch.h"
#include "engine/connection_control.h"
#include "engine/engine.h"
#include "engine/search_links.h"
#include "engine/session.h"
#include "link/comm.h"
#include "link/midi.h"

namespace zr {

// The session as the engine runs it: after each message of the console the
// engine sees what changed (the connection, the listing, idle) and tells
// its observer; what it shows goes to the engine's view as it happens.
class EngineSession : private View, public Session {
public:
  EngineSession(Host& host, Timers& timers, Engine& engine) : Session(host, *this, timers), engine_(engine) {}

  void OnIdentify(Link* via, int medium, bool ourConsole) override;
  void OnDataBlock(const InboundBlock& block) override;
  void OnDirectoryReply(int medium, int type, const std::vector<std::string>& names) override;
  void OnBlockRequest(Link* via, int medium, int type, unsigned block) override;
  void OnFileRequest(Link* via, int medium, int type) override;
  void SendRequestedBlock(Link& via, int type, unsigned block) override;
  void OnLinkFault(LinkFault fault, const ScreenText& text) override;
  void Resumed(const std::function<void()>& step) override;

private:
  Engine& engine_;
  // Tells the engine's view, when it has one.
  template <class... Params, class... Args> void Show(void (View::*event)(Params...), Args&&... args);
  // View
  void StatusChanged(const ScreenText& text) override;
  void ProgressShown(const ProgressView& progress) override;
  void ProgressClosed() override;
  void TransferRunning(bool running) override;
  void CardListCleared() override;
  void CardListAdded(int type, const std::vector<std::string>& names) override;
  void CardListSorted() override;
  void Noticed(const Notice& notice) override;
};

struct EngineParts {
  EngineParts(Host& host, Timers& timers, Engine& engine, EngineOptions& options);

  EngineSession session;
  ComLink com;
  MidiLink midi;
  LinkPair links;
  Batch batch;
  // The watchdogs' view of a window, when the front end has none.
  std::unique_ptr<ConnectionWindow> ownWindow;
  ConnectionControl control;
};

} // namespace zr
