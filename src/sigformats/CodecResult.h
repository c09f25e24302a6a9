// What every codec answers: the decoded signature or the encoded bytes, or a
// typed error that carries the one line a user is shown. No codec throws, and
// none answers "nothing" without saying why.
//
// Thread safety: plain values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "sigformats/PointTimes.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::sigformats {

enum class CodecErrc {
    kNotOfFormat,    // not a file of the codec's format, or one damaged past reading
    kNoPoints,       // a file of the format that holds no points
    kTooManyPoints,  // more than kMaxDecodedPoints: hostile or broken
    kLocked,         // a locked .vbc that its own key does not open, refused
    kCannotStore,    // the points do not fit the format
};

struct CodecError {
    CodecErrc code = CodecErrc::kNotOfFormat;
    std::string message;  // "not a valid .sig file"; never empty
};

// What a decoder hands on. Only .inkml fills more than the points.
struct DecodedSignature {
    // Never empty on success: a file with nothing in it is kNoPoints.
    std::vector<SignaturePoint> points;
    // Parallel to points, or empty when the file carries no times.
    PointTimes times;
    // Points outside their format's declared range, left out of points.
    std::size_t dropped = 0;
    // Hover traces (the pen above the surface), left out: no ink.
    std::size_t hoverTraces = 0;
};

template <typename T>
class [[nodiscard]] CodecResult {
public:
    CodecResult(T value) : m_result(std::in_place_index<0>, std::move(value)) {}
    CodecResult(CodecError error) : m_result(std::in_place_index<1>, std::move(error)) {}

    bool Ok() const { return m_result.index() == 0; }
    explicit operator bool() const { return Ok(); }

    // Value() only after Ok(), Error() only after !Ok().
    T& Value() & { return std::get<0>(m_result); }
    const T& Value() const& { return std::get<0>(m_result); }
    T&& Value() && { return std::get<0>(std::move(m_result)); }
    const CodecError& Error() const { return std::get<1>(m_result); }

private:
    std::variant<T, CodecError> m_result;
};

using Decoded = CodecResult<DecodedSignature>;
using Encoded = CodecResult<std::vector<std::uint8_t>>;

// A decoder's success that carries points alone.
inline Decoded DecodedPoints(std::vector<SignaturePoint> points) {
    DecodedSignature decoded;
    decoded.points = std::move(points);
    return decoded;
}

// The sentences the codecs share. extension is the bare name ("sig"); why,
// when given, follows in parentheses.
CodecError NotValidFile(std::string_view extension, std::string_view why = {});
CodecError NoPointsIn(std::string_view extension);  // kNoPoints, as NotValidFile says it
CodecError CannotStore(std::string_view extension, std::string_view why = {});
CodecError TooManyPoints();
std::string NotValidFileText(std::string_view extension, std::string_view why = {});
std::string CannotStoreText(std::string_view extension, std::string_view why = {});

}  // namespace vellumix::sigformats
