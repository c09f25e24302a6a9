// The pad's inside: its 320 x 240 RGB LCD with the drawing state, its two
// LEDs, capture and calibration. Executes decoded commands and turns pen
// input into pen reports. Does no I/O and knows no time.
//
// Thread safety: none of its own; PadEngine holds it under its lock.
#pragma once

#include <array>
#include <optional>

#include <QImage>

#include "PadCommand.h"
#include "capture/PenReport.h"
#include "sigformats/SignatureCodec.h"
#include "sigformats/SignaturePoint.h"

namespace vellumix::padsim::engine {

enum class CaptureState { kStopped, kCapturing, kSuspended };
enum class CalibrationStep { kNone, kUpperLeft, kLowerRight };

// The left LED is green, the right one red.
struct LedState {
    bool green = false;
    bool red = false;
    // The right LED blinks red while the pad waits for a calibration press.
    bool redBlinking = false;
    friend constexpr bool operator==(const LedState&, const LedState&) = default;
};

// How the flags byte of 76 46 01 lights the LEDs. The host's LED cycle sends
// 0x44 (help text: green on), 0x00 (both off), 0x66 (red on), 0x00, then
// 0x05 / 0x04 from SetLedState (off / on, ending on green, the ready
// colour). So: 0x04 turns the LEDs on, 0x01 forces them off whatever else
// is set, 0x20 makes the lit LED the red one instead of the green one. 0x40,
// 0x10 and 0x02 change nothing that can be seen.
namespace ledbits {
inline constexpr std::uint8_t kOn = 0x04;
inline constexpr std::uint8_t kForceOff = 0x01;
inline constexpr std::uint8_t kRed = 0x20;
}  // namespace ledbits
LedState LedsFromFlags(std::uint8_t flags);

// SetFont's b1 is the character cell's height and b2 its width, in pixels;
// the other four bytes change nothing. A 0 keeps the power-on size.
inline constexpr int kDefaultCellWidth = 8;
inline constexpr int kDefaultCellHeight = 16;
// SetTextMode 1 draws only the ink of each character (transparent); any
// other mode first fills the character cell with the fill colour.
inline constexpr std::uint8_t kTextModeTransparent = 1;

// Calibration crosses: centred this far in from the corners, arms this long.
inline constexpr int kCrossInset = 20;
inline constexpr int kCrossArm = 8;

class PadModel {
public:
    PadModel();

    // Carries out the command. False when the pad cannot: a file command
    // whose file does not decode (the LCD is left as it was).
    bool Execute(const PadCommand& command);

    // Pen input in pad units 0..1023. While capturing (and inside the
    // capture area) they yield the report to send; during calibration they
    // are the presses on the crosses and yield nothing.
    std::optional<capture::PenReport> PenDown(sigformats::SignaturePoint at);
    std::optional<capture::PenReport> PenUp();

    const QImage& Lcd() const { return m_lcd; }
    LedState Leds() const { return m_leds; }
    CaptureState Capture() const { return m_capture; }
    CalibrationStep Calibration() const { return m_calibration; }
    // The presses recorded by the last finished calibration, pad units.
    std::array<sigformats::SignaturePoint, 2> CalibrationPresses() const { return m_presses; }
    std::uint8_t TextMode() const { return m_textMode; }
    Rgb FillColor() const { return m_fill; }
    Rgb TextColor() const { return m_text; }
    Rgb LineColor() const { return m_line; }

    // Pad units 0..1024 to LCD pixels; 1024 lands on the last pixel.
    static QPoint ToLcd(sigformats::SignaturePoint p);

private:
    void Plot(int x, int y, Rgb c);
    void FillRect(int x1, int y1, int x2, int y2, Rgb c);
    void Frame(int x1, int y1, int x2, int y2, Rgb c);
    void Line(int x1, int y1, int x2, int y2, Rgb c);
    void Text(int x, int y, std::span<const std::uint8_t> chars);
    void Image(const PadCommand& c);
    bool DrawSignatureFile(const PadCommand& c);
    void Cross(int cx, int cy, Rgb c);
    void BeginCalibration();
    bool InCaptureArea(QPoint lcd) const;

    QImage m_lcd;
    Rgb m_fill;
    Rgb m_text;
    Rgb m_line;
    int m_cellWidth = kDefaultCellWidth;
    int m_cellHeight = kDefaultCellHeight;
    std::uint8_t m_textMode = kTextModeTransparent;
    LedState m_leds;
    CaptureState m_capture = CaptureState::kStopped;
    CaptureState m_captureBeforeCalibration = CaptureState::kStopped;
    CalibrationStep m_calibration = CalibrationStep::kNone;
    std::array<sigformats::SignaturePoint, 2> m_presses{};
    bool m_pressDown = false;
    QRect m_captureArea;
    bool m_penDown = false;
    std::optional<QPoint> m_lastInk;
    sigformats::SignatureCodec m_codec;
};

}  // namespace vellumix::padsim::engine
