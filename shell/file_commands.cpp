#include "shell/file_commands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QStandardPaths>
#include <QUrl>

namespace zr::shell {

namespace {

const QString kGnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCutSelection = QStringLiteral("application/x-kde-cutselection");

QString Canonical(const QString &path)
{
  const QString c = QFileInfo(path).canonicalFilePath();
  return c.isEmpty() ? QDir::cleanPath(QFileInfo(path).absoluteFilePath()) : c;
}

bool IsSameOrInside(const QString &path, const QString &folder)
{
  const QString p = Canonical(path);
  const QString f = Canonical(folder);
  return p == f || p.startsWith(f.endsWith(u'/') ? f : f + u'/');
}

// Copies a folder and everything in it; links are copied as links, so a link
// pointing upwards cannot make the copy endless.
bool CopyFolder(const QString &from, const QString &to, QString &why)
{
  if (!QDir().mkdir(to)) {
    why = QStringLiteral("cannot create %1").arg(to);
    return false;
  }
  QDir source(from);
  const auto entries =
      source.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
  for (const QFileInfo &entry : entries) {
    const QString target = QDir(to).filePath(entry.fileName());
    if (entry.isSymLink()) {
      if (!QFile::link(entry.symLinkTarget(), target)) {
        why = QStringLiteral("cannot copy the link %1").arg(entry.filePath());
        return false;
      }
    } else if (entry.isDir()) {
      if (!CopyFolder(entry.filePath(), target, why))
        return false;
    } else if (!QFile::copy(entry.filePath(), target)) {
      why = QStringLiteral("cannot copy %1").arg(entry.filePath());
      return false;
    }
  }
  return true;
}

// Why `source` (`info`) cannot be pasted into `folder`, or an empty text.
QString WhyNotPasted(const QFileInfo &info, const QString &source, const QString &folder)
{
  if (!info.exists() && !info.isSymLink())
    return QStringLiteral("%1: no longer exists.").arg(source);
  // fileName() of a path without a last part ("/") is empty.
  if (info.fileName().isEmpty())
    return QStringLiteral("%1: cannot be pasted.").arg(source);
  if (info.isDir() && !info.isSymLink() && IsSameOrInside(folder, source))
    return QStringLiteral("%1: a folder cannot be pasted into itself.").arg(info.fileName());
  return {};
}

// Moves `source` to `target`. Files: QFile::rename copies and removes across
// file systems by itself. Folders: a rename, else a copy whose source goes
// only once the copy is whole. False with `why` when it did not move; true
// with `why` when the copy stands but the original could not be removed.
bool MovePasted(const QFileInfo &info, const QString &source, const QString &target, QString &why)
{
  if (info.isDir() && !info.isSymLink()) {
    bool ok = QDir().rename(source, target);
    if (!ok && CopyFolder(source, target, why)) {
      ok = true;
      if (!QDir(source).removeRecursively())
        why = QStringLiteral("copied, but the original could not be removed");
    }
    return ok;
  }
  QFile file(source);
  const bool ok = file.rename(target);
  if (!ok)
    why = file.errorString();
  return ok;
}

// Copies `source` to `target`: a link as a link, a folder with all it holds.
bool CopyPasted(const QFileInfo &info, const QString &source, const QString &target, QString &why)
{
  if (info.isSymLink())
    return QFile::link(info.symLinkTarget(), target);
  if (info.isDir())
    return CopyFolder(source, target, why);
  QFile file(source);
  const bool ok = file.copy(target);
  if (!ok)
    why = file.errorString();
  return ok;
}

bool LooksLikeTrash(const QString &path)
{
  const QStringList parts = QDir::fromNativeSeparators(QFileInfo(path).absolutePath()).split(u'/');
  for (const QString &part : parts) {
    const QString p = part.toLower();
    if (p.contains(QStringLiteral("trash")) || p == QStringLiteral("$recycle.bin") ||
        p == QStringLiteral("recycler"))
      return true;
  }
  return false;
}

} // namespace

QString SizeKbText(qint64 bytes, const QLocale &locale)
{
  QLocale grouped = locale;
  grouped.setNumberOptions(locale.numberOptions() & ~QLocale::NumberOptions(QLocale::OmitGroupSeparator));
  const qint64 kb = bytes <= 0 ? 0 : (bytes + 1023) / 1024;
  return grouped.toString(kb) + QStringLiteral(" KB");
}

QMimeData *MakeFileClipboardData(const QStringList &paths, bool cut)
{
  auto *data = new QMimeData;
  QList<QUrl> urls;
  QByteArray gnome = cut ? QByteArrayLiteral("cut") : QByteArrayLiteral("copy");
  for (const QString &path : paths) {
    const QUrl url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
    urls.append(url);
    gnome += '\n' + url.toEncoded();
  }
  data->setUrls(urls);
  data->setData(kGnomeCopiedFiles, gnome);
  if (cut)
    data->setData(kKdeCutSelection, QByteArrayLiteral("1"));
  return data;
}

ClipboardFiles ReadFileClipboard(const QMimeData *data)
{
  ClipboardFiles result;
  if (!data)
    return result;
  QList<QUrl> urls = data->urls();
  if (data->hasFormat(kGnomeCopiedFiles)) {
    const QList<QByteArray> lines = data->data(kGnomeCopiedFiles).split('\n');
    if (!lines.isEmpty() && lines.first().trimmed() == "cut")
      result.cut = true;
    // Some programs offer only GNOME's list.
    if (urls.isEmpty())
      for (qsizetype i = 1; i < lines.size(); ++i)
        if (!lines[i].trimmed().isEmpty())
          urls.append(QUrl::fromEncoded(lines[i].trimmed()));
  }
  if (data->hasFormat(kKdeCutSelection) && data->data(kKdeCutSelection).startsWith('1'))
    result.cut = true;
  for (const QUrl &url : urls) {
    if (url.isLocalFile())
      result.paths.append(url.toLocalFile());
    else
      ++result.nonLocal;
  }
  return result;
}

QString FreeNameFor(const QString &folder, const QString &name)
{
  const QDir dir(folder);
  if (!QFileInfo::exists(dir.filePath(name)))
    return name;
  // A leading dot starts a hidden name, not an extension.
  const qsizetype dot = name.lastIndexOf(u'.');
  const QString stem = dot > 0 ? name.left(dot) : name;
  const QString extension = dot > 0 ? name.mid(dot) : QString();
  for (int n = 1;; ++n) {
    const QString candidate =
        stem + (n == 1 ? QStringLiteral(" (copy)") : QStringLiteral(" (copy %1)").arg(n)) + extension;
    if (!QFileInfo::exists(dir.filePath(candidate)))
      return candidate;
  }
}

CommandResult PasteFiles(const QStringList &sources, bool cut, const QString &folder)
{
  CommandResult result;
  if (!QFileInfo(folder).isDir()) {
    result.failures.append(QStringLiteral("The folder %1 does not exist.").arg(folder));
    return result;
  }
  for (const QString &source : sources) {
    const QFileInfo info(source);
    if (const QString refusal = WhyNotPasted(info, source, folder); !refusal.isEmpty()) {
      result.failures.append(refusal);
      continue;
    }
    const QString name = info.fileName();
    const bool alreadyHere = Canonical(info.absolutePath()) == Canonical(folder);
    if (cut && alreadyHere) {
      ++result.done; // moving a file to where it is
      continue;
    }
    const QString target = QDir(folder).filePath(FreeNameFor(folder, name));
    QString why;
    const bool ok = cut ? MovePasted(info, source, target, why) : CopyPasted(info, source, target, why);
    if (ok) {
      ++result.done;
      result.created.append(target);
      if (!why.isEmpty())
        result.failures.append(QStringLiteral("%1: %2.").arg(name, why));
    } else {
      result.failures.append(
          QStringLiteral("%1: %2").arg(name, why.isEmpty() ? QStringLiteral("failed.") : why));
    }
  }
  return result;
}

CommandResult MoveToTrash(const QStringList &paths)
{
  CommandResult result;
  const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (!dataHome.isEmpty())
    QDir().mkpath(dataHome);
  for (const QString &path : paths) {
    const QString name = QFileInfo(path).fileName();
    QString inTrash;
    if (!QFile::moveToTrash(path, &inTrash)) {
      result.failures.append(QStringLiteral("%1: could not be moved to the trash.").arg(name));
      continue;
    }
    if (inTrash.isEmpty() || !LooksLikeTrash(inTrash) || QFileInfo::exists(path)) {
      // Moved somewhere that is no trash: put it back where it was.
      if (!inTrash.isEmpty() && !QFileInfo::exists(path))
        QFile::rename(inTrash, path);
      result.failures.append(
          QStringLiteral("%1: no trash folder to move it to; it was left in place.").arg(name));
      continue;
    }
    ++result.done;
  }
  return result;
}

} // namespace zr::shell
