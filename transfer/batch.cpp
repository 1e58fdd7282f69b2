#include "transfer/batch.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "transfer/datatypes.h"
#include "transfer/pc_path.h"

namespace zr {

namespace {

constexpr const char* REPLACE_QUESTION = "File already exists!\nReplace the file named ";
constexpr const char* NOTHING_TO_RESTORE = "Select one or more files to restore.";
constexpr const char* ONE_OF_EACH_TYPE = "You can only restore ONE file of each type.";
constexpr const char* PROJECT_ALONE =
    "If you restore a 'Project (all)' file, all files of types other than 'Operating System' are "
    "replaced.\n\nSelect either a 'Project (all)' file or a combination of other files.";
constexpr const char* RESTORE_QUESTION = "Are you sure you want to replace the current settings in the ZR4812!";

constexpr int PROJECT_TYPE = 0;

// ASCII only: the captions are console names and file names, and the C
// library's case folding follows the locale.
bool SameIgnoringAsciiCase(const std::string& a, const std::string& b)
{
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
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

int ListAccess::FirstSelected() const { return NextSelected(-1); }

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

int Batch::Medium() const { return session_.link.CommMedium; }

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

void Batch::PCViewDragDrop(ListId source)
{
  BatchState& b = session_.batch;
  if (source != ListId::Card && source != ListId::Internal)
    return;
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
  if (type >= 0)
    session_.BackupInternal(Medium(), type);
}

void Batch::Paste4Click() { PCViewDragDrop(ListId::Card); }

void Batch::RequestNextCardFile(int index)
{
  BatchState& b = session_.batch;
  if (index < 0) {
    const int first = card_.FirstSelected();
    if (first < 0)
      return;
    b.CardIndex = first;
    session_.RequestCardFile(Medium(), card_.ImageIndex(first), card_.Caption(first));
    return;
  }
  // Looked up afresh in the selection, so files go in the list's order,
  // not in the order the user picked them.
  const int next = card_.NextSelected(index);
  if (next < 0)
    return;
  session_.RequestCardFile(Medium(), card_.ImageIndex(next), card_.Caption(next));
  b.CardIndex = next;
  ++b.FileNr;
}

// ---- PC to card, and restore ----

void Batch::BeginSendBatch(bool internalMode)
{
  BatchState& b = session_.batch;
  b.SendFinished = false;
  b.InternalMode = internalMode;
  b.FileNr = 1;
  b.CopySource = CopySourceKind::None;
  pasteRunning_ = false;
  filesStarted_ = 0;
}

void Batch::SolanoViewDragDrop()
{
  BeginSendBatch(false);
  if (pc_.SelectedCount() > 0)
    SendNextPcFile(-1);
}

void Batch::InternalViewDragDrop()
{
  BeginSendBatch(true);
  Host& host = session_.host;
  const int selected = pc_.SelectedCount();
  if (selected == 0) {
    host.ShowMessage(NOTHING_TO_RESTORE, BoxIcon::Information, BoxButtons::Ok);
    return;
  }
  if (selected > 1) {
    int counters[DATA_TYPE_COUNT] = {};
    for (int i = pc_.FirstSelected(); i >= 0; i = pc_.NextSelected(i)) {
      const int type = TypeOfFileName(pc_.Caption(i));
      if (IsDataType(type))
        ++counters[type];
    }
    // Several operating-system files may go one after the other; every
    // other kind replaces the console's settings, so one of each.
    bool twice = false;
    bool othersWithProject = false;
    for (int type = 0; type < OPERATING_SYSTEM_TYPE; ++type) {
      twice = twice || counters[type] > 1;
      othersWithProject = othersWithProject || (type != PROJECT_TYPE && counters[type] != 0);
    }
    if (twice) {
      host.ShowMessage(ONE_OF_EACH_TYPE, BoxIcon::Information, BoxButtons::Ok);
      return;
    }
    if (counters[PROJECT_TYPE] != 0 && othersWithProject) {
      host.ShowMessage(PROJECT_ALONE, BoxIcon::Information, BoxButtons::Ok);
      return;
    }
  }
  if (host.ShowMessage(RESTORE_QUESTION, BoxIcon::Warning, BoxButtons::YesNo) != BoxAnswer::Yes)
    return;
  SendNextPcFile(-1);
}

void Batch::SendNextPcFile(int index)
{
  if (pasteRunning_)
    SendNextCopiedFile(index);
  else
    SendNextSelectedFile(index);
}

void Batch::SendNextSelectedFile(int index)
{
  BatchState& b = session_.batch;
  int after = index;
  if (after < 0) {
    // The first file starts at once.
    const int first = pc_.FirstSelected();
    if (first < 0) {
      EndSendBatch();
      return;
    }
    b.PcIndex = first;
    if (StartFileIfWanted(pc_.Caption(first)))
      return;
    after = first; // skipped: it keeps number 1, the next one counts on from there
  }
  for (;;) {
    const int next = pc_.NextSelected(after);
    if (next < 0) {
      // Everything after the last file sent was skipped: end the batch here
      // instead of leaving the previous file's progress up.
      EndSendBatch();
      return;
    }
    const std::string name = pc_.Caption(next);
    if (!RefuseUnsendable(name) && (b.InternalMode || MayReplaceOnCard(name))) {
      // The console gets a pause before the next file; SendTimerTimer starts it.
      b.PendingPcItem = after;
      session_.timers.SendTimer.Start();
      return;
    }
    b.PcIndex = next;
    ++b.FileNr;
    after = next;
  }
}

bool Batch::StartFileIfWanted(const std::string& pcFileName)
{
  if (RefuseUnsendable(pcFileName))
    return false;
  if (!session_.batch.InternalMode && !MayReplaceOnCard(pcFileName))
    return false;
  StartFile(pcFileName);
  return true;
}

void Batch::SendTimerTimer()
{
  BatchState& b = session_.batch;
  session_.timers.SendTimer.Stop(); // once per file
  // Cancelled during the pause: the next file must not go.
  if (b.SendFinished || pasteRunning_)
    return;
  const int next = pc_.NextSelected(b.PendingPcItem);
  if (next < 0) {
    EndSendBatch();
    return;
  }
  b.PcIndex = next;
  ++b.FileNr;
  // The file may have gone in the pause; then the batch moves on.
  const std::string name = pc_.Caption(next);
  if (RefuseUnsendable(name))
    SendNextSelectedFile(next);
  else
    StartFile(name);
}

void Batch::SendNextCopiedFile(int index)
{
  BatchState& b = session_.batch;
  // Pasted files go one right after the other, with no replace question:
  // the user chose them for the card explicitly.
  for (int after = index;;) {
    const int entry = after + 1;
    if (entry >= b.CopyCount) {
      EndSendBatch();
      return;
    }
    b.PcIndex = entry;
    if (after >= 0)
      ++b.FileNr;
    const std::string& name = b.CopyList[entry].name;
    if (!RefuseUnsendable(name)) {
      StartFile(name);
      return;
    }
    after = entry;
  }
}

bool Batch::MayReplaceOnCard(const std::string& pcFileName)
{
  // Names only: a card file of another type with the same name is still
  // worth the question, since the console shows them side by side.
  const std::string cardName = CardNameOf(pcFileName);
  if (!card_.HasCaption(cardName))
    return true;
  return session_.host.ShowMessage(REPLACE_QUESTION + cardName + " ?", BoxIcon::Warning, BoxButtons::YesNo) ==
         BoxAnswer::Yes;
}

bool Batch::RefuseUnsendable(const std::string& pcFileName)
{
  // Checked before the engine gets the name: the engine stops at a file it
  // cannot load, and the rest of the batch would never go.
  Filer& tx = session_.TxTransfer;
  int error = ERR_NONE;
  int medium = MEDIUM_PC_FILE;
  if (!IsDataType(TypeOfFileName(pcFileName))) {
    error = ERR_UNKNOWN_TYPE;
  } else {
    const std::string path = JoinPcPath(session_.host.SelectedPcFolder(), pcFileName, error);
    std::error_code ec;
    if (error == ERR_NONE && !std::filesystem::is_regular_file(path, ec)) {
      error = ERR_NO_FILE; // "No file loaded"
    } else if (error == ERR_NONE && (std::filesystem::file_size(path, ec) == 0 || ec)) {
      // An empty file has no blocks: the console would wait for one forever.
      // Said as the link says it, "No file to send", without offering it first.
      error = ERR_NO_FILE;
      medium = Medium() == MEDIUM_PC_FILE ? MEDIUM_COM : Medium();
    }
  }
  if (error == ERR_NONE)
    return false;
  tx.Medium = medium;
  tx.Error = error;
  tx.ReportError(1);
  return true;
}

void Batch::StartFile(const std::string& pcFileName)
{
  ++filesStarted_;
  // The engine alters the text it is given: it gets its own copy, whole.
  if (session_.batch.InternalMode)
    session_.RestoreInternal(Medium(), pcFileName);
  else
    session_.SendFileToCard(Medium(), pcFileName);
}

void Batch::EndSendBatch()
{
  BatchState& b = session_.batch;
  b.SendFinished = true;
  // Nothing went out: no progress was shown, the card is unchanged, and the
  // status line keeps whatever it says (a refusal, say).
  if (filesStarted_ == 0)
    return;
  session_.host.ProgressClose();
  session_.steps().RequestCardDirectory(-1);
  session_.ShowConnectionStatus();
}

int Batch::SendBatchCount() const { return pasteRunning_ ? session_.batch.CopyCount : pc_.SelectedCount(); }

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
  if (b.CopyCount == 0)
    return;
  const CopySourceKind source = b.CopySource;
  b.SendFinished = false;
  b.InternalMode = false;
  b.FileNr = 1;
  pasteRunning_ = false;
  filesStarted_ = 0;
  // Only PC files can go to the card; internal data pasted here does nothing.
  if (source != CopySourceKind::Pc)
    return;
  pasteRunning_ = true;
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
}

} // namespace zr
