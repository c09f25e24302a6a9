#include "PadModel.h"

#include <algorithm>
#include <cstdlib>

#include "PadFont.h"
#include "padlink/PadProtocol.h"

namespace vellumix::padsim::engine {

namespace {

namespace pl = padlink;
using sigformats::SignaturePoint;

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
const QRect kFullLcd(0, 0, pl::kLcdWidth, pl::kLcdHeight);

}  // namespace

LedState LedsFromFlags(std::uint8_t flags) {
    LedState s;
    if ((flags & ledbits::kForceOff) != 0 || (flags & ledbits::kOn) == 0) {
        return s;
    }
    if ((flags & ledbits::kRed) != 0) {
        s.red = true;
    } else {
        s.green = true;
    }
    return s;
}

PadModel::PadModel()
    : m_lcd(pl::kLcdWidth, pl::kLcdHeight, QImage::Format_RGB888),
      m_fill(kWhite),
      m_text(kBlack),
      m_line(kBlack),
      m_captureArea(kFullLcd) {
    m_lcd.fill(Qt::white);
    // Powered and idle: the green LED shows the pad is ready.
    m_leds.green = true;
}

QPoint PadModel::ToLcd(SignaturePoint p) {
    const int x =
        std::clamp(p.x, 0, sigformats::kPadUnitRange) * pl::kLcdWidth / sigformats::kPadUnitRange;
    const int y =
        std::clamp(p.y, 0, sigformats::kPadUnitRange) * pl::kLcdHeight / sigformats::kPadUnitRange;
    return {std::min(x, pl::kLcdMaxX), std::min(y, pl::kLcdMaxY)};
}

void PadModel::Plot(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x > pl::kLcdMaxX || y > pl::kLcdMaxY) {
        return;
    }
    std::uint8_t* px = m_lcd.scanLine(y) + x * 3;
    px[0] = c.r;
    px[1] = c.g;
    px[2] = c.b;
}

void PadModel::FillRect(int x1, int y1, int x2, int y2, Rgb c) {
    // Corners are inclusive and may come in either order; what lies off the
    // LCD is clipped.
    const int left = std::max(std::min(x1, x2), 0);
    const int right = std::min(std::max(x1, x2), pl::kLcdMaxX);
    const int top = std::max(std::min(y1, y2), 0);
    const int bottom = std::min(std::max(y1, y2), pl::kLcdMaxY);
    for (int y = top; y <= bottom; ++y) {
        for (int x = left; x <= right; ++x) {
            Plot(x, y, c);
        }
    }
}

void PadModel::Frame(int x1, int y1, int x2, int y2, Rgb c) {
    Line(x1, y1, x2, y1, c);
    Line(x2, y1, x2, y2, c);
    Line(x2, y2, x1, y2, c);
    Line(x1, y2, x1, y1, c);
}

void PadModel::Line(int x1, int y1, int x2, int y2, Rgb c) {
    // Bresenham with both end points set.
    const int dx = std::abs(x2 - x1);
    const int dy = -std::abs(y2 - y1);
    const int sx = x1 < x2 ? 1 : -1;
    const int sy = y1 < y2 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        Plot(x1, y1, c);
        if (x1 == x2 && y1 == y2) {
            return;
        }
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x1 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y1 += sy;
        }
    }
}

void PadModel::Text(int x, int y, std::span<const std::uint8_t> chars) {
    for (const std::uint8_t ch : chars) {
        if (x > pl::kLcdMaxX) {
            break;  // the rest of the line is off the LCD; the pad does not wrap
        }
        if (m_textMode != kTextModeTransparent) {
            FillRect(x, y, x + m_cellWidth - 1, y + m_cellHeight - 1, m_fill);
        }
        for (int cy = 0; cy < m_cellHeight; ++cy) {
            const int row = cy * kGlyphGridRows / m_cellHeight;
            for (int cx = 0; cx < m_cellWidth; ++cx) {
                if (GlyphPixel(ch, cx * kGlyphGridColumns / m_cellWidth, row)) {
                    Plot(x + cx, y + cy, m_text);
                }
            }
        }
        x += m_cellWidth;
    }
}

