// The engine's timers on Asio's loop behave as the window's QTimers do: the
// engine relies on a restart by Start and by a new interval, on Stop from
// inside the handler, and on no call after a timer is gone.
#include <gtest/gtest.h>

#include <memory>

#include "cli/asio_timer.h"

namespace zr::cli {
namespace {

using namespace std::chrono_literals;

TEST(AsioTimer, RestartsStopsAndNeverCallsOnceGone)
{
  struct Case {
    const char* what;
    // What the test does to the timer (interval 40 ms) once it is started,
    // before the loop runs for 130 ms.
    void (*act)(AsioTimer& timer, int& calls);
    int minCalls, maxCalls;
  } cases[] = {
      {"repeats", [](AsioTimer&, int&) {}, 2, 3},
      {"a stop in the handler ends it",
       [](AsioTimer& t, int& calls) { t.SetHandler([&t, &calls] { ++calls, t.Stop(); }); }, 1, 1},
      {"stopped, it stays stopped through a new interval",
       [](AsioTimer& t, int&) {
         t.Stop();
         t.SetInterval(10);
       },
       0, 0},
  };
  for (const Case& c : cases) {
    asio::io_context io;
    int calls = 0;
    AsioTimer timer(io, 40);
    timer.SetHandler([&calls] { ++calls; });
    timer.Start();
    c.act(timer, calls);
    io.run_for(130ms);
    // A loaded machine may run the loop late, never early.
    EXPECT_GE(calls, c.minCalls) << c.what;
    EXPECT_LE(calls, c.maxCalls) << c.what;
  }
}

TEST(AsioTimer, AStartOrANewIntervalOfARunningTimerCountsFromNow)
{
  asio::io_context io;
  int calls = 0;
  AsioTimer timer(io, 60);
  timer.SetHandler([&calls] { ++calls; });
  timer.Start();
  io.run_for(40ms);
  timer.SetInterval(60); // due 60 ms from now, not 20
  io.run_for(40ms);
  timer.Start(); // and again
  io.run_for(40ms);
  EXPECT_EQ(calls, 0);
  EXPECT_TRUE(timer.IsActive());
  EXPECT_EQ(timer.Interval(), 60);
}

TEST(AsioTimer, ATimerGoneWhileDueIsNeverCalled)
{
  asio::io_context io;
  int calls = 0;
  auto timer = std::make_unique<AsioTimer>(io, 10);
  timer->SetHandler([&calls] { ++calls; });
  timer->Start();
  io.run_for(15ms);
  const int before = calls;
  timer.reset();
  io.run_for(30ms);
  EXPECT_EQ(calls, before);
}

} // namespace
} // namespace zr::cli
