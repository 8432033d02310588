#include "gamelib/WaveRead.h"

#include "platform/resources.h"
#include "platform/winpath.h"
#include "shell/Tools.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

uint32_t U32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// No format record needs more than its 18 bytes and a 16-bit count of extra bytes; a longer
// "fmt " chunk is damage, not a format.
constexpr uint32_t MaxFormatChunk = sizeof(TWaveFormatEx) + 0xFFFF;

// A converted batch is about half a second of source; a header claiming an absurd byte rate
// must not make it gigabytes.
constexpr uint64_t MaxSourceBatch = 16u << 20;

} // namespace

// ----- wave streams --------------------------------------------------------------------------

bool TWaveReadStream::ReadExactly(uint64_t offset, void* buffer, uint32_t count) {
    uint32_t got = 0;
    return SourceRead(offset, buffer, count, got) && got == count;
}

void TWaveReadStream::Open() {
    const uint64_t sourceSize = SourceSize();
    uint8_t head[12];
    uint32_t got = 0;
    if (!SourceRead(0, head, sizeof(head), got) || got < 8)
        throw EWaveError("Invalid multimedia file!");
    const bool riff = std::memcmp(head, "RIFF", 4) == 0;
    if (riff && got < 12) throw EWaveError("Invalid multimedia file!");
    if (!riff || std::memcmp(head + 8, "WAVE", 4) != 0) throw EWaveError("Not a wave file!");
    // Sub-chunks end with the RIFF chunk, or with the source when that is shorter.
    const uint64_t end = std::min<uint64_t>(8 + uint64_t(U32(head + 4)), sourceSize);

    // Offsets are 64-bit, so no chunk length can wrap them; a walk past the end finds nothing.
    auto find = [&](const char* id, uint64_t& contents, uint32_t& length) {
        for (uint64_t offset = 12; offset + 8 <= end;) {
            uint8_t chunk[8];
            if (!ReadExactly(offset, chunk, sizeof(chunk))) return false;
            length = U32(chunk + 4);
            if (std::memcmp(chunk, id, 4) == 0) {
                contents = offset + 8;
                return true;
            }
            offset += 8 + uint64_t(length) + (length & 1);
        }
        return false;
    };

    uint64_t formatOffset = 0;
    uint32_t formatLength = 0;
    if (!find("fmt ", formatOffset, formatLength)) throw EWaveError("Couldn't find 'fmt' chunk!");
    if (formatLength < 16 || formatLength > MaxFormatChunk ||
        formatLength > sourceSize - formatOffset)
        throw EWaveError("Error reading 'fmt' chunk!");
    FFormat.assign(std::max<uint32_t>(formatLength, sizeof(TWaveFormatEx)), 0);
    if (!ReadExactly(formatOffset, FFormat.data(), formatLength))
        throw EWaveError("Error reading 'fmt' chunk!");
    if (formatLength < sizeof(TWaveFormatEx)) {
        FFormat[16] = FFormat[17] = 0;
    } else {
        // Codecs read cbSize extra bytes behind the record: never more than the chunk holds.
        auto& format = *reinterpret_cast<TWaveFormatEx*>(FFormat.data());
        format.cbSize = static_cast<uint16_t>(
            std::min<uint32_t>(format.cbSize, formatLength - sizeof(TWaveFormatEx)));
    }
    if (Format().nBlockAlign == 0) throw EWaveError("Invalid wave format: block alignment 0!");

    uint64_t dataOffset = 0;
    uint32_t dataLength = 0;
    if (!find("data", dataOffset, dataLength)) throw EWaveError("Couldn't find 'data' chunk!");
    if (dataOffset > std::numeric_limits<uint32_t>::max()) throw EWaveError("Error seeking data!");
    if (dataLength > sourceSize - dataOffset)
        throw EWaveError("'data' chunk is longer than the file!");
    FDataOffset = static_cast<uint32_t>(dataOffset);
    FSize = dataLength;
    FPosition = FDataOffset;
}

uint32_t TWaveReadStream::Read(void* buffer, uint32_t count) {
    const uint32_t align = Format().nBlockAlign;
    count = count / align * align;
    // Reading stops at the end of the data chunk: what follows is no sound.
    const uint64_t end = uint64_t(FDataOffset) + FSize;
    if (count == 0 || FPosition >= end) return 0;
    count = static_cast<uint32_t>(std::min<uint64_t>(count, end - FPosition));
    uint32_t got = 0;
    if (!SourceRead(FPosition, buffer, count, got)) throw EWaveError("Error reading from file.");
    FPosition += got;
    return got;
}

void TWaveReadStream::Rewind() {
    FPosition = FDataOffset;
}

TCustomMemoryWaveReadStream::TCustomMemoryWaveReadStream(const void* data, uint32_t length) {
    OpenMemory(data, length);
}

