#include "sigformats/InkmlFormat.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <memory>
#include <optional>

namespace vellumix::sigformats {

namespace {

// Expat joins a namespace URI and a local name with this; it cannot occur in
// either.
constexpr char kNsSeparator = '\x01';
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr double kPadRange = kPadUnitRange;
constexpr double kMicrosPerMilli = 1000.0;
// A trace's type when the pen was above the surface; "penDown", the
// default, and "indeterminate" are read as ink.
constexpr std::string_view kHoverTraceType = "penUp";

// ---------------------------------------------------------------- writing

void AppendTimeMs(std::string& out, PointTime us) {
    // Whole milliseconds, then only the decimals that are not zero, so that
    // 1302 us reads "1.302" and 2000 us "2".
    const bool negative = us < 0;
    const auto magnitude =
        negative ? 0 - static_cast<std::uint64_t>(us) : static_cast<std::uint64_t>(us);
    if (negative) {
        out += '-';
    }
    out += std::to_string(magnitude / 1000);
    const auto frac = static_cast<unsigned>(magnitude % 1000);
    if (frac != 0) {
        char digits[4] = {static_cast<char>('0' + frac / 100),
                          static_cast<char>('0' + frac / 10 % 10),
                          static_cast<char>('0' + frac % 10), '\0'};
        std::string_view text(digits, 3);
        while (text.back() == '0') {
            text.remove_suffix(1);
        }
        out += '.';
        out += text;
    }
}

constexpr std::string_view kDocumentStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<ink xmlns=\"http://www.w3.org/2003/InkML\">\n";
constexpr std::string_view kCutShortStart = "  <annotation type=\"description\">";
constexpr std::string_view kCutShortEnd = "</annotation>\n";
constexpr std::string_view kDocumentHead =
    "  <context>\n"
    "    <traceFormat>\n"
    "      <channel name=\"X\" type=\"integer\" min=\"0\" max=\"1024\"/>\n"
    "      <channel name=\"Y\" type=\"integer\" min=\"0\" max=\"1024\"/>\n";
constexpr std::string_view kTimeChannel =
    "      <channel name=\"T\" type=\"decimal\" units=\"ms\"/>\n";
constexpr std::string_view kHeadEnd =
    "    </traceFormat>\n"
    "  </context>\n";
constexpr std::string_view kDocumentEnd = "</ink>\n";

// ---------------------------------------------------------------- reading

struct Channel {
    std::string name;
    std::optional<double> min;
    std::optional<double> max;
    std::string units;
};

struct TraceFormat {
    std::vector<Channel> channels;
    std::size_t regular = 0;  // channels before the intermittent ones
    int x = -1;
    int y = -1;
    int t = -1;
};

// InkML's default trace format when a file declares none.
TraceFormat DefaultFormat() {
    TraceFormat f;
    f.channels = {{"X", {}, {}, {}}, {"Y", {}, {}, {}}};
    f.regular = 2;
    f.x = 0;
    f.y = 1;
    return f;
}

struct RawPoint {
    double x = 0;
    double y = 0;
    double t = 0;
    bool hasT = false;
    std::size_t format = 0;
};

// One stroke of raw values before the mapping into pad units.
using RawStroke = std::vector<RawPoint>;

enum class Difference { kExplicit, kFirst, kSecond };

struct ChannelState {
    Difference mode = Difference::kExplicit;
    double value = 0;
    double velocity = 0;
    int seen = 0;  // values so far in this trace, capped at 2
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// One number as the trace grammar writes it: a sign, which blanks may part
// from its number ("- 50"), then a decimal ("12", ".5", "1e3") or a
// hexadecimal integer ("#1A"). On success i is just past the number. A hex
// number too long for 64 bits reads as infinite, for the range check to
// refuse.
bool ParseNumber(std::string_view text, std::size_t& i, double& value) {
    std::size_t at = i;
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
        while (at < text.size() && IsSpace(text[at])) {
            ++at;
        }
        // from_chars would take the second sign of "+-5" or "- -5".
        if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
            return false;
        }
    }
    const char* last = text.data() + text.size();
    const char* end = nullptr;
    if (at < text.size() && text[at] == '#') {
        std::uint64_t hex = 0;
        const auto [ptr, ec] = std::from_chars(text.data() + at + 1, last, hex, 16);
        if (ec == std::errc::result_out_of_range) {
            value = std::numeric_limits<double>::infinity();
        } else if (ec != std::errc()) {
            return false;
        } else {
            value = static_cast<double>(hex);
        }
        end = ptr;
    } else {
        const auto [ptr, ec] =
            std::from_chars(text.data() + at, last, value, std::chars_format::general);
        if (ec != std::errc()) {
            return false;
        }
        end = ptr;
    }
    if (negative) {
        value = -value;
    }
    i = static_cast<std::size_t>(end - text.data());
    return true;
}

// The values of one trace, point by point, as InkML writes them: points
// split by commas; values by white space, or by a sign or prefix that starts
// the next one ("10-5" is 10 and -5).
class TraceParser {
public:
    TraceParser(const TraceFormat& format, std::size_t formatIndex)
        : m_format(format), m_formatIndex(formatIndex), m_state(format.channels.size()) {}

