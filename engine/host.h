// What the core needs of a screen (or a terminal): the status line, message
// boxes, the save dialog, the progress dialog, and what the lists show. The
// Qt window implements it; tests use fakes. What happens next in a batch is
// the core's own business (BatchSteps), never the screen's.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/timer.h"
#include "engine/events.h"

namespace zr {

enum class BoxIcon { None, Information, Warning, Error };
// YesNoAll: the replace question inside a batch of several files, where
// one answer may stand for the rest of the batch.
enum class BoxButtons { Ok, YesNo, AbortRetry, YesNoAll };
enum class BoxAnswer { Ok, Yes, No, Abort, Retry, Closed, YesToAll, NoToAll };

struct SaveFileRequest {
  std::string title;     // "Save current settings as..."
  std::string folder;    // initial folder
  std::string fileName;  // proposed name, without extension
  std::string extension; // filter and default extension, e.g. "kpr"
};

// The progress dialog at one moment: its title ("Receiving file nr 2 of
// 5."), the bar at `position` of `maximum`, and the label under it ("40%").
struct ProgressView {
  std::string title;
  int maximum = 0;
  int position = 0;
  std::string label;
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
  // The save dialog as a question, which the engine asks: answered here
  // from AskSaveFileName, or later by a front end whose dialog returns at
  // once and answers when it closes.
  virtual void AskSaveFile(const SaveFileRequest& request, const Reply<std::optional<std::string>>& reply)
  {
    reply(AskSaveFileName(request));
  }

  // The progress dialog as `progress` has it, shown. Showing it disables
  // the main window, closing it enables the window again.
  virtual void ShowProgress(const ProgressView& progress) = 0;
  virtual void ProgressClose() = 0;

  // A batch of transfers runs (true) from its start, through the waits for
  // the console and the pauses between files, until it ends (false). While
  // it runs no second batch may start: the window takes no drops, pastes
  // or menu commands, but its dialogs stay usable.
  virtual void SetTransferRunning(bool running) { (void)running; }

  // The folder selected in the PC folder tree; empty when none is.
  virtual std::string SelectedPcFolder() = 0;

  // The card list: emptied before it is read again, filled one directory
  // reply at a time (names not yet listed with that type are added), sorted
  // by its sort column.
  virtual void CardListClear() = 0;
  virtual void CardListAdd(int type, const std::vector<std::string>& names) = 0;
  virtual void CardListSort() = 0;
};

} // namespace zr
