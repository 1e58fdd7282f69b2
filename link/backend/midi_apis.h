// The MIDI systems RtMidi is asked for, in order of preference. The virtual
// console asks for the same ones, so that both ends meet in one system.
#pragma once

#include <RtMidi.h>

namespace zr {

// ALSA when its sequencer opens; in a container without /dev/snd/seq it
// throws instead of falling back, so JACK is tried explicitly afterwards.
// Elsewhere RtMidi's own choice is the system's API.
#if defined(__linux__)
inline constexpr RtMidi::Api PREFERRED_MIDI_APIS[] = {RtMidi::LINUX_ALSA, RtMidi::UNIX_JACK};
#else
inline constexpr RtMidi::Api PREFERRED_MIDI_APIS[] = {RtMidi::UNSPECIFIED};
#endif

} // namespace zr
