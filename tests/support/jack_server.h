// A private JACK server with the dummy driver, so that MIDI tests have real
// MIDI ports on a machine without sound hardware. Each server gets a name
// of its own (a leftover server of the same name would make a new one fail
// quietly); the name is put into JACK_DEFAULT_SERVER of this process, so
// that RtMidi here and every program started from here use it.
#pragma once

#include <memory>
#include <string>

namespace zr::test {

class JackServer {
public:
  JackServer() = default;
  ~JackServer() { Stop(); }
  JackServer(const JackServer &) = delete;
  JackServer &operator=(const JackServer &) = delete;

  // Whether jackd and jack_wait can be found on PATH.
  static bool Installed();

  // Starts jackd and waits until it answers (at most timeoutSeconds). False
  // with a reason in `error` when it does not come up.
  bool Start(std::string &error, int timeoutSeconds = 20);
  // Ends the server by its process id; waits for it to go.
  void Stop();

  bool Running() const { return pid_ > 0; }
  const std::string &Name() const { return name_; }
  // jackd's own output, for a failing test's message.
  std::string Log() const;

  // Frames per period at 48 kHz, set before Start. MIDI moves between
  // clients once a period, so this is the latency of each hop.
  int periodFrames = 256;

private:
  std::string name_;
  std::string logPath_;
  long pid_ = -1;
};

// The one server a test suite shares: Start() from its SetUpTestSuite (a
// machine without jackd gets none), Stop() from its TearDownTestSuite. A
// test that finds it not Running() reports Error().
class SuiteJackServer {
public:
  static void Start()
  {
    if (!JackServer::Installed())
      return;
    server_ = std::make_unique<JackServer>();
    if (!server_->Start(error_))
      server_.reset();
  }
  static void Stop() { server_.reset(); }
  static bool Running() { return server_ != nullptr; }
  static const std::string &Error() { return error_; }

private:
  static inline std::unique_ptr<JackServer> server_;
  static inline std::string error_;
};

} // namespace zr::test
