#include "PadCommand.h"

#include <cstdio>

#include "padlink/PadProtocol.h"

namespace vellumix::padsim::engine {

namespace {

namespace pl = padlink;

// Class, 'F', command byte.
constexpr std::size_t kHeader = 3;
constexpr std::size_t kRectArgs = 8;   // four 16-bit values
constexpr std::size_t kColorArgs = 3;  // red, green, blue
constexpr std::size_t kFontArgs = 6;
constexpr std::size_t kCaptureAreaTail = 4;
constexpr std::size_t kTextHeader = 6;  // x, y, count
constexpr std::size_t kLedArgs = 1;

int U16(std::span<const std::uint8_t> p, std::size_t at) {
    return p[at] | p[at + 1] << 8;
}

void ReadRect(std::span<const std::uint8_t> p, PadCommand& c) {
    c.x1 = U16(p, kHeader);
    c.y1 = U16(p, kHeader + 2);
    c.x2 = U16(p, kHeader + 4);
    c.y2 = U16(p, kHeader + 6);
}

Rgb ReadColor(std::span<const std::uint8_t> p, std::size_t at) {
    return {p[at], p[at + 1], p[at + 2]};
}

std::optional<PadCommand> Fail(std::string* error, const char* why) {
    if (error != nullptr) {
        *error = why;
    }
    return std::nullopt;
}

struct Layout {
    std::uint8_t cls;
    std::uint8_t cmd;
    CommandKind kind;
    std::size_t length;  // payload length; 0 = checked by the decoder itself
};

constexpr Layout kLayouts[] = {
    {pl::cls::kDraw, pl::draw::kSetLineColor, CommandKind::kSetLineColor,
     kHeader + sizeof(pl::kLineColorPrefix) + kColorArgs},
    {pl::cls::kDraw, pl::draw::kDrawLine, CommandKind::kDrawLine, kHeader + kRectArgs},
    {pl::cls::kDraw, pl::draw::kDrawFrame, CommandKind::kDrawFrame, kHeader + kRectArgs},
    {pl::cls::kDraw, pl::draw::kSetFillColor, CommandKind::kSetFillColor, kHeader + kColorArgs},
    {pl::cls::kDraw, pl::draw::kFillRectangle, CommandKind::kFillRectangle, kHeader + kRectArgs},
    {pl::cls::kDraw, pl::draw::kSetFont, CommandKind::kSetFont, kHeader + kFontArgs},
    {pl::cls::kDraw, pl::draw::kSetTextColor, CommandKind::kSetTextColor, kHeader + kColorArgs},
    {pl::cls::kDraw, pl::draw::kSetTextMode, CommandKind::kSetTextMode, kHeader + 1},
    {pl::cls::kDraw, pl::draw::kDrawText, CommandKind::kDrawText, 0},
    {pl::cls::kDraw, pl::draw::kDisplayImage, CommandKind::kDisplayImage, 0},
    {pl::cls::kCapture, pl::capturing::kStartCalibration, CommandKind::kStartCalibration, kHeader},
    {pl::cls::kCapture, pl::capturing::kSetCaptureArea, CommandKind::kSetCaptureArea,
     kHeader + kRectArgs + kCaptureAreaTail},
    {pl::cls::kCapture, pl::capturing::kStartCapture, CommandKind::kStartCapture,
     kHeader + sizeof(pl::kStartCaptureArgs)},
    {pl::cls::kCapture, pl::capturing::kResumeCapture, CommandKind::kResumeCapture, kHeader},
    {pl::cls::kCapture, pl::capturing::kSuspendCapture, CommandKind::kSuspendCapture, kHeader},
    {pl::cls::kCapture, pl::capturing::kClearDisplay, CommandKind::kClearDisplay, kHeader},
    {pl::cls::kCapture, pl::capturing::kStopCapture, CommandKind::kStopCapture, kHeader},
    {pl::cls::kCapture, pl::capturing::kSendSigFile, CommandKind::kSendSigFile, 0},
    {pl::cls::kCapture, pl::capturing::kSendCmpFile, CommandKind::kSendCmpFile, 0},
    {pl::cls::kCapture, pl::capturing::kSendVbcFile, CommandKind::kSendVbcFile, 0},
    {pl::cls::kLed, pl::led::kSetLeds, CommandKind::kSetLedFlags, kHeader + kLedArgs},
    {pl::cls::kProbe, pl::probe::kProbe, CommandKind::kProbe, kHeader},
};

}  // namespace

std::optional<PadCommand> DecodeCommand(std::span<const std::uint8_t> p, std::string* error) {
    if (p.size() < kHeader) {
        return Fail(error, "payload shorter than class, marker and command");
    }
    if (p[1] != pl::kCommandMarker) {
        return Fail(error, "payload byte 1 is not 'F'");
    }
    const Layout* layout = nullptr;
    for (const Layout& l : kLayouts) {
        if (l.cls == p[0] && l.cmd == p[2]) {
            layout = &l;
            break;
        }
    }
    if (layout == nullptr) {
        return Fail(error, "unknown class or command byte");
    }
    if (layout->length != 0 && p.size() != layout->length) {
        return Fail(error, "arguments of the wrong length");
    }
    PadCommand c;
    c.kind = layout->kind;
    switch (c.kind) {
        case CommandKind::kSetLineColor:
            c.color = ReadColor(p, kHeader + sizeof(pl::kLineColorPrefix));
            break;
        case CommandKind::kDrawLine:
        case CommandKind::kDrawFrame:
        case CommandKind::kFillRectangle:
            ReadRect(p, c);
            break;
        case CommandKind::kSetFillColor:
        case CommandKind::kSetTextColor:
            c.color = ReadColor(p, kHeader);
            break;
        case CommandKind::kSetFont:
            for (std::size_t i = 0; i < kFontArgs; ++i) {
                c.bytes[i] = p[kHeader + i];
            }
            break;
        case CommandKind::kSetTextMode:
        case CommandKind::kSetLedFlags:
            c.value = p[kHeader];
            break;
        case CommandKind::kDrawText: {
            if (p.size() < kHeader + kTextHeader) {
                return Fail(error, "DrawText without position and count");
            }
            c.x1 = U16(p, kHeader);
            c.y1 = U16(p, kHeader + 2);
            const auto count = static_cast<std::size_t>(U16(p, kHeader + 4));
            if (p.size() != kHeader + kTextHeader + count) {
                return Fail(error, "DrawText count does not match its characters");
            }
            c.data = p.subspan(kHeader + kTextHeader);
            break;
        }
        case CommandKind::kDisplayImage: {
            if (p.size() < kHeader + kRectArgs) {
                return Fail(error, "DisplayImage without its rectangle");
            }
            ReadRect(p, c);
            if (c.x1 > c.x2 || c.y1 > c.y2 || c.x2 > pl::kLcdMaxX || c.y2 > pl::kLcdMaxY) {
                return Fail(error, "DisplayImage rectangle outside the LCD");
            }
            const auto pixels = static_cast<std::size_t>(c.x2 - c.x1 + 1) *
                                static_cast<std::size_t>(c.y2 - c.y1 + 1) * 3;
            if (p.size() != kHeader + kRectArgs + pixels) {
                return Fail(error, "DisplayImage pixel bytes do not fill its rectangle");
            }
            c.data = p.subspan(kHeader + kRectArgs);
            break;
        }
        case CommandKind::kSetCaptureArea:
            ReadRect(p, c);
            for (std::size_t i = 0; i < kCaptureAreaTail; ++i) {
                c.bytes[i] = p[kHeader + kRectArgs + i];
            }
            break;
        case CommandKind::kSendSigFile:
        case CommandKind::kSendCmpFile:
        case CommandKind::kSendVbcFile:
            c.data = p.subspan(kHeader);
            break;
        default:
            break;
    }
    return c;
}

std::string_view CommandName(const PadCommand& c) {
    switch (c.kind) {
        case CommandKind::kSetLineColor:
            return "SetLineColor";
        case CommandKind::kDrawLine:
            return "DrawLine";
        case CommandKind::kDrawFrame:
            return "DrawFrame";
        case CommandKind::kSetFillColor:
            return "SetFillColor";
        case CommandKind::kFillRectangle:
            return "FillRectangle";
        case CommandKind::kSetFont:
            return "SetFont";
        case CommandKind::kSetTextColor:
            return "SetTextColor";
        case CommandKind::kSetTextMode:
            return "SetTextMode";
        case CommandKind::kDrawText:
            return c.data.size() == 1 ? "DrawCharacter" : "DrawText";
        case CommandKind::kDisplayImage:
            return "DisplayImage";
        case CommandKind::kStartCalibration:
            return "StartCalibration";
        case CommandKind::kSetCaptureArea:
            return "SetCaptureArea";
        case CommandKind::kStartCapture:
            return "StartCapture";
        case CommandKind::kResumeCapture:
            return "ResumeCapture";
        case CommandKind::kSuspendCapture:
            return "SuspendCapture";
        case CommandKind::kClearDisplay:
            return "ClearDisplay";
        case CommandKind::kStopCapture:
            return "StopCapture";
        case CommandKind::kSendSigFile:
            return "SendSigFile";
        case CommandKind::kSendCmpFile:
            return "SendCmpFile";
        case CommandKind::kSendVbcFile:
            return "SendVbcFile";
        case CommandKind::kSetLedFlags:
            return "SetLedFlags";
        case CommandKind::kProbe:
            return "Probe";
    }
    return "Unknown";
}

std::string TraceText(const PadCommand& c) {
    std::string out(CommandName(c));
    char buf[96];
    const auto rect = [&] {
        std::snprintf(buf, sizeof buf, " x=%d y=%d x2=%d y2=%d", c.x1, c.y1, c.x2, c.y2);
        out += buf;
    };
    const auto color = [&] {
        std::snprintf(buf, sizeof buf, " r=%d g=%d b=%d", c.color.r, c.color.g, c.color.b);
        out += buf;
    };
    switch (c.kind) {
        case CommandKind::kSetLineColor:
        case CommandKind::kSetFillColor:
        case CommandKind::kSetTextColor:
            color();
            break;
        case CommandKind::kDrawLine:
        case CommandKind::kDrawFrame:
        case CommandKind::kFillRectangle:
            rect();
            break;
        case CommandKind::kDisplayImage:
            rect();
            out += " bytes=" + std::to_string(c.data.size());
            break;
        case CommandKind::kSetCaptureArea:
            rect();
            std::snprintf(buf, sizeof buf, " b1=%d b2=%d b3=%d b4=%d", c.bytes[0], c.bytes[1],
                          c.bytes[2], c.bytes[3]);
            out += buf;
            break;
        case CommandKind::kSetFont:
            std::snprintf(buf, sizeof buf, " b1=%d b2=%d b3=%d b4=%d b5=%d b6=%d", c.bytes[0],
                          c.bytes[1], c.bytes[2], c.bytes[3], c.bytes[4], c.bytes[5]);
            out += buf;
            break;
        case CommandKind::kSetTextMode:
            out += " mode=" + std::to_string(c.value);
            break;
        case CommandKind::kSetLedFlags:
            std::snprintf(buf, sizeof buf, " flags=0x%02X", c.value);
            out += buf;
            break;
        case CommandKind::kDrawText: {
            std::snprintf(buf, sizeof buf, " x=%d y=%d count=%zu text=\"", c.x1, c.y1,
                          c.data.size());
            out += buf;
            // Unprintable bytes are shown as \xNN so a trace line stays one line.
            for (const std::uint8_t ch : c.data) {
                if (ch >= 0x20 && ch < 0x7F && ch != '"' && ch != '\\') {
                    out += static_cast<char>(ch);
                } else {
                    std::snprintf(buf, sizeof buf, "\\x%02X", ch);
                    out += buf;
                }
            }
            out += '"';
            break;
        }
        case CommandKind::kSendSigFile:
        case CommandKind::kSendCmpFile:
        case CommandKind::kSendVbcFile:
            out += " bytes=" + std::to_string(c.data.size());
            break;
        default:
            break;
    }
    return out;
}

}  // namespace vellumix::padsim::engine