    // Appends the trace's points to stroke; false with error set on bad text
    // or more points than the budget.
    bool Parse(std::string_view text, RawStroke& stroke, std::size_t pointBudget,
               CodecError& error);

private:
    // The values of one point that the reader keeps.
    struct PointValues {
        std::optional<double> x, y, t;
    };

    bool ParsePoint(std::string_view text, RawPoint& point, bool& empty, std::string& error);
    // One channel's value from text[i] on (no white space there); i ends just
    // past it.
    bool ReadValue(std::string_view text, std::size_t& i, std::size_t channel, PointValues& values,
                   std::string& error);
    bool SkipNonNumber(char c, std::size_t channel, std::string& error) const;
    static bool Resolve(ChannelState& state, double raw, double& value, std::string& error);

    const TraceFormat& m_format;
    std::size_t m_formatIndex;
    std::vector<ChannelState> m_state;
};

bool TraceParser::Parse(std::string_view text, RawStroke& stroke, std::size_t pointBudget,
                        CodecError& error) {
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) {
            comma = text.size();
        }
        RawPoint point;
        bool empty = false;
        std::string why;
        if (!ParsePoint(text.substr(start, comma - start), point, empty, why)) {
            error = {CodecErrc::kNotOfFormat, std::move(why)};
            return false;
        }
        if (empty) {
            // Only a trace that is all white space may have no values; an
            // empty point between commas is malformed.
            if (comma != text.size() || !stroke.empty() || start != 0) {
                error = {CodecErrc::kNotOfFormat, "a trace has an empty point between commas"};
                return false;
            }
        } else {
            if (stroke.size() >= pointBudget) {
                error = {
                    CodecErrc::kTooManyPoints,
                    "the file holds more than " + std::to_string(inkml::kMaxPoints) + " points"};
                return false;
            }
            stroke.push_back(point);
        }
        start = comma + 1;
    }
    return true;
}

std::size_t SkipSpace(std::string_view text, std::size_t i) {
    while (i < text.size() && IsSpace(text[i])) {
        ++i;
    }
    return i;
}

// Booleans and unknown values, which only the channels we skip may hold.
bool IsNonNumber(char c) {
    return c == 'T' || c == 'F' || c == '?' || c == '*';
}

bool TraceParser::ParsePoint(std::string_view text, RawPoint& point, bool& empty,
                             std::string& error) {
    PointValues values;
    std::size_t channel = 0;
    for (std::size_t i = SkipSpace(text, 0); i < text.size(); i = SkipSpace(text, i)) {
        if (channel >= m_format.channels.size()) {
            error = "a trace point has more values than its trace format has channels (" +
                    std::to_string(m_format.channels.size()) + ")";
            return false;
        }
        if (!ReadValue(text, i, channel, values, error)) {
            return false;
        }
        ++channel;
    }
    empty = channel == 0;
    if (empty) {
        return true;
    }
    if (channel < m_format.regular) {
        error = "a trace point has " + std::to_string(channel) +
                " values, its trace format needs " + std::to_string(m_format.regular);
        return false;
    }
    // X and Y are regular channels, so a point that got this far has both.
    point.x = *values.x;
    point.y = *values.y;
    if (values.t) {
        point.t = *values.t;
        point.hasT = true;
    }
    point.format = m_formatIndex;
    return true;
}

