#include "pages/DisplayPage.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "padlink/FontPresets.h"
#include "padlink/PadProtocol.h"
#include "pages/DialogLayout.h"
#include "pages/PaintedBox.h"

namespace vellumix::pages {

namespace {

using padlink::ColorRef;
using padlink::MakeColorRef;
using sigformats::SignaturePoint;

constexpr ColorRef kWhite = MakeColorRef(255, 255, 255);
constexpr ColorRef kPaleYellow = MakeColorRef(253, 244, 142);
constexpr ColorRef kPaleCyan = MakeColorRef(188, 253, 251);
constexpr ColorRef kBlack = MakeColorRef(0, 0, 0);
constexpr ColorRef kRed = MakeColorRef(255, 0, 0);
constexpr ColorRef kBlue = MakeColorRef(0, 0, 255);

// The hidden "Background Color" radios and their swatches, in the order the
// page tests them.
struct BackgroundChoice {
    int radioId;
    int swatchId;
    ColorRef color;
};
constexpr std::array<BackgroundChoice, 3> kBackgrounds{{
    {CDisplayPage::IDC_BACKGROUND_WHITE, CDisplayPage::IDC_SWATCH_WHITE, kWhite},
    {CDisplayPage::IDC_BACKGROUND_YELLOW, CDisplayPage::IDC_SWATCH_YELLOW, kPaleYellow},
    {CDisplayPage::IDC_BACKGROUND_CYAN, CDisplayPage::IDC_SWATCH_CYAN, kPaleCyan},
}};

// Fonts of the page, as Windows cell heights.
constexpr int kCaptionFontHeight = 24;
constexpr int kSmallFontHeight = 18;
constexpr int kMediumFontHeight = 24;
constexpr int kLargeFontHeight = 36;

// Row steps of the Characters pattern, one per text size: the pad's cell
// heights of SetFont's first byte.
constexpr int kSmallRowStep = 16;
constexpr int kMediumRowStep = 24;
constexpr int kLargeRowStep = 64;

// Template positions, dialog units.
constexpr QRect kMirrorBoxRect{75, 34, 170, 96};
constexpr QRect kDisplayGroupRect{65, 15, 190, 124};
// A drop-down's template height includes its open list; the closed box is
// one text line high.
constexpr QRect kColorBoxRect{53, 154, 48, 12};
constexpr QRect kColorLabelRect{25, 157, 20, 8};

// Each repaint of the mirror replays the whole record, so while a pattern
// runs its steps are shown at most this often: one repaint per step would
// cost the GUI thread more than the step's exchange with the pad costs the
// worker. 60 per second still shows the picture growing.
constexpr std::chrono::milliseconds kLiveRepaintInterval{16};

QRect Du(const QRect& r) {
    return DialogRect(r.x(), r.y(), r.width(), r.height());
}

}  // namespace

// The page as a running pattern sees it, on the worker: pad commands go out
// from there, and whatever touches the record or a widget is posted to the
// GUI thread, in order with the pad's steps.
class CDisplayPage::PatternRun final : public IPatternTarget {
public:
    PatternRun(CDisplayPage& page, const PadJob& job) : m_page(page), m_job(job) {}

    PadCommands& Pad() override { return m_job.Pad(); }
    bool IsRunning() const override { return !m_job.StopRequested(); }
    void Wait(std::chrono::milliseconds time) override {
        if (m_page.m_sleep) {
            m_page.m_sleep(time);
        } else {
            m_job.Sleep(time);
        }
    }
    void ResetDisplay() override {
        CDisplayPage* const page = &m_page;
        m_job.Post([page] {
            page->m_record.Clear();
            page->InvalidateMirrorBox();
        });
        SendWhiteScreen(m_job.Pad());
    }
    void BeginRecord() override {
        CDisplayPage* const page = &m_page;
        m_job.Post([page] { page->m_lastPatternKind = page->m_currentPattern; });
    }
    void Record(SignaturePoint first, SignaturePoint second) override {
        CDisplayPage* const page = &m_page;
        m_job.Post([page, first, second] {
            const std::array<SignaturePoint, 2> points{first, second};
            page->RecordPoints(points);
            if (!page->m_pLiveRepaint->isActive()) {
                page->m_pLiveRepaint->start();
            }
        });
    }

private:
    CDisplayPage& m_page;
    const PadJob& m_job;
};

QColor ToQColor(ColorRef color) {
    return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                  static_cast<int>((color >> 16) & 0xFF));
}

