// The console's audible alarm: one 750 Hz, 500 ms tone through ALSA when a sound device
// opens, else the terminal bell followed by the tone's half second of quiet.
#pragma once

#include <string>

namespace tarvo {

// Sounds one beep and returns when it has ended (about 500 ms). The sound device is opened
// at the first call and kept; when it cannot be opened the terminal bell is used for good.
// Call from one thread only (the beep thread).
void systemBeep();

// The terminal bell on stderr (when it is a terminal), then 500 ms of waiting.
void terminalBeep();

// How beeps are sounded after the first call: "ALSA <device>", "terminal bell", or "" before.
std::string beepDevice();

} // namespace tarvo
