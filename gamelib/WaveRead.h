#pragma once
// Wave data from a file, a memory block or a program resource, handed out as PCM.
//
// TWaveReadStream walks the RIFF structure itself (a four-character id, a 32-bit little-endian
// length, contents padded to an even length) and reads the raw bytes of the "data" chunk in
// whole blocks of the declared format. TWavePCMReader sits on a stream and hands out PCM:
// unchanged for PCM waves, converted batch by batch through the codec manager otherwise.
// Every failure is an EWaveError carrying the message the sound engine logs.
#include "platform/acm.h"

#include <QByteArray>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class EWaveError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class TWaveReadStream {
  public:
    virtual ~TWaveReadStream() = default;
    TWaveReadStream(const TWaveReadStream&) = delete;
    TWaveReadStream& operator=(const TWaveReadStream&) = delete;

    // At most count bytes of the data chunk, rounded down to whole blocks; fewer at its end.
    uint32_t Read(void* buffer, uint32_t count);
    void Rewind();

    // The "fmt " chunk: at least 18 bytes, cbSize 0 for a 16-byte chunk, extra bytes behind.
    const TWaveFormatEx& Format() const {
        return *reinterpret_cast<const TWaveFormatEx*>(FFormat.data());
    }
    // The whole record with its extra bytes, as read from the chunk.
    const std::vector<uint8_t>& FormatBytes() const { return FFormat; }
    uint32_t DataOffset() const { return FDataOffset; }
    // The data chunk's length, or what the source holds of it when it was cut short.
    uint32_t Size() const { return FSize; }

  protected:
    TWaveReadStream() = default;
    // Parses the source; the subclass has it ready. Leaves the position at the data.
    void Open();
    virtual uint64_t SourceSize() const = 0;
    // Reads from an absolute offset; false on an I/O error. got may be short at the end.
    virtual bool SourceRead(uint64_t offset, void* buffer, uint32_t count, uint32_t& got) = 0;

  private:
    bool ReadExactly(uint64_t offset, void* buffer, uint32_t count);
    std::vector<uint8_t> FFormat;
    uint32_t FDataOffset = 0;
    uint32_t FSize = 0;
    uint64_t FPosition = 0; // absolute offset of the next byte
};

// A block of memory the caller keeps alive as long as the stream.
class TCustomMemoryWaveReadStream : public TWaveReadStream {
  public:
    TCustomMemoryWaveReadStream(const void* data, uint32_t length);

  protected:
    TCustomMemoryWaveReadStream() = default;
    void OpenMemory(const void* data, uint32_t length);
    uint64_t SourceSize() const override { return FLength; }
    bool SourceRead(uint64_t offset, void* buffer, uint32_t count, uint32_t& got) override;

  private:
    const uint8_t* FData = nullptr;
    uint32_t FLength = 0;
};

class TFileWaveReadStream : public TWaveReadStream {
  public:
    // A Windows-style path (see platform/winpath.h).
    explicit TFileWaveReadStream(const std::string& fileName);
    const std::string& FileName() const { return FFileName; }

  protected:
    uint64_t SourceSize() const override { return FFileSize; }
    bool SourceRead(uint64_t offset, void* buffer, uint32_t count, uint32_t& got) override;

  private:
    struct TCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, TCloser> FFile;
    std::string FFileName;
    uint64_t FFileSize = 0;
    uint64_t FFilePosition = UINT64_MAX; // where the file stands; saves a seek per read
};

// A program resource (platform/resources.h) by type and name; EResNotFound when missing.
class TResourceWaveReadStream : public TCustomMemoryWaveReadStream {
  public:
    TResourceWaveReadStream(const std::string& name, const std::string& type);

  private:
    QByteArray FResource;
};

class TWavePCMReader {
  public:
    // driver: an opened codec driver, or nullptr to let the codec manager choose.
    TWavePCMReader(TWaveReadStream& source, HACMDRIVER driver);
    ~TWavePCMReader();
    TWavePCMReader(const TWavePCMReader&) = delete;
    TWavePCMReader& operator=(const TWavePCMReader&) = delete;

    // PCM bytes, a multiple of the PCM block; 0 at the end of the data.
    uint32_t Read(void* buffer, uint32_t count);
    void Rewind();

    const TWaveFormatEx& Format() const {
        return *reinterpret_cast<const TWaveFormatEx*>(FFormat.data());
    }
    // Exact for PCM waves, an estimate for converted ones.
    uint32_t Size() const { return FSize; }
    uint32_t Position() const { return FPosition; }
    bool Converted() const { return FStream != nullptr; }
    uint32_t SourceBufferLength() const { return FSourceBufferLength; }
    uint32_t DestBufferLength() const { return FDestBufferLength; }

  private:
    void ConvertNextBlock();

    TWaveReadStream& FSource;
    uint32_t FPosition = 0;
    uint32_t FSize = 0;
    bool FFirstBlock = true;
    bool FEnded = false; // the source is exhausted and the codec has handed out everything
    HACMSTREAM FStream = nullptr;
    TACMStreamHeader FHeader;
    std::vector<uint8_t> FFormat;
    std::vector<uint8_t> FSourceBuffer;
    uint32_t FSourceBufferLength = 0;
    std::vector<uint8_t> FDestBuffer;
    uint32_t FDestBufferLength = 0;
    uint32_t FDestValid = 0;
    uint32_t FDestStart = 0;
};