CDisplayPage::CDisplayPage(const PageServices& services, QWidget* parent)
    : CTabPage(services, parent),
      m_captionFont(ArialFont(kCaptionFontHeight, QFont::Bold)),
      m_smallFont(ArialFont(kSmallFontHeight, QFont::Normal)),
      m_largeFont(ArialFont(kLargeFontHeight, QFont::Normal)),
      m_mediumFont(ArialFont(kMediumFontHeight, QFont::Normal)),
      m_textSizes{{
          {IDC_SIZE_SMALL, padlink::kFontSmall, &m_smallFont, kSmallRowStep},
          {IDC_SIZE_MEDIUM, padlink::kFontMedium, &m_mediumFont, kMediumRowStep},
          {IDC_SIZE_LARGE, padlink::kFontLarge, &m_largeFont, kLargeRowStep},
      }} {
    CreateControls();
    m_pLiveRepaint = new QTimer(this);
    m_pLiveRepaint->setSingleShot(true);
    m_pLiveRepaint->setInterval(kLiveRepaintInterval);
    connect(m_pLiveRepaint, &QTimer::timeout, this, &CDisplayPage::InvalidateMirrorBox);
    m_nRunning = 0;
    m_mirrorBox = m_pMirrorBox->geometry();

    for (const DrawColor& entry : DrawColorTable) {
        m_pColorBox->addItem(QString(entry.text));
    }
    m_pColorBox->setCurrentIndex(0);

    for (const int id : {IDC_BACKGROUND_WHITE, IDC_TEXT_BLACK, IDC_SIZE_MEDIUM}) {
        static_cast<QRadioButton*>(Control(id))->setChecked(true);
    }

    SendWhiteScreen(Pad());
    Pad().SetTextMode(padlink::kTextModeNoBackground);
    if (const TextSize* size = CheckedTextSize()) {
        SendFont(*size);
    }

    FillControl(IDC_MIRROR_BOX, ToQColor(kWhite));
    m_currentPattern = PATTERN_NONE;
    update();
}

CDisplayPage::~CDisplayPage() = default;

