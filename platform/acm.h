#pragma once
// Wave formats and the part of the Audio Compression Manager the sound code uses: the largest
// format size, a PCM format suggested for a compressed one, and streams that convert blocks
// of source bytes to PCM. Built in: IEEE float (32 bit), A-law, mu-law, IMA ADPCM and
// MS ADPCM to 16-bit PCM, and 8/16-bit PCM to 8/16-bit PCM of the same channels and rate.
// Further codecs come from driver files registered at run time (see "Drivers" below).
//
// Calls return MMRESULT codes with their Windows values: the callers report failures with the
// code in their own messages.
#include <cstddef>
#include <cstdint>

// One "fmt " chunk as stored in a wave file; cbSize extra bytes follow the 18 bytes in memory.
// The field names are those of the file format.
#pragma pack(push, 1)
struct TWaveFormatEx {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(TWaveFormatEx) == 18, "the record is read from files byte for byte");
// A plain PCM format is stored without cbSize: the record up to it.
constexpr uint32_t PcmFormatSize = 16;
static_assert(offsetof(TWaveFormatEx, cbSize) == PcmFormatSize);

constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
constexpr uint16_t WAVE_FORMAT_ADPCM = 0x0002;
constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
constexpr uint16_t WAVE_FORMAT_ALAW = 0x0006;
constexpr uint16_t WAVE_FORMAT_MULAW = 0x0007;
constexpr uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr uint16_t WAVE_FORMAT_GSM610 = 0x0031;
constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;

using MMRESULT = uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT ACMERR_BASE = 512;
constexpr MMRESULT ACMERR_NOTPOSSIBLE = ACMERR_BASE + 0; // no driver can do it
constexpr MMRESULT ACMERR_BUSY = ACMERR_BASE + 1;
constexpr MMRESULT ACMERR_UNPREPARED = ACMERR_BASE + 2;

constexpr uint32_t ACM_METRIC_MAX_SIZE_FORMAT = 50;

constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
constexpr uint32_t ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
constexpr uint32_t ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
constexpr uint32_t ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;
constexpr uint32_t ACM_FORMATSUGGESTF_TYPEMASK = 0x00FF0000;

constexpr uint32_t ACM_STREAMOPENF_QUERY = 0x00000001;
constexpr uint32_t ACM_STREAMOPENF_ASYNC = 0x00000002;
constexpr uint32_t ACM_STREAMOPENF_NONREALTIME = 0x00000004;

constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;
constexpr uint32_t ACM_STREAMSIZEF_QUERYMASK = 0x0000000F;

constexpr uint32_t ACM_STREAMCONVERTF_BLOCKALIGN = 0x00000004;
constexpr uint32_t ACM_STREAMCONVERTF_START = 0x00000010;
constexpr uint32_t ACM_STREAMCONVERTF_END = 0x00000020;

constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

constexpr uint32_t ACM_DRIVERADDF_FUNCTION = 0x00000003;
constexpr uint32_t ACM_DRIVERADDF_TYPEMASK = 0x00000007;
constexpr uint32_t ACM_DRIVERADDF_LOCAL = 0x00000000;
constexpr uint32_t ACM_DRIVERADDF_GLOBAL = 0x00000008;

// The two buffers of one conversion. Prepare it once, then convert as often as needed with
// cbSrcLength and cbDstLength at most what they were when prepared; unpreparing requires the
// prepared pointers and lengths again. The field names are those of the system's record.
struct TACMStreamHeader {
    uint32_t cbStruct = sizeof(TACMStreamHeader);
    uint32_t fdwStatus = 0; // ACMSTREAMHEADER_STATUSF_*
    uintptr_t dwUser = 0;
    uint8_t* pbSrc = nullptr;
    uint32_t cbSrcLength = 0;
    uint32_t cbSrcLengthUsed = 0; // set by a conversion: source bytes consumed
    uintptr_t dwSrcUser = 0;
    uint8_t* pbDst = nullptr;
    uint32_t cbDstLength = 0;
    uint32_t cbDstLengthUsed = 0; // set by a conversion: destination bytes written
    uintptr_t dwDstUser = 0;
    uintptr_t dwReservedDriver[10] = {}; // ACM's own bookkeeping while prepared
};

