// The Display tab: five buttons that run test patterns on the pad's LCD and
// LEDs (DisplayPatterns.h), a colour box, and the mirror box in which every
// shape the pad accepted is drawn again, scaled, so the PC shows what the
// pad shows.
//
// The record list holds two points per drawn shape, in LCD pixels: a line,
// box or frame its two corners, a character its position and (0, 0). The
// mirror box's paint replays the record in the colour selected at paint time
// for as long as the current pattern is not PATTERN_NONE.
//
// A pattern runs on the page's PadActivity worker (RunPattern) while the
// window goes on painting: the pattern reaches the page only through its
// IPatternTarget, whose record and mirror steps are posted back to the GUI
// thread, so the picture grows in step with the pad's. Leaving the page or
// closing the window stops the pattern before its next command.
//
// Thread safety: a GUI-thread object; the record list and the widgets are
// touched on the GUI thread only. The sleep function runs on the worker.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QWidget>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "capture/SignaturePointList.h"
#include "padlink/CommandPayloads.h"
#include "pages/DisplayPatterns.h"
#include "pages/PageServices.h"
#include "pages/TabPage.h"
#include "res/Strings.h"
#include "sigformats/SignaturePoint.h"

class QComboBox;
class QGroupBox;
class QPainter;
class QPushButton;
class QRadioButton;
class QTimer;

namespace vellumix::pages {

class PaintedBox;

// What ran last on the page. 1, 2 and 3 are also the shape kinds of
// DrawMirrorShape (line, filled box, frame).
enum PatternKind : std::uint8_t {
    PATTERN_NONE = 0,
    PATTERN_LINES = 1,
    PATTERN_BOXES = 2,
    PATTERN_FRAMES = 3,
    PATTERN_LEDS = 5,
    PATTERN_CHARACTERS = 10,
};

struct DrawColor {
    QLatin1StringView text;
    padlink::ColorRef color;
};
// The colour box's entries in list order.
inline constexpr std::array<DrawColor, 5> DrawColorTable{{
    {res::kColorBlack, padlink::MakeColorRef(0, 0, 0)},
    {res::kColorRed, padlink::MakeColorRef(255, 0, 0)},
    {res::kColorYellow, padlink::MakeColorRef(255, 255, 0)},
    {res::kColorGreen, padlink::MakeColorRef(0, 255, 0)},
    {res::kColorBlue, padlink::MakeColorRef(0, 0, 255)},
}};

QColor ToQColor(padlink::ColorRef color);

class CDisplayPage : public CTabPage {
    Q_OBJECT
public:
    // Control ids of the page's template.
    enum ControlId : int {
        IDC_SHOW_FRAMES = 1009,
        IDC_SHOW_LINES = 1010,
        IDC_SHOW_BOXES = 1011,
        IDC_SHOW_CHARACTERS = 1012,
        IDC_CYCLE_LEDS = 1013,
        IDC_MIRROR_BOX = 1016,
        IDC_DISPLAY_GROUP = 1027,
        IDC_BACKGROUND_WHITE = 1028,
        IDC_TEXT_BLACK = 1029,
        IDC_SWATCH_WHITE = 1030,
        IDC_SWATCH_BLACK = 1031,
        IDC_BACKGROUND_YELLOW = 1032,
        IDC_SWATCH_YELLOW = 1033,
        IDC_BACKGROUND_CYAN = 1034,
        IDC_SWATCH_CYAN = 1035,
        IDC_TEXT_RED = 1036,
        IDC_SWATCH_RED = 1037,
        IDC_TEXT_BLUE = 1038,
        IDC_SWATCH_BLUE = 1039,
        IDC_SIZE_SMALL = 1040,
        IDC_SIZE_MEDIUM = 1041,
        IDC_SIZE_LARGE = 1042,
        IDC_BACKGROUND_GROUP = 1043,
        IDC_TEXT_COLOR_GROUP = 1044,
        IDC_TEXT_SIZE_GROUP = 1045,
        IDC_COLOR_BOX = 1052,
    };

    // Waits of the patterns go through this, on the thread the pattern runs
    // on; tests count them instead of waiting. Unset, a wait ends early when
    // the pattern is asked to stop.
    using SleepFunction = std::function<void(std::chrono::milliseconds)>;

    // services must outlive the page; every message box and file dialog of
    // the page goes through its prompts, every pad command through its channel.
    // Sends the page's start-up commands (white screen, text mode, font).
    CDisplayPage(const PageServices& services, QWidget* parent);
    ~CDisplayPage() override;

