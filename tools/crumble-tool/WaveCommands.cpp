#include "WaveCommands.h"

#include "gamelib/SoundPrep.h"
#include "gamelib/WaveRead.h"
#include "gamelib/vrDSound.h"
#include "platform/msgbox.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t v) {
    out += char(v & 0xFF);
    out += char(v >> 8 & 0xFF);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

// A plain PCM wave file of that format and data.
void WritePcmWave(const std::string& fileName, const TWaveFormatEx& format,
                  const std::string& data) {
    std::string file = "RIFF";
    Put32(file, uint32_t(4 + 8 + PcmFormatSize + 8 + data.size() + data.size() % 2));
    file += "WAVEfmt ";
    Put32(file, PcmFormatSize);
    Put16(file, WAVE_FORMAT_PCM);
    Put16(file, format.nChannels);
    Put32(file, format.nSamplesPerSec);
    Put32(file, format.nAvgBytesPerSec);
    Put16(file, format.nBlockAlign);
    Put16(file, format.wBitsPerSample);
    file += "data";
    Put32(file, uint32_t(data.size()));
    file += data;
    if (data.size() % 2) file += '\0';
    WriteFileReplacing(fileName, file);
}

// The codec driver beside the program, registered as the game does when it is there.
void LoadCodecDriver(TvrDSound& engine) {
    const std::string driver = ProgramFolder() + "/l3codecx.acm";
    if (FileExists(driver)) engine.LoadACMDriver(driver);
}

bool EndsWithWav(const std::string& file) {
    if (file.size() < 4) return false;
    std::string end = file.substr(file.size() - 4);
    for (char& c : end)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return end == ".wav";
}

long long Number(const std::string& text, const std::string& option) {
    try {
        size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used == text.size()) return value;
    } catch (const std::exception&) {
    }
    throw std::runtime_error(option + " needs a number, not \"" + text + "\"");
}

// Shows the program's message boxes on standard error while it lives.
class TMessagesToTerminal {
  public:
    explicit TMessagesToTerminal(std::function<void()> shown) {
        SetMessageHandler(
            [shown = std::move(shown)](const std::string& text, TMsgDlgType, TMsgDlgButtons) {
                std::string line = text;
                std::replace(line.begin(), line.end(), '\r', ' ');
                std::cerr << line << '\n';
                shown();
                return mrOk;
            });
    }
    ~TMessagesToTerminal() { SetMessageHandler(nullptr); }
    TMessagesToTerminal(const TMessagesToTerminal&) = delete;
    TMessagesToTerminal& operator=(const TMessagesToTerminal&) = delete;
};

} // namespace

int WaveInfo(const std::vector<std::string>& args) {
    TvrDSound engine(nullptr, false, false, 44100, 16, 2);
    LoadCodecDriver(engine);
    TFileWaveReadStream stream(args[0]);
    const TWaveFormatEx& f = stream.Format();
    std::cout << "format-tag: " << f.wFormatTag << "\nchannels: " << f.nChannels
              << "\nsamples-per-sec: " << f.nSamplesPerSec
              << "\navg-bytes-per-sec: " << f.nAvgBytesPerSec << "\nblock-align: " << f.nBlockAlign
              << "\nbits-per-sample: " << f.wBitsPerSample << "\ncb-size: " << f.cbSize
              << "\ndata-offset: " << stream.DataOffset() << "\ndata-size: " << stream.Size()
              << '\n';
    TWavePCMReader reader(stream, engine.ACMDriver);
    const TWaveFormatEx& pcm = reader.Format();
    std::cout << "pcm-format: " << pcm.wFormatTag << ' ' << pcm.nChannels << ' '
              << pcm.nSamplesPerSec << ' ' << pcm.wBitsPerSample << "\npcm-size: " << reader.Size()
              << '\n';
    return 0;
}

int WaveDecode(const std::vector<std::string>& args) {
    TvrDSound engine(nullptr, false, false, 44100, 16, 2);
    LoadCodecDriver(engine);
    std::string data;
    TWaveFormatEx format{};
    {
        TFileWaveReadStream stream(args[0]);
        TWavePCMReader reader(stream, engine.ACMDriver);
        format = reader.Format();
        std::vector<uint8_t> buffer(1 << 16);
        while (const uint32_t got = reader.Read(buffer.data(), uint32_t(buffer.size())))
            data.append(reinterpret_cast<const char*>(buffer.data()), got);
    }
    WritePcmWave(args[1], format, data);
    return 0;
}

