#pragma once
// The decoding library's interface: 19 functions with C linkage and the platform's ordinary
// calling convention (System V on x86-64: arguments in registers, the caller cleans up), found
// by name at run time. Positions and lengths count sample frames of the decoded audio. Every
// call except init and deinit leaves a code for LastError: 0 success, 1 internal decoder error,
// 2 incorrect mode, 3 input stream error, 4 input stream is non-seekable, 5 output device
// failure. File names are POSIX paths.
//
// Playing decodes on a thread of the library's own. Output device 2 writes a PCM RIFF WAVE
// file: first to the name plus ".part", renamed to the name once complete, so an interrupted
// or failed play never leaves a partial file under the name. Output device 0 (the wave mapper)
// is not offered: Play reports code 5.
#include <cstdint>

extern "C" {
// The stream mode's callbacks; the library offers the file mode only and answers mode 1 with
// code 2.
using TMpegOpenCallback = void (*)(void* context, uint8_t* nonseekable, int32_t* res);
using TMpegCloseCallback = void (*)(void* context);
using TMpegRestartCallback = void (*)(void* context, uint8_t* res);
using TMpegReadCallback = void (*)(void* context, void* buffer, uint32_t count, uint32_t* got,
                                   uint8_t* res);
using TMpegSeekCallback = void (*)(void* context, int32_t numbytes, uint32_t moveMethod,
                                   int32_t* res);
using TMpegGetSizeCallback = void (*)(void* context, int32_t* res);

using TMpegInit = uint8_t (*)();
using TMpegDeinit = uint8_t (*)();
using TMpegOpen = void (*)(const char* fileName, int32_t streamMode, TMpegOpenCallback,
                           TMpegCloseCallback, TMpegRestartCallback, TMpegReadCallback,
                           TMpegSeekCallback, TMpegGetSizeCallback, void* context);
using TMpegGetLength = int32_t (*)();
using TMpegSetPriority = void (*)(int32_t priority);
using TMpegSetOutputDevice = void (*)(int32_t device, const char* fileName);
// done is written once, with a nonzero value, from the decoding thread.
using TMpegPlay = int32_t (*)(int32_t startPos, int32_t endPos, uint8_t* done);
using TMpegRestart = void (*)();
using TMpegPause = void (*)(int32_t resume); // 0 pauses, 1 continues
using TMpegResetPlayerMode = uint8_t (*)();
using TMpegClose = void (*)();
using TMpegGetCurrentPos = int32_t (*)();
using TMpegLastError = uint8_t (*)();
using TMpegStop = void (*)();
using TMpegSeek = void (*)(int32_t position);
using TMpegGetFrequency = int32_t (*)();
using TMpegGetBitrate = int32_t (*)();
using TMpegGetLayer = int32_t (*)();
using TMpegGetPlayerMode = int32_t (*)(); // 0 closed, 1 opened, 2 playing, 3 paused, 4 done
}

constexpr int32_t MpegDeviceWaveMapper = 0;
constexpr int32_t MpegDevicePcmFile = 2;
