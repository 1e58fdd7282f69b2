#include "engine/session.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <utility>

#include "files/datatypes.h"
#include "files/disk.h"
#include "files/pc_path.h"

namespace zr {

namespace {
constexpr const char* BACKUP_DIALOG_TITLE = "Save current settings as...";

// The link a command of `filer` goes out on; none after telling the user so.
Link* SelectedLink(Session& session, Filer& filer, int medium)
{
  Link* l = session.LinkFor(medium);
  if (!l) {
    session.ShowStatus({TextId::NoPortSelected});
    filer.LastFailure = Render({TextId::NoPortSelected});
  }
  return l;
}

// The link could not send the request: nothing will answer it, so the file
// is over before it began (the link has said so on the status line).
bool CannotSend(Filer& filer, Link& link)
{
  filer.Expecting = false;
  filer.Offered = false;
  return filer.RequestNotSent(&link);
}
} // namespace

Session::Session(Host& h, View& v, Timers& t) : SessionCore(h, v, t), RxTransfer(*this), TxTransfer(*this) {}

void Session::RequestTypeDirectory(int medium, int type)
{
  if (Link* l = LinkFor(medium); l && l->RequestDirectory(type)) {
    resync_.DirectorySent(type);
    ArmDirectoryWatchdog();
    Asking(Asked::Directory, medium, type);
  }
}

bool Session::RequestCardFile(int medium, int type, const std::string& cardName, const std::string& folder,
                              const std::string& pcStem)
{
  Filer& rx = RxTransfer;
  rx.Expecting = false; // whatever was awaited before is given up
  rx.LastFailure.clear();
  rx.LastError = ERR_NONE;
  if (!IsDataType(type)) {
    rx.Error = ERR_UNKNOWN_TYPE;
    rx.ReportError(0);
    return false;
  }
  rx.DataType = type;
  rx.Medium = medium;
  rx.BlockNr = 0;
  rx.DamagedTries = 0;
  rx.Doubted.reset();
  rx.CardName = cardName;
  // The name comes from the console: it must not lead the file out of the
  // folder the user chose.
  rx.BuildPcPath(folder, pcStem.empty() ? SafePcFileName(cardName) : pcStem);
  if (rx.Error != ERR_NONE) {
    rx.ReportError(0);
    return false;
  }
  return AskFirstBlock(medium);
}

bool Session::AskFirstBlock(int medium)
{
  Filer& rx = RxTransfer;
  Link* l = SelectedLink(*this, rx, medium);
  if (!l)
    return false;
  rx.Expecting = true;
  if (!AskBlock(unclean_ ? Ask::BehindMarker : Ask::Fresh))
    return CannotSend(rx, *l);
  return true;
}

bool Session::SendFileToCard(int medium, std::string pcFileName, const std::string& folder,
                             const std::string& givenCardName)
{
  Filer& tx = TxTransfer;
  const std::string shownName = pcFileName; // the name as the folder holds it
  // From here on the record holds another file: requests for the previous one go unanswered.
  tx.Offered = false;
  tx.EndOfFileDone = false;
  tx.GoAhead = false;
  tx.LastFailure.clear();
  tx.LastError = ERR_NONE;
  tx.DataType = TypeFromFileName(pcFileName);
  tx.Medium = MEDIUM_PC_FILE;
  tx.BlockNr = 0;
  if (!IsDataType(tx.DataType)) {
    // A pasted name without one of the nine extensions: nothing to look up.
    tx.Error = ERR_UNKNOWN_TYPE;
    tx.ReportError(1);
    return false;
  }
  const std::string cut = WithoutExtension(pcFileName);
  tx.SetPcPath(folder, shownName);
  if (tx.Error == ERR_NONE)
    tx.LoadData();
  const std::string cardName = givenCardName.empty() ? CardFileName(cut) : givenCardName;
  if (tx.Error == ERR_NONE && cardName.empty()) {
    // ".kpr" has a type but no name the card could show.
    tx.FreeBuffer();
    tx.Error = ERR_NO_CARD_NAME;
  }
  if (tx.Error != ERR_NONE) {
    tx.ReportError(1);
    return false;
  }
  Link* l = SelectedLink(*this, tx, medium);
  if (!l)
    return false;
  tx.Offered = true;
  tx.CardName = cardName;
  if (!l->SendFileName(tx.DataType, cardName, false))
    return CannotSend(tx, *l);
  ArmWatchdog(tx.DataType);
  AwaitRequest(medium, cardName.size() + 10);
  return true;
}

bool Session::BackupInternal(int medium, int type, const std::optional<std::string>& path,
                             std::function<void(bool started)> later)
{
  Filer& rx = RxTransfer;
  rx.Expecting = false;
  rx.LastFailure.clear();
  rx.LastError = ERR_NONE;
  rx.WrongExtension = false;
  // Answered at once, the result is returned; answered later, `later` hears it.
  auto now = std::make_shared<std::optional<bool>>();
  auto waiting = std::make_shared<bool>(false);
  ChooseBackupFile(type, path, [this, medium, now, waiting, later](const std::string& chosen) {
    const bool started = StartBackup(medium, chosen);
    if (!*waiting)
      *now = started;
    else if (later)
      later(started);
  });
  if (*now)
    return **now;
  *waiting = true;
  return true;
}

bool Session::StartBackup(int medium, const std::string& chosen)
{
  Filer& rx = RxTransfer;
  rx.PcPath = chosen;
  rx.ReplaceAgreed = !rx.PcPath.empty() && ExistingFileSize(rx.PcPath).has_value();
  if (rx.Error != ERR_NONE) {
    // Cancelled dialog: nothing to say. Anything else deserves a word.
    if (rx.Error == ERR_NO_FILE)
      rx.Error = ERR_NONE;
    else
      rx.ReportError(0);
    return false;
  }
  ShowStatus({TextId::BackingUp});
  rx.Medium = medium;
  rx.BlockNr = 0;
  rx.DamagedTries = 0;
  rx.Doubted.reset();
  rx.CardName.clear();
  return AskFirstBlock(medium);
}

bool Session::RestoreInternal(int medium, std::string pcFileName, const std::string& folder)
{
  Filer& tx = TxTransfer;
  ShowStatus({TextId::Restoring});
  const std::string shownName = pcFileName;
  tx.Offered = false;
  tx.EndOfFileDone = false;
  tx.GoAhead = false;
  tx.CardName.clear(); // a restore has no name on the card
  tx.LastFailure.clear();
  tx.LastError = ERR_NONE;
  tx.Error = ERR_NONE;
  tx.Medium = MEDIUM_PC_FILE;
  tx.DataType = TypeFromFileName(pcFileName);
  if (!IsDataType(tx.DataType)) {
    tx.Error = ERR_UNKNOWN_TYPE;
    tx.ReportError(1);
    return false;
  }
  tx.SetPcPath(folder, shownName);
  if (tx.Error == ERR_NONE)
    tx.LoadData();
  if (tx.Error != ERR_NONE) {
    tx.ReportError(1);
    return false;
  }
  ShowStatus({TextId::SendingFile});
  tx.Medium = medium;
  tx.BlockNr = 0;
  Link* l = SelectedLink(*this, tx, medium);
  if (!l)
    return false;
  if (!l->ReadyToAnswer()) {
    ShowStatus({l->NotReady()});
    tx.LastFailure = l->NotReadyText();
    return false;
  }
  tx.Offered = true;
  tx.GoAhead = true; // a restore begins with block 0 unasked
  SendRequestedBlock(*l, tx.DataType, 0);
  return true;
}

void Session::ChooseBackupFile(int type, const std::optional<std::string>& given,
                               std::function<void(const std::string& path)> then)
{
  if (!BackupTypeKnown(type))
    return then({});
  if (given)
    return then(BackupPath(*given, nullptr));
  AskSaveFile(BackupRequest(type), std::move(then));
}

void Session::AskSaveFile(SaveFileRequest request, std::function<void(const std::string& path)> then)
{
  const Reply<std::optional<std::string>> reply =
      Question<std::optional<std::string>>([this, request, then](std::optional<std::string> chosen) mutable {
        std::optional<std::string> again;
        const std::string path = BackupPath(chosen.value_or(std::string()), &again);
        if (!again)
          return then(path);
        // Another extension would hide the file's kind: asked again.
        request.fileName = *again;
        AskSaveFile(std::move(request), std::move(then));
      });
  host.AskSaveFile(request, reply);
}

std::string Session::AskBackupFileName(int type, const std::optional<std::string>& given)
{
  if (!BackupTypeKnown(type))
    return {};
  if (given)
    return BackupPath(*given, nullptr);
  SaveFileRequest request = BackupRequest(type);
  for (;;) {
    std::optional<std::string> again;
    const std::string path = BackupPath(host.AskSaveFileName(request).value_or(std::string()), &again);
    if (!again)
      return path;
    request.fileName = *again;
  }
}

bool Session::BackupTypeKnown(int type)
{
  Filer& rx = RxTransfer;
  rx.Error = ERR_NONE;
  if (!IsDataType(type)) {
    rx.Error = ERR_UNKNOWN_TYPE;
    return false;
  }
  rx.DataType = type;
  return true;
}

SaveFileRequest Session::BackupRequest(int type)
{
  return {BACKUP_DIALOG_TITLE, host.SelectedPcFolder(), WithoutExtension(lastBackupName_),
          DataTypeTable[type].extension};
}

std::string Session::BackupPath(const std::string& chosen, std::optional<std::string>* again)
{
  Filer& rx = RxTransfer;
  const std::string extension = DataTypeTable[rx.DataType].extension;
  if (chosen.empty()) {
    rx.Error = ERR_NO_FILE;
    return {};
  }
  std::string path = chosen;
  const std::string name = FileNamePart(path);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    path += "." + extension;
  } else if (!EqualsIgnoringCase(name.substr(dot + 1), extension)) {
    // Another extension would hide the file's kind: ask again, or refuse
    // a name that nobody can be asked about.
    if (again) {
      *again = WithoutExtension(name);
      return {};
    }
    rx.WrongExtension = true;
    rx.Error = ERR_UNKNOWN_TYPE;
    return {};
  }
  if (path.size() >= PC_PATH_SIZE) {
    rx.Error = ERR_PATH_TOO_LONG;
    return {};
  }
  lastBackupName_ = FileNamePart(path);
  return path;
}

} // namespace zr