void CDisplayPage::CreateControls() {
    // The group box first, so the mirror box lies above it.
    auto* group = new QGroupBox(QString(res::kDisplayGroup), this);
    group->setGeometry(Du(kDisplayGroupRect));
    group->setAlignment(Qt::AlignHCenter);
    group->setFont(m_captionFont);
    AddControl(IDC_DISPLAY_GROUP, group);

    m_pMirrorBox = new PaintedBox(this, QFrame::Panel);
    m_pMirrorBox->setGeometry(Du(kMirrorBoxRect));
    m_pMirrorBox->SetPainter([this](QPainter& painter) { PaintMirror(painter); });
    AddControl(IDC_MIRROR_BOX, m_pMirrorBox);

    AddButton(IDC_SHOW_LINES, res::kShowLines, DialogRect(16, 188, 50, 14));
    AddButton(IDC_SHOW_BOXES, res::kShowBoxes, DialogRect(70, 188, 45, 14));
    AddButton(IDC_SHOW_FRAMES, res::kShowFrames, DialogRect(119, 188, 55, 14));
    AddButton(IDC_CYCLE_LEDS, res::kCycleLeds, DialogRect(177, 188, 62, 14));
    AddButton(IDC_SHOW_CHARACTERS, res::kShowCharacters, DialogRect(242, 188, 62, 14));
    connect(static_cast<QPushButton*>(Control(IDC_SHOW_LINES)), &QPushButton::clicked, this,
            &CDisplayPage::OnShowLines);
    connect(static_cast<QPushButton*>(Control(IDC_SHOW_BOXES)), &QPushButton::clicked, this,
            &CDisplayPage::OnShowBoxes);
    connect(static_cast<QPushButton*>(Control(IDC_SHOW_FRAMES)), &QPushButton::clicked, this,
            &CDisplayPage::OnShowFrames);
    connect(static_cast<QPushButton*>(Control(IDC_CYCLE_LEDS)), &QPushButton::clicked, this,
            &CDisplayPage::OnCycleLeds);
    connect(static_cast<QPushButton*>(Control(IDC_SHOW_CHARACTERS)), &QPushButton::clicked, this,
            &CDisplayPage::OnShowCharacters);

    m_pColorBox = new QComboBox(this);
    m_pColorBox->setEditable(true);
    m_pColorBox->setInsertPolicy(QComboBox::NoInsert);
    m_pColorBox->setGeometry(Du(kColorBoxRect));
    AddControl(IDC_COLOR_BOX, m_pColorBox);
    auto* label = new QLabel(QString(res::kColorLabel), this);
    label->setGeometry(Du(kColorLabelRect));

    // The three radio groups are never shown or enabled; the page still reads
    // their checked states, which therefore stay at white background, black
    // text and medium size.
    AddHiddenGroup(IDC_BACKGROUND_GROUP, res::kBackgroundColorGroup, DialogRect(50, 147, 90, 35));
    AddHiddenGroup(IDC_TEXT_COLOR_GROUP, res::kTextColorGroup, DialogRect(142, 147, 78, 35));
    AddHiddenGroup(IDC_TEXT_SIZE_GROUP, res::kTextSizeGroup, DialogRect(191, 148, 125, 35));

    auto* backgrounds = new QButtonGroup(this);
    const int backgroundX[] = {53, 81, 109};
    const int backgroundSwatchX[] = {65, 93, 123};
    for (std::size_t i = 0; i < kBackgrounds.size(); ++i) {
        backgrounds->addButton(
            AddHiddenRadio(kBackgrounds[i].radioId, {}, DialogRect(backgroundX[i], 165, 10, 10)),
            kBackgrounds[i].radioId);
        AddSwatch(kBackgrounds[i].swatchId, DialogRect(backgroundSwatchX[i], 165, 10, 10))
            ->SetFillColor(ToQColor(kBackgrounds[i].color));
    }
    connect(backgrounds, &QButtonGroup::idClicked, this, &CDisplayPage::OnBackgroundColor);

    // Text colour choices have no effect anywhere.
    auto* textColors = new QButtonGroup(this);
    const struct {
        int radioId, radioX, swatchId, swatchX;
        ColorRef color;
    } kTextColors[] = {{IDC_TEXT_BLACK, 146, IDC_SWATCH_BLACK, 155, kBlack},
                       {IDC_TEXT_RED, 168, IDC_SWATCH_RED, 179, kRed},
                       {IDC_TEXT_BLUE, 194, IDC_SWATCH_BLUE, 206, kBlue}};
    for (const auto& t : kTextColors) {
        textColors->addButton(AddHiddenRadio(t.radioId, {}, DialogRect(t.radioX, 165, 10, 11)),
                              t.radioId);
        AddSwatch(t.swatchId, DialogRect(t.swatchX, 165, 10, 10))->SetFillColor(ToQColor(t.color));
    }

    auto* sizes = new QButtonGroup(this);
    sizes->addButton(
        AddHiddenRadio(IDC_SIZE_SMALL, res::kTextSizeSmall, DialogRect(237, 165, 30, 11)),
        IDC_SIZE_SMALL);
    sizes->addButton(
        AddHiddenRadio(IDC_SIZE_MEDIUM, res::kTextSizeMedium, DialogRect(275, 165, 40, 11)),
        IDC_SIZE_MEDIUM);
    sizes->addButton(
        AddHiddenRadio(IDC_SIZE_LARGE, res::kTextSizeLarge, DialogRect(262, 156, 30, 11)),
        IDC_SIZE_LARGE);
    connect(sizes, &QButtonGroup::idClicked, this, &CDisplayPage::OnTextSize);
}

