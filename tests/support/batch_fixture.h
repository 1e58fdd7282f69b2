// A session with the three lists, a fake window side wired to the batch the
// way the main window is, a fake serial link and a temporary PC folder; the
// test plays the console by answering what the link was given.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/engine_fixture.h"
#include "tests/support/fake_lists.h"
#include "engine/batch.h"
#include "files/datatypes.h"

namespace zr::test {

class BatchTest : public ::testing::Test {
protected:
  BatchTest()
  {
    session.Com = &com;
    session.link.CommMedium = 1;
    session.link.ConnectedComPort = 3;
    host.pcFolder = folder.str();
    host.Attach(batch);
    host.onRequestNextCardFile = [this](int i) { batch.RequestNextCardFile(i); };
    host.onSendNextPcFile = [this](int i) { batch.SendNextPcFile(i); };
    fakeTimers.send.SetHandler([this] { batch.PauseOver(); });
  }

  // Card files as a listing brings them: in the card list and known to
  // the batch.
  void ListCardFiles(const std::vector<std::pair<std::string, int>>& files)
  {
    batch.ListCard();
    for (int type = 0; type < DATA_TYPE_COUNT; ++type) {
      std::vector<std::string> names;
      for (const auto& [name, t] : files)
        if (t == type)
          names.push_back(name);
      // The session hears each reply too: it counts the directory requests
      // on their way (the markers rely on that), then the batch lists it.
      session.OnDirectoryReply(1, type, names);
      batch.CardDirectoryReply(type, names, false);
    }
    card.items.clear();
    for (const auto& [name, type] : files)
      card.Add(name, type);
  }

  // A PC file in the folder and a row for it in the PC list.
  void AddPcFile(const std::string& name, std::size_t size = 100)
  {
    WriteFile(folder.path() / name, RandomBytes(size, static_cast<unsigned>(name.size() * 31 + size)));
    pc.Add(name);
  }

  // The console sends card file number `request` (as asked for by the PC)
  // block by block, answering every block request.
  void ServeCardFile(std::size_t request, const Bytes& file)
  {
    ASSERT_LT(request, com.fileNames.size());
    const int type = com.fileNames[request].type;
    const auto total = static_cast<std::uint32_t>(BlockCount(file.size()));
    std::size_t handled = com.blockRequests.size();
    Deliver(BuildFileBlock(type, file.data(), static_cast<std::uint32_t>(file.size()), 0));
    while (com.blockRequests.size() > handled) {
      const unsigned k = com.blockRequests[handled++].block;
      if (k >= total)
        break;
      Deliver(BuildFileBlock(type, file.data(), static_cast<std::uint32_t>(file.size()), k));
    }
    Settle();
  }

  // The pause after a received card file runs out: the batch asks for the
  // next one, or ends.
  void Settle()
  {
    if (fakeTimers.send.IsActive())
      fakeTimers.send.Fire();
  }

  // Hands a data block to RxTransfer as the dispatch does.
  void Deliver(const Bytes& message)
  {
    auto m = ParseMessage(message.data(), message.size());
    ASSERT_TRUE(m.has_value());
    if (session.batch.CancelRequested)
      return;
    session.RxTransfer.Medium = 1;
    session.RxTransfer.DataType = m->type;
    if (m->block == session.RxTransfer.BlockNr)
      session.ReceiveFileBlock(m->total, message.data() + 13, message.size() - DATA_BLOCK_OVERHEAD);
  }

  // The console acknowledges file name `offer` and asks for every block of
  // it. The engine may start the next file from inside the last answer.
  void AcceptUpload(std::size_t offer)
  {
    ASSERT_LT(offer, com.fileNames.size());
    ASSERT_FALSE(com.fileNames[offer].request);
    const int type = com.fileNames[offer].type;
    session.TxTransfer.Medium = 1;
    const auto total = BlockCount(session.TxTransfer.Size);
    for (unsigned k = 0; k < total; ++k) {
      if (session.batch.SendFinished && k > 0)
        break; // the dispatch ignores requests then
      session.SendRequestedBlock(com, type, k);
    }
  }

  // The card names offered to the console so far.
  std::vector<std::string> Offered() const
  {
    std::vector<std::string> names;
    for (const auto& f : com.fileNames)
      if (!f.request)
        names.push_back(f.name);
    return names;
  }

  TempFolder folder;
  FakeList card;
  FakeList internal = InternalFilesList();
  FakeList pc;
  ListHost host;
  FakeTimers fakeTimers;
  FakeLink com{TextId::NoComPort};
  TestSession session{host, fakeTimers.timers};
  Batch batch{session};
  TransfersOf<Batch> transfers{batch};
  ListGestures gestures{transfers, card, internal, pc, [this] { return host.SelectedPcFolder(); },
                        [this](const std::string& text) { host.statuses.push_back(text); }};
};

} // namespace zr::test
