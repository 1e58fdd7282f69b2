// The MIDI integration tests run inside a Qt application: MIDI input reaches
// the link as events posted to the back-end's own object, and the timers
// need the event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "link/backend/midi_rtmidi.h"

int main(int argc, char **argv)
{
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