QPushButton* CDisplayPage::AddButton(int id, QLatin1StringView text, QRect geometry) {
    auto* button = new QPushButton(QString(text), this);
    button->setGeometry(geometry);
    AddControl(id, button);
    return button;
}

QRadioButton* CDisplayPage::AddHiddenRadio(int id, QLatin1StringView text, QRect geometry) {
    auto* radio = new QRadioButton(QString(text), this);
    radio->setGeometry(geometry);
    radio->setEnabled(false);
    radio->hide();
    AddControl(id, radio);
    return radio;
}

PaintedBox* CDisplayPage::AddSwatch(int id, QRect geometry) {
    auto* swatch = new PaintedBox(this, QFrame::NoFrame);
    swatch->setGeometry(geometry);
    swatch->setEnabled(false);
    swatch->hide();
    AddControl(id, swatch);
    return swatch;
}

QGroupBox* CDisplayPage::AddHiddenGroup(int id, QLatin1StringView text, QRect geometry) {
    auto* group = new QGroupBox(QString(text), this);
    group->setGeometry(geometry);
    group->setEnabled(false);
    group->hide();
    group->lower();
    AddControl(id, group);
    return group;
}

bool CDisplayPage::IsChecked(int radioId) const {
    const auto* radio = qobject_cast<const QRadioButton*>(Control(radioId));
    return radio != nullptr && radio->isChecked();
}

QColor CDisplayPage::BackgroundColor() const {
    for (const BackgroundChoice& b : kBackgrounds) {
        if (IsChecked(b.radioId)) {
            return ToQColor(b.color);
        }
    }
    return ToQColor(kWhite);
}

const CDisplayPage::TextSize* CDisplayPage::CheckedTextSize() const {
    for (const TextSize& size : m_textSizes) {
        if (IsChecked(size.radioId)) {
            return &size;
        }
    }
    return nullptr;
}

void CDisplayPage::SendFont(const TextSize& size) {
    const auto& b = size.fontBytes;
    Pad().SetFont(b[0], b[1], b[2], b[3], b[4], b[5]);
}

ColorRef CDisplayPage::DrawingColor() const {
    const int index = m_pColorBox->currentIndex();
    if (index < 0 || index >= static_cast<int>(DrawColorTable.size())) {
        return DrawColorTable[0].color;
    }
    return DrawColorTable[static_cast<std::size_t>(index)].color;
}

void CDisplayPage::ActivatePage() {
    // No focus of its own to Show Lines: the view's focus reaches it as the
    // first control, and arrow keys on the tab bar keep the focus there.
    m_currentPattern = PATTERN_NONE;
    FillControl(IDC_MIRROR_BOX, BackgroundColor());
    const ColorRef c = DrawingColor();
    Pad().SetFillColor(c);
    Pad().SetTextColor(c);
    Pad().SetLineColor(c);
    if (const TextSize* size = CheckedTextSize()) {
        SendFont(*size);
    }
    ResetDisplayTest();
}

void CDisplayPage::DeactivatePage() {
    ResetDisplayTest();
    Pad().ClearDisplay();
}

void CDisplayPage::ResetDisplayTest() {
    m_record.Clear();
    SendWhiteScreen(Pad());
    InvalidateMirrorBox();
}

void CDisplayPage::SendWhiteScreen(PadCommands& pad) {
    pad.SetFillColor(kWhite);
    pad.FillRectangle(0, 0, padlink::kLcdMaxX, padlink::kLcdMaxY);
}

void CDisplayPage::RecordPoints(std::span<const SignaturePoint> points) {
    m_record.AppendPoints(points);
}