bool TraceParser::ReadValue(std::string_view text, std::size_t& i, std::size_t channel,
                            PointValues& values, std::string& error) {
    ChannelState& state = m_state[channel];
    // A prefix holds for this channel's later values in the trace too.
    while (i < text.size() && (text[i] == '!' || text[i] == '\'' || text[i] == '"')) {
        state.mode = text[i] == '!'    ? Difference::kExplicit
                     : text[i] == '\'' ? Difference::kFirst
                                       : Difference::kSecond;
        i = SkipSpace(text, i + 1);
    }
    if (i == text.size()) {
        error = "a trace ends with a difference prefix and no value";
        return false;
    }
    if (IsNonNumber(text[i])) {
        ++i;
        return SkipNonNumber(text[i - 1], channel, error);
    }
    double raw = 0;
    const std::size_t valueStart = i;
    if (!ParseNumber(text, i, raw)) {
        error = "a trace holds \"" +
                std::string(
                    text.substr(valueStart, std::min<std::size_t>(16, text.size() - valueStart))) +
                "\" where a number belongs";
        return false;
    }
    double value = 0;
    if (!Resolve(state, raw, value, error)) {
        return false;
    }
    const int index = static_cast<int>(channel);
    if (index == m_format.x) {
        values.x = value;
    } else if (index == m_format.y) {
        values.y = value;
    } else if (index == m_format.t) {
        values.t = value;
    }
    return true;
}

bool TraceParser::SkipNonNumber(char c, std::size_t channel, std::string& error) const {
    const int index = static_cast<int>(channel);
    if (index == m_format.x || index == m_format.y || index == m_format.t) {
        error = std::string("a trace has '") + c + "' for its " + m_format.channels[channel].name +
                " value, which must be a number";
        return false;
    }
    return true;
}

// The channel's value from what the trace wrote, by its difference mode.
bool TraceParser::Resolve(ChannelState& state, double raw, double& value, std::string& error) {
    value = raw;
    switch (state.mode) {
        case Difference::kExplicit:
            state.velocity = state.seen > 0 ? raw - state.value : 0;
            break;
        case Difference::kFirst:
            if (state.seen < 1) {
                error = "a trace starts with a difference instead of a value";
                return false;
            }
            state.velocity = raw;
            value = state.value + raw;
            break;
        case Difference::kSecond:
            if (state.seen < 2) {
                error = "a trace has a second difference before two values";
                return false;
            }
            state.velocity += raw;
            value = state.value + state.velocity;
            break;
    }
    if (!std::isfinite(value) || std::abs(value) > inkml::kMaxMagnitude ||
        std::abs(state.velocity) > inkml::kMaxMagnitude) {
        error = "a trace value is out of any sensible range";
        return false;
    }
    state.value = value;
    state.seen = std::min(state.seen + 1, 2);
    return true;
}

struct Context {
    std::optional<std::size_t> format;
};

// Expat callbacks feed this; it keeps what the document defined so far and
// the strokes read.
class InkmlReader {
public:
    explicit InkmlReader(XML_Parser parser) : m_parser(parser) {
        m_formats.push_back(DefaultFormat());
    }

    void Start(const XML_Char* name, const XML_Char** attributes);
    void End(const XML_Char* name);
    void Text(const XML_Char* text, int length);
    void Fail(std::string message, CodecErrc code = CodecErrc::kNotOfFormat);

    // Empty message: no failure.
    const CodecError& Error() const { return m_error; }
    bool RootSeen() const { return m_rootSeen; }
    const std::vector<RawStroke>& Strokes() const { return m_strokes; }
    const std::vector<TraceFormat>& Formats() const { return m_formats; }
    std::size_t HoverTraces() const { return m_hoverTraces; }

private:
    using StartHandler = void (InkmlReader::*)(const XML_Char** attributes);
    using EndHandler = void (InkmlReader::*)();
    // What the reader does at the start and the end of each InkML element it
    // takes part in; others pass by.
    struct ElementHandlers {
        std::string_view name;
        StartHandler start = nullptr;
        EndHandler end = nullptr;
    };
    static const ElementHandlers* HandlersOf(std::string_view name);

    static std::optional<std::string_view> InkmlName(std::string_view name);
    static const XML_Char* Attribute(const XML_Char** attributes, std::string_view name);
    std::optional<std::size_t> Resolve(const XML_Char* reference, std::string_view element);
    bool CheckFormat(const TraceFormat& format);
    void StartRoot(const XML_Char* rawName, std::optional<std::string_view> name);

