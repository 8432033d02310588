#include "LevelCommands.h"

#include "shell/DecodeUnit.h"
#include "shell/Tools.h"

#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

std::vector<std::string> ReadLines(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw std::runtime_error(fileName + ": File nicht gefunden!");
    std::ostringstream text;
    text << in.rdbuf();
    std::vector<std::string> lines;
    std::istringstream stream(text.str());
    std::string line;
    while (std::getline(stream, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

int LevelEncode(const std::vector<std::string>& args) {
    const std::vector<std::string> lines = ReadLines(args[0]);
    // The fillers come from the program's generator; a fixed seed keeps builds reproducible.
    RandSeed(1);
    std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
    for (const std::string& line : lines)
        out << EncodeText(line) << "\r\n";
    out.close();
    if (!out) throw std::runtime_error("Cannot write " + args[1]);
    return 0;
}

int LevelDecode(const std::vector<std::string>& args) {
    for (const std::string& line : ReadLines(args[0]))
        std::cout << DecodeText(line) << '\n';
    return 0;
}