std::size_t CDisplayPage::RecordCount() const {
    return m_record.Count();
}

SignaturePoint CDisplayPage::RecordPoint(std::size_t index) const {
    return m_record.At(index);
}

QPoint CDisplayPage::ToMirror(int x, int y) const {
    // Multiply first: the box need not keep the LCD's 4:3 aspect.
    return {m_mirrorBox.width() * x / padlink::kLcdWidth,
            m_mirrorBox.height() * y / padlink::kLcdHeight};
}

void CDisplayPage::DrawMirrorShape(QPainter& painter, QPoint m1, QPoint m2, int kind) const {
    const QRect inside(0, 0, m_mirrorBox.width() + 1, m_mirrorBox.height() + 1);
    if (!inside.contains(m1) || !inside.contains(m2)) {
        return;
    }
    // Boxes and frames cover the rectangle from the first corner up to, not
    // including, the second, as the pad's rectangles are given.
    const QRect area(QPoint(m1.x(), m1.y()), QPoint(m2.x() - 1, m2.y() - 1));
    const QColor color = ToQColor(DrawingColor());
    switch (kind) {
        case PATTERN_LINES:
            painter.drawLine(m1, m2);
            break;
        case PATTERN_BOXES:
            if (area.isValid()) {
                painter.fillRect(area, color);
            }
            break;
        case PATTERN_FRAMES:
            if (area.isValid()) {
                painter.save();
                painter.setPen(QPen(color, 0));
                painter.setBrush(Qt::NoBrush);
                // A cosmetic pen's rectangle covers width + 1 pixels.
                painter.drawRect(area.adjusted(0, 0, -1, -1));
                painter.restore();
            }
            break;
        default:
            break;
    }
}

void CDisplayPage::DrawMirrorCharacter(QPainter& painter, QPoint m, char ch) const {
    if (m.x() < 0 || m.x() > m_mirrorBox.width() || m.y() < 0 || m.y() > m_mirrorBox.height()) {
        return;
    }
    const int ascent = painter.fontMetrics().ascent();
    painter.drawText(QPoint(m.x(), m.y() + ascent), QString(QChar::fromLatin1(ch)));
}

void CDisplayPage::FillControl(int id, const QColor& color) {
    if (auto* box = qobject_cast<PaintedBox*>(Control(id))) {
        box->SetFillColor(color);
    }
}

void CDisplayPage::InvalidateMirrorBox() {
    m_pMirrorBox->update();
}

void CDisplayPage::PaintMirror(QPainter& painter) {
    painter.fillRect(QRect(QPoint(0, 0), m_mirrorBox.size()), BackgroundColor());
    const long n = static_cast<long>(RecordCount()) - 1;
    if (m_currentPattern == PATTERN_NONE || n <= 0) {
        return;
    }
    if (const TextSize* size = CheckedTextSize()) {
        painter.setFont(*size->mirrorFont);
    }
    const QColor c = ToQColor(DrawingColor());
    painter.setPen(QPen(c, 0));
    // The counter skips 11 as the Characters pattern does, so the replay shows
    // the characters the pad was sent.
    int i = 0;
    for (long k = 0; k < n; k += 2) {
        if (i == kSkippedCharacterIndex) {
            i = kSkippedCharacterIndex + 1;
        }
        const SignaturePoint p = RecordPoint(static_cast<std::size_t>(k));
        const SignaturePoint q = RecordPoint(static_cast<std::size_t>(k + 1));
        if (m_lastPatternKind == PATTERN_CHARACTERS) {
            DrawMirrorCharacter(painter, ToMirror(p.x, p.y),
                                static_cast<char>(kFirstPatternCharacter + i));
        } else {
            DrawMirrorShape(painter, ToMirror(p.x, p.y), ToMirror(q.x, q.y), m_lastPatternKind);
        }
        ++i;
    }
}

