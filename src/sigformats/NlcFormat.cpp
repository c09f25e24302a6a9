#include "sigformats/NlcFormat.h"

#include <algorithm>
#include <cstdlib>

#include "sigformats/LittleEndian.h"

namespace vellumix::sigformats {

namespace {

enum class EntrySize : std::size_t { kNarrow = 1, kWide = 2 };

// Builds the data part record by record. Every write is checked against the
// file cap, so an over-long signature is noticed at the write that overflows.
class NlcWriter {
public:
    // False: the coding no longer fits the file cap.
    bool Add(SignaturePoint p);
    bool Finish() {
        CloseRecord();
        return m_fits;
    }
    const std::vector<std::uint8_t>& Data() const { return m_data; }

private:
    bool Reserve(std::size_t bytes);
    void CloseRecord();
    bool StartRecord(std::uint32_t sx, std::uint32_t sy);
    bool AppendEntry(int dx, int dy, EntrySize size);

    std::vector<std::uint8_t> m_data;
    std::size_t m_recordOffset = 0;
    bool m_haveRecord = false;
    bool m_newRecord = true;
    bool m_penUp = false;
    std::uint32_t m_entryCount = 0;
    EntrySize m_entrySize = EntrySize::kNarrow;
    int m_prevX = 0;
    int m_prevY = 0;
    bool m_fits = true;
};

bool NlcWriter::Reserve(std::size_t bytes) {
    // The whole file, 14-byte header included, must stay within the cap.
    if (nlc::kHeaderLength + m_data.size() + bytes > nlc::kMaxFileBytes) {
        m_fits = false;
    }
    return m_fits;
}

void NlcWriter::CloseRecord() {
    // A record without entries keeps the header word as first written.
    if (!m_haveRecord || m_entryCount == 0) {
        return;
    }
    std::uint32_t word = ReadLe32(m_data, m_recordOffset);
    word |= (m_entryCount & nlc::kEntryCountMask) << nlc::kEntryCountShift;
    if (m_entrySize == EntrySize::kWide) {
        word |= nlc::kWideEntriesBit;
    }
    WriteLe32(m_data, m_recordOffset, word);
}

bool NlcWriter::StartRecord(std::uint32_t sx, std::uint32_t sy) {
    CloseRecord();
    if (m_entryCount != 0) {
        m_entrySize = EntrySize::kNarrow;
        m_penUp = false;
    }
    if (!Reserve(nlc::kRecordHeaderBytes)) {
        return false;
    }
    std::uint32_t word = sx | (sy << nlc::kYShift);
    if (m_penUp) {
        word |= nlc::kPenUpBit;
    }
    m_recordOffset = m_data.size();
    m_data.resize(m_data.size() + nlc::kRecordHeaderBytes);
    WriteLe32(m_data, m_recordOffset, word);
    m_haveRecord = true;
    m_entryCount = 0;
    m_penUp = false;
    m_newRecord = false;
    m_prevX = static_cast<int>(sx);
    m_prevY = static_cast<int>(sy);
    return true;
}

bool NlcWriter::AppendEntry(int dx, int dy, EntrySize size) {
    if (!Reserve(static_cast<std::size_t>(size))) {
        return false;
    }
    const unsigned ax = static_cast<unsigned>(std::abs(dx));
    const unsigned ay = static_cast<unsigned>(std::abs(dy));
    if (size == EntrySize::kNarrow) {
        m_data.push_back(
            static_cast<std::uint8_t>(ax | (dx < 0 ? 0x08 : 0) | (ay << 4) | (dy < 0 ? 0x80 : 0)));
    } else {
        AppendLe16(m_data, static_cast<std::uint16_t>(ax | (dx < 0 ? 0x80 : 0) | (ay << 8) |
                                                      (dy < 0 ? 0x8000 : 0)));
    }
    m_entrySize = size;
    ++m_entryCount;
    m_prevX += dx;
    m_prevY += dy;
    return true;
}

bool NlcWriter::Add(SignaturePoint p) {
    if (p.x < 0 || p.y < 0) {
        CloseRecord();
        m_entryCount = 0;
        m_entrySize = EntrySize::kNarrow;
        m_penUp = true;
        m_newRecord = true;
        return true;
    }
    const std::uint32_t sx =
        (static_cast<std::uint32_t>(p.x) >> nlc::kCoordShift) & nlc::kStoredCoordMask;
    const std::uint32_t sy =
        (static_cast<std::uint32_t>(p.y) >> nlc::kCoordShift) & nlc::kStoredCoordMask;
    if (m_newRecord) {
        return StartRecord(sx, sy);
    }
    const int dx = static_cast<int>(sx) - m_prevX;
    const int dy = static_cast<int>(sy) - m_prevY;
    const int ox = std::abs(dx);
    const int oy = std::abs(dy);
    // A full record (1023 entries) starts a new one, even for a point at the
    // same place, which otherwise is dropped.
    if (m_entryCount >= nlc::kMaxEntries) {
        return StartRecord(sx, sy);
    }
    if (ox == 0 && oy == 0) {
        return true;
    }
    if (ox < nlc::kNarrowMoveLimit && oy < nlc::kNarrowMoveLimit) {
        // Entries of one record all have the same size.
        if (m_entrySize == EntrySize::kWide) {
            return StartRecord(sx, sy);
        }
        return AppendEntry(dx, dy, EntrySize::kNarrow);
    }
    if (ox < nlc::kWideMoveLimit && oy < nlc::kWideMoveLimit) {
        if (m_entrySize == EntrySize::kNarrow && m_entryCount > 0) {
            return StartRecord(sx, sy);
        }
        return AppendEntry(dx, dy, EntrySize::kWide);
    }
    return StartRecord(sx, sy);
}

// Walks the records of a file whose header is valid, calling emit for every
// point (pen lifts included). A record starts only below the data length, as
// the pad reads it, but its entries are read as far as the record says; every
// read stays inside the input. Returns false when the data length or a record
// runs past the end of the input.
template <typename Emit>
bool WalkRecords(std::span<const std::uint8_t> file, std::size_t& records, Emit&& emit) {
    const std::size_t dataEnd = nlc::kHeaderLength + ReadLe16(file, nlc::kOffsetDataLength);
    const std::size_t end = file.size();
    std::size_t offset = nlc::kHeaderLength;
    while (offset < dataEnd) {
        if (end - offset < nlc::kRecordHeaderBytes) {
            return false;
        }
        const std::uint32_t word = ReadLe32(file, offset);
        offset += nlc::kRecordHeaderBytes;
        ++records;
        if (word & nlc::kPenUpBit) {
            emit(true, 0, 0);
        }
        std::int64_t x = word & nlc::kCoordFieldMask;
        std::int64_t y = (word >> nlc::kYShift) & nlc::kCoordFieldMask;
        emit(false, x, y);
        const std::uint32_t count = (word >> nlc::kEntryCountShift) & nlc::kEntryCountMask;
        const bool wide = (word & nlc::kWideEntriesBit) != 0;
        for (std::uint32_t i = 0; i < count; ++i) {
            if (offset + (wide ? 2 : 1) > end) {
                return false;
            }
            if (wide) {
                const std::uint16_t e = ReadLe16(file, offset);
                x += (e & 0x80) ? -(e & 0x7F) : (e & 0x7F);
                y += (e & 0x8000) ? -((e >> 8) & 0x7F) : ((e >> 8) & 0x7F);
                offset += 2;
            } else {
                const std::uint8_t e = file[offset];
                x += (e & 0x08) ? -(e & 0x07) : (e & 0x07);
                y += (e & 0x80) ? -((e >> 4) & 0x07) : ((e >> 4) & 0x07);
                offset += 1;
            }
            emit(false, x, y);
        }
    }
    return true;
}

CodecError OverFileCap() {
    return CannotStore(nlc::kExtension,
                       "more than " + std::to_string(nlc::kMaxFileBytes) + " bytes");
}

}  // namespace

Encoded EncodeNlc(std::span<const SignaturePoint> points) {
    NlcWriter writer;
    for (const SignaturePoint& p : points) {
        // 9-bit stored coordinates hold pad units up to 4095, but stored data
        // never goes past 1024; larger values are garbage, not a signature.
        if (p.x > kStoredUnitMax || p.y > kStoredUnitMax) {
            return CannotStore(nlc::kExtension, "a point lies outside 0..1024");
        }
        if (!writer.Add(p)) {
            return OverFileCap();
        }
    }
    if (!writer.Finish()) {
        return OverFileCap();
    }
    const std::vector<std::uint8_t>& data = writer.Data();
    std::vector<std::uint8_t> out(nlc::kHeaderLength);
    std::span<std::uint8_t> header(out);
    std::copy(nlc::kMagic.begin(), nlc::kMagic.end(), out.begin());
    WriteLe16(header, nlc::kOffsetDataLength, static_cast<std::uint16_t>(data.size()));
    WriteLe16(header, nlc::kOffsetXRange, nlc::kRange);
    WriteLe16(header, nlc::kOffsetYRange, nlc::kRange);
    WriteLe16(header, nlc::kOffsetParamA, nlc::kDeviceParamA);
    WriteLe16(header, nlc::kOffsetParamB, nlc::kDeviceParamB);
    std::copy(nlc::kTrailer.begin(), nlc::kTrailer.end(), out.begin() + nlc::kOffsetTrailer);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::optional<NlcHeaderInfo> InspectNlc(std::span<const std::uint8_t> file) {
    if (file.size() < nlc::kHeaderLength) {
        return std::nullopt;
    }
    NlcHeaderInfo info;
    info.magicOk = std::equal(nlc::kMagic.begin(), nlc::kMagic.end(), file.begin());
    info.trailerOk =
        std::equal(nlc::kTrailer.begin(), nlc::kTrailer.end(), file.begin() + nlc::kOffsetTrailer);
    info.dataLength = ReadLe16(file, nlc::kOffsetDataLength);
    info.xRange = ReadLe16(file, nlc::kOffsetXRange);
    info.yRange = ReadLe16(file, nlc::kOffsetYRange);
    info.deviceParamA = ReadLe16(file, nlc::kOffsetParamA);
    info.deviceParamB = ReadLe16(file, nlc::kOffsetParamB);
    if (info.xRange == 0 || info.yRange == 0) {
        return std::nullopt;
    }
    info.truncated =
        !WalkRecords(file, info.recordCount, [&info](bool penUp, std::int64_t, std::int64_t) {
            ++info.pointCount;
            info.penUpCount += penUp ? 1 : 0;
        });
    return info;
}

Decoded DecodeNlc(std::span<const std::uint8_t> file) {
    if (file.size() < nlc::kHeaderLength) {
        return NotValidFile(nlc::kExtension);
    }
    const std::int64_t rx = ReadLe16(file, nlc::kOffsetXRange);
    const std::int64_t ry = ReadLe16(file, nlc::kOffsetYRange);
    if (rx == 0 || ry == 0) {
        return NotValidFile(nlc::kExtension);
    }
    std::vector<SignaturePoint> points;
    std::size_t records = 0;
    bool over = false;
    WalkRecords(file, records, [&](bool penUp, std::int64_t x, std::int64_t y) {
        // The walk is bounded by the input; the list must not be.
        if (points.size() > kMaxDecodedPoints) {
            over = true;
            return;
        }
        if (penUp) {
            points.push_back(PEN_UP_POINT);
        } else {
            points.push_back({static_cast<std::int32_t>(x * nlc::kDecodeScale / rx),
                              static_cast<std::int32_t>(y * nlc::kDecodeScale / ry)});
        }
    });
    if (over) {
        return TooManyPoints();
    }
    if (points.empty()) {
        return NoPointsIn(nlc::kExtension);
    }
    return DecodedPoints(std::move(points));
}

}  // namespace vellumix::sigformats