int WavePlay(const std::vector<std::string>& args) {
    if (args.empty()) throw std::runtime_error("wave play needs a FILE");
    std::string render;
    long long ms = -1, volume = 0, pan = 0, frequency = 0;
    bool loop = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::runtime_error(option + " needs a value");
            return args[++i];
        };
        if (option == "--render")
            render = value();
        else if (option == "--ms")
            ms = Number(value(), option);
        else if (option == "--loop")
            loop = true;
        else if (option == "--volume")
            volume = Number(value(), option);
        else if (option == "--pan")
            pan = Number(value(), option);
        else if (option == "--frequency")
            frequency = Number(value(), option);
        else
            throw std::runtime_error("unknown option " + option);
    }
    if (render.empty()) throw std::runtime_error("wave play needs --render OUT.wav");
    const std::string& file = args[0];
    if (!EndsWithWav(file))
        throw std::runtime_error("wave play needs a .wav file, as the game loads only those");

    auto output = std::make_shared<TOfflineSoundOutput>();
    SetDefaultSoundOutput(output);
    std::string mix;
    {
        TvrDSound engine(nullptr, true, true, 44100, 16, 2);
        if (engine.NotReady) throw std::runtime_error("no sound device");
        LoadCodecDriver(engine);
        TvrDSoundFile& sound =
            TvrDSoundFile::CreateFromFile(engine, 20000, smAuto, file.substr(0, file.size() - 4));
        switch (sound.Status) {
        case ssUnsupportedFormat:
            throw std::runtime_error("unsupported wave format: " + sound.LastError);
        case ssGenericError:
            throw std::runtime_error("generic error: " + sound.LastError);
        case ssDisabled:
            throw std::runtime_error("disabled: " + sound.LastError);
        case ssOK:
            break;
        }
        if (ms < 0) {
            // The sound's own length, at the rate it is played at.
            TFileWaveReadStream stream(file);
            TWavePCMReader reader(stream, engine.ACMDriver);
            const TWaveFormatEx& pcm = reader.Format();
            double seconds = double(reader.Size()) / pcm.nAvgBytesPerSec;
            if (frequency > 0) seconds *= double(pcm.nSamplesPerSec) / double(frequency);
            ms = static_cast<long long>(seconds * 1000 + 0.5);
        }
        sound.Loop = loop;
        sound.SetVolume(static_cast<int32_t>(volume));
        sound.SetPan(static_cast<int32_t>(pan));
        if (frequency > 0) sound.SetFrequency(static_cast<uint32_t>(frequency));
        sound.Play();
        // The timer's refills, driven by hand between slices of the render.
        for (long long done = 0; done < ms;) {
            const uint32_t slice = static_cast<uint32_t>(std::min<long long>(ms - done, 500));
            const std::vector<int16_t> samples = output->Render(slice);
            mix.append(reinterpret_cast<const char*>(samples.data()), samples.size() * 2);
            engine.UpdateAll();
            done += slice;
        }
    }
    SetDefaultSoundOutput(nullptr);
    const TWaveFormatEx format{WAVE_FORMAT_PCM, 2, DSMixRate, DSMixRate * 4, 4, 16, 0};
    WritePcmWave(render, format, mix);
    return 0;
}

int SoundsPrepare(const std::vector<std::string>&) {
    // The menu's boxes go to the terminal; any of them means a file was not converted.
    bool failed = false;
    const TMessagesToTerminal messages([&failed] { failed = true; });
    int converted = 0;
    TSoundProgress progress;
    progress.Step = [&converted] { ++converted; };
    const bool spaceLeft = PrepareSounds(progress);
    const size_t left = SoundWorkList().size();
    if (failed || !spaceLeft || left > 0)
        throw std::runtime_error(std::to_string(left) + " MP3 files of snd not converted");
    std::cout << "converted: " << converted << '\n';
    return 0;
}
