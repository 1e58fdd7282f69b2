// What a front end shows of the engine at work (View: the status line, the
// progress dialog, the card list, as values it renders itself), and what the
// engine asks of it (Host: boxes, the save dialog, the folder chosen). The Qt
// window implements both; tests use fakes. What happens next in a batch is
// the core's own business (BatchSteps), never the screen's.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/screen_text.h"
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
// 5."), the bar at `position` of `maximum`, and the percentage done under it.
struct ProgressView {
  ScreenText title;
  int maximum = 0;
  int position = 0;
  int percent = 0;
  // The label under the bar: "40%".
  std::string Label() const { return std::to_string(percent) + "%"; }
};

// A box with only an OK button: something the user is to know.
struct Notice {
  ScreenText text;
  BoxIcon icon = BoxIcon::Information;
};

// The engine's events for the screen, as values: the front end renders them
// (texts through Render). Each has a default that shows nothing.
class View {
public:
  virtual ~View() = default;
  // Panel 0 of the status bar says `text`.
  virtual void StatusChanged(const ScreenText& text) { (void)text; }
  // The progress dialog as `progress` has it, shown. Showing it disables
  // the main window, closing it enables the window again.
  virtual void ProgressShown(const ProgressView& progress) { (void)progress; }
  virtual void ProgressClosed() {}
  // A batch of transfers runs (true) from its start, through the waits for
  // the console and the pauses between files, until it ends (false). While
  // it runs no second batch may start: the window takes no drops, pastes
  // or menu commands, but its dialogs stay usable.
  virtual void TransferRunning(bool running) { (void)running; }
  // The card list: emptied before it is read again, filled one directory
  // reply at a time (the names not yet listed with that type), sorted by
  // its sort column.
  virtual void CardListCleared() {}
  virtual void CardListAdded(int type, const std::vector<std::string>& names) { (void)type, (void)names; }
  virtual void CardListSorted() {}
  // The user is to know `notice`. The engine does not wait for the box: a
  // window that shows it modally holds the engine's step meanwhile.
  virtual void Noticed(const Notice& notice) { (void)notice; }
};

// A question in a box.
struct BoxQuestion {
  ScreenText text;
  BoxIcon icon = BoxIcon::Warning;
  BoxButtons buttons = BoxButtons::YesNo;
};

class Host {
public:
  virtual ~Host() = default;

  // A modal box; it runs a nested event loop, so timers and input go on.
  virtual BoxAnswer ShowMessage(const std::string& text, BoxIcon icon, BoxButtons buttons) = 0;
  // A question in a box, which the engine asks: answered here from
  // ShowMessage, or later by a front end whose box returns at once and
  // answers when it closes. Meanwhile the engine waits with nothing armed.
  virtual void Ask(const BoxQuestion& question, const Reply<BoxAnswer>& reply)
  {
    reply(ShowMessage(Render(question.text), question.icon, question.buttons));
  }
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

  // The folder selected in the PC folder tree; empty when none is.
  virtual std::string SelectedPcFolder() = 0;
};

} // namespace zr
