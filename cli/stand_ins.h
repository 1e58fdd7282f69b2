// What stands in for the window when zr4812 runs: a terminal for the job's
// progress, a host that answers nothing, and no MIDI system for a serial run.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/midi.h"
#include "transfer/console_job.h"
#include "transfer/host.h"

namespace zr::cli {

// The session's host when no job stands in front: nothing to show, and no
// question is answered yes.
class QuietHost : public Host {
public:
  void SetStatusText(const std::string&) override {}
  BoxAnswer ShowMessage(const std::string&, BoxIcon, BoxButtons) override { return BoxAnswer::Closed; }
  std::optional<std::string> AskSaveFileName(const SaveFileRequest&) override { return std::nullopt; }
  void ProgressSetTitle(const std::string&) override {}
  void ProgressSetMaximum(int) override {}
  void ProgressShow() override {}
  void ProgressSetPosition(int) override {}
  void ProgressSetLabel(const std::string&) override {}
  void ProgressClose() override {}
  std::string SelectedPcFolder() override { return {}; }
  std::optional<std::string> PcListSizeText(const std::string&) override { return std::nullopt; }
  void CardListClear() override {}
  void CardListAdd(int, const std::vector<std::string>&) override {}
  void CardListSort() override {}
};

// No MIDI system at all: a serial run does not wake the platform's MIDI
// (which complains on stderr when it finds no sequencer or JACK server).
class NoMidi : public MidiSystem {
public:
  int InputCount() override { return 0; }
  int OutputCount() override { return 0; }
  std::optional<std::string> InputName(int) override { return std::nullopt; }
  std::optional<std::string> OutputName(int) override { return std::nullopt; }
  MidiResult OpenOutput(int) override { return MIDI_BAD_DEVICE_ID; }
  MidiResult OpenInput(int) override { return MIDI_BAD_DEVICE_ID; }
  MidiResult StartInput() override { return MIDI_BAD_DEVICE_ID; }
  MidiResult CloseOutput() override { return MIDI_OK; }
  MidiResult CloseInput() override { return MIDI_OK; }
  void SendSysEx(const std::uint8_t*, std::size_t) override {}
  void SetReceiver(SysExReceiver) override {}
};

// Progress on a terminal: one line on stderr, rewritten in place.
class TerminalView : public JobView {
public:
  explicit TerminalView(bool showProgress) : showProgress_(showProgress) {}

  void FileBegins(int number, int count, const std::string& name) override;
  void FileProgress(int done, int total) override { Draw(done, total); }
  void FileNotDone(const std::string& name, const std::string& why, bool skipped) override;
  void Notice(const std::string& text) override;
  void Finished() override { ClearLine(); }

  void ClearLine();

private:
  void Draw(int done, int total);

  bool showProgress_;
  bool drawn_ = false;
  int number_ = 0, count_ = 0;
  std::string name_;
  std::chrono::steady_clock::time_point began_{};
};

} // namespace zr::cli