void PadModel::Image(const PadCommand& c) {
    // Red, green, blue per pixel, rows from the top; the decoder has checked
    // that the bytes fill the rectangle exactly.
    const int width = c.x2 - c.x1 + 1;
    const std::uint8_t* src = c.data.data();
    for (int y = c.y1; y <= c.y2; ++y) {
        std::copy_n(src, width * 3, m_lcd.scanLine(y) + c.x1 * 3);
        src += width * 3;
    }
}

bool PadModel::DrawSignatureFile(const PadCommand& c) {
    std::vector<SignaturePoint> points;
    switch (c.kind) {
        case CommandKind::kSendSigFile:
            points = m_codec.DecodeSigFile(c.data);
            break;
        case CommandKind::kSendCmpFile:
            points = m_codec.DecodeCmpFile(c.data);
            break;
        default:
            // One command carries both .vbc and .nlc files; the VBC decoder
            // rejects an NLC file, so it gets the first try.
            points = m_codec.DecodeVbcFile(c.data);
            if (points.empty()) {
                points = m_codec.DecodeNlcFile(c.data);
            }
            break;
    }
    if (points.empty()) {
        return false;
    }
    m_lcd.fill(Qt::white);
    std::optional<QPoint> last;
    for (const SignaturePoint p : points) {
        if (sigformats::IsPenUp(p) || !sigformats::IsStorablePoint(p) || p.x < 0 || p.y < 0) {
            last.reset();
            continue;
        }
        const QPoint at = ToLcd(p);
        if (last) {
            Line(last->x(), last->y(), at.x(), at.y(), m_line);
        } else {
            Plot(at.x(), at.y(), m_line);
        }
        last = at;
    }
    return true;
}

void PadModel::Cross(int cx, int cy, Rgb c) {
    Line(cx - kCrossArm, cy, cx + kCrossArm, cy, c);
    Line(cx, cy - kCrossArm, cx, cy + kCrossArm, c);
}

void PadModel::BeginCalibration() {
    if (m_calibration == CalibrationStep::kNone) {
        m_captureBeforeCalibration = m_capture;
    }
    m_capture = CaptureState::kStopped;
    m_calibration = CalibrationStep::kUpperLeft;
    m_pressDown = false;
    m_penDown = false;
    m_lastInk.reset();
    m_lcd.fill(Qt::white);
    Cross(kCrossInset, kCrossInset, kBlack);
    m_leds.red = false;
    m_leds.redBlinking = true;
}

bool PadModel::InCaptureArea(QPoint lcd) const {
    return m_captureArea.contains(lcd);
}

