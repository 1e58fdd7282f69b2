#include "tests/support/fake_midi.h"

#include <algorithm>

#include "tests/support/fakes.h"

namespace zr::test {
namespace {

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

MidiResult FakeMidiSystem::Open(const char *call, int index, int count, std::deque<MidiResult> &results,
                                bool &open)
{
  calls.push_back(call + (" " + std::to_string(index)));
  MidiResult r = TakeNext(results, MIDI_OK);
  if (r == MIDI_OK && (index < 0 || index >= count))
    r = MIDI_BAD_DEVICE_ID;
  open = r == MIDI_OK;
  return r;
}

MidiResult FakeMidiSystem::Close(const char *call, std::deque<MidiResult> &results, bool &open)
{
  calls.push_back(call);
  const MidiResult r = TakeNext(results, MIDI_OK);
  if (r == MIDI_OK)
    open = false;
  return r;
}

MidiResult FakeMidiSystem::OpenOutput(int index)
{
  return Open("OpenOutput", index, OutputCount(), outputOpenResults, outputOpen);
}

MidiResult FakeMidiSystem::OpenInput(int index)
{
  return Open("OpenInput", index, InputCount(), inputOpenResults, inputOpen);
}

MidiResult FakeMidiSystem::StartInput()
{
  calls.push_back("StartInput");
  return startInputResult;
}

MidiResult FakeMidiSystem::CloseOutput()
{
  return Close("CloseOutput", outputCloseResults, outputOpen);
}

MidiResult FakeMidiSystem::CloseInput()
{
  return Close("CloseInput", inputCloseResults, inputOpen);
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
