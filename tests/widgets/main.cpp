// The widget tests' main: owns the QApplication, and first points the home
// folder and the XDG folders at a temporary folder, so no test can touch the
// real home (trash, settings, clipboard managers' files). The locale is
// pinned because the Size column's thousands separator depends on it.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
  QTemporaryDir home(QDir::tempPath() + QStringLiteral("/zr-widget-tests-XXXXXX"));
  if (!home.isValid())
    return 2;
  const auto set = [&home](const char *name, const QString &sub) {
    const QString path = home.path() + sub;
    QDir().mkpath(path);
    qputenv(name, QFile::encodeName(path));
  };
  set("HOME", QString());
  set("XDG_CONFIG_HOME", QStringLiteral("/.config"));
  set("XDG_DATA_HOME", QStringLiteral("/.local/share"));
  set("XDG_CACHE_HOME", QStringLiteral("/.cache"));
  set("XDG_RUNTIME_DIR", QStringLiteral("/run"));
  QFile::setPermissions(home.path() + QStringLiteral("/run"),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("LC_ALL", "C.UTF-8");

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("zr4812-exchange"));
  QLocale::setDefault(QLocale::c());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