bool PadModel::Execute(const PadCommand& c) {
    switch (c.kind) {
        case CommandKind::kSetLineColor:
            m_line = c.color;
            break;
        case CommandKind::kSetFillColor:
            m_fill = c.color;
            break;
        case CommandKind::kSetTextColor:
            m_text = c.color;
            break;
        case CommandKind::kDrawLine:
            Line(c.x1, c.y1, c.x2, c.y2, m_line);
            break;
        case CommandKind::kDrawFrame:
            Frame(c.x1, c.y1, c.x2, c.y2, m_line);
            break;
        case CommandKind::kFillRectangle:
            FillRect(c.x1, c.y1, c.x2, c.y2, m_fill);
            break;
        case CommandKind::kSetFont:
            m_cellHeight =
                c.bytes[0] == 0 ? kDefaultCellHeight : std::min<int>(c.bytes[0], pl::kLcdHeight);
            m_cellWidth =
                c.bytes[1] == 0 ? kDefaultCellWidth : std::min<int>(c.bytes[1], pl::kLcdWidth);
            break;
        case CommandKind::kSetTextMode:
            m_textMode = c.value;
            break;
        case CommandKind::kDrawText:
            Text(c.x1, c.y1, c.data);
            break;
        case CommandKind::kDisplayImage:
            Image(c);
            break;
        case CommandKind::kClearDisplay:
            m_lcd.fill(Qt::white);
            m_lastInk.reset();
            break;
        case CommandKind::kStartCalibration:
            BeginCalibration();
            break;
        case CommandKind::kSetCaptureArea:
            m_captureArea = QRect(QPoint(std::min(c.x1, c.x2), std::min(c.y1, c.y2)),
                                  QPoint(std::max(c.x1, c.x2), std::max(c.y1, c.y2)));
            break;
        case CommandKind::kStartCapture:
            if (m_calibration == CalibrationStep::kNone) {
                m_capture = CaptureState::kCapturing;
            } else {
                m_captureBeforeCalibration = CaptureState::kCapturing;
            }
            break;
        case CommandKind::kResumeCapture:
            if (m_capture == CaptureState::kSuspended) {
                m_capture = CaptureState::kCapturing;
            }
            break;
        case CommandKind::kSuspendCapture:
            if (m_capture == CaptureState::kCapturing) {
                m_capture = CaptureState::kSuspended;
            }
            break;
        case CommandKind::kStopCapture:
            m_capture = CaptureState::kStopped;
            m_penDown = false;
            m_lastInk.reset();
            break;
        case CommandKind::kSendSigFile:
        case CommandKind::kSendCmpFile:
        case CommandKind::kSendVbcFile:
            return DrawSignatureFile(c);
        case CommandKind::kSetLedFlags: {
            const bool blinking = m_leds.redBlinking;
            m_leds = LedsFromFlags(c.value);
            m_leds.redBlinking = blinking;
            break;
        }
        case CommandKind::kProbe:
            break;
    }
    return true;
}

std::optional<capture::PenReport> PadModel::PenDown(SignaturePoint at) {
    at.x = std::clamp(at.x, 0, sigformats::kPadUnitMax);
    at.y = std::clamp(at.y, 0, sigformats::kPadUnitMax);
    if (m_calibration != CalibrationStep::kNone) {
        m_presses[m_calibration == CalibrationStep::kUpperLeft ? 0 : 1] = at;
        m_pressDown = true;
        return std::nullopt;
    }
    if (m_capture != CaptureState::kCapturing) {
        return std::nullopt;
    }
    const QPoint lcd = ToLcd(at);
    if (!InCaptureArea(lcd)) {
        return std::nullopt;
    }
    // The pad inks what is written, in the line colour StartCapture chose.
    if (m_lastInk) {
        Line(m_lastInk->x(), m_lastInk->y(), lcd.x(), lcd.y(), m_line);
    } else {
        Plot(lcd.x(), lcd.y(), m_line);
    }
    m_lastInk = lcd;
    m_penDown = true;
    return capture::EncodePenReport(at);
}

std::optional<capture::PenReport> PadModel::PenUp() {
    if (m_calibration != CalibrationStep::kNone) {
        if (!m_pressDown) {
            return std::nullopt;
        }
        m_pressDown = false;
        if (m_calibration == CalibrationStep::kUpperLeft) {
            m_lcd.fill(Qt::white);
            Cross(pl::kLcdMaxX - kCrossInset, pl::kLcdMaxY - kCrossInset, kBlack);
            m_calibration = CalibrationStep::kLowerRight;
        } else {
            // Done: the right LED goes dark, which the host's message tells
            // the user to wait for.
            m_lcd.fill(Qt::white);
            m_calibration = CalibrationStep::kNone;
            m_leds.redBlinking = false;
            m_leds.red = false;
            m_capture = m_captureBeforeCalibration;
        }
        return std::nullopt;
    }
    m_lastInk.reset();
    if (!m_penDown) {
        return std::nullopt;
    }
    m_penDown = false;
    if (m_capture != CaptureState::kCapturing) {
        return std::nullopt;
    }
    return capture::EncodePenReport(sigformats::PEN_UP_POINT);
}

}  // namespace vellumix::padsim::engine
