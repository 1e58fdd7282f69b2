#include "transfer/batch.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "transfer/datatypes.h"
#include "transfer/pc_path.h"

namespace zr {

namespace {

// ASCII only: the captions are console names and file names, and the C
// library's case folding follows the locale.
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b)
{
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

constexpr const char* SUMMARY_MARK = " files failed:\n";

} // namespace

// ---- Paths from elsewhere ----

void PathList::Set(std::vector<std::string> paths)
{
  paths_ = std::move(paths);
}

std::string PathList::Caption(int index) const
{
  return std::filesystem::path(paths_[static_cast<std::size_t>(index)]).filename().string();
}

std::string PathList::Folder(int index) const
{
  return std::filesystem::path(paths_[static_cast<std::size_t>(index)]).parent_path().string();
}

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

bool IsBatchSummary(const std::string& boxText)
{
  const std::size_t line = boxText.find('\n');
  return line != std::string::npos && line + 1 >= std::char_traits<char>::length(SUMMARY_MARK) &&
         boxText.compare(line + 1 - std::char_traits<char>::length(SUMMARY_MARK),
                         std::char_traits<char>::length(SUMMARY_MARK), SUMMARY_MARK) == 0;
}

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

bool ListAccess::HasCaption(const std::string& caption) const
{
  for (int i = 0, count = Count(); i < count; ++i)
    if (SameIgnoringAsciiCase(Caption(i), caption))
      return true;
  return false;
}

// ---- Batch ----

Batch::Batch(Session& session, ListAccess& card, ListAccess& internal, ListAccess& pc)
    : session_(session), card_(card), internal_(internal), pc_(pc)
{
}

int Batch::Medium() const
{
  return session_.link.CommMedium;
}

bool Batch::AcceptsDrop(ListId target, ListId source) const
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

bool Batch::SelectionHasKnownTypes() const
{
  for (int i = pc_.FirstSelected(); i >= 0; i = pc_.NextSelected(i))
    if (!IsDataType(TypeOfFileName(pc_.Caption(i))))
      return false;
  return true;
}

// ---- Card to PC, and backup ----

void Batch::BeginBatch()
{
  running_ = true;
  failed_.clear();
  session_.batch.ReplaceAll.reset();
  lastSentOs_ = false;
  session_.host.SetTransferRunning(true);
}

void Batch::FinishBatch()
{
  if (!running_)
    return;
  running_ = false;
  files_ = &pc_;
  session_.host.SetTransferRunning(false);
  if (failed_.empty())
    return;
  const int failures = static_cast<int>(failed_.size());
  char count[64];
  std::snprintf(count, sizeof count, "%d of %d", failures, std::max(batchFiles_, failures));
  session_.SetStatusText(std::string(count) + " files failed (first: " + failed_.front() + ")");
  // The status line keeps only the first and the next status overwrites it:
  // one box at the end names every file and why.
  std::string text = std::string(count) + SUMMARY_MARK;
  for (const std::string& line : failed_)
    text += "\n" + line;
  session_.host.ShowMessage(text, BoxIcon::Warning, BoxButtons::Ok);
}

void Batch::FileFailed(const std::string& fileName, const std::string& reason)
{
  if (!running_)
    return;
  failed_.push_back(fileName + ": " + reason);
}

void Batch::BatchDone()
{
  FinishBatch();
}

void Batch::PCViewDragDrop(ListId source)
{
  BatchState& b = session_.batch;
  if (source != ListId::Card && source != ListId::Internal)
    return;
  if (running_)
    return; // one batch at a time
  b.CancelRequested = false;
  b.FileNr = 1;
  b.CopySource = CopySourceKind::None;
  pasteRunning_ = false;
  if (source == ListId::Card) {
    b.InternalMode = false;
    if (card_.SelectedCount() > 0)
      RequestNextCardFile(-1);
    return;
  }
  // A backup is one file of the type dragged: the card selection plays no part.
  b.InternalMode = true;
  const int type = internal_.FirstSelected();
  if (type < 0)
    return;
  BeginBatch();
  batchFiles_ = 1;
  // A cancelled save dialog or a missing link ends it at once; either has
  // said so already (or, cancelled, has nothing to say).
  if (!session_.BackupInternal(Medium(), type))
    FinishBatch();
}

void Batch::Paste4Click()
{
  PCViewDragDrop(ListId::Card);
}

int Batch::CardSelectedCount()
{
  return running_ && !session_.batch.InternalMode ? static_cast<int>(downloadFiles_.size())
                                                  : card_.SelectedCount();
}

void Batch::RequestNextCardFile(int index)
{
  BatchState& b = session_.batch;
  std::size_t position = 0;
  if (index < 0) {
    // The files are fixed now: replies that re-sort the list meanwhile
    // must neither repeat nor skip one.
    downloadFiles_.clear();
    for (int i = card_.FirstSelected(); i >= 0; i = card_.NextSelected(i))
      downloadFiles_.push_back({card_.ImageIndex(i), card_.Caption(i)});
    if (downloadFiles_.empty())
      return;
    BeginBatch();
    batchFiles_ = static_cast<int>(downloadFiles_.size());
  } else {
    if (!running_)
      return;
    position = static_cast<std::size_t>(b.CardIndex) + 1;
  }
  bool failed = false;
  for (; position < downloadFiles_.size(); ++position) {
    const CardFile& file = downloadFiles_[position];
    b.CardIndex = static_cast<int>(position);
    b.FileNr = static_cast<int>(position) + 1;
    if (session_.RequestCardFile(Medium(), file.type, file.name))
      return;
    const int type = file.type;
    FileFailed(IsDataType(type) ? file.name + "." + DataTypeTable[type].extension : file.name,
               session_.RxTransfer.LastFailure);
    failed = true;
  }
  // Every file that was left failed to start: nothing will call back, so
  // the batch ends here.
  if (failed) {
    session_.host.ProgressClose();
    FinishBatch();
  }
}

// ---- Copy and paste ----

void Batch::FillCopyList(ListAccess& list, bool furtherNamesEmpty, bool typeFromName)
{
  BatchState& b = session_.batch;
  int filled = 0;
  for (int i = list.FirstSelected(); i >= 0 && filled < COPY_LIST_SIZE; i = list.NextSelected(i)) {
    CopyEntry& e = b.CopyList[filled];
    const std::string caption = list.Caption(i);
    e.name = furtherNamesEmpty && filled > 0 ? std::string() : caption;
    // PC items carry no data type of their own; their extension names it.
    e.type = typeFromName ? TypeOfFileName(caption) : list.ImageIndex(i);
    ++filled;
  }
  for (int k = filled; k < COPY_LIST_SIZE; ++k)
    b.CopyList[k] = CopyEntry{};
  // Items past the list's room are left out; the count says how many went in.
  b.CopyCount = filled;
}

void Batch::Copy1Click()
{
  if (card_.SelectedCount() == 0)
    return;
  FillCopyList(card_, false, false);
  session_.batch.CopySource = CopySourceKind::Card;
  // Card files pasted back onto the card would go nowhere new.
  paste1Enabled_ = false;
  paste2Enabled_ = true;
}

void Batch::Copy2Click()
{
  if (internal_.SelectedCount() == 0)
    return;
  FillCopyList(internal_, true, false);
  session_.batch.CopySource = CopySourceKind::Internal;
  paste1Enabled_ = true;
  paste2Enabled_ = false;
}

void Batch::Copy4Click()
{
  if (pc_.SelectedCount() == 0)
    return;
  FillCopyList(pc_, false, true);
  session_.batch.CopySource = CopySourceKind::Pc;
  paste1Enabled_ = true;
  paste2Enabled_ = true;
}

void Batch::Paste1Click()
{
  BatchState& b = session_.batch;
  if (b.CopyCount == 0 || running_)
    return;
  const CopySourceKind source = b.CopySource;
  b.SendFinished = false;
  b.InternalMode = false;
  b.FileNr = 1;
  pasteRunning_ = false;
  filesStarted_ = 0;
  files_ = &pc_;
  // Only PC files can go to the card; internal data pasted here does nothing.
  if (source != CopySourceKind::Pc)
    return;
  pasteRunning_ = true;
  BeginBatch();
  batchFiles_ = b.CopyCount;
  SendNextPcFile(-1);
}

// ---- Cancel ----

void Batch::CancelBtnClick()
{
  BatchState& b = session_.batch;
  b.CancelRequested = true;
  b.SendFinished = true;
  session_.host.ProgressClose();
  session_.ShowConnectionStatus();
  session_.RxTransfer.FreeBuffer();
  // Nothing awaited any more: a late block or request touches nothing.
  session_.RxTransfer.Expecting = false;
  session_.TxTransfer.Offered = false;
  session_.timers.SendTimer.Stop();
  FinishBatch();
}

} // namespace zr