    void StartDefinitions(const XML_Char** attributes);
    void EndDefinitions();
    void StartTraceFormat(const XML_Char** attributes);
    void EndTraceFormat();
    void StartIntermittentChannels(const XML_Char** attributes);
    void EndIntermittentChannels();
    void StartChannel(const XML_Char** attributes);
    void StartContext(const XML_Char** attributes);
    void EndContext();
    void StartTraceGroup(const XML_Char** attributes);
    void EndTraceGroup();
    void StartTrace(const XML_Char** attributes);
    void EndTrace();

    XML_Parser m_parser;
    CodecError m_error;
    bool m_rootSeen = false;
    std::size_t m_depth = 0;

    std::vector<TraceFormat> m_formats;  // [0] is InkML's default X, Y
    std::map<std::string, std::size_t, std::less<>> m_formatIds;
    std::map<std::string, Context, std::less<>> m_contexts;
    std::size_t m_currentFormat = 0;

    std::optional<TraceFormat> m_openFormat;
    std::optional<std::string> m_openFormatId;
    bool m_inIntermittent = false;
    std::optional<Context> m_openContext;
    std::optional<std::string> m_openContextId;
    std::size_t m_definitionsDepth = 0;
    std::vector<std::optional<std::size_t>> m_groups;  // a traceGroup's context format

    bool m_inTrace = false;
    bool m_hoverTrace = false;
    std::size_t m_traceFormat = 0;
    std::string m_traceText;
    std::size_t m_hoverTraces = 0;

    std::vector<RawStroke> m_strokes;
    std::size_t m_pointCount = 0;  // pen lifts included
};

std::optional<std::string_view> InkmlReader::InkmlName(std::string_view name) {
    const std::size_t sep = name.find(kNsSeparator);
    if (sep == std::string_view::npos || name.substr(0, sep) != inkml::kNamespace) {
        return std::nullopt;
    }
    return name.substr(sep + 1);
}

const XML_Char* InkmlReader::Attribute(const XML_Char** attributes, std::string_view name) {
    for (std::size_t i = 0; attributes[i]; i += 2) {
        std::string_view key = attributes[i];
        // xml:id arrives as the XML namespace, the separator, then "id".
        if (key == name) {
            return attributes[i + 1];
        }
        if (name == "xml:id" && key.size() == kXmlNamespace.size() + 3 &&
            key.substr(0, kXmlNamespace.size()) == kXmlNamespace &&
            key.substr(kXmlNamespace.size()) == std::string_view("\x01id", 3)) {
            return attributes[i + 1];
        }
    }
    return nullptr;
}

void InkmlReader::Fail(std::string message, CodecErrc code) {
    if (m_error.message.empty()) {
        m_error = {code, std::move(message)};
        XML_StopParser(m_parser, XML_FALSE);
    }
}

std::optional<std::size_t> InkmlReader::Resolve(const XML_Char* reference,
                                                std::string_view element) {
    std::string_view ref = reference;
    const std::string_view shown = ref;
    if (!ref.empty() && ref.front() == '#') {
        ref.remove_prefix(1);
    }
    if (element == "traceFormat") {
        if (auto it = m_formatIds.find(ref); it != m_formatIds.end()) {
            return it->second;
        }
    } else if (auto it = m_contexts.find(ref); it != m_contexts.end()) {
        return it->second.format.value_or(m_currentFormat);
    }
    Fail("the file refers to " + std::string(element) + " \"" + std::string(shown) +
         "\", which it does not define");
    return std::nullopt;
}

bool InkmlReader::CheckFormat(const TraceFormat& format) {
    if (format.x < 0 || format.y < 0 || static_cast<std::size_t>(format.x) >= format.regular ||
        static_cast<std::size_t>(format.y) >= format.regular) {
        Fail("a trace format has no X and Y channels: only X/Y ink can be read");
        return false;
    }
    return true;
}

const InkmlReader::ElementHandlers* InkmlReader::HandlersOf(std::string_view name) {
    static constexpr ElementHandlers kElements[] = {
        {"definitions", &InkmlReader::StartDefinitions, &InkmlReader::EndDefinitions},
        {"traceFormat", &InkmlReader::StartTraceFormat, &InkmlReader::EndTraceFormat},
        {"intermittentChannels", &InkmlReader::StartIntermittentChannels,
         &InkmlReader::EndIntermittentChannels},
        {"channel", &InkmlReader::StartChannel, nullptr},
        {"context", &InkmlReader::StartContext, &InkmlReader::EndContext},
        {"traceGroup", &InkmlReader::StartTraceGroup, &InkmlReader::EndTraceGroup},
        {"trace", &InkmlReader::StartTrace, &InkmlReader::EndTrace},
    };
    for (const ElementHandlers& element : kElements) {
        if (element.name == name) {
            return &element;
        }
    }
    return nullptr;
}

