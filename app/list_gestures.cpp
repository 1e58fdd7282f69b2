#include "app/list_gestures.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files/datatypes.h"

namespace zr {

namespace {
// The status text that refuses a drop of these paths from another program,
// or "" when each is a file of one of the nine kinds.
std::string RefusalOfDroppedPaths(const std::vector<std::string>& paths)
{
  if (paths.empty())
    return "Nothing to transfer: drop files of the ZR4812";
  for (const std::string& path : paths) {
    const std::filesystem::path p(path);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec))
      return "Folders cannot be transferred: " + p.filename().string();
    if (!IsDataType(TypeOfFileName(p.filename().string())))
      return "Not a ZR4812 file: " + p.filename().string();
    if (!std::filesystem::is_regular_file(p, ec))
      return "No such file: " + p.filename().string();
  }
  return {};
}
} // namespace

// ---- ListAccess ----

int ListAccess::SelectedCount() const
{
  int n = 0;
  for (int i = 0, count = Count(); i < count; ++i)
    n += IsSelected(i) ? 1 : 0;
  return n;
}

int ListAccess::FirstSelected() const
{
  return NextSelected(-1);
}

int ListAccess::NextSelected(int after) const
{
  for (int i = std::max(after + 1, 0), count = Count(); i < count; ++i)
    if (IsSelected(i))
      return i;
  return -1;
}

// ---- Gestures ----

ListGestures::ListGestures(Transfers& transfers, ListAccess& card, ListAccess& internal, ListAccess& pc,
                           std::function<std::string()> pcFolder, std::function<void(const std::string&)> status)
    : transfers_(transfers), card_(card), internal_(internal), pc_(pc), pcFolder_(std::move(pcFolder)),
      status_(std::move(status))
{
}

bool ListGestures::AcceptsDrop(ListId target, ListId source) const
{
  switch (target) {
  case ListId::Card:
  case ListId::Internal:
    return source == ListId::Pc && SelectionHasKnownTypes();
  case ListId::Pc:
    return source == ListId::Card || source == ListId::Internal;
  }
  return false;
}

bool ListGestures::SelectionHasKnownTypes() const
{
  for (int i = pc_.FirstSelected(); i >= 0; i = pc_.NextSelected(i))
    if (!IsDataType(TypeOfFileName(pc_.Caption(i))))
      return false;
  return true;
}

std::vector<PcFileRef> ListGestures::SelectedPcFiles() const
{
  std::vector<PcFileRef> files;
  const std::string folder = pcFolder_();
  for (int i = pc_.FirstSelected(); i >= 0; i = pc_.NextSelected(i))
    files.push_back({folder, pc_.Caption(i)});
  return files;
}

void ListGestures::PCViewDragDrop(ListId source)
{
  // A drop is a transfer of its own: what was copied before is let go.
  if (!transfers_.Running())
    board.CopySource = CopySourceKind::None;
  if (source == ListId::Card) {
    std::vector<CardFileRef> files;
    for (int i = card_.FirstSelected(); i >= 0; i = card_.NextSelected(i))
      files.push_back({card_.ImageIndex(i), card_.Caption(i)});
    transfers_.Download(std::move(files), pcFolder_());
  } else if (source == ListId::Internal) {
    // A backup is one file of the type dragged: the card selection plays no part.
    const int type = internal_.FirstSelected();
    if (type >= 0)
      transfers_.Backup(type);
  }
}

void ListGestures::SolanoViewDragDrop()
{
  if (!transfers_.Running())
    board.CopySource = CopySourceKind::None;
  transfers_.Upload(SelectedPcFiles());
}

void ListGestures::InternalViewDragDrop()
{
  if (!transfers_.Running())
    board.CopySource = CopySourceKind::None;
  transfers_.Restore(SelectedPcFiles());
}

void ListGestures::DropPaths(ListId target, const std::vector<std::string>& paths)
{
  if (target == ListId::Pc || transfers_.Running())
    return;
  const std::string refusal = RefusalOfDroppedPaths(paths);
  if (!refusal.empty()) {
    status_(refusal);
    return;
  }
  if (target == ListId::Card)
    transfers_.Upload(PcFilesOf(paths));
  else
    transfers_.Restore(PcFilesOf(paths));
}

// ---- Copy and paste ----

void ListGestures::FillCopyList(ListAccess& list, bool furtherNamesEmpty, bool typeFromName)
{
  int filled = 0;
  for (int i = list.FirstSelected(); i >= 0 && filled < COPY_LIST_SIZE; i = list.NextSelected(i)) {
    CopyEntry& e = board.CopyList[filled];
    const std::string caption = list.Caption(i);
    e.name = furtherNamesEmpty && filled > 0 ? std::string() : caption;
    // PC items carry no data type of their own; their extension names it.
    e.type = typeFromName ? TypeOfFileName(caption) : list.ImageIndex(i);
    ++filled;
  }
  for (int k = filled; k < COPY_LIST_SIZE; ++k)
    board.CopyList[k] = CopyEntry{};
  // Items past the list's room are left out; the count says how many went in.
  board.CopyCount = filled;
}

void ListGestures::CopyFrom(ListAccess& list, const CopyRule& rule)
{
  if (list.SelectedCount() == 0)
    return;
  FillCopyList(list, rule.furtherNamesEmpty, rule.typeFromName);
  board.CopySource = rule.source;
  paste1Enabled_ = rule.paste1;
  paste2Enabled_ = rule.paste2;
}

// Card files pasted back onto the card would go nowhere new; internal data
// keeps only its first name; PC items name their kind by their extension.
void ListGestures::Copy1Click()
{
  CopyFrom(card_, {CopySourceKind::Card, false, false, false, true});
}

void ListGestures::Copy2Click()
{
  CopyFrom(internal_, {CopySourceKind::Internal, true, false, true, false});
}

void ListGestures::Copy4Click()
{
  CopyFrom(pc_, {CopySourceKind::Pc, false, true, true, true});
}

void ListGestures::Paste1Click()
{
  // Only PC files can go to the card; internal data pasted here does nothing.
  if (board.CopyCount == 0 || transfers_.Running() || board.CopySource != CopySourceKind::Pc)
    return;
  std::vector<PcFileRef> files;
  const std::string folder = pcFolder_();
  for (int i = 0; i < board.CopyCount; ++i)
    files.push_back({folder, board.CopyList[static_cast<std::size_t>(i)].name});
  transfers_.Upload(std::move(files));
}

void ListGestures::Paste4Click()
{
  PCViewDragDrop(ListId::Card);
}

} // namespace zr
