// zr4812-exchange: moves files between this computer and a ZR4812 mixing
// console over a serial port or MIDI. Everything it needs comes from its
// settings file; `--trace FILE` records every message in and out (into a new
// file, or at the end of one with `--trace-append`), and a file
// or folder given (what a file manager's "Open with" passes) is shown in the
// PC pane.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include <QApplication>
#include <QMessageBox>

#include "app/main_window.h"
#include "app/program.h"
#include "link/trace.h"
#include "engine/engine.h"

int main(int argc, char** argv)
{
  QApplication application(argc, argv);
  // No display name: Qt would add it to every window title ("About — ZR4812
  // File Exchange"), and the titles are meant to read as they are set.
  QApplication::setApplicationName(QStringLiteral("zr4812-exchange"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.zr4812.FileExchange"));
  try {
    std::unique_ptr<zr::TraceFile> trace; // outlives the program, whose links write to it
    zr::Program program;
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype traceAt = arguments.indexOf(QStringLiteral("--trace"));
    if (traceAt > 0 && traceAt + 1 < arguments.size()) {
      // A trace is a new file unless --trace-append says to go on with one.
      trace = std::make_unique<zr::TraceFile>(arguments[traceAt + 1].toStdString(),
                                              arguments.contains(QStringLiteral("--trace-append")));
      if (trace->Ok())
        program.engine().SetTrace(
            [&trace](bool out, const std::uint8_t* d, std::size_t n) { trace->Write(out, d, n); });
      else if (errno == EEXIST)
        std::fprintf(stderr, "zr4812-exchange: the trace %s exists already (--trace-append adds to it)\n",
                     qPrintable(arguments[traceAt + 1]));
      else
        std::fprintf(stderr, "zr4812-exchange: cannot write the trace %s: %s\n",
                     qPrintable(arguments[traceAt + 1]), std::strerror(errno));
    }
    program.Form1().show();
    // The first argument that is no option, after the settings' folder was shown.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
      if (i == traceAt) {
        ++i; // its file
        continue;
      }
      if (!arguments[i].startsWith(QLatin1Char('-'))) {
        program.Form1().ShowPcPath(arguments[i]);
        break;
      }
    }
    QApplication::exec();
  } catch (const std::exception& error) {
    // What escapes the start-up is shown, and the run ends as always.
    QMessageBox::critical(nullptr, QStringLiteral("ZR4812 File Exchange"),
                          QString::fromLocal8Bit(error.what()));
  }
  return 0;
}