void InkmlReader::Start(const XML_Char* rawName, const XML_Char** attributes) {
    if (++m_depth > inkml::kMaxDepth) {
        Fail("the elements nest deeper than " + std::to_string(inkml::kMaxDepth) + " levels");
        return;
    }
    const std::optional<std::string_view> name = InkmlName(rawName);
    if (!m_rootSeen) {
        StartRoot(rawName, name);
        return;
    }
    // Inside a trace only its text counts.
    if (!name || m_inTrace) {
        return;
    }
    if (const ElementHandlers* element = HandlersOf(*name); element && element->start) {
        (this->*element->start)(attributes);
    }
}

void InkmlReader::End(const XML_Char* rawName) {
    --m_depth;
    const std::optional<std::string_view> name = InkmlName(rawName);
    if (!name || !m_error.message.empty() || (m_inTrace && *name != "trace")) {
        return;
    }
    if (const ElementHandlers* element = HandlersOf(*name); element && element->end) {
        (this->*element->end)();
    }
}

void InkmlReader::StartRoot(const XML_Char* rawName, std::optional<std::string_view> name) {
    m_rootSeen = true;
    if (name != "ink") {
        std::string shown = rawName;
        std::replace(shown.begin(), shown.end(), kNsSeparator, ' ');
        Fail("not an InkML document: the root element is <" + shown + ">, not <ink> in the " +
             std::string(inkml::kNamespace) + " namespace");
    }
}

void InkmlReader::StartDefinitions(const XML_Char**) {
    ++m_definitionsDepth;
}

void InkmlReader::EndDefinitions() {
    --m_definitionsDepth;
}

void InkmlReader::StartTraceFormat(const XML_Char** attributes) {
    if (m_openFormat) {
        Fail("a traceFormat inside a traceFormat");
        return;
    }
    m_openFormat.emplace();
    m_inIntermittent = false;
    const XML_Char* id = Attribute(attributes, "xml:id");
    m_openFormatId = id ? std::optional<std::string>(id) : std::nullopt;
}

void InkmlReader::EndTraceFormat() {
    if (!m_openFormat) {
        return;
    }
    const std::size_t index = m_formats.size();
    m_formats.push_back(std::move(*m_openFormat));
    m_openFormat.reset();
    if (m_openFormatId) {
        m_formatIds[*m_openFormatId] = index;
    }
    if (m_openContext) {
        m_openContext->format = index;
    } else if (m_definitionsDepth == 0 || !m_openFormatId) {
        m_currentFormat = index;
    }
}

void InkmlReader::StartIntermittentChannels(const XML_Char**) {
    m_inIntermittent = true;
}

void InkmlReader::EndIntermittentChannels() {
    m_inIntermittent = false;
}

void InkmlReader::StartChannel(const XML_Char** attributes) {
    // Only a trace format's channels are read.
    if (!m_openFormat) {
        return;
    }
    Channel channel;
    const XML_Char* channelName = Attribute(attributes, "name");
    channel.name = channelName ? channelName : "";
    for (auto [key, field] : {std::pair{"min", &channel.min}, std::pair{"max", &channel.max}}) {
        if (const XML_Char* text = Attribute(attributes, key)) {
            std::string_view v = text;
            double parsed = 0;
            const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), parsed);
            if (ec == std::errc() && ptr == v.data() + v.size() && std::isfinite(parsed)) {
                *field = parsed;
            }
        }
    }
    if (const XML_Char* units = Attribute(attributes, "units")) {
        channel.units = units;
    }
    TraceFormat& f = *m_openFormat;
    if (f.channels.size() == inkml::kMaxChannels) {
        Fail("a trace format has more than " + std::to_string(inkml::kMaxChannels) + " channels");
        return;
    }
    const int index = static_cast<int>(f.channels.size());
    if (!m_inIntermittent) {
        if (f.regular != f.channels.size()) {
            Fail("a trace format lists a channel after its intermittent channels");
            return;
        }
        ++f.regular;
    }
    if (channel.name == "X" && f.x < 0) {
        f.x = index;
    } else if (channel.name == "Y" && f.y < 0) {
        f.y = index;
    } else if (channel.name == "T" && f.t < 0) {
        f.t = index;
    }
    f.channels.push_back(std::move(channel));
}