void CDisplayPage::RunPattern(PatternKind kind) {
    switch (kind) {
        case PATTERN_LINES:
            RunPatternWork(kind, DrawLinesPattern, res::kShowLines);
            break;
        case PATTERN_BOXES:
            RunPatternWork(kind, DrawBoxesPattern, res::kShowBoxes);
            break;
        case PATTERN_FRAMES:
            RunPatternWork(kind, DrawFramesPattern, res::kShowFrames);
            break;
        case PATTERN_LEDS:
            RunPatternWork(kind, BlinkLedsPattern, res::kCycleLeds);
            break;
        case PATTERN_CHARACTERS:
            RunPatternWork(kind, DrawCharactersPattern, res::kShowCharacters);
            break;
        case PATTERN_NONE:
            break;
    }
}

void CDisplayPage::RunPatternWork(PatternKind kind, PatternFunction pattern,
                                  QLatin1StringView name) {
    // What the controls say now is what the pattern draws with.
    const TextSize* size = CheckedTextSize();
    const PatternSetup setup{DrawingColor(), size != nullptr ? size->rowStep : 0};
    m_nRunning = 1;
    m_currentPattern = kind;
    PatternStop stop;
    Activity().Run([&](PadJob& job) {
        PatternRun run(*this, job);
        stop = pattern(run, setup);
    });
    m_nRunning = 0;
    m_pLiveRepaint->stop();
    InvalidateMirrorBox();
    if (stop) {
        Activity().SayStoppedEarly(name);
    }
}

void CDisplayPage::OnShowLines() {
    const PadActivity::Action action = Activity().BeginAction();
    FillControl(IDC_MIRROR_BOX, ToQColor(kWhite));
    ResetDisplayTest();
    m_currentPattern = PATTERN_NONE;
    RunPattern(PATTERN_LINES);
}

void CDisplayPage::OnShowBoxes() {
    const PadActivity::Action action = Activity().BeginAction();
    FillControl(IDC_MIRROR_BOX, BackgroundColor());
    m_currentPattern = PATTERN_NONE;
    ResetDisplayTest();
    RunPattern(PATTERN_BOXES);
}

void CDisplayPage::OnShowFrames() {
    const PadActivity::Action action = Activity().BeginAction();
    FillControl(IDC_MIRROR_BOX, BackgroundColor());
    RunPattern(PATTERN_FRAMES);
}

void CDisplayPage::OnShowCharacters() {
    const PadActivity::Action action = Activity().BeginAction();
    FillControl(IDC_MIRROR_BOX, BackgroundColor());
    m_currentPattern = PATTERN_NONE;
    ResetDisplayTest();
    RunPattern(PATTERN_CHARACTERS);
}

void CDisplayPage::OnCycleLeds() {
    const PadActivity::Action action = Activity().BeginAction();
    FillControl(IDC_MIRROR_BOX, ToQColor(kWhite));
    ResetDisplayTest();
    // The flag bytes and the blink as one run, so that leaving the page
    // stops it between any two of its commands.
    RunPatternWork(PATTERN_LEDS, CycleLeds, res::kCycleLeds);
}

void CDisplayPage::OnBackgroundColor(int radioId) {
    for (const BackgroundChoice& b : kBackgrounds) {
        if (b.radioId != radioId) {
            continue;
        }
        const PadActivity::Action action = Activity().BeginAction();
        m_currentPattern = PATTERN_NONE;
        Pad().SetFillColor(b.color);
        Pad().FillRectangle(0, 0, padlink::kLcdMaxX, padlink::kLcdMaxY);
        FillControl(IDC_MIRROR_BOX, ToQColor(b.color));
        InvalidateMirrorBox();
    }
}

void CDisplayPage::OnTextSize(int radioId) {
    for (const TextSize& size : m_textSizes) {
        if (size.radioId != radioId) {
            continue;
        }
        const PadActivity::Action action = Activity().BeginAction();
        m_currentPattern = PATTERN_NONE;
        SendFont(size);
        ResetDisplayTest();
        InvalidateMirrorBox();
    }
}

}  // namespace vellumix::pages
