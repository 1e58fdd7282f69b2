// What the core needs of the main window: the status line, message boxes,
// the save dialog, the progress dialog, the PC pane and the lists, the batch
// steps, and the six timers. The Qt window implements it; tests use fakes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/timer.h"

namespace zr {

enum class BoxIcon { None, Information, Warning, Error };
enum class BoxButtons { Ok, YesNo, AbortRetry };
enum class BoxAnswer { Ok, Yes, No, Abort, Retry, Closed };

struct SaveFileRequest {
  std::string title;         // "Save current settings as..."
  std::string folder;        // initial folder
  std::string fileName;      // proposed name, without extension
  std::string extension;     // filter and default extension, e.g. "kpr"
};

class Host {
public:
  virtual ~Host() = default;

  // Panel 0 of the status bar.
  virtual void SetStatusText(const std::string& text) = 0;
  // A modal box; it runs a nested event loop, so timers and input go on.
  virtual BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) = 0;
  // The save dialog: the chosen full path, or nothing when cancelled.
  // Asking before overwriting an existing file is the dialog's own job.
  virtual std::optional<std::string> AskSaveFileName(const SaveFileRequest& request) = 0;

  // The progress dialog. Showing it disables the main window, closing it
  // enables the window again.
  virtual void ProgressSetTitle(const std::string& title) = 0;
  virtual void ProgressSetMaximum(int maximum) = 0;
  virtual void ProgressShow() = 0;
  virtual void ProgressSetPosition(int position) = 0;
  virtual void ProgressSetLabel(const std::string& text) = 0;
  virtual void ProgressClose() = 0;

  // The folder selected in the PC folder tree; empty when none is.
  virtual std::string SelectedPcFolder() = 0;
  // Number of files in the current receive batch: the card list's selection count.
  virtual int CardSelectedCount() = 0;
  // Number of files in the current send batch: the PC list's selection
  // count, or the number of copied entries while a paste runs.
  virtual int PcSelectedCount() = 0;
  // The Size column text of the PC list entry whose caption equals the
  // name (case ignored), or nothing when the list shows no such entry.
  virtual std::optional<std::string> PcListSizeText(const std::string& fileName) = 0;

  // The main window's batch steps and card list.
  virtual void RequestNextCardFile(int index) = 0;
  virtual void SendNextPcFile(int index) = 0;
  virtual void RequestCardDirectory(int type) = 0;
  // A directory reply for one type (names trimmed). sortAfter tells whether
  // this link sorts after every reply (MIDI) or after type 8 only (serial).
  virtual void CardDirectoryReply(int type, const std::vector<std::string>& names, bool sortAfterEveryReply) = 0;
};

} // namespace zr
