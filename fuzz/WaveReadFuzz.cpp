// The RIFF walk on any bytes, then everything the PCM reader makes of them.
#include "gamelib/WaveRead.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        TCustomMemoryWaveReadStream stream(data, uint32_t(size));
        TWavePCMReader reader(stream, nullptr);
        uint8_t buffer[8192];
        while (reader.Read(buffer, sizeof(buffer)) != 0) {
        }
    } catch (const std::exception&) {
    }
    return 0;
}