void TCustomMemoryWaveReadStream::OpenMemory(const void* data, uint32_t length) {
    if (!data && length != 0) throw EWaveError("Can't open memory stream.");
    FData = static_cast<const uint8_t*>(data);
    FLength = length;
    Open();
}

bool TCustomMemoryWaveReadStream::SourceRead(uint64_t offset, void* buffer, uint32_t count,
                                             uint32_t& got) {
    got = 0;
    if (offset >= FLength) return true;
    got = static_cast<uint32_t>(std::min<uint64_t>(count, FLength - offset));
    std::memcpy(buffer, FData + offset, got);
    return true;
}

TFileWaveReadStream::TFileWaveReadStream(const std::string& fileName) : FFileName(fileName) {
    FFile.reset(std::fopen(ResolvePath(fileName).c_str(), "rb"));
    if (!FFile || std::fseek(FFile.get(), 0, SEEK_END) != 0)
        throw EWaveError("Can't open file stream.");
    const long size = std::ftell(FFile.get());
    if (size < 0) throw EWaveError("Can't open file stream.");
    FFileSize = static_cast<uint64_t>(size);
    Open();
}

bool TFileWaveReadStream::SourceRead(uint64_t offset, void* buffer, uint32_t count, uint32_t& got) {
    got = 0;
    if (offset >= FFileSize) return true;
    if (offset != FFilePosition) {
        if (offset > uint64_t(std::numeric_limits<long>::max()) ||
            std::fseek(FFile.get(), static_cast<long>(offset), SEEK_SET) != 0) {
            FFilePosition = UINT64_MAX;
            return false;
        }
        FFilePosition = offset;
    }
    got = static_cast<uint32_t>(std::fread(buffer, 1, count, FFile.get()));
    FFilePosition += got;
    return !std::ferror(FFile.get());
}

TResourceWaveReadStream::TResourceWaveReadStream(const std::string& name, const std::string& type) {
    if (!FindResource(type, name, &FResource))
        throw EResNotFound("Resource " + name + " not found");
    OpenMemory(FResource.constData(), static_cast<uint32_t>(FResource.size()));
}

// ----- the PCM reader ------------------------------------------------------------------------

TWavePCMReader::TWavePCMReader(TWaveReadStream& source, HACMDRIVER driver) : FSource(source) {
    uint32_t formatSize = 0;
    MMRESULT result = acmMetrics(driver, ACM_METRIC_MAX_SIZE_FORMAT, &formatSize);
    if (result != MMSYSERR_NOERROR)
        throw EWaveError("AcmAppChooserFormatSuggest() acmMetrics failed (" +
                         std::to_string(result) + ")");
    // A registered driver decodes only its own formats; the others fall back to every driver
    // (below), so the format room must fit theirs too.
    if (uint32_t all = 0; driver && acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &all) == 0)
        formatSize = std::max(formatSize, all);
    const std::vector<uint8_t>& sourceBytes = source.FormatBytes();
    const TWaveFormatEx& sourceFormat = source.Format();
    formatSize = std::max<uint32_t>(formatSize, sourceFormat.cbSize + sizeof(TWaveFormatEx));
    FFormat.assign(formatSize, 0);
    FFirstBlock = true;

    if (sourceFormat.wFormatTag == WAVE_FORMAT_PCM) {
        std::memcpy(FFormat.data(), sourceBytes.data(), sizeof(TWaveFormatEx));
        FSize = source.Size();
        return;
    }

    auto* pcm = reinterpret_cast<TWaveFormatEx*>(FFormat.data());
    auto suggest = [&](HACMDRIVER through) {
        std::fill(FFormat.begin(), FFormat.end(), 0);
        pcm->wFormatTag = WAVE_FORMAT_PCM;
        return acmFormatSuggest(through, &sourceFormat, pcm, formatSize,
                                ACM_FORMATSUGGESTF_WFORMATTAG);
    };
    HACMDRIVER through = driver;
    result = suggest(driver);
    if (result != MMSYSERR_NOERROR && driver) {
        // The MP3 driver must not keep ADPCM, A-law and the rest from their own decoders.
        through = nullptr;
        result = suggest(nullptr);
    }
    if (result != MMSYSERR_NOERROR)
        throw EWaveError("Can't suggest pcm format (" + std::to_string(result) +
                         "). format=" + std::to_string(sourceFormat.wFormatTag) +
                         " cbSize=" + std::to_string(sourceFormat.cbSize));

    result = acmStreamOpen(&FStream, through, &sourceFormat, pcm, nullptr, 0, 0, 0);
    if (result != MMSYSERR_NOERROR) {
        FStream = nullptr;
        throw EWaveError("Can't open acm stream (" + std::to_string(result) + "). ");
    }
    try {
        uint32_t destBlock = 0, sourceBlock = 0;
        if (acmStreamSize(FStream, sourceFormat.nBlockAlign, &destBlock, ACM_STREAMSIZEF_SOURCE) !=
                MMSYSERR_NOERROR ||
            acmStreamSize(FStream, destBlock, &sourceBlock, ACM_STREAMSIZEF_DESTINATION) !=
                MMSYSERR_NOERROR ||
            sourceBlock == 0)
            throw EWaveError("Can't recommend an acm stream size.");
        if (sourceFormat.nAvgBytesPerSec == 0) throw EWaveError("Average bytes per second = 0");
        uint64_t blocks =
            (uint64_t(sourceFormat.nAvgBytesPerSec) * 500 - 1) / (uint64_t(sourceBlock) * 1000) + 1;
        // Never more than the whole data in one batch, nor absurdly much for a bad header.
        const uint64_t dataBlocks = (uint64_t(source.Size()) + sourceBlock - 1) / sourceBlock;
        blocks =
            std::max<uint64_t>(1, std::min({blocks, dataBlocks, MaxSourceBatch / sourceBlock}));
        FSourceBufferLength = static_cast<uint32_t>(blocks * sourceBlock);
        FSourceBuffer.assign(FSourceBufferLength, 0);
        if (acmStreamSize(FStream, FSourceBufferLength, &FDestBufferLength,
                          ACM_STREAMSIZEF_SOURCE) != MMSYSERR_NOERROR ||
            FDestBufferLength == 0)
            throw EWaveError("Can't recommend an acm stream size.");
        FDestBuffer.assign(FDestBufferLength, 0);

        FHeader.pbSrc = FSourceBuffer.data();
        FHeader.cbSrcLength = FSourceBufferLength;
        FHeader.dwSrcUser = FSourceBufferLength;
        FHeader.pbDst = FDestBuffer.data();
        FHeader.cbDstLength = FDestBufferLength;
        FHeader.dwDstUser = FDestBufferLength;
        if (acmStreamPrepareHeader(FStream, &FHeader, 0) != MMSYSERR_NOERROR)
            throw EWaveError("Can't prepare headers.");
        const uint64_t estimate = uint64_t(FDestBufferLength) * source.Size() / FSourceBufferLength;
        FSize = static_cast<uint32_t>(
            std::min<uint64_t>(estimate, std::numeric_limits<uint32_t>::max()));
    } catch (...) {
        acmStreamClose(FStream, 0);
        FStream = nullptr;
        throw;
    }
}

