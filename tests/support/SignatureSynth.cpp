#include "support/SignatureSynth.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <numeric>
#include <string>

namespace vellumix::testsupport {
namespace {

using sigformats::SignaturePoint;

// Where Debian's hershey-fonts-data puts the single-stroke cursive face.
constexpr const char* kCursiveFontPath = "/usr/share/hershey-fonts/cursive.jhf";
// .jhf record, one a line: 5-character id, 3-character vertex count (the
// bounds pair included), then the pairs, each coordinate a character offset
// from 'R'; " R" lifts the pen. Records run from the space upward.
constexpr std::size_t kCountAt = 5;
constexpr std::size_t kCountWidth = 3;
constexpr char kOrigin = 'R';
constexpr char kFirstGlyphChar = ' ';

// Pad area the words are fitted into, leaving a few units of slack so the
// jitter never needs clamping in practice.
constexpr double kFitLow = 24.0;
constexpr double kFitHigh = 999.0;
// Spacing of resampled points along a stroke, in pad units, when no point
// count is asked for. A pad sampling a moderately fast hand lands about here.
constexpr double kSampleStep = 4.0;
// Strokes whose ends lie this close (font units) are one pen-down run: the
// cursive letters are drawn to meet their neighbours at the baseline.
constexpr double kJoinDistance = 1.0;
constexpr std::size_t kMinPointsPerStroke = 2;
// Pad units are square in number but not on the glass: the writing area is
// wider than tall, so a round letter spans more units in y than in x.
constexpr double kPadAspect = 4.0 / 3.0;
// Baseline to baseline, in font units, for texts written on several lines.
constexpr double kLineHeight = 32.0;

// A small, fully specified generator so the same seed gives the same
// signature whatever standard library the program was built with.
class SplitMix {
public:
    explicit SplitMix(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t Next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [lo, hi).
    double Uniform(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(Next() >> 11) * 0x1.0p-53;
    }

private:
    std::uint64_t m_state;
};

struct Vec {
    double x = 0;
    double y = 0;
};
using Stroke = std::vector<Vec>;

struct Glyph {
    int left = 0;   // left bound; the glyph's pen position is at x = left
    int right = 0;  // right bound; the advance is right - left
    std::vector<Stroke> strokes;
};

std::vector<Glyph> LoadFont() {
    std::ifstream in(kCursiveFontPath);
    std::vector<Glyph> font;
    for (std::string line; std::getline(in, line) && line.size() > kCountAt + kCountWidth;) {
        const std::size_t pairs = std::stoul(line.substr(kCountAt, kCountWidth));
        const std::string_view xy = std::string_view(line).substr(kCountAt + kCountWidth);
        if (pairs == 0 || xy.size() < 2 * pairs) {
            break;
        }
        Glyph glyph{xy[0] - kOrigin, xy[1] - kOrigin, {{}}};
        for (std::size_t i = 2; i < 2 * pairs; i += 2) {
            if (xy[i] == ' ') {
                glyph.strokes.emplace_back();
            } else {
                glyph.strokes.back().push_back(
                    {double(xy[i] - kOrigin), double(xy[i + 1] - kOrigin)});
            }
        }
        std::erase_if(glyph.strokes, [](const Stroke& s) { return s.empty(); });
        font.push_back(std::move(glyph));
    }
    if (font.empty()) {
        std::fprintf(stderr, "%s is missing: install hershey-fonts-data\n", kCursiveFontPath);
        std::abort();
    }
    return font;
}

const std::vector<Glyph>& CursiveFont() {
    static const std::vector<Glyph> font = LoadFont();
    return font;
}

// The text's glyphs at their pen positions; a glyph's first stroke joins the
// previous one when the letters meet.
std::vector<Stroke> Layout(std::string_view text) {
    const std::vector<Glyph>& font = CursiveFont();
    std::vector<Stroke> strokes;
    Vec pen;
    for (char c : text) {
        if (c == '\n') {
            pen = {0, pen.y + kLineHeight};
            continue;
        }
        const auto index = static_cast<std::size_t>(static_cast<unsigned char>(c)) -
                           static_cast<std::size_t>(kFirstGlyphChar);
        // Characters the font lacks are set as a space rather than dropped, so
        // word spacing survives.
        const Glyph& glyph = index < font.size() ? font[index] : font.front();
        for (const Stroke& fontStroke : glyph.strokes) {
            Stroke placed;
            for (Vec p : fontStroke) {
                placed.push_back({pen.x + (p.x - glyph.left), pen.y + p.y});
            }
            const bool joins =
                &fontStroke == &glyph.strokes.front() && !strokes.empty() &&
                std::hypot(strokes.back().back().x - placed.front().x,
                           strokes.back().back().y - placed.front().y) <= kJoinDistance;
            if (joins) {
                strokes.back().insert(strokes.back().end(), placed.begin() + 1, placed.end());
            } else {
                strokes.push_back(std::move(placed));
            }
        }
        pen.x += glyph.right - glyph.left;
    }
    return strokes;
}

// A slant, a slightly tilted baseline and a height that differ per seed, as
// no two signatures by one hand are the same.
void ApplyHand(std::vector<Stroke>& strokes, SplitMix& rng) {
    const double slant = rng.Uniform(-0.15, 0.2);
    const double tilt = rng.Uniform(-0.04, 0.04);
    const double tallness = rng.Uniform(0.9, 1.15);
    for (auto& stroke : strokes) {
        for (Vec& p : stroke) {
            const double y = p.y * tallness * kPadAspect;
            p = {p.x - slant * y, y + tilt * p.x};
        }
    }
}

void FitToPad(std::vector<Stroke>& strokes) {
    double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
    for (const auto& stroke : strokes) {
        for (Vec p : stroke) {
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
    }
    const double span = kFitHigh - kFitLow;
    const double w = std::max(maxX - minX, 1.0);
    const double h = std::max(maxY - minY, 1.0);
    const double scale = std::min(span / w, span / h);
    const double offX = kFitLow + (span - w * scale) / 2;
    const double offY = kFitLow + (span - h * scale) / 2;
    for (auto& stroke : strokes) {
        for (Vec& p : stroke) {
            p = {offX + (p.x - minX) * scale, offY + (p.y - minY) * scale};
        }
    }
}

double Length(const Stroke& s) {
    double total = 0;
    for (std::size_t i = 1; i < s.size(); ++i) {
        total += std::hypot(s[i].x - s[i - 1].x, s[i].y - s[i - 1].y);
    }
    return total;
}

// n points evenly spaced along the stroke's arc, ends included.
Stroke Resample(const Stroke& s, std::size_t n, double length) {
    Stroke out;
    out.reserve(n);
    std::size_t segment = 1;
    double before = 0;  // arc length up to s[segment - 1]
    for (std::size_t k = 0; k < n; ++k) {
        const double at = n > 1 ? length * static_cast<double>(k) / static_cast<double>(n - 1) : 0;
        while (segment + 1 < s.size() && before + std::hypot(s[segment].x - s[segment - 1].x,
                                                             s[segment].y - s[segment - 1].y) <
                                             at) {
            before += std::hypot(s[segment].x - s[segment - 1].x, s[segment].y - s[segment - 1].y);
            ++segment;
        }
        if (s.size() < 2) {
            out.push_back(s.front());
            continue;
        }
        const Vec a = s[segment - 1];
        const Vec b = s[segment];
        const double seg = std::hypot(b.x - a.x, b.y - a.y);
        const double t = seg > 0 ? std::clamp((at - before) / seg, 0.0, 1.0) : 0.0;
        out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
    }
    return out;
}

// Points per stroke: by spacing, or shared out by length so that the total
// with one pen lift per stroke is exactly the target.
std::vector<std::size_t> PointsPerStroke(const std::vector<double>& lengths, std::size_t target,
                                         double step) {
    const std::size_t strokes = lengths.size();
    std::vector<std::size_t> counts(strokes, kMinPointsPerStroke);
    if (target == 0) {
        for (std::size_t i = 0; i < strokes; ++i) {
            counts[i] += static_cast<std::size_t>(std::ceil(lengths[i] / step));
        }
        return counts;
    }
    const std::size_t floor = strokes * (kMinPointsPerStroke + 1);
    if (target <= floor) {
        return counts;
    }
    const std::size_t spare = target - floor;
    const double total = std::accumulate(lengths.begin(), lengths.end(), 0.0);
    std::vector<std::pair<double, std::size_t>> remainders;
    std::size_t given = 0;
    for (std::size_t i = 0; i < strokes; ++i) {
        const double share = total > 0 ? static_cast<double>(spare) * lengths[i] / total
                                       : static_cast<double>(spare) / static_cast<double>(strokes);
        const auto whole = static_cast<std::size_t>(share);
        counts[i] += whole;
        given += whole;
        remainders.emplace_back(share - static_cast<double>(whole), i);
    }
    std::stable_sort(remainders.begin(), remainders.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (std::size_t k = 0; given < spare; ++k, ++given) {
        ++counts[remainders[k % strokes].second];
    }
    return counts;
}

}  // namespace

std::vector<SignaturePoint> MakeSignature(std::string_view text, unsigned seed,
                                          std::size_t targetPoints) {
    SplitMix rng(0x5EED0000ull ^ seed);
    std::vector<Stroke> strokes = Layout(text);
    if (strokes.empty()) {
        strokes.push_back({{0, 0}, {20, 2}});
    }
    ApplyHand(strokes, rng);
    FitToPad(strokes);

    std::vector<double> lengths;
    for (const auto& s : strokes) {
        lengths.push_back(Length(s));
    }
    const double step = kSampleStep * rng.Uniform(0.85, 1.15);
    const auto counts = PointsPerStroke(lengths, targetPoints, step);

    // The tremor of a hand: a slow wobble along the whole signature plus a
    // little noise on every sample, both well under the sample spacing.
    const double wobbleAmp = rng.Uniform(0.8, 2.0);
    const double wobbleWave = rng.Uniform(60.0, 140.0);
    const double phaseX = rng.Uniform(0, 2 * std::numbers::pi);
    const double phaseY = rng.Uniform(0, 2 * std::numbers::pi);
    constexpr double kNoise = 0.6;

    std::vector<SignaturePoint> points;
    std::size_t total = strokes.size();
    for (std::size_t c : counts) {
        total += c;
    }
    points.reserve(total);
    double travelled = 0;
    for (std::size_t i = 0; i < strokes.size(); ++i) {
        const Stroke samples = Resample(strokes[i], counts[i], lengths[i]);
        const double spacing =
            counts[i] > 1 ? lengths[i] / static_cast<double>(counts[i] - 1) : 0.0;
        for (Vec p : samples) {
            const double wave = 2 * std::numbers::pi * travelled / wobbleWave;
            const double x =
                p.x + wobbleAmp * std::sin(wave + phaseX) + rng.Uniform(-kNoise, kNoise);
            const double y =
                p.y + wobbleAmp * std::sin(wave + phaseY) + rng.Uniform(-kNoise, kNoise);
            points.push_back(
                {static_cast<std::int32_t>(
                     std::clamp(std::lround(x), 0L, static_cast<long>(sigformats::kPadUnitMax))),
                 static_cast<std::int32_t>(
                     std::clamp(std::lround(y), 0L, static_cast<long>(sigformats::kPadUnitMax)))});
            travelled += spacing;
        }
        points.push_back(sigformats::PEN_UP_POINT);
    }
    return points;
}

}  // namespace vellumix::testsupport
