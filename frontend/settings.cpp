#include "frontend/settings.h"

#include "link/com_ports.h"

#include <algorithm>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryFile>

namespace zr {

namespace {

// "[Name]" (blanks allowed around it); the name, or a null string when the
// line is no section header.
QString SectionNameOf(const QString &line)
{
  const QString t = line.trimmed();
  if (!t.startsWith(u'['))
    return {};
  const qsizetype close = t.indexOf(u']');
  if (close < 0)
    return {};
  return t.mid(1, close - 1).trimmed();
}

bool IsComment(const QString &line)
{
  const QString t = line.trimmed();
  return t.startsWith(u';') || t.startsWith(u'#');
}

// "Key=Value": the key, or a null string for any other line.
QString KeyOf(const QString &line)
{
  if (IsComment(line) || !SectionNameOf(line).isNull())
    return {};
  const qsizetype eq = line.indexOf(u'=');
  if (eq <= 0)
    return {};
  const QString key = line.left(eq).trimmed();
  return key.isEmpty() ? QString() : key;
}

QString ValueOf(const QString &line)
{
  return line.mid(line.indexOf(u'=') + 1).trimmed();
}

bool SameName(const QString &a, const QString &b)
{
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A value is one line of the file: a line break inside it would split the
// line and turn the rest into junk, so line breaks are dropped.
QString OneLine(QString value)
{
  value.remove(u'\r');
  value.remove(u'\n');
  return value;
}

} // namespace

SettingsFile::SettingsFile(QString path) : path_(std::move(path))
{
  QFile file(path_);
  if (!file.exists())
    return;
  if (!file.open(QIODevice::ReadOnly)) {
    loadedOk_ = false;
    return;
  }
  const QByteArray bytes = file.readAll();
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8(bytes);
  // A file written by an older Windows program is in its code page: read
  // it byte for byte, so that writing it back changes no other line.
  if (utf8.hasError()) {
    latin1_ = true;
    text = QString::fromLatin1(bytes);
  }
  crlf_ = text.contains(QStringLiteral("\r\n"));
  text.remove(u'\r');
  lines_ = text.split(u'\n');
  // A final line break leaves one empty piece that is not a line.
  if (!lines_.isEmpty() && lines_.last().isEmpty())
    lines_.removeLast();
}

int SettingsFile::FindSection(const QString &section) const
{
  for (int i = 0; i < lines_.size(); ++i) {
    const QString name = SectionNameOf(lines_[i]);
    if (!name.isNull() && SameName(name, section))
      return i;
  }
  return -1;
}

int SettingsFile::SectionEnd(int sectionLine) const
{
  int i = sectionLine + 1;
  while (i < lines_.size() && SectionNameOf(lines_[i]).isNull())
    ++i;
  return i;
}

int SettingsFile::FindKey(int sectionLine, const QString &key) const
{
  const int end = SectionEnd(sectionLine);
  for (int i = sectionLine + 1; i < end; ++i) {
    const QString k = KeyOf(lines_[i]);
    if (!k.isNull() && SameName(k, key))
      return i;
  }
  return -1;
}

bool SettingsFile::HasKey(const QString &section, const QString &key) const
{
  const int s = FindSection(section);
  return s >= 0 && FindKey(s, key) >= 0;
}

QString SettingsFile::ReadString(const QString &section, const QString &key,
                                 const QString &defaultValue) const
{
  const int s = FindSection(section);
  if (s < 0)
    return defaultValue;
  const int k = FindKey(s, key);
  return k < 0 ? defaultValue : ValueOf(lines_[k]);
}

int SettingsFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const
{
  const int s = FindSection(section);
  if (s < 0)
    return defaultValue;
  const int k = FindKey(s, key);
  if (k < 0)
    return defaultValue;
  QString value = ValueOf(lines_[k]);
  // toInt accepts a leading '-' but not '+', and nothing else around digits.
  if (value.startsWith(u'+')) {
    value.remove(0, 1);
    if (value.startsWith(u'-') || value.startsWith(u'+'))
      return defaultValue;
  }
  if (value.isEmpty() || value.contains(u' '))
    return defaultValue;
  bool ok = false;
  const int result = value.toInt(&ok, 10);
  return ok ? result : defaultValue;
}

void SettingsFile::WriteString(const QString &section, const QString &key, const QString &value)
{
  const QString line = key + u'=' + OneLine(value);
  int s = FindSection(section);
  if (s < 0) {
    lines_.append(u'[' + section + u']');
    lines_.append(line);
    return;
  }
  const int k = FindKey(s, key);
  if (k >= 0) {
    lines_[k] = line;
    return;
  }
  // After the section's last non-blank line, so blank lines that separate
  // it from the next section stay where they are.
  int at = SectionEnd(s);
  while (at > s + 1 && lines_[at - 1].trimmed().isEmpty())
    --at;
  lines_.insert(at, line);
}

void SettingsFile::WriteInteger(const QString &section, const QString &key, int value)
{
  WriteString(section, key, QString::number(value));
}

bool SettingsFile::Flush(QString *error)
{
  // What could not be read would be lost by writing the rest over it.
  if (!loadedOk_) {
    if (error)
      *error = QStringLiteral("%1 could not be read").arg(path_);
    return false;
  }
  const QFileInfo info(path_);
  if (!QDir().mkpath(info.absolutePath())) {
    if (error)
      *error = QStringLiteral("cannot create folder %1").arg(info.absolutePath());
    return false;
  }
  const QString eol = crlf_ ? QStringLiteral("\r\n") : QStringLiteral("\n");
  QString text;
  for (const QString &line : lines_)
    text += line + eol;

  QSaveFile file(path_);
  if (!file.open(QIODevice::WriteOnly)) {
    if (error)
      *error = file.errorString();
    return false;
  }
  const bool fitsLatin1 =
      std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
  const QByteArray bytes = latin1_ && fitsLatin1 ? text.toLatin1() : text.toUtf8();
  if (file.write(bytes) != bytes.size()) {
    if (error)
      *error = file.errorString();
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    if (error)
      *error = file.errorString();
    return false;
  }
  return true;
}

QStringList SettingsFile::Keys(const QString &section) const
{
  QStringList keys;
  const int s = FindSection(section);
  if (s < 0)
    return keys;
  const int end = SectionEnd(s);
  for (int i = s + 1; i < end; ++i) {
    const QString key = KeyOf(lines_[i]);
    if (!key.isNull())
      keys.append(key);
  }
  return keys;
}

ComPortTable SettingsFile::ComPortTableFromPorts() const
{
  ComPortTable table;
  const QString ports = QStringLiteral("Ports");
  for (const QString &key : Keys(ports)) {
    const int n = ComPortKeyNumber(key.toStdString());
    // The first of two equal keys counts, as everywhere else in the file.
    if (n > 0 && table.find(n) == table.end())
      table[n] = ReadString(ports, key, QString()).toStdString();
  }
  return table;
}

QString SettingsFile::ComPortDevice(int n) const
{
  const ComPortTable table = ComPortTableFromPorts();
  const auto it = table.find(n);
  return QString::fromStdString(it != table.end() ? it->second : DefaultComPortPath(n));
}

QString SettingsFile::IniFileNameFor(const QString &programFileName)
{
  const QFileInfo info(programFileName);
  const QString name = info.fileName();
  if (info.suffix().compare(QStringLiteral("exe"), Qt::CaseInsensitive) == 0)
    return info.completeBaseName() + QStringLiteral(".ini");
  return name + QStringLiteral(".ini");
}

SettingsFile::Location SettingsFile::Locate(const QString &besideProgram, const QString &inConfigFolder,
                                            const std::function<bool(const QString &folder)> &folderWritable,
                                            const std::function<bool(const QString &file)> &fileUsable,
                                            const std::function<bool(const QString &folder)> &folderOwned)
{
  const bool besideExists = QFileInfo::exists(besideProgram);
  if (besideExists && fileUsable(besideProgram))
    return {besideProgram, {}};
  const QString passedOver = besideExists ? besideProgram : QString();
  // Saved there by an earlier run whose program folder was read-only.
  if (QFileInfo::exists(inConfigFolder))
    return {inConfigFolder, passedOver};
  const QString programFolder = QFileInfo(besideProgram).absolutePath();
  if (!besideExists && folderOwned(programFolder) && folderWritable(programFolder))
    return {besideProgram, {}};
  return {inConfigFolder, passedOver};
}

QString SettingsFile::BesideProgramPath()
{
  const QString name = IniFileNameFor(QCoreApplication::applicationFilePath());
  return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

QString SettingsFile::ConfigFolderPath()
{
  const QString name = IniFileNameFor(QCoreApplication::applicationFilePath());
  return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(name);
}

QString SettingsFile::DefaultLocation()
{
  return ChooseLocation(BesideProgramPath(), ConfigFolderPath(), &SettingsFile::FolderWritable);
}

bool SettingsFile::FileUsable(const QString &file)
{
  const QFileInfo info(file);
  return info.isFile() && info.isReadable() && info.isWritable();
}

bool SettingsFile::FolderWritable(const QString &folder)
{
  if (!QFileInfo(folder).isDir())
    return false;
  QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".zr-write-probe-XXXXXX")));
  return probe.open();
}