    void ActivatePage() override;
    void DeactivatePage() override;

    // Empties the record, whitens the pad's screen and the mirror box.
    void ResetDisplayTest();
    // Appends the storable points (-1..1024 both ways), in order.
    void RecordPoints(std::span<const sigformats::SignaturePoint> points);
    std::size_t RecordCount() const;
    // kOutOfRangePoint for an index outside the record.
    sigformats::SignaturePoint RecordPoint(std::size_t index) const;

    // LCD pixel to an offset inside the mirror box, scaled by the box's size.
    QPoint ToMirror(int x, int y) const;
    // Shapes and characters at mirror offsets, drawn only when every offset
    // lies inside the box (0..width, 0..height). painter draws in the mirror
    // box's coordinates.
    void DrawMirrorShape(QPainter& painter, QPoint m1, QPoint m2, int kind) const;
    void DrawMirrorCharacter(QPainter& painter, QPoint m, char ch) const;
    // Fills a box-like control (the mirror box or a swatch) with color;
    // nothing for other ids.
    void FillControl(int id, const QColor& color);
    // Every paint of the box starts from its background: there is no
    // repaint without erasing.
    void InvalidateMirrorBox();

    // Runs one pattern to its end (DisplayPatterns.h), or until it is asked
    // to stop; the event loop runs meanwhile. A pattern that the pad ended
    // early says so in the activity's status.
    void RunPattern(PatternKind kind);

    // The colour box's entry, read afresh at each use; Black when nothing is
    // selected (the box accepts typed text).
    padlink::ColorRef DrawingColor() const;
    PatternKind CurrentPattern() const { return m_currentPattern; }
    PatternKind LastPatternKind() const { return m_lastPatternKind; }
    bool IsRunning() const { return m_nRunning != 0; }
    // The mirror box's rectangle in page coordinates, taken at initialisation.
    QRect MirrorBox() const { return m_mirrorBox; }

    void SetSleepFunction(SleepFunction sleep) { m_sleep = std::move(sleep); }

private:
    // The page as a running pattern's target (DisplayPage.cpp).
    class PatternRun;
    using PatternFunction = PatternStop (*)(IPatternTarget&, const PatternSetup&);

    struct TextSize {
        int radioId;
        std::array<int, 6> fontBytes;  // SetFont's six bytes
        const QFont* mirrorFont;
        int rowStep;  // between rows of the Characters pattern
    };

    void CreateControls();
    QPushButton* AddButton(int id, QLatin1StringView text, QRect geometry);
    QRadioButton* AddHiddenRadio(int id, QLatin1StringView text, QRect geometry);
    PaintedBox* AddSwatch(int id, QRect geometry);
    QGroupBox* AddHiddenGroup(int id, QLatin1StringView text, QRect geometry);

    void OnShowLines();
    void OnShowBoxes();
    void OnShowFrames();
    void OnShowCharacters();
    void OnCycleLeds();
    void OnBackgroundColor(int radioId);
    void OnTextSize(int radioId);

    bool IsChecked(int radioId) const;
    QColor BackgroundColor() const;
    // The checked text size; null when none is checked.
    const TextSize* CheckedTextSize() const;
    void SendFont(const TextSize& size);

    // The repaint of the mirror box: background, then the replay.
    void PaintMirror(QPainter& painter);
    // The pad's half of ResetDisplayTest.
    static void SendWhiteScreen(PadCommands& pad);
    // Runs pattern on the worker as kind, named by its button for the
    // status.
    void RunPatternWork(PatternKind kind, PatternFunction pattern, QLatin1StringView name);

    QFont m_captionFont;
    QFont m_smallFont;
    QFont m_largeFont;
    QFont m_mediumFont;
    std::array<TextSize, 3> m_textSizes;

    int m_nRunning = 0;
    capture::SignaturePointList m_record;
    QRect m_mirrorBox;
    PatternKind m_lastPatternKind = PATTERN_NONE;
    PatternKind m_currentPattern = PATTERN_NONE;

    PaintedBox* m_pMirrorBox = nullptr;
    QComboBox* m_pColorBox = nullptr;
    // Shows a running pattern's new steps, at most every kLiveRepaintInterval.
    QTimer* m_pLiveRepaint = nullptr;
    SleepFunction m_sleep;
};

}  // namespace vellumix::pages
