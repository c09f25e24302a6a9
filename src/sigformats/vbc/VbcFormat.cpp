#include "sigformats/vbc/VbcFormat.h"

#include <algorithm>

#include "sigformats/vbc/VbcHeader.h"
#include "sigformats/vbc/VbcStream.h"

namespace vellumix::sigformats::vbc {
namespace {

// In the record a stroke form point goes back to, any x of 0x4000 is a pen-up
// marker (the .sig layout's marker value).
constexpr std::int32_t kRecordPenUp = 0x4000;

constexpr std::string_view kLockedText = "the signature is locked and cannot be unlocked";

// Drawn instead of a locked signature that cannot be opened: a padlock
// (strokes 1-14) and a key (15-19), on a 400 x 100 grid.
constexpr StreamParams kPlaceholderParams{200, 200, 400, 100};
struct PlaceholderPoint {
    std::int16_t x;
    std::int16_t y;
};
constexpr PlaceholderPoint kStrokeEnd{-1, -1};
// clang-format off
constexpr PlaceholderPoint kPlaceholderDrawing[] = {
    {15, 45}, {15, 90}, kStrokeEnd,
    {85, 45}, {85, 90}, kStrokeEnd,
    {15, 45}, {85, 45}, kStrokeEnd,  {15, 50}, {85, 50}, kStrokeEnd,
    {15, 55}, {85, 55}, kStrokeEnd,  {15, 60}, {85, 60}, kStrokeEnd,
    {15, 65}, {85, 65}, kStrokeEnd,  {15, 70}, {85, 70}, kStrokeEnd,
    {15, 75}, {85, 75}, kStrokeEnd,  {15, 80}, {85, 80}, kStrokeEnd,
    {15, 85}, {85, 85}, kStrokeEnd,  {15, 90}, {85, 90}, kStrokeEnd,
    {20, 45}, {20, 20}, {30, 10}, {70, 10}, {80, 20}, {80, 45}, kStrokeEnd,
    {30, 45}, {30, 25}, {35, 20}, {65, 20}, {70, 25}, {70, 45}, kStrokeEnd,
    {100, 35}, {115, 20}, {145, 20}, {160, 35}, {225, 35}, {230, 40}, {230, 60}, {220, 60},
        {220, 65}, {205, 65}, {205, 60}, {200, 60}, {200, 65}, {185, 65}, {185, 60}, {180, 60},
        {180, 65}, {160, 65}, {145, 80}, {115, 80}, {100, 65}, {100, 35}, kStrokeEnd,
    {110, 45}, {115, 40}, {125, 40}, {130, 45}, {130, 55}, {125, 60}, {115, 60}, {110, 55},
        {110, 45}, kStrokeEnd,
    {230, 40}, {160, 40}, {160, 45}, {230, 45}, kStrokeEnd,
    {230, 50}, {160, 50}, {160, 65}, kStrokeEnd,
    {230, 60}, {160, 60}, kStrokeEnd,
};
// clang-format on

// Marker form and scaling. Pen-ups are emitted as they are: scaled, a marker
// would turn into (-2, -10) at a 400 x 100 grid and be dropped.
std::vector<SignaturePoint> ToSignaturePoints(std::span<const StrokePoint> points,
                                              const StreamParams& params) {
    const std::int64_t xRange = params.xRange == 0 ? kDefaultRange : params.xRange;
    const std::int64_t yRange = params.yRange == 0 ? kDefaultRange : params.yRange;
    const auto inRange = [](std::int64_t v) { return v >= PEN_UP_POINT.x && v <= kStoredUnitMax; };
    std::vector<SignaturePoint> out;
    out.reserve(points.size() + points.size() / 8);
    for (const StrokePoint& p : points) {
        if (p.strokeStart) {
            out.push_back(PEN_UP_POINT);
        }
        if (p.x == kRecordPenUp) {
            out.push_back(PEN_UP_POINT);
            continue;
        }
        // Ranges of 1024, the usual case, map one to one: no division.
        const std::int64_t x = xRange == kPadUnitRange ? std::int64_t{p.x}
                                                       : std::int64_t{p.x} * kPadUnitRange / xRange;
        const std::int64_t y = yRange == kPadUnitRange ? std::int64_t{p.y}
                                                       : std::int64_t{p.y} * kPadUnitRange / yRange;
        if (inRange(x) && inRange(y)) {
            out.push_back({static_cast<std::int32_t>(x), static_cast<std::int32_t>(y)});
        }
    }
    return out;
}

std::vector<SignaturePoint> PlaceholderDrawing() {
    std::vector<StrokePoint> strokes;
    bool start = true;
    for (const PlaceholderPoint& p : kPlaceholderDrawing) {
        if (p.x == kStrokeEnd.x) {
            start = true;
            continue;
        }
        strokes.push_back({p.x, p.y, start});
        start = false;
    }
    return ToSignaturePoints(strokes, kPlaceholderParams);
}

bool IsMarker(SignaturePoint p) {
    // Compared as the 16-bit values the record stores.
    return static_cast<std::uint16_t>(p.x) >= kRecordPenUp ||
           static_cast<std::uint16_t>(p.y) >= kRecordPenUp;
}

std::vector<StrokePoint> ToStrokeForm(std::span<const SignaturePoint> points) {
    std::vector<StrokePoint> strokes(points.size());
    std::size_t kept = 0;
    // The first point always starts a stroke, even at x = 0 or y = 0: the
    // stream can only begin with an escape. After a marker the next entry
    // starts a stroke without being tested, so a second marker in a row
    // becomes a start at (16383, 16383), which the decoder's range check drops.
    bool startNext = true;
    // A leading marker: the next entry starts the stroke.
    std::size_t i = !points.empty() && IsMarker(points.front()) ? 1 : 0;
    // Outside the 14-bit coordinates, so the first point repeats nothing.
    StrokePoint last{-1, -1, false};
    for (; i < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (!startNext && IsMarker(p)) {
            startNext = true;
            continue;
        }
        const StrokePoint point{static_cast<std::uint16_t>(p.x) & kCoordinateMask,
                                static_cast<std::uint16_t>(p.y) & kCoordinateMask, startNext};
        startNext = false;
        // A repeated continuation draws nothing, and its zero difference
        // pair would be read back as the start of an escape when it is last,
        // before a stroke start, or at the end of a narrower block. Repeats
        // come at random in a densely sampled signature, so the point is
        // written either way and only kept by the count: no branch to
        // mispredict.
        const bool samePlace = (point.x == last.x) & (point.y == last.y);
        const bool repeat = samePlace & (!point.strokeStart | last.strokeStart);
        strokes[kept] = point;
        kept += static_cast<std::size_t>(!repeat);
        // The kept point, from registers: a repeat has its x and y.
        last = {point.x, point.y, repeat ? last.strokeStart : point.strokeStart};
    }
    strokes.resize(kept);
    return strokes;
}

struct OpenedFile {
    VbcHeader header;
    std::vector<std::uint8_t> stream;
    bool locked = false;
    VbcError unlockError = VbcError::kSuccess;
};

// Splits off the header and, when the header holds a key entry, unlocks the
// stream with the key the file itself carries.
std::optional<OpenedFile> OpenFile(std::span<const std::uint8_t> file) {
    const auto end = std::find(file.begin(), file.end(), static_cast<std::uint8_t>(kHeaderEnd));
    if (end == file.end()) {
        return std::nullopt;
    }
    std::optional<VbcHeader> header = VbcHeader::Parse(std::string(file.begin(), end));
    if (!header) {
        return std::nullopt;
    }
    OpenedFile opened{std::move(*header), std::vector<std::uint8_t>(end + 1, file.end())};
    std::string key;
    if (opened.header.Find(kLockEntry, key) == VbcError::kSuccess) {
        opened.locked = true;
        opened.unlockError = Unlock(key, opened.header, opened.stream);
    }
    return opened;
}

CodecError CannotStoreFor(VbcError error) {
    return CannotStore(kExtension, VbcErrorText(error));
}

}  // namespace

Encoded EncodeVbc(std::span<const SignaturePoint> points, std::string_view options) {
    const std::vector<StrokePoint> strokes = ToStrokeForm(points);
    if (strokes.empty()) {
        return CannotStoreFor(VbcError::kEmptyArgument);
    }
    if (strokes.size() > kMaxStreamPoints) {
        return CannotStoreFor(VbcError::kNotPossible);
    }
    std::vector<std::uint8_t> stream = EncodeStream(strokes, kOwnParams);

    VbcHeader header(VbcVersion::k12);
    if (!options.empty()) {
        if (const VbcError error = header.AddFromText(options); error != VbcError::kSuccess) {
            return CannotStoreFor(error);
        }
    }
    std::string key;
    if (header.Find(kLockEntry, key) == VbcError::kSuccess) {
        if (const VbcError error = Lock(key, header, stream); error != VbcError::kSuccess) {
            return CannotStoreFor(error);
        }
    }

    const std::string text = header.Bytes();
    std::vector<std::uint8_t> file;
    file.reserve(text.size() + stream.size());
    file.assign(text.begin(), text.end());
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

Decoded DecodeVbc(std::span<const std::uint8_t> file, LockedVbc locked) {
    std::optional<OpenedFile> opened = OpenFile(file);
    if (!opened) {
        return NotValidFile(kExtension);
    }
    if (opened->unlockError != VbcError::kSuccess) {
        if (locked == LockedVbc::kRefuse) {
            return CodecError{CodecErrc::kLocked, std::string(kLockedText)};
        }
        return DecodedPoints(PlaceholderDrawing());
    }
    DecodedStream decoded = DecodeStream(opened->stream, opened->header.Version());
    if (decoded.error != VbcError::kSuccess) {
        return NotValidFile(kExtension, VbcErrorText(decoded.error));
    }
    ExpandReduction(decoded.points, decoded.header);
    std::vector<SignaturePoint> points = ToSignaturePoints(decoded.points, decoded.header.params);
    if (points.empty()) {
        return NoPointsIn(kExtension);
    }
    return DecodedPoints(std::move(points));
}

std::optional<VbcInfo> InspectVbc(std::span<const std::uint8_t> file) {
    std::optional<OpenedFile> opened = OpenFile(file);
    if (!opened) {
        return std::nullopt;
    }
    VbcInfo info;
    info.version = std::string(VersionTag(opened->header.Version()));
    info.entries = opened->header.Entries();
    info.locked = opened->locked;
    info.unlocked = opened->locked && opened->unlockError == VbcError::kSuccess;
    if (opened->unlockError != VbcError::kSuccess) {
        info.streamError = opened->unlockError;
        return info;
    }
    StreamHeaderResult read = ReadStreamHeader(opened->stream, opened->header.Version());
    if (read.error != VbcError::kSuccess) {
        info.streamError = read.error;
        return info;
    }
    StreamHeader& h = read.header;
    info.stream =
        VbcStreamInfo{h.params.paramA, h.params.paramB,     h.params.xRange, h.params.yRange,
                      h.profile,       h.rangesFromProfile, h.pointCount,    h.reduction,
                      h.blockLength,   std::move(h.widths)};
    return info;
}

}  // namespace vellumix::sigformats::vbc