bool SettingsFile::FolderOwnedByUser(const QString &folder)
{
  const QFileInfo info(folder);
  if (!info.isDir())
    return false;
  // The administrator's tools say whom they run for; otherwise the user is
  // whoever owns a file this program creates.
  for (const char *variable : {"SUDO_UID", "PKEXEC_UID"}) {
    bool ok = false;
    const uint caller = uint(qEnvironmentVariableIntValue(variable, &ok));
    if (ok)
      return info.ownerId() == caller;
  }
  QTemporaryFile probe;
  if (!probe.open())
    return false;
  return info.ownerId() == QFileInfo(probe.fileName()).ownerId();
}

namespace {
const QString kCommunication = QStringLiteral("Communication");
const QString kPrefs = QStringLiteral("Prefs");
} // namespace

int SettingsFile::Medium() const
{
  return ReadInteger(kCommunication, QStringLiteral("Medium"), 0);
}
int SettingsFile::ComPort() const
{
  return ReadInteger(kCommunication, QStringLiteral("ComPort"), 1);
}
int SettingsFile::MidiIn() const
{
  return ReadInteger(kCommunication, QStringLiteral("MidiIn"), 0);
}
int SettingsFile::MidiOut() const
{
  return ReadInteger(kCommunication, QStringLiteral("MidiOut"), 0);
}
QString SettingsFile::Directory(const QString &fallback) const
{
  return ReadString(kPrefs, QStringLiteral("Directory"), fallback);
}

void SettingsFile::WriteLink(int medium, int comPort, int midiIn, int midiOut)
{
  WriteInteger(kCommunication, QStringLiteral("Medium"), medium);
  WriteInteger(kCommunication, QStringLiteral("ComPort"), comPort);
  WriteInteger(kCommunication, QStringLiteral("MidiIn"), midiIn);
  WriteInteger(kCommunication, QStringLiteral("MidiOut"), midiOut);
}

void SettingsFile::WriteDirectory(const QString &directory)
{
  WriteString(kPrefs, QStringLiteral("Directory"), directory);
}

} // namespace zr
