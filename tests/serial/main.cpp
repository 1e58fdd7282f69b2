// The serial integration tests run inside a Qt application: QSerialPort and
// the timers need its event loop.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
