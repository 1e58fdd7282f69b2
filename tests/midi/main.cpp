// The MIDI integration tests run inside a Qt application: MIDI input reaches
// the link as events posted to it, and the timers need its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "link/backend/midi_rtmidi.h"

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);
  // What the main window's AppMessageHook does for MIDI input.
  zr::MidiInputFilter midiInput;
  app.installEventFilter(&midiInput);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