void InkmlReader::StartContext(const XML_Char** attributes) {
    m_openContext.emplace();
    const XML_Char* id = Attribute(attributes, "xml:id");
    m_openContextId = id ? std::optional<std::string>(id) : std::nullopt;
    if (const XML_Char* ref = Attribute(attributes, "contextRef")) {
        m_openContext->format = Resolve(ref, "context");
    }
    if (const XML_Char* ref = Attribute(attributes, "traceFormatRef")) {
        m_openContext->format = Resolve(ref, "traceFormat");
    }
}

void InkmlReader::EndContext() {
    if (!m_openContext) {
        return;
    }
    if (m_openContextId) {
        m_contexts[*m_openContextId] = *m_openContext;
    }
    // A context outside the definitions changes the current one.
    if (m_definitionsDepth == 0 && m_openContext->format) {
        m_currentFormat = *m_openContext->format;
    }
    m_openContext.reset();
}

void InkmlReader::StartTraceGroup(const XML_Char** attributes) {
    std::optional<std::size_t> format = m_groups.empty() ? std::nullopt : m_groups.back();
    if (const XML_Char* ref = Attribute(attributes, "contextRef")) {
        format = Resolve(ref, "context");
    }
    m_groups.push_back(format);
}

void InkmlReader::EndTraceGroup() {
    if (!m_groups.empty()) {
        m_groups.pop_back();
    }
}

void InkmlReader::StartTrace(const XML_Char** attributes) {
    m_inTrace = true;
    const XML_Char* type = Attribute(attributes, "type");
    m_hoverTrace = type != nullptr && std::string_view(type) == kHoverTraceType;
    m_traceText.clear();
    m_traceFormat = m_currentFormat;
    if (!m_groups.empty() && m_groups.back()) {
        m_traceFormat = *m_groups.back();
    }
    if (const XML_Char* ref = Attribute(attributes, "contextRef")) {
        if (auto format = Resolve(ref, "context")) {
            m_traceFormat = *format;
        }
    }
}

void InkmlReader::Text(const XML_Char* text, int length) {
    if (m_inTrace && m_error.message.empty()) {
        m_traceText.append(text, static_cast<std::size_t>(length));
    }
}

void InkmlReader::EndTrace() {
    if (!m_inTrace) {
        return;
    }
    m_inTrace = false;
    // The pen moving above the surface: where it went, but no ink.
    if (m_hoverTrace) {
        ++m_hoverTraces;
        return;
    }
    const TraceFormat& format = m_formats[m_traceFormat];
    if (!CheckFormat(format)) {
        return;
    }
    RawStroke stroke;
    CodecError error;
    // Each stroke also takes one entry for its pen lift.
    const std::size_t budget = inkml::kMaxPoints - std::min(inkml::kMaxPoints, m_pointCount + 1);
    TraceParser parser(format, m_traceFormat);
    if (!parser.Parse(m_traceText, stroke, budget, error)) {
        Fail(error.message + " (trace " + std::to_string(m_strokes.size() + 1) + ")", error.code);
        return;
    }
    if (!stroke.empty()) {
        m_pointCount += stroke.size() + 1;
        m_strokes.push_back(std::move(stroke));
    }
}

struct ParserDeleter {
    void operator()(XML_Parser p) const { XML_ParserFree(p); }
};

void XMLCALL OnStart(void* user, const XML_Char* name, const XML_Char** attributes) {
    static_cast<InkmlReader*>(user)->Start(name, attributes);
}
void XMLCALL OnEnd(void* user, const XML_Char* name) {
    static_cast<InkmlReader*>(user)->End(name);
}
void XMLCALL OnText(void* user, const XML_Char* text, int length) {
    static_cast<InkmlReader*>(user)->Text(text, length);
}
// Entity declarations are the way into expansion bombs; ink files have no
// use for them.
void XMLCALL OnEntityDecl(void* user, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                          const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<InkmlReader*>(user)->Fail(
        "the file declares XML entities, which ink files never need");
}

// How many microseconds one unit of the T channel is.
std::optional<double> MicrosPerUnit(std::string_view units) {
    if (units.empty() || units == "ms") {
        return kMicrosPerMilli;
    }
    if (units == "s") {
        return 1e6;
    }
    if (units == "us" || units == "\xC2\xB5s") {
        return 1.0;
    }
    return std::nullopt;
}

