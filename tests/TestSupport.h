#pragma once
// Shared by the unit tests: a fresh program folder that is removed afterwards, and file helpers.
#include "platform/winpath.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

class TTempProgramFolder {
  public:
    TTempProgramFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "crumble-XXXXXX").string();
        Path = mkdtemp(pattern.data());
        FOldFolder = ProgramFolder();
        FOldCurrent = GetCurrentDir();
        SetProgramFolder(Path);
        SetCurrentDir(Path);
    }
    ~TTempProgramFolder() {
        SetProgramFolder(FOldFolder);
        SetCurrentDir(FOldCurrent);
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    TTempProgramFolder(const TTempProgramFolder&) = delete;
    TTempProgramFolder& operator=(const TTempProgramFolder&) = delete;

    // Names match case-insensitively, as the program's own paths do.
    std::string File(const std::string& relative) const {
        return ResolvePath(Path + "/" + relative);
    }
    // Writes a file below the folder, creating the folders on the way.
    void Put(const std::string& relative, const std::string& content) const {
        const std::filesystem::path path = std::filesystem::path(Path) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }
    std::string Get(const std::string& relative) const;

    std::string Path;

  private:
    std::string FOldFolder, FOldCurrent;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string TTempProgramFolder::Get(const std::string& relative) const {
    return ReadWholeFile((std::filesystem::path(Path) / relative).string());
}

// The log's lines without their CR LF ends.
inline std::vector<std::string> LogLines(const TTempProgramFolder& folder) {
    std::vector<std::string> lines;
    std::istringstream in(ReadWholeFile(folder.File("SPS/LOG.TXT")));
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}
