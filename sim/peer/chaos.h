// The virtual console's chaos mode: now and then, at random but the same
// for the same seed, a message the console sends is lost, doubled, damaged,
// cut short or held back, or a stray block or a repeated request follows it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/peer/console_peer.h"

namespace zr::sim {

struct ChaosOptions {
  std::uint32_t seed = 0;
  double ratePercent = 2; // the share of messages that meet a fault
};

// "SEED" or "SEED:RATE" (RATE a percentage, 0 to 100); nothing when malformed.
std::optional<ChaosOptions> ParseChaos(const std::string& text);

enum class ChaosAction { None, Drop, Duplicate, Corrupt, CutShort, Delay, StrayBlock, RepeatRequest };
constexpr int CHAOS_ACTIONS = 7; // all but None

const char* ChaosActionName(ChaosAction action);

// How long a held-back message waits at most.
constexpr std::chrono::milliseconds CHAOS_MAX_DELAY{3000};

class Chaos {
public:
  explicit Chaos(ChaosOptions options) : options_(options), rng_(options.seed) {}

  // The fault for the next message: None, or one of the seven, each as likely.
  ChaosAction Decide();
  // The console's answers with a fault decided for each message; `log`
  // hears what was done.
  std::vector<LineOutput> Apply(std::vector<LineOutput> line, const std::function<void(const std::string&)>& log);
  // One fault on one message, appended to `out`.
  void Act(ChaosAction action, LineOutput message, std::vector<LineOutput>& out);

  int Faults() const { return faults_; }

private:
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(rng_() % n); }

  ChaosOptions options_;
  std::mt19937 rng_;
  Bytes lastBlock_;   // the last data block the console sent
  Bytes lastRequest_; // the last block or file request the console sent
  int faults_ = 0;
};

} // namespace zr::sim
