#pragma once
// Where a target keeps the files it writes for every input: in memory where the system offers
// a RAM file system, since a disk file system may write a rewritten file out when it is closed
// (ext4 does after a truncation), which would make file writes the bulk of each run.
#include <filesystem>
#include <string>

namespace fuzz {

inline std::filesystem::path ScratchFolder(const std::string& name) {
    std::error_code error;
    const std::filesystem::path memory = "/dev/shm";
    const std::filesystem::path base = std::filesystem::is_directory(memory, error)
                                           ? memory
                                           : std::filesystem::temp_directory_path();
    const std::filesystem::path folder = base / name;
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace fuzz