struct AxisMap {
    double min = 0;
    double scale = 0;
    // The declared range, which a point must lie in; the bounding box's
    // holds every point.
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    bool Holds(double v) const { return v >= low && v <= high; }
    std::int32_t Map(double v) const {
        const double mapped = std::round((v - min) * scale);
        return static_cast<std::int32_t>(std::clamp(mapped, 0.0, kPadRange));
    }
};

// Maps the raw strokes into pad units and milliseconds into microseconds,
// each stroke followed by its pen lift. A point outside its format's declared
// range is dropped and counted, as the stored formats' decoding drops a point
// outside 0..1024; a stroke left without points is no stroke.
void ToPadUnits(const std::vector<RawStroke>& strokes, const std::vector<TraceFormat>& formats,
                DecodedSignature& result) {
    // Formats whose X and Y declare a range map by it; the rest share the
    // bounding box of their points, scaled alike on both axes. A bound as
    // large as a number type's says nothing of where the ink lies, so it
    // leaves both axes undeclared.
    auto typeRange = [](const std::optional<double>& bound) {
        return bound && std::abs(*bound) >= inkml::kTypeRangeMagnitude;
    };
    auto declared = [&](const Channel& c) {
        return c.min && c.max && *c.max > *c.min && !typeRange(c.min) && !typeRange(c.max);
    };
    std::vector<std::pair<AxisMap, AxisMap>> maps(formats.size());
    std::vector<bool> byRange(formats.size(), false);
    for (std::size_t f = 0; f < formats.size(); ++f) {
        const TraceFormat& format = formats[f];
        if (format.x < 0 || format.y < 0) {
            continue;
        }
        const Channel& cx = format.channels[static_cast<std::size_t>(format.x)];
        const Channel& cy = format.channels[static_cast<std::size_t>(format.y)];
        if (declared(cx) && declared(cy)) {
            byRange[f] = true;
            maps[f] = {{*cx.min, kPadRange / (*cx.max - *cx.min), *cx.min, *cx.max},
                       {*cy.min, kPadRange / (*cy.max - *cy.min), *cy.min, *cy.max}};
        }
    }
    double minX = std::numeric_limits<double>::max(), minY = minX;
    double maxX = std::numeric_limits<double>::lowest(), maxY = maxX;
    // Times in units we cannot name are dropped rather than guessed, and so
    // are the times of a file where some points have none.
    std::vector<double> timeScale(formats.size(), 0);
    for (std::size_t f = 0; f < formats.size(); ++f) {
        if (formats[f].t >= 0) {
            const Channel& t = formats[f].channels[static_cast<std::size_t>(formats[f].t)];
            timeScale[f] = MicrosPerUnit(t.units).value_or(0);
        }
    }
    bool timed = true;
    std::size_t total = 0;
    for (const RawStroke& stroke : strokes) {
        total += stroke.size() + 1;
        for (const RawPoint& p : stroke) {
            timed = timed && p.hasT && timeScale[p.format] != 0 &&
                    std::abs(p.t * timeScale[p.format]) <= inkml::kMaxMagnitude;
            if (!byRange[p.format]) {
                minX = std::min(minX, p.x);
                maxX = std::max(maxX, p.x);
                minY = std::min(minY, p.y);
                maxY = std::max(maxY, p.y);
            }
        }
    }
    const double extent = std::max(maxX - minX, maxY - minY);
    const AxisMap boxX{minX, extent > 0 ? kPadRange / extent : 0};
    const AxisMap boxY{minY, extent > 0 ? kPadRange / extent : 0};

    result.points.reserve(total);
    if (timed) {
        result.times.reserve(total);
    }
    for (const RawStroke& stroke : strokes) {
        const std::size_t before = result.points.size();
        for (const RawPoint& p : stroke) {
            const AxisMap& mx = byRange[p.format] ? maps[p.format].first : boxX;
            const AxisMap& my = byRange[p.format] ? maps[p.format].second : boxY;
            if (!mx.Holds(p.x) || !my.Holds(p.y)) {
                ++result.dropped;
                continue;
            }
            result.points.push_back({mx.Map(p.x), my.Map(p.y)});
            if (timed) {
                result.times.push_back(
                    static_cast<PointTime>(std::llround(p.t * timeScale[p.format])));
            }
        }
        if (result.points.size() == before) {
            continue;
        }
        result.points.push_back(PEN_UP_POINT);
        if (timed) {
            result.times.push_back(result.times.back());
        }
    }
}

}  // namespace

