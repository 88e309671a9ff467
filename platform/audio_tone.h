#pragma once
// The tone player lives in a plugin, libswd-isp-tone.so, loaded on the first tone: linked into
// the program, Qt Multimedia and the audio libraries behind it (some 25 shared libraries) load
// at every start. It lies beside the program, or in ../lib/swd-isp/ from the program's folder
// once installed.

namespace platform {

constexpr const char* kTonePluginName = "libswd-isp-tone.so";
constexpr const char* kPlayToneSymbol = "swd_isp_play_tone";
using PlayToneFunction = bool (*)(unsigned frequencyHz, unsigned durationMs);

// Starts a tone on the user-interface thread without waiting for it; false when the plugin
// or an audio output is missing.
bool playTone(unsigned frequencyHz, unsigned durationMs);

}  // namespace platform
