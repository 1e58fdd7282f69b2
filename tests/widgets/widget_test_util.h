// Helpers shared by the widget tests: readable QStrings in failure messages,
// waiting on the event loop, and temporary folders with files in them.
#pragma once

#include <functional>
#include <ostream>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString &s, std::ostream *os)
{
  *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList &list, std::ostream *os)
{
  *os << '[' << list.join(QStringLiteral(", ")).toStdString() << ']';
}
QT_END_NAMESPACE

namespace zr::test {

// Generous: the machine is shared, and Qt reads folders on a thread of its own.
constexpr int kWaitMs = 30000;

// Runs the event loop until `done` holds or the time is up; returns `done`.
inline bool WaitUntil(const std::function<bool()> &done, int timeoutMs = kWaitMs)
{
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired())
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qSleep(5);
  }
  return true;
}

inline bool WriteFile(const QString &path, const QByteArray &bytes)
{
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray ReadFile(const QString &path)
{
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace zr::test
