// A list of the main window as the batch logic sees it, and a window side
// whose selection counts come from those lists, for the batch tests.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/fakes.h"
#include "app/list_gestures.h"
#include "engine/batch.h"

namespace zr::test {

class FakeList : public ListAccess {
public:
  struct Item {
    std::string caption;
    int image = -1;
    bool selected = false;
  };

  FakeList() = default;
  // Captions with image index -1 (PC items).
  FakeList(std::initializer_list<std::string> captions);

  int Count() const override { return static_cast<int>(items.size()); }
  bool IsSelected(int index) const override { return items.at(index).selected; }
  std::string Caption(int index) const override { return items.at(index).caption; }
  int ImageIndex(int index) const override { return items.at(index).image; }

  void Add(const std::string& caption, int image = -1) { items.push_back({caption, image, false}); }
  // Selects exactly these items, in the order given (order must not matter).
  void Select(std::initializer_list<int> indexes);
  void SelectAll();

  std::vector<Item> items;
};

// The nine rows of the Internal Files list: item i is data type i.
FakeList InternalFilesList();

// FakeHost that hands the engine's steps to the batch, recording the
// failures and ends on the way.
class ListHost : public FakeHost {
public:
  void Attach(Batch& batch) { batch_ = &batch; }
  int CardSelectedCount() override { return batch_ ? batch_->CardSelectedCount() : 0; }
  int PcSelectedCount() override { return batch_ ? batch_->SendBatchCount() : 0; }
  void FileFailed(const std::string& fileName, const std::string& reason) override
  {
    FakeHost::FileFailed(fileName, reason);
    if (batch_)
      batch_->FileFailed(fileName, reason);
  }
  void FileEnded(const FileEnd& end) override
  {
    if (end.outcome == FileOutcome::Failed)
      FakeHost::FileFailed(end.name, end.reason);
    if (batch_)
      batch_->FileEnded(end);
  }
  void FileProgress(int done, int total) override
  {
    if (batch_)
      batch_->FileProgress(done, total);
  }
  bool AskReplace(const ReplaceQuestion& q, const zr::Reply<ReplaceAnswer>& reply) override
  {
    return batch_ && batch_->AskReplace(q, reply);
  }
  bool ShowsProgress() const override { return batch_ ? batch_->ShowsProgress() : true; }
  void BatchDone() override
  {
    FakeHost::BatchDone();
    if (batch_)
      batch_->BatchDone();
  }
  bool Running() const override { return batch_ && batch_->Running(); }
  void ReceivedFileDone(bool saved) override
  {
    FakeHost::ReceivedFileDone(saved);
    if (batch_)
      batch_->ReceivedFileDone(saved);
  }
  void QuestionOpen(bool open) override
  {
    if (batch_)
      batch_->QuestionOpen(open);
  }

private:
  Batch* batch_ = nullptr;
};

} // namespace zr::test
