// The known-error look-up on arbitrary errors.txt and logs: the text before the first NUL byte
// is errors.txt, the rest the log. Nothing may crash; a line without a number may only end the
// look-up with the conversion error; a result always names a page that the text holds.
#include "online/KnownErrors.h"
#include "shell/Tools.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string_view errors = input.substr(0, split);
    const std::string_view logText = split == std::string_view::npos
                                         ? std::string_view("Program Version 1.05\r\nERROR\r\n")
                                         : input.substr(split + 1);
    const std::vector<std::string> log = SplitTextLines(logText);
    for (const std::string& line : log)
        if (line.find_first_of("\r\n") != std::string::npos) std::abort();
    try {
        const auto found = MatchKnownError(errors, log);
        if (found && (found->Page.empty() || errors.find(found->Page) == std::string_view::npos))
            std::abort();
        // A match of the line alone agrees with the look-up's answer.
        if (found) {
            bool agreed = false;
            for (const std::string& line : SplitTextLines(errors)) {
                if (line.find_first_not_of(" \t") == std::string::npos) continue;
                const auto single = MatchErrorLine(line, log);
                if (single && !single->Page.empty()) {
                    agreed = single->Page == found->Page && single->KeepLog == found->KeepLog;
                    break;
                }
            }
            if (!agreed) std::abort();
        }
    } catch (const EConvertError&) {
    }
    return 0;
}