struct TACMDriverIdRec;
struct TACMDriverRec;
struct TACMStreamRec;
using HACMDRIVERID = TACMDriverIdRec*;
using HACMDRIVER = TACMDriverRec*;
using HACMSTREAM = TACMStreamRec*;
using HACMOBJ = const void*; // nullptr, an HACMDRIVERID or an HACMDRIVER

// ---------------------------------------------------------------------------------------------
// Drivers
//
// A driver file is a shared object exporting
//
//     extern "C" intptr_t DriverProc(uintptr_t driverId, uint32_t message,
//                                    intptr_t param1, intptr_t param2);
//
// ACM sends it these messages; driverId is 0 until DRV_OPEN, afterwards the value DRV_OPEN
// returned. Unknown messages must answer MMSYSERR_NOTSUPPORTED.
//
//   DRV_LOAD              (0, 0)                         nonzero: the driver can work. Once, by
//                                                        acmDriverAdd.
//   DRV_FREE              (0, 0)                         once, by acmDriverRemove.
//   DRV_OPEN              (0, 0)                         a nonzero instance id; 0 refuses.
//   DRV_CLOSE             (0, 0)                         nonzero: closed.
//   ACMDM_DRIVER_DETAILS  (TACMDriverDetails*, 0)        MMSYSERR_NOERROR after filling it.
//   ACMDM_FORMAT_SUGGEST  (TACMDrvFormatSuggest*, 0)     MMSYSERR_NOERROR after writing the
//                                                        suggestion, or ACMERR_NOTPOSSIBLE.
//   ACMDM_STREAM_OPEN     (TACMDrvStreamInstance*, 0)    MMSYSERR_NOERROR or ACMERR_NOTPOSSIBLE;
//                                                        with ACM_STREAMOPENF_QUERY only tells;
//                                                        otherwise may keep its state in
//                                                        dwDriver.
//   ACMDM_STREAM_SIZE     (TACMDrvStreamInstance*, TACMDrvStreamSize*)
//   ACMDM_STREAM_CONVERT  (TACMDrvStreamInstance*, TACMDrvStreamHeader*)
//                                                        sets both ...Used fields.
//   ACMDM_STREAM_CLOSE    (TACMDrvStreamInstance*, 0)    frees what dwDriver holds.
//
// Everything runs on the caller's thread; a driver needs no locks.
// ---------------------------------------------------------------------------------------------

extern "C" {
using TACMDriverProc = intptr_t (*)(uintptr_t driverId, uint32_t message, intptr_t param1,
                                    intptr_t param2);
}

constexpr uint32_t DRV_LOAD = 0x0001;
constexpr uint32_t DRV_OPEN = 0x0003;
constexpr uint32_t DRV_CLOSE = 0x0004;
constexpr uint32_t DRV_FREE = 0x0006;
constexpr uint32_t ACMDM_BASE = 0x6000;
constexpr uint32_t ACMDM_DRIVER_DETAILS = ACMDM_BASE + 10;
constexpr uint32_t ACMDM_FORMAT_SUGGEST = ACMDM_BASE + 25;
constexpr uint32_t ACMDM_STREAM_OPEN = ACMDM_BASE + 76;
constexpr uint32_t ACMDM_STREAM_CLOSE = ACMDM_BASE + 77;
constexpr uint32_t ACMDM_STREAM_SIZE = ACMDM_BASE + 78;
constexpr uint32_t ACMDM_STREAM_CONVERT = ACMDM_BASE + 79;

struct TACMDriverDetails {
    uint32_t cbStruct;
    uint32_t MaxFormatSize; // bytes of the largest format the driver knows, extra bytes included
    char ShortName[32];
};

struct TACMDrvFormatSuggest {
    uint32_t cbStruct;
    uint32_t fdwSuggest; // ACM_FORMATSUGGESTF_*: which fields of pwfxDst are fixed already
    const TWaveFormatEx* pwfxSrc;
    uint32_t cbwfxSrc;
    TWaveFormatEx* pwfxDst;
    uint32_t cbwfxDst; // room at pwfxDst; at least 18
};

