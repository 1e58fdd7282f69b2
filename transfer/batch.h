// The user's transfers between the card list, the Internal Files list and
// the PC file list: which files go, in which order, how they are numbered,
// when the next one starts and how a batch ends. The main window's handlers
// delegate here in a line or two; the lists are seen through ListAccess.
#pragma once

#include <string>
#include <vector>

#include "transfer/batch_steps.h"
#include "transfer/session.h"

namespace zr {

// One of the main window's three lists, as the batch logic reads it.
class ListAccess {
public:
  virtual ~ListAccess() = default;
  virtual int Count() const = 0;
  virtual bool IsSelected(int index) const = 0;
  virtual std::string Caption(int index) const = 0;
  // Card and Internal Files items: the data type. PC items: -1.
  virtual int ImageIndex(int index) const = 0;

  int SelectedCount() const;
  int FirstSelected() const;         // -1 when nothing is selected
  int NextSelected(int after) const; // next selected item after `after` in list order, or -1
  // Whether an item with this caption exists (whole caption, case ignored).
  bool HasCaption(const std::string& caption) const;
};

enum class ListId { Card, Internal, Pc };

// Files given by their full paths (dropped from another program, chosen in
// an open dialog), all of them selected, in the order given.
class PathList : public ListAccess {
public:
  void Set(std::vector<std::string> paths);
  int Count() const override { return static_cast<int>(paths_.size()); }
  bool IsSelected(int) const override { return true; }
  std::string Caption(int index) const override;
  int ImageIndex(int) const override { return -1; }
  std::string Folder(int index) const;

private:
  std::vector<std::string> paths_;
};

// The status text that refuses a drop of these paths from another program,
// or "" when each is a file of one of the nine kinds.
std::string RefusalOfDroppedPaths(const std::vector<std::string>& paths);
// The box that ends a batch with failed files lists them, one a line.
bool IsBatchSummary(const std::string& boxText);

class Batch : public BatchSteps {
public:
  Batch(Session& session, ListAccess& card, ListAccess& internal, ListAccess& pc);

  // Drag-over acceptance for a drop on `target` of a drag from `source`.
  bool AcceptsDrop(ListId target, ListId source) const;
  bool SelectionHasKnownTypes() const;

  // Drops.
  void PCViewDragDrop(ListId source); // download (card) or backup (internal)
  void SolanoViewDragDrop();          // upload
  void InternalViewDragDrop();        // restore, with its checks and confirmation
  // Files from elsewhere (another program's drop, the open dialog) onto the
  // card list (upload) or Internal Files (restore): the same checks,
  // questions and confirmations as a drop from the PC list. A refusal goes
  // on the status line.
  void DropPaths(ListId target, const std::vector<std::string>& paths);

  // BatchSteps: what the engine asks after each file.
  int CardSelectedCount() override;
  int PcSelectedCount() override { return SendBatchCount(); }
  void RequestNextCardFile(int index) override;
  void SendNextPcFile(int index) override;
  // The card listing (card_listing.cpp): types 0 to 8, one at a time.
  void RequestCardDirectory(int type) override;
  void CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply) override;
  void FileFailed(const std::string& fileName, const std::string& reason) override;
  void BatchDone() override;

  void SendTimerTimer();

  // Whether a batch runs: from its start until its last file is done.
  bool Running() const override { return running_; }

  // Copy and paste (the clipboard part of Copy4/Cut4/Paste4 is the window's).
  void Copy1Click();
  void Copy2Click();
  void Copy4Click();
  void Paste1Click();
  void Paste4Click(); // the download part: acts like a drop of the card list on the PC list
  bool Paste1Enabled() const { return paste1Enabled_; }
  bool Paste2Enabled() const { return paste2Enabled_; }

  // The progress dialog's Cancel.
  void CancelBtnClick();

  // Files in the current send batch: the PC selection, or the copied
  // entries while a paste runs (Host::PcSelectedCount answers with this).
  int SendBatchCount() const;
  // Whether the current send batch takes its files from the copy list.
  bool PasteRunning() const { return pasteRunning_; }

private:
  struct CardFile {
    int type;
    std::string name;
  };

  int Medium() const;
  // A batch starts: the window takes no second one until FinishBatch.
  void BeginBatch();
  // The batch is over: what failed goes on the status line, the window is free.
  void FinishBatch();
  bool BeginSendBatch(bool internalMode);
  void StartUpload();
  void StartRestore();
  // Where the send batch's file at `index` is: its own folder for a path
  // list, else the folder selected in the PC pane.
  std::string FolderOf(int index) const;
  void SendNextSelectedFile(int index);
  void SendNextCopiedFile(int index);
  bool MayReplaceOnCard(const std::string& pcFileName);
  bool RefuseUnsendable(const std::string& pcFileName, const std::string& folder);
  bool Wanted(const std::string& pcFileName, const std::string& folder);
  bool StartFile(const std::string& pcFileName, const std::string& folder);
  void EndSendBatch();
  void FillCopyList(ListAccess& list, bool furtherNamesEmpty, bool typeFromName);

  Session& session_;
  ListAccess& card_;
  ListAccess& internal_;
  ListAccess& pc_;
  PathList paths_;
  ListAccess* files_ = &pc_; // the files of a send batch: the PC list, or paths_
  bool paste1Enabled_ = false;
  bool paste2Enabled_ = false;
  bool pasteRunning_ = false;
  int filesStarted_ = 0;    // files of the current send batch handed to the engine
  bool lastSentOs_ = false; // the last file sent was an operating-system update
  bool running_ = false;
  // The card files of a download, fixed when it starts: a re-sorted list
  // neither repeats nor skips one. CardIndex is the position in here.
  std::vector<CardFile> downloadFiles_;
  int batchFiles_ = 0;              // files the batch holds, for the failure count
  std::vector<std::string> failed_; // "name: reason", in the order they failed
};

} // namespace zr
