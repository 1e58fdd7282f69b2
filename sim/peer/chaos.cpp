// The chaos mode's choices and what each does to a message.
#include "sim/peer/chaos.h"

#include <cstdlib>

namespace zr::sim {

std::optional<ChaosOptions> ParseChaos(const std::string& text)
{
  ChaosOptions o;
  const auto colon = text.find(':');
  const std::string seed = text.substr(0, colon);
  char* end = nullptr;
  const unsigned long s = std::strtoul(seed.c_str(), &end, 0);
  if (seed.empty() || *end != '\0' || s > 0xFFFFFFFFul)
    return std::nullopt;
  o.seed = static_cast<std::uint32_t>(s);
  if (colon != std::string::npos) {
    const std::string rate = text.substr(colon + 1);
    o.ratePercent = std::strtod(rate.c_str(), &end);
    if (rate.empty() || *end != '\0' || !(o.ratePercent >= 0 && o.ratePercent <= 100))
      return std::nullopt;
  }
  return o;
}

const char* ChaosActionName(ChaosAction action)
{
  switch (action) {
  case ChaosAction::None:
    return "none";
  case ChaosAction::Drop:
    return "dropped";
  case ChaosAction::Duplicate:
    return "sent twice";
  case ChaosAction::Corrupt:
    return "one byte damaged";
  case ChaosAction::CutShort:
    return "cut short";
  case ChaosAction::Delay:
    return "held back";
  case ChaosAction::StrayBlock:
    return "followed by a stray block";
  case ChaosAction::RepeatRequest:
    return "followed by a repeated request";
  }
  return "?";
}

ChaosAction Chaos::Decide()
{
  // In hundredths of a percent, so that a rate of 0.5 works too.
  const auto roll = Below(10000);
  if (roll >= static_cast<std::uint32_t>(options_.ratePercent * 100))
    return ChaosAction::None;
  return static_cast<ChaosAction>(1 + Below(CHAOS_ACTIONS));
}

std::vector<LineOutput> Chaos::Apply(std::vector<LineOutput> line, const std::function<void(const std::string&)>& log)
{
  std::vector<LineOutput> out;
  for (LineOutput& piece : line) {
    // The rest of a message already cut goes as it is.
    const ChaosAction action = piece.startsMessage ? Decide() : ChaosAction::None;
    const Bytes described = action != ChaosAction::None && log ? piece.bytes : Bytes{};
    const auto pauseBefore = piece.pauseBefore;
    const std::size_t first = out.size();
    Act(action, std::move(piece), out);
    if (action == ChaosAction::None || !log)
      continue;
    std::string line = "   chaos: " + DescribeMessage(described.data(), described.size()) + " " + ChaosActionName(action);
    // How long: whoever measures the PC's speed takes the console's own wait out.
    if (action == ChaosAction::Delay && first < out.size())
      line += " " +
              std::to_string(
                  std::chrono::duration_cast<std::chrono::milliseconds>(out[first].pauseBefore - pauseBefore).count()) +
              " ms";
    log(line);
  }
  return out;
}

void Chaos::Act(ChaosAction action, LineOutput message, std::vector<LineOutput>& out)
{
  Bytes& b = message.bytes;
  const bool whole = b.size() > HEADER_LENGTH && b.back() == SYS_EX_END;
  faults_ += action != ChaosAction::None;
  // What follows is an earlier message: the block or the request before this one.
  const Bytes extra = action == ChaosAction::StrayBlock      ? lastBlock_
                      : action == ChaosAction::RepeatRequest ? lastRequest_
                                                             : Bytes{};
  switch (action) {
  case ChaosAction::None:
    break;
  case ChaosAction::Drop:
    return;
  case ChaosAction::Duplicate:
    out.push_back(message);
    message.sameWrite = false;
    break;
  case ChaosAction::Corrupt:
    // An inner byte stays below 0x80, or the line would see another frame.
    if (whole)
      b[HEADER_LENGTH + Below(static_cast<std::uint32_t>(b.size() - HEADER_LENGTH - 1))] ^=
          static_cast<std::uint8_t>(1 + Below(0x7F));
    break;
  case ChaosAction::CutShort:
    // What reaches the PC ends early, end byte and all.
    if (whole) {
      b.resize(1 + Below(static_cast<std::uint32_t>(b.size() - 2)));
      b.push_back(SYS_EX_END);
    }
    break;
  case ChaosAction::Delay:
    message.pauseBefore += std::chrono::milliseconds(1 + Below(static_cast<std::uint32_t>(CHAOS_MAX_DELAY.count())));
    message.sameWrite = false;
    break;
  case ChaosAction::StrayBlock:
  case ChaosAction::RepeatRequest:
    break;
  }
  const bool intact = whole && action != ChaosAction::Corrupt && action != ChaosAction::CutShort;
  if (intact && b[OFS_COMMAND] == SYS_EX_DATA_BLOCK)
    lastBlock_ = b;
  if (intact && (b[OFS_COMMAND] == SYS_EX_BLOCK_REQUEST || b[OFS_COMMAND] == SYS_EX_FILE_REQUEST))
    lastRequest_ = b;
  out.push_back(std::move(message));
  if (!extra.empty())
    out.push_back(LineOutput{extra});
}

} // namespace zr::sim
