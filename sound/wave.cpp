#include "sound/wave.h"

#include "core/errors.h"
#include "core/strutil.h"

#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

namespace {

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | uint32_t(uint8_t(s[1])) << 8 | uint32_t(uint8_t(s[2])) << 16 |
           uint32_t(uint8_t(s[3])) << 24;
}

uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = uint8_t(v);
    b[at + 1] = uint8_t(v >> 8);
}

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (size_t i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

struct RiffChunk {
    uint32_t Id = 0;
    uint32_t Size = 0;      // as declared; may reach beyond the file
    uint32_t FormType = 0;  // RIFF chunks only
    uint64_t DataStart = 0;  // first byte after the header
    uint64_t End = 0;        // where its subchunks end: declared end, cut at the file's end
};

// Walks the chunks of a RIFF file held in memory. Searches go forward from
// the current position, as in a file read front to back; every size is
// checked against the bytes that are really there.
class RiffReader {
public:
    RiffReader(const uint8_t* bytes, size_t size) : Bytes(bytes), Size(size) {}

    bool DescendRiff(uint32_t formType, RiffChunk& chunk) {
        for (;;) {
            if (Pos + 12 > Size) return false;
            const uint32_t id = Get32(Bytes + Pos);
            const uint32_t size = Get32(Bytes + Pos + 4);
            if (id == FourCC("RIFF") && Get32(Bytes + Pos + 8) == formType) {
                chunk.Id = id;
                chunk.Size = size;
                chunk.FormType = formType;
                chunk.DataStart = Pos + 8;
                chunk.End = std::min<uint64_t>(chunk.DataStart + size, Size);
                Pos += 12;
                return true;
            }
            Pos += 8 + uint64_t(size) + (size & 1);
        }
    }

    bool DescendChunk(uint32_t id, const RiffChunk& parent, RiffChunk& chunk) {
        for (;;) {
            if (Pos + 8 > parent.End) return false;
            const uint32_t found = Get32(Bytes + Pos);
            const uint32_t size = Get32(Bytes + Pos + 4);
            if (found == id) {
                chunk.Id = id;
                chunk.Size = size;
                chunk.DataStart = Pos + 8;
                chunk.End = std::min<uint64_t>(chunk.DataStart + size, Size);
                Pos += 8;
                return true;
            }
            Pos += 8 + uint64_t(size) + (size & 1);
        }
    }

    // Moves behind the chunk; false when its declared end lies beyond the
    // file (a missing final pad byte is tolerated).
    bool Ascend(const RiffChunk& chunk) {
        const uint64_t end = chunk.DataStart + chunk.Size;
        if (end > Size) return false;
        Pos = std::min<uint64_t>(end + (chunk.Size & 1), Size);
        return true;
    }

    // Exactly n bytes or nothing.
    bool Read(void* to, uint64_t n) {
        if (Pos > Size || n > Size - Pos) return false;
        if (n) std::memcpy(to, Bytes + Pos, size_t(n));
        Pos += n;
        return true;
    }

    uint64_t Remaining() const { return Pos < Size ? Size - Pos : 0; }

private:
    const uint8_t* Bytes;
    uint64_t Size;
    uint64_t Pos = 0;
};

}  // namespace

void TWaveSound::Fail(const char* operation, const char* text) const {
    throw Exception(std::string("TWaveSound.") + operation + " error: " + text + " file " +
                    WaveFileName);
}

uint16_t TWaveSound::Field16(size_t at) const {
    if (FWaveFormat.size() < FormatRecordSize) return 0;
    return uint16_t(FWaveFormat[at] | FWaveFormat[at + 1] << 8);
}

uint32_t TWaveSound::SamplesPerSec() const {
    if (FWaveFormat.size() < FormatRecordSize) return 0;
    return Get32(FWaveFormat.data() + 4);
}

void TWaveSound::ClearWave() {
    FWaveFormat.clear();
    FWaveFormat.shrink_to_fit();
    FWaveData.clear();
    FWaveData.shrink_to_fit();
    FWaveLoaded = false;
}

void TWaveSound::LoadFromFile() {
    const std::string path = str::ToHostPath(WaveFileName);
    std::unique_ptr<TFileStream> file;
    std::error_code error;
    // A folder opens on some systems, but holds no wave.
    if (std::filesystem::is_regular_file(path, error)) {
        try {
            file = std::make_unique<TFileStream>(path, TFileStream::Mode::Read);
        } catch (const EFOpenError&) {
        }
    }
    if (!file) throw Exception("TWaveSound.LoadFromFile error: file " + WaveFileName + " is not open");
    LoadFromStream(*file);
}

