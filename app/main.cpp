// zr4812-exchange: moves files between this computer and a ZR4812 mixing
// console over a serial port or MIDI. No command-line options: everything it
// needs comes from its settings file.
#include <cstdio>
#include <exception>

#include <QApplication>
#include <QMessageBox>

#include "app/main_window.h"
#include "app/program.h"

int main(int argc, char** argv)
{
  QApplication application(argc, argv);
  // No display name: Qt would add it to every window title ("About — ZR4812
  // File Exchange"), and the titles are meant to read as they are set.
  QApplication::setApplicationName(QStringLiteral("zr4812-exchange"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.zr4812.FileExchange"));
  try {
    zr::Program program;
    program.Form1().show();
    QApplication::exec();
  } catch (const std::exception& error) {
    // What escapes the start-up is shown, and the run ends as always.
    QMessageBox::critical(nullptr, QStringLiteral("ZR4812 File Exchange"),
                          QString::fromLocal8Bit(error.what()));
  }
  return 0;
}
