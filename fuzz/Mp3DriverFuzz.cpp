// The MP3 codec driver on any wave data: the first bytes become the MPEG layer 3 format record
// (its extra bytes included), the rest the data chunk, all decoded through the PCM reader.
#include "gamelib/WaveRead.h"
#include "platform/acm.h"
#include "platform/dl.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

struct TDriver {
    TDriver() {
        Library.Load(CRUMBLE_L3CODECX);
        const auto proc = Library.FindFunction<TACMDriverProc>("DriverProc");
        if (proc && acmDriverAddA(&Id, Library.Handle(), proc, 0, ACM_DRIVERADDF_FUNCTION) == 0)
            acmDriverOpen(&Driver, Id, 0);
    }
    TDynamicLibrary Library;
    HACMDRIVERID Id = nullptr;
    HACMDRIVER Driver = nullptr;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TDriver driver;
    if (size < 30 || !driver.Driver) return 0;
    // "fmt " of 30 bytes: tag 0x55 forced, the rest as the fuzzer chose it.
    std::vector<uint8_t> format(data, data + 30);
    format[0] = 0x55;
    format[1] = 0;
    std::vector<uint8_t> wave = {'R', 'I', 'F', 'F'};
    Put32(wave, uint32_t(4 + 8 + 30 + 8 + (size - 30)));
    wave.insert(wave.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    Put32(wave, 30);
    wave.insert(wave.end(), format.begin(), format.end());
    wave.insert(wave.end(), {'d', 'a', 't', 'a'});
    Put32(wave, uint32_t(size - 30));
    wave.insert(wave.end(), data + 30, data + size);
    try {
        TCustomMemoryWaveReadStream stream(wave.data(), uint32_t(wave.size()));
        TWavePCMReader reader(stream, driver.Driver);
        std::vector<uint8_t> buffer(16384);
        while (reader.Read(buffer.data(), uint32_t(buffer.size())) != 0) {
        }
    } catch (const std::exception&) {
    }
    return 0;
}
