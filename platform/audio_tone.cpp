#include "platform/audio_tone.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "platform/debug.h"

namespace platform {
namespace {

PlayToneFunction loadPlugin() {
    std::error_code error;
    const auto folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) return nullptr;
    for (const auto& path : {folder / kTonePluginName, folder / "../lib/swd-isp" / kTonePluginName}) {
        if (void* plugin = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))
            return reinterpret_cast<PlayToneFunction>(::dlsym(plugin, kPlayToneSymbol));
    }
    DebugTrace(std::string("tone plugin not loaded: ") + ::dlerror());
    return nullptr;
}

}  // namespace

bool playTone(unsigned frequencyHz, unsigned durationMs) {
    static const PlayToneFunction play = loadPlugin();  // kept loaded for the program's life
    return play != nullptr && play(frequencyHz, durationMs);
}

}  // namespace platform