struct TACMDrvStreamInstance {
    uint32_t cbStruct;
    const TWaveFormatEx* pwfxSrc; // with its extra bytes
    const TWaveFormatEx* pwfxDst;
    uint32_t fdwOpen;
    uintptr_t dwDriver; // the driver's own, for the stream's life
};

struct TACMDrvStreamSize {
    uint32_t cbStruct;
    uint32_t fdwSize; // ACM_STREAMSIZEF_SOURCE: cbSrcLength given, cbDstLength wanted
    uint32_t cbSrcLength;
    uint32_t cbDstLength;
};

struct TACMDrvStreamHeader {
    uint32_t cbStruct;
    uint32_t fdwConvert; // ACM_STREAMCONVERTF_*
    const uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
};

// ---------------------------------------------------------------------------------------------
// The calls
// ---------------------------------------------------------------------------------------------

// Adds a function driver for this process (flags ACM_DRIVERADDF_FUNCTION, priority 0). module
// is recorded only, as an identity. ACM keeps the shared object holding proc loaded until the
// driver is removed (or ACM torn down at exit), whenever the caller frees its own handle.
MMRESULT acmDriverAdd(HACMDRIVERID* driverId, const void* module, TACMDriverProc proc,
                      uint32_t priority, uint32_t flags);
inline MMRESULT acmDriverAddA(HACMDRIVERID* driverId, const void* module, TACMDriverProc proc,
                              uint32_t priority, uint32_t flags) {
    return acmDriverAdd(driverId, module, proc, priority, flags);
}
MMRESULT acmDriverOpen(HACMDRIVER* driver, HACMDRIVERID driverId, uint32_t flags);
// ACMERR_BUSY while a stream of the driver is open.
MMRESULT acmDriverClose(HACMDRIVER driver, uint32_t flags);
// ACMERR_BUSY while the driver is open.
MMRESULT acmDriverRemove(HACMDRIVERID driverId, uint32_t flags);

// ACM_METRIC_MAX_SIZE_FORMAT: of one driver, or of all drivers for nullptr.
MMRESULT acmMetrics(HACMOBJ object, uint32_t metric, void* value);

// A destination format for src. fdwSuggest names the fields of dst already fixed by the caller
// (ACM_FORMATSUGGESTF_*). driver nullptr asks every registered driver, then the built-in ones;
// otherwise only that driver. ACMERR_NOTPOSSIBLE when none can convert the format.
MMRESULT acmFormatSuggest(HACMDRIVER driver, const TWaveFormatEx* src, TWaveFormatEx* dst,
                          uint32_t dstSize, uint32_t fdwSuggest);

// Conversions are synchronous: no filter, no callback, no ACM_STREAMOPENF_ASYNC. stream may be
// nullptr with ACM_STREAMOPENF_QUERY. Driver choice as acmFormatSuggest.
MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER driver, const TWaveFormatEx* src,
                       const TWaveFormatEx* dst, const void* filter, uintptr_t callback,
                       uintptr_t instance, uint32_t flags);
MMRESULT acmStreamClose(HACMSTREAM stream, uint32_t flags);
// ACM_STREAMSIZEF_SOURCE: the most destination bytes input source bytes can give.
// ACM_STREAMSIZEF_DESTINATION: the source bytes, in whole blocks, whose conversion fits into
// input destination bytes. ACMERR_NOTPOSSIBLE when not even one block is involved.
MMRESULT acmStreamSize(HACMSTREAM stream, uint32_t input, uint32_t* output, uint32_t flags);
MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, TACMStreamHeader* header, uint32_t flags);
// ACM_STREAMCONVERTF_BLOCKALIGN: only whole source blocks are converted and the rest is left
// for the next call; without it a final partial block is converted as far as it goes.
// ACM_STREAMCONVERTF_START: the first conversion of a stream of data (state is reset).
MMRESULT acmStreamConvert(HACMSTREAM stream, TACMStreamHeader* header, uint32_t flags);
MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, TACMStreamHeader* header, uint32_t flags);
