#pragma once
// Blocks of sprite-script text for the sprite, bob and text tests.
#include <cstdio>
#include <string>
#include <vector>

inline std::string Header(int value, const char* text) {
    char line[64];
    std::snprintf(line, sizeof line, "%-3d %s\n", value, text);
    return line;
}

inline std::string Block(const std::string& name, const std::string& kind, int w, int h, int count,
                         int across, int down, const std::vector<std::string>& animations,
                         const std::string& arrangement = "horizontale Anordnung") {
    std::string text = "OBJECT " + name + ":" + kind + "\n" + Header(w, "Punkte breit") +
                       Header(h, "Punkte hoch") + Header(count, "Image") +
                       Header(across, "horizontal") + Header(down, "vertikal") + arrangement +
                       "\n\nANI\n";
    for (const std::string& a : animations)
        text += a + "\n";
    return text + "ANIEND\n" + std::string(74, '-') + "\n";
}
