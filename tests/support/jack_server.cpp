#include "tests/support/jack_server.h"

// jackd is started and stopped the POSIX way; where that is missing the
// MIDI tests skip themselves as on a machine without jackd.
#if !defined(_WIN32)

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace zr::test {
namespace {

namespace fs = std::filesystem;

bool OnPath(const std::string &program)
{
  const char *path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && ::access((fs::path(dir) / program).c_str(), X_OK) == 0)
      return true;
  return false;
}

// Starts a program with its output appended to logPath. Returns its pid or -1.
pid_t Spawn(const std::vector<std::string> &args, const std::string &logPath)
{
  std::vector<char *> argv;
  for (const std::string &a : args)
    argv.push_back(const_cast<char *>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits for a child; true when it ended within the time (its status in *status).
bool WaitFor(pid_t pid, std::chrono::milliseconds limit, int *status)
{
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid || r < 0)
      return true;
    if (std::chrono::steady_clock::now() >= end)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string UniqueName()
{
  static std::atomic<int> counter{0};
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  std::ostringstream name;
  name << "zrtest-" << ::getpid() << "-" << ++counter << "-" << std::hex << (ticks & 0xFFFFFF);
  return name.str();
}

} // namespace

bool JackServer::Installed()
{
  return OnPath("jackd") && OnPath("jack_wait");
}

bool JackServer::Start(std::string &error, int timeoutSeconds)
{
  Stop();
  name_ = UniqueName();
  logPath_ = (fs::temp_directory_path() / (name_ + ".log")).string();
  // This process and every program it starts from now on talk to this
  // server, and none of them asks a session bus for the sound card.
  ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);

  // Sync mode, with a long client time-out: the server waits for every
  // client's cycle. In the default mode a client that falls behind on a
  // busy machine loses the MIDI it wrote in that cycle (seen as a request
  // that never reached the console, one run in about 25 with the cores
  // busy), and the lock-step protocol then waits for ever.
  pid_ = Spawn({"jackd", "--no-realtime", "--sync", "-t", "10000", "-n", name_, "-d", "dummy", "-r", "48000",
                "-p", std::to_string(periodFrames)},
               logPath_);
  if (pid_ < 0) {
    error = "cannot start jackd";
    return false;
  }
  const pid_t waiter =
      Spawn({"jack_wait", "-w", "-s", name_, "-t", std::to_string(timeoutSeconds)}, logPath_);
  int status = 0;
  const bool ended = waiter > 0 && WaitFor(waiter, std::chrono::seconds(timeoutSeconds + 10), &status);
  if (waiter > 0 && !ended) {
    ::kill(waiter, SIGKILL);
    WaitFor(waiter, std::chrono::seconds(5), &status);
  }
  if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "jackd " + name_ + " did not come up:\n" + Log();
    Stop();
    return false;
  }
  return true;
}

void JackServer::Stop()
{
  if (pid_ <= 0)
    return;
  const pid_t pid = static_cast<pid_t>(pid_);
  pid_ = -1;
  int status = 0;
  ::kill(pid, SIGTERM);
  if (!WaitFor(pid, std::chrono::seconds(10), &status)) {
    ::kill(pid, SIGKILL);
    WaitFor(pid, std::chrono::seconds(5), &status);
  }
  std::error_code ec;
  fs::remove(logPath_, ec);
}

std::string JackServer::Log() const
{
  std::ifstream in(logPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

} // namespace zr::test

#else

namespace zr::test {
bool JackServer::Installed()
{
  return false;
}
bool JackServer::Start(std::string &error, int)
{
  error = "no JACK server on this platform";
  return false;
}
void JackServer::Stop() {}
std::string JackServer::Log() const
{
  return {};
}
} // namespace zr::test

#endif
