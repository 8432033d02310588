#pragma once
// The sound preparation: every MP3 file of snd whose wave file is missing or older is decoded
// into that wave file through the MPEG library, before a game may start. The menu window runs
// it at every activation and shows the progress it reports while files are converted.
#include "gamelib/MPEGPlay.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TSoundPair {
    std::string Mp3FileName;
    std::string WaveFileName;
};

// At most this many pairs per activation; the rest wait for the next one.
constexpr size_t MaxSoundPairs = 100;

// The pairs to convert, full paths, in the order the folder lists them.
std::vector<TSoundPair> SoundWorkList();

// What the preparation reports while it works: Start with the number of files before the
// first one is converted, Step after each converted file, Finish when the work is over (also
// when the library could not be loaded). Nothing is reported when there is nothing to do.
// Empty functions are skipped.
struct TSoundProgress {
    std::function<void(int count)> Start;
    std::function<void()> Step;
    std::function<void()> Finish;
};

// Converts the work list, reporting its progress. False only when the free-space check
// stopped the conversions.
bool PrepareSounds(const TSoundProgress& Progress);

// Whether the file system holding the MP3 file has more free bytes than twenty times its
// size; otherwise says so in a message box.
bool HasSpaceFor(const std::string& Mp3FileName);

// The process's one player: created and loaded, or released again.
void CreatePlayer();
void ReleasePlayer();
bool PlayerLoaded();
TMPEGPlayer* SoundPlayer();

// Tests: the free bytes of a folder's file system (nullptr: the real figure), and a fresh
// start of the memory of failed conversions and of the library error already shown.
using TFreeSpaceFunction = std::function<int64_t(const std::string& folder)>;
void SetFreeSpaceFunction(TFreeSpaceFunction function);
void ResetSoundPreparation();