TWavePCMReader::~TWavePCMReader() {
    if (!FStream) return;
    if (FHeader.fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) {
        FHeader.cbSrcLength = static_cast<uint32_t>(FHeader.dwSrcUser);
        FHeader.cbDstLength = static_cast<uint32_t>(FHeader.dwDstUser);
        acmStreamUnprepareHeader(FStream, &FHeader, 0);
    }
    acmStreamClose(FStream, 0);
}

void TWavePCMReader::ConvertNextBlock() {
    const uint32_t got = FSource.Read(FSourceBuffer.data(), FSourceBufferLength);
    FDestStart += FDestValid;
    FDestValid = 0;
    if (got == 0) return; // the end: nothing to convert
    FHeader.cbSrcLength = got;
    FHeader.cbDstLength = FDestBufferLength;
    // A short batch is the last one: its partial block is converted as far as it goes.
    uint32_t flags = got == FSourceBufferLength ? ACM_STREAMCONVERTF_BLOCKALIGN : 0;
    if (FFirstBlock) {
        flags |= ACM_STREAMCONVERTF_START;
        FFirstBlock = false;
    }
    if (acmStreamConvert(FStream, &FHeader, flags) != MMSYSERR_NOERROR)
        throw EWaveError("Unable to convert sample.");
    FDestValid = FHeader.cbDstLengthUsed;
}

uint32_t TWavePCMReader::Read(void* buffer, uint32_t count) {
    const uint32_t align = Format().nBlockAlign;
    if (align == 0) return 0;
    count = count / align * align;
    if (count == 0) return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    if (!FStream) {
        // A trailing partial frame is no sample.
        const uint32_t got = FSource.Read(out, count) / align * align;
        FPosition += got;
        return got;
    }
    uint32_t copied = 0;
    if (FDestStart <= FPosition && FPosition < FDestStart + FDestValid) {
        copied = std::min(count, FDestStart + FDestValid - FPosition);
        std::memcpy(out, FDestBuffer.data() + (FPosition - FDestStart), copied);
    }
    while (copied < count) {
        ConvertNextBlock();
        if (FDestValid == 0) break;
        const uint32_t part = std::min(count - copied, FDestValid);
        std::memcpy(out + copied, FDestBuffer.data(), part);
        copied += part;
    }
    FPosition += copied;
    return copied;
}

void TWavePCMReader::Rewind() {
    FSource.Rewind();
    FPosition = 0;
    FDestStart = 0;
    FDestValid = 0;
    FFirstBlock = true;
}
