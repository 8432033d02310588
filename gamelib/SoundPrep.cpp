#include "gamelib/SoundPrep.h"

#include "platform/clock.h"
#include "platform/msgbox.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <QProgressBar>
#include <QWidget>
#include <chrono>
#include <ctime>
#include <map>
#include <memory>

namespace {

std::unique_ptr<TMPEGPlayer> Player;
bool Loaded = false;
TFreeSpaceFunction FreeSpaceOf;
// A failed MP3 is not tried again until it changes: each message box re-activates the menu,
// which would otherwise ask about the same file for ever.
std::map<std::string, std::time_t> FailedFiles;
// The library's absence is told once per run; every activation still tries to load it.
bool LibraryErrorShown = false;

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// Decoding runs far faster than real time; this bound only stops a library that never ends.
std::chrono::milliseconds DecodeTimeLimit(const std::string& mp3) {
    uint64_t size = 0;
    try {
        size = FileSizeOf(mp3);
    } catch (const EInOutError&) {
    }
    return std::chrono::milliseconds(10000 + size / 100);
}

void Convert(TMPEGPlayer& player, const TSoundPair& pair) {
    player.SetStreamName(pair.Mp3FileName);
    player.OutFilename = pair.WaveFileName;
    player.SetOutputDevice(TOutputDevice::pcmfile);
    const auto deadline = std::chrono::steady_clock::now() + DecodeTimeLimit(pair.Mp3FileName);
    player.Open();
    player.Play();
    while (!player.CheckDone()) {
        if (std::chrono::steady_clock::now() > deadline)
            throw TMPEGError("Decoding takes too long", 253);
        Sleep(10);
    }
    player.Close();
}

} // namespace

std::vector<TSoundPair> SoundWorkList() {
    std::vector<TSoundPair> list;
    for (const std::string& entry : FindFiles("snd\\*.mp3")) {
        if (list.size() >= MaxSoundPairs) break;
        TSoundPair pair;
        pair.Mp3FileName = ProgDir() + "\\snd\\" + entry;
        pair.WaveFileName = pair.Mp3FileName.substr(0, pair.Mp3FileName.size() - 3) + "wav";
        std::time_t mp3Time = 0, waveTime = 0;
        if (!FileExists(pair.WaveFileName) ||
            (ModificationTime(pair.Mp3FileName, mp3Time) &&
             ModificationTime(pair.WaveFileName, waveTime) && waveTime < mp3Time))
            list.push_back(std::move(pair));
    }
    return list;
}

bool HasSpaceFor(const std::string& Mp3FileName) {
    uint64_t size = 0;
    try {
        size = FileSizeOf(Mp3FileName);
    } catch (const EInOutError&) {
        // Gone meanwhile: the conversion says so in its own words.
    }
    const std::string folder = FolderOf(ResolvePath(Mp3FileName));
    const int64_t free = FreeSpaceOf ? FreeSpaceOf(folder) : FreeSpace(folder);
    if (free >= 0 && size * 20 < uint64_t(free)) return true;
    ShowMessage("Not enough space for sounds on drive " + MountPoint(folder));
    return false;
}

void CreatePlayer() {
    auto player = std::make_unique<TMPEGPlayer>();
    player->LoadLib();
    Player = std::move(player);
    Loaded = true;
}

void ReleasePlayer() {
    if (Player && Player->Loaded()) Player->FreeLib();
    Player.reset();
    Loaded = false;
}

bool PlayerLoaded() {
    return Loaded;
}
TMPEGPlayer* SoundPlayer() {
    return Player.get();
}

void SetFreeSpaceFunction(TFreeSpaceFunction function) {
    FreeSpaceOf = std::move(function);
}

void ResetSoundPreparation() {
    FailedFiles.clear();
    LibraryErrorShown = false;
}

bool PrepareSounds(QWidget* Form, QProgressBar* Gauge, QWidget* Panel) {
    bool result = true;
    EnterProgDir();
    std::vector<TSoundPair> list;
    for (TSoundPair& pair : SoundWorkList()) {
        std::time_t mp3Time = 0;
        ModificationTime(pair.Mp3FileName, mp3Time);
        const auto failed = FailedFiles.find(pair.Mp3FileName);
        if (failed == FailedFiles.end() || failed->second != mp3Time) list.push_back(pair);
    }
    if (list.empty()) return result;

    Gauge->setMaximum(int(list.size()));
    Gauge->setValue(0);
    Panel->show();
    Form->repaint();

    bool created = false;
    if (!Loaded) {
        try {
            CreatePlayer();
            created = true;
        } catch (const std::exception& e) {
            // Without the library the wave files there are used as they are.
            if (!LibraryErrorShown) {
                LibraryErrorShown = true;
                WriteLog(Utf8ToAnsi(e.what()));
                ShowMessage(e.what());
            }
            Panel->hide();
            return result;
        }
        LibraryErrorShown = false;
    }

    for (const TSoundPair& pair : list) {
        if (!HasSpaceFor(pair.Mp3FileName)) {
            result = false;
            break;
        }
        try {
            Convert(*Player, pair);
            Gauge->setValue(Gauge->value() + 1);
            // Painted at once: the window handles no events until the conversions are done.
            Gauge->repaint();
        } catch (const std::exception& e) {
            try {
                if (Player->Opened()) Player->Close();
            } catch (const TMPEGError&) {
            }
            std::time_t mp3Time = 0;
            ModificationTime(pair.Mp3FileName, mp3Time);
            FailedFiles[pair.Mp3FileName] = mp3Time;
            const std::string text =
                "MP3 conversion error on " + pair.Mp3FileName + "\r\n" + e.what();
            ShowMessage(text);
            WriteLog(Utf8ToAnsi(text));
        }
    }
    if (created) ReleasePlayer();
    DelayMs(1000);
    Panel->hide();
    return result;
}
