// The file commands of the PC pane — copy, cut, paste, delete — in the forms
// the desktop's file managers use, so files move between this program and
// them through the system clipboard and the trash.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

class QMimeData;

namespace zr::shell {

// The Size column: kilobytes rounded up, with the locale's thousands
// separator, and " KB" ("1,234 KB"; an empty file is "0 KB"). The locale's
// own choice to leave separators out (the C locale's) is overridden, since
// the column always groups digits.
QString SizeKbText(qint64 bytes, const QLocale &locale = QLocale());

// Clipboard contents for files to copy or to move: text/uri-list, GNOME's
// x-special/gnome-copied-files ("copy" or "cut", then one URI a line, with no
// line break after the last: file managers choke on one) and, for a cut,
// KDE's application/x-kde-cutselection "1".
QMimeData *MakeFileClipboardData(const QStringList &paths, bool cut);

struct ClipboardFiles {
  QStringList paths; // local files only
  int nonLocal = 0;  // URLs that are not local files, which are left alone
  bool cut = false;
};
ClipboardFiles ReadFileClipboard(const QMimeData *data);

// A name in `folder` for a copy of `name` that overwrites nothing: the name
// itself when free, else "mix (copy).kch", "mix (copy 2).kch", ... The
// extension stays last, because it tells the file's data type.
QString FreeNameFor(const QString &folder, const QString &name);

struct CommandResult {
  int done = 0;
  QStringList failures; // one readable line per file that failed
  QStringList created;  // paths of new files or folders (paste)
  bool ok() const { return failures.isEmpty(); }
};

// Copies or moves files and folders into `folder`. An existing name is never
// overwritten: the newcomer gets a free name (FreeNameFor). A cut whose file
// is already in `folder` has nothing to do; a copy there makes "(copy)".
// A folder is never pasted into itself or below itself.
CommandResult PasteFiles(const QStringList &sources, bool cut, const QString &folder);

// Moves files to the desktop's trash. Makes sure the user's data folder
// exists first (without it Qt "trashes" a file into the current folder), and
// checks that each file really landed in a trash folder; one that did not is
// moved back and reported. Nothing is ever deleted outright.
CommandResult MoveToTrash(const QStringList &paths);

} // namespace zr::shell