void TWaveSound::LoadFromStream(TStream& stream) {
    std::vector<uint8_t> copy;
    const uint8_t* bytes;
    size_t size;
    if (auto* memory = dynamic_cast<TMemoryStream*>(&stream)) {
        bytes = memory->Bytes.data();
        size = memory->Bytes.size();
    } else {
        const uint64_t total = stream.Size();
        // The whole file must be addressable as one block of at most 2 GB.
        if (total == 0 || total > uint64_t(std::numeric_limits<int32_t>::max())) {
            ClearWave();
            Fail("LoadFromStream", "mmioOpen stream failed");
        }
        copy.resize(size_t(total));
        stream.Seek(0);
        stream.ReadBuffer(copy.data(), copy.size());
        bytes = copy.data();
        size = copy.size();
    }
    if (size == 0 || size > size_t(std::numeric_limits<int32_t>::max())) {
        ClearWave();
        Fail("LoadFromStream", "mmioOpen stream failed");
    }
    Load(bytes, size);
}

void TWaveSound::Load(const uint8_t* bytes, size_t size) {
    ClearWave();
    RiffReader riff(bytes, size);
    RiffChunk wave, fmt, data;
    if (!riff.DescendRiff(FourCC("WAVE"), wave)) Fail("Load", "Find RIFF failed");
    if (!riff.DescendChunk(FourCC("fmt "), wave, fmt)) Fail("Load", "Find fmt CHUNK failed");

    uint8_t record[FormatRecordSize] = {};
    const uint32_t recordBytes = fmt.Size >= FormatRecordSize ? uint32_t(FormatRecordSize) : fmt.Size;
    if (!riff.Read(record, recordBytes)) Fail("Load", "Read Wave format failed");
    uint16_t extraSize = 0;
    if (fmt.Size >= FormatRecordSize)
        extraSize = uint16_t(record[16] | record[17] << 8);
    else
        record[16] = record[17] = 0;

    try {
        FWaveFormat.assign(record, record + FormatRecordSize);
        if (extraSize) {
            // The extra bytes belong to the format chunk.
            FWaveFormat.resize(FormatRecordSize + extraSize);
            if (FormatRecordSize + extraSize > fmt.Size ||
                !riff.Read(FWaveFormat.data() + FormatRecordSize, extraSize))
                Fail("Load", "Read Extra data failed");
        }
        if (!riff.Ascend(fmt)) Fail("Load", "Release CHUNCK failed");
        if (!riff.DescendChunk(FourCC("data"), wave, data)) Fail("Load", "Find data CHUNK failed");
        if (data.Size < BlockAlign()) Put16(FWaveFormat, 12, data.Size);
        // A data chunk that claims more than the file holds is refused
        // before anything is allocated for it.
        if (data.Size > riff.Remaining() || data.Size > uint32_t(std::numeric_limits<int32_t>::max()))
            Fail("Load", "Read Wave data failed");
        FWaveData.resize(data.Size);
        if (!riff.Read(FWaveData.data(), data.Size)) Fail("Load", "Read Wave data failed");
        FWaveLoaded = true;
        if (FormatTag() != FormatTagPcm) Convert(0, 0, 0);
    } catch (...) {
        ClearWave();
        throw;
    }
}

void TWaveSound::Convert(uint16_t channels, uint16_t rate, uint16_t bits) {
    platform::PcmLayout layout{channels, rate, bits};
    const std::span<const uint8_t> source(FWaveFormat);
    // A PCM source keeps the layout asked for; anything else decodes to the
    // layout the codec picks.
    if (!Codec->SuggestPcm(source, layout, FormatTag() == FormatTagPcm))
        Fail("Convert", "acmFormatSuggest failed");
    auto stream = Codec->Open(source, layout);
    if (!stream) Fail("Convert", "acmStreamOpen failed");
    uint32_t destSize = 0;
    if (!stream->DestinationSize(uint32_t(FWaveData.size()), destSize)) Fail("Convert", "acmStreamSize failed");
    std::vector<uint8_t> dest(destSize);
    if (!stream->Prepare(FWaveData.data(), uint32_t(FWaveData.size()), dest.data(), destSize))
        Fail("Convert", "acmStreamPrepareHeader failed");
    uint32_t used = 0;
    if (!stream->Convert(used) || used > destSize) Fail("Convert", "acmStreamConvert failed");

    std::vector<uint8_t> format(FormatRecordSize, 0);
    const uint32_t blockAlign = uint32_t(layout.Channels) * layout.BitsPerSample / 8;
    Put16(format, 0, FormatTagPcm);
    Put16(format, 2, layout.Channels);
    Put32(format, 4, layout.SamplesPerSec);
    Put32(format, 8, layout.SamplesPerSec * blockAlign);
    Put16(format, 12, blockAlign);
    Put16(format, 14, layout.BitsPerSample);
    dest.resize(used);
    FWaveFormat = std::move(format);
    FWaveData = std::move(dest);
}

void TWaveSound::ConvertTo(uint16_t channels, uint16_t rate, uint16_t bits) {
    if (FWaveLoaded && (FormatTag() != FormatTagPcm || Channels() != channels ||
                        SamplesPerSec() != rate || BitsPerSample() != bits))
        Convert(channels, rate, bits);
}
