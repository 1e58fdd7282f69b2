// The window's gestures on its three lists — drops, copy and paste, the
// backup and restore commands — turned into the engine's intents. Each
// handler reads the lists' selection and asks the batch in a few lines; the
// engine never sees a list. No Qt here, so the gestures are tested without a
// screen.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "files/file_refs.h"

namespace zr {

// What the gestures start: the engine's intents (TransfersOf<Engine>), or
// in a test those of a bare batch.
class Transfers {
public:
  virtual ~Transfers() = default;
  virtual bool Running() const = 0;
  virtual void Download(std::vector<CardFileRef> files, std::string folder) = 0;
  virtual void Backup(int type) = 0; // the save dialog asks where
  virtual void Upload(std::vector<PcFileRef> files) = 0;
  virtual void Restore(std::vector<PcFileRef> files) = 0;
};

template <class Intents>
class TransfersOf : public Transfers {
public:
  explicit TransfersOf(Intents& intents) : intents_(intents) {}
  bool Running() const override { return intents_.Running(); }
  void Download(std::vector<CardFileRef> files, std::string folder) override
  {
    intents_.Download(std::move(files), std::move(folder));
  }
  void Backup(int type) override { intents_.Backup(type); }
  void Upload(std::vector<PcFileRef> files) override { intents_.Upload(std::move(files)); }
  void Restore(std::vector<PcFileRef> files) override { intents_.Restore(std::move(files)); }

private:
  Intents& intents_;
};

// One of the main window's three lists, as the gestures read it.
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
};

enum class ListId { Card, Internal, Pc };

enum class CopySourceKind { None = 0, Card = 1, Internal = 2, Pc = 3 };

struct CopyEntry {
  std::string name;
  int type = -1; // image index of the copied item; -1 marks an empty entry
};

constexpr int COPY_LIST_SIZE = 256;

// What the last Copy put aside, for Paste.
struct CopyBoard {
  CopySourceKind CopySource = CopySourceKind::None;
  std::array<CopyEntry, COPY_LIST_SIZE> CopyList{};
  int CopyCount = 0; // entries filled by the last Copy
};

class ListGestures {
public:
  // `pcFolder` tells the folder the PC list shows; `status` writes the
  // status line.
  ListGestures(Transfers& transfers, ListAccess& card, ListAccess& internal, ListAccess& pc,
               std::function<std::string()> pcFolder, std::function<void(const std::string&)> status);

  // Drag-over acceptance for a drop on `target` of a drag from `source`.
  bool AcceptsDrop(ListId target, ListId source) const;
  bool SelectionHasKnownTypes() const;

  // Drops.
  void PCViewDragDrop(ListId source); // download (card) or backup (internal)
  void SolanoViewDragDrop();          // upload
  void InternalViewDragDrop();        // restore, with its checks and confirmation
  // Files from elsewhere (another program's drop, the open dialog) onto the
  // card list (upload) or Internal Files (restore). A refusal goes on the
  // status line.
  void DropPaths(ListId target, const std::vector<std::string>& paths);

  // Copy and paste (the clipboard part of Copy4/Cut4/Paste4 is the window's).
  void Copy1Click();
  void Copy2Click();
  void Copy4Click();
  void Paste1Click();
  void Paste4Click(); // the download part: acts like a drop of the card list on the PC list
  bool Paste1Enabled() const { return paste1Enabled_; }
  bool Paste2Enabled() const { return paste2Enabled_; }

  CopyBoard board;

private:
  std::vector<PcFileRef> SelectedPcFiles() const;
  // What a Copy from one list puts aside and which pastes it enables.
  struct CopyRule {
    CopySourceKind source;
    bool furtherNamesEmpty;
    bool typeFromName;
    bool paste1;
    bool paste2;
  };
  void CopyFrom(ListAccess& list, const CopyRule& rule);
  void FillCopyList(ListAccess& list, bool furtherNamesEmpty, bool typeFromName);

  Transfers& transfers_;
  ListAccess& card_;
  ListAccess& internal_;
  ListAccess& pc_;
  std::function<std::string()> pcFolder_;
  std::function<void(const std::string&)> status_;
  bool paste1Enabled_ = false;
  bool paste2Enabled_ = false;
};

} // namespace zr
