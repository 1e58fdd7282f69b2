#include "tests/support/fake_midi.h"

#include <algorithm>

namespace zr::test {
namespace {

int Next(std::deque<int> &results)
{
  if (results.empty())
    return MIDI_OK;
  const int r = results.front();
  results.pop_front();
  return r;
}

std::optional<std::string> NameAt(const std::vector<std::optional<std::string>> &names, int index)
{
  if (index < 0 || index >= static_cast<int>(names.size()))
    return std::nullopt;
  return names[static_cast<std::size_t>(index)];
}

} // namespace

std::optional<std::string> FakeMidiSystem::InputName(int index)
{
  return NameAt(inputs, index);
}
std::optional<std::string> FakeMidiSystem::OutputName(int index)
{
  return NameAt(outputs, index);
}

int FakeMidiSystem::OpenOutput(int index)
{
  calls.push_back("OpenOutput " + std::to_string(index));
  int r = Next(outputOpenResults);
  if (r == MIDI_OK && (index < 0 || index >= OutputCount()))
    r = MIDI_BAD_DEVICE_ID;
  outputOpen = r == MIDI_OK;
  return r;
}

int FakeMidiSystem::OpenInput(int index)
{
  calls.push_back("OpenInput " + std::to_string(index));
  int r = Next(inputOpenResults);
  if (r == MIDI_OK && (index < 0 || index >= InputCount()))
    r = MIDI_BAD_DEVICE_ID;
  inputOpen = r == MIDI_OK;
  return r;
}

int FakeMidiSystem::StartInput()
{
  calls.push_back("StartInput");
  return startInputResult;
}

int FakeMidiSystem::CloseOutput()
{
  calls.push_back("CloseOutput");
  const int r = Next(outputCloseResults);
  if (r == MIDI_OK)
    outputOpen = false;
  return r;
}

int FakeMidiSystem::CloseInput()
{
  calls.push_back("CloseInput");
  const int r = Next(inputCloseResults);
  if (r == MIDI_OK)
    inputOpen = false;
  return r;
}

void FakeMidiSystem::SendSysEx(const std::uint8_t *data, std::size_t length)
{
  sent.emplace_back(data, data + length);
  if (onSend)
    onSend(sent.back());
}

void FakeMidiSystem::Deliver(const Bytes &message)
{
  Deliver(message.data(), message.size());
}

void FakeMidiSystem::Deliver(const std::uint8_t *data, std::size_t length)
{
  if (receiver_)
    receiver_(data, length);
}

int FakeMidiSystem::OpenCalls() const
{
  return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                        [](const std::string &c) { return c.rfind("Open", 0) == 0; }));
}

void FakeMidiSystem::SetDevices(int inputCount, int outputCount)
{
  inputs.clear();
  outputs.clear();
  for (int i = 1; i <= inputCount; ++i)
    inputs.push_back("In " + std::to_string(i));
  for (int i = 1; i <= outputCount; ++i)
    outputs.push_back("Out " + std::to_string(i));
}

} // namespace zr::test
