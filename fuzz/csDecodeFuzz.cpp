// The score script's reading of "cs": whatever arrives is decoded and its shape checked
// without crashing, and a record that passes builds back into the same record.
#include "online/PublishRecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view cs(reinterpret_cast<const char*>(data), size);
    const auto decoded = DecodeRecord(cs);
    if (!decoded) return 0;
    if (decoded->size() * 2 > size || decoded->size() % RecordBlockSize != 0) std::abort();
    const auto record = ParseRecord(*decoded);
    if (!record) return 0;
    if (ParseRecord(BuildRecord(*record)) != record) std::abort();
    return 0;
}
