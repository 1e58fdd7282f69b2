#include "frontend/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace zr {

namespace {
std::string Std(const QString &text)
{
  return text.toStdString();
}
QString Q(const std::string &text)
{
  return QString::fromStdString(text);
}
} // namespace

SettingsFile::SettingsFile(QString path) : file_(Std(path)), path_(std::move(path)) {}

bool SettingsFile::LoadedOk() const
{
  return file_.LoadedOk();
}

int SettingsFile::ReadInteger(const QString &section, const QString &key, int defaultValue) const
{
  return file_.ReadInteger(Std(section), Std(key), defaultValue);
}

QString SettingsFile::ReadString(const QString &section, const QString &key, const QString &defaultValue) const
{
  if (!HasKey(section, key))
    return defaultValue;
  return Q(file_.ReadString(Std(section), Std(key), {}));
}

bool SettingsFile::HasKey(const QString &section, const QString &key) const
{
  return file_.HasKey(Std(section), Std(key));
}

void SettingsFile::WriteString(const QString &section, const QString &key, const QString &value)
{
  file_.WriteString(Std(section), Std(key), Std(value));
}

void SettingsFile::WriteInteger(const QString &section, const QString &key, int value)
{
  file_.WriteInteger(Std(section), Std(key), value);
}

bool SettingsFile::Flush(QString *error)
{
  std::string why;
  const bool ok = file_.Flush(&why);
  if (!ok && error)
    *error = Q(why);
  return ok;
}

QStringList SettingsFile::Keys(const QString &section) const
{
  QStringList keys;
  for (const std::string &key : file_.Keys(Std(section)))
    keys.append(Q(key));
  return keys;
}

ComPortTable SettingsFile::ComPortTableFromPorts() const
{
  return file_.ComPortTableFromPorts();
}

QString SettingsFile::ComPortDevice(int n) const
{
  return Q(file_.ComPortDevice(n));
}

QString SettingsFile::IniFileNameFor(const QString &programFileName)
{
  return Q(IniFile::IniFileNameFor(Std(programFileName)));
}

SettingsFile::Location SettingsFile::Locate(const QString &besideProgram, const QString &inConfigFolder,
                                            const std::function<bool(const QString &folder)> &folderWritable,
                                            const std::function<bool(const QString &file)> &fileUsable,
                                            const std::function<bool(const QString &folder)> &folderOwned)
{
  const auto asStd = [](const std::function<bool(const QString &)> &test) {
    return [test](const std::string &path) { return test(Q(path)); };
  };
  const IniFile::Location place = IniFile::Locate(Std(besideProgram), Std(inConfigFolder), asStd(folderWritable),
                                                  asStd(fileUsable), asStd(folderOwned));
  return {Q(place.path), Q(place.passedOver)};
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
  return IniFile::FileUsable(Std(file));
}

bool SettingsFile::FolderWritable(const QString &folder)
{
  return IniFile::FolderWritable(Std(folder));
}

bool SettingsFile::FolderOwnedByUser(const QString &folder)
{
  return IniFile::FolderOwnedByUser(Std(folder));
}

int SettingsFile::Medium() const
{
  return file_.Medium();
}
int SettingsFile::ComPort() const
{
  return file_.ComPort();
}
int SettingsFile::MidiIn() const
{
  return file_.MidiIn();
}
int SettingsFile::MidiOut() const
{
  return file_.MidiOut();
}
QString SettingsFile::Directory(const QString &fallback) const
{
  return HasKey(QStringLiteral("Prefs"), QStringLiteral("Directory")) ? Q(file_.Directory({})) : fallback;
}

void SettingsFile::WriteLink(int medium, int comPort, int midiIn, int midiOut)
{
  file_.WriteLink(medium, comPort, midiIn, midiOut);
}

void SettingsFile::WriteDirectory(const QString &directory)
{
  file_.WriteDirectory(Std(directory));
}

} // namespace zr