Encoded EncodeInkml(std::span<const SignaturePoint> points, std::span<const PointTime> times,
                    CaptureEnd end) {
    if (!times.empty() && times.size() != points.size()) {
        return CannotStore(inkml::kExtension, "the times do not match the points (" +
                                                  std::to_string(times.size()) + " times for " +
                                                  std::to_string(points.size()) + " points)");
    }
    if (points.size() > inkml::kMaxPoints) {
        return CannotStore(inkml::kExtension,
                           "more than " + std::to_string(inkml::kMaxPoints) + " points");
    }
    std::string doc(kDocumentStart);
    // First, so that a reader who looks at the head sees it before the ink.
    if (end == CaptureEnd::kCutShort) {
        doc.append(kCutShortStart).append(inkml::kCutShortText).append(kCutShortEnd);
    }
    doc += kDocumentHead;
    if (!times.empty()) {
        doc += kTimeChannel;
    }
    doc += kHeadEnd;
    bool inTrace = false;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const SignaturePoint p = points[i];
        if (IsPenUp(p)) {
            if (inTrace) {
                doc += "</trace>\n";
                inTrace = false;
            }
            continue;
        }
        if (p.x < 0 || p.y < 0 || p.x > kStoredUnitMax || p.y > kStoredUnitMax) {
            return CannotStore(inkml::kExtension,
                               "point " + std::to_string(i + 1) + " (" + std::to_string(p.x) +
                                   ", " + std::to_string(p.y) + ") lies outside 0..1024");
        }
        doc += inTrace ? ", " : "  <trace>";
        inTrace = true;
        doc += std::to_string(p.x);
        doc += ' ';
        doc += std::to_string(p.y);
        if (!times.empty()) {
            doc += ' ';
            AppendTimeMs(doc, times[i]);
        }
    }
    if (inTrace) {
        doc += "</trace>\n";
    }
    doc += kDocumentEnd;
    return std::vector<std::uint8_t>(doc.begin(), doc.end());
}

Decoded DecodeInkml(std::span<const std::uint8_t> file) {
    if (file.empty()) {
        return CodecError{CodecErrc::kNotOfFormat, "the file is empty"};
    }
    if (file.size() > inkml::kMaxFileBytes) {
        return CodecError{CodecErrc::kNotOfFormat,
                          "the file is larger than " +
                              std::to_string(inkml::kMaxFileBytes / (1024 * 1024)) +
                              " MB, more than any signature needs"};
    }
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(
        XML_ParserCreateNS(nullptr, kNsSeparator));
    if (!parser) {
        return CodecError{CodecErrc::kNotOfFormat, "out of memory"};
    }
    InkmlReader reader(parser.get());
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser.get(), OnText);
    XML_SetEntityDeclHandler(parser.get(), OnEntityDecl);
    const XML_Status status = XML_Parse(parser.get(), reinterpret_cast<const char*>(file.data()),
                                        static_cast<int>(file.size()), XML_TRUE);
    if (!reader.Error().message.empty()) {
        return reader.Error();
    }
    if (status != XML_STATUS_OK) {
        return CodecError{CodecErrc::kNotOfFormat,
                          "not a well-formed XML document (line " +
                              std::to_string(XML_GetCurrentLineNumber(parser.get())) + ": " +
                              XML_ErrorString(XML_GetErrorCode(parser.get())) + ")"};
    }
    const std::vector<RawStroke>& strokes = reader.Strokes();
    if (strokes.empty()) {
        return CodecError{CodecErrc::kNoPoints,
                          reader.HoverTraces() > 0
                              ? "the file holds no ink, only hover traces (type=\"" +
                                    std::string(kHoverTraceType) + "\")"
                              : "the file holds no ink: no trace with points"};
    }
    DecodedSignature result;
    result.hoverTraces = reader.HoverTraces();
    ToPadUnits(strokes, reader.Formats(), result);
    if (result.points.empty()) {
        return CodecError{CodecErrc::kNoPoints,
                          "the file holds no ink: all " + std::to_string(result.dropped) +
                              " points lie outside the min and max that their X and Y "
                              "channels declare"};
    }
    return result;
}

}  // namespace vellumix::sigformats
