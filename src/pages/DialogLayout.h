// The pages are laid out from their dialog templates (positions and sizes in
// dialog units of a "System" 10 template), at two pixels per unit both ways,
// and their fonts are the templates' Arial fonts given as Windows cell heights.
#pragma once

#include <QFont>
#include <QRect>

namespace vellumix::pages {

inline constexpr int kDialogUnitPixels = 2;

inline QRect DialogRect(int x, int y, int width, int height) {
    return {x * kDialogUnitPixels, y * kDialogUnitPixels, width * kDialogUnitPixels,
            height * kDialogUnitPixels};
}

// A positive Windows font height is the whole character cell (ascent plus
// descent); Qt sizes a font by its em. Arial's cell is 2288 font units
// (1854 ascent + 434 descent) on an em of 2048.
inline constexpr int kArialEmUnits = 2048;
inline constexpr int kArialCellUnits = 2288;

inline QFont ArialFont(int cellHeight, QFont::Weight weight) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize((cellHeight * kArialEmUnits + kArialCellUnits / 2) / kArialCellUnits);
    font.setWeight(weight);
    return font;
}

// The templates' own font, "System" 10: a 16-pixel cell whose average
// character is 8 pixels wide, which is what a dialog unit pair of 2 x 2
// pixels assumes. Arial at that cell keeps the captions inside the buttons
// the templates size for them; the platform's default font is wider.
inline constexpr int kTemplateFontCellHeight = 16;

inline QFont TemplateFont() {
    return ArialFont(kTemplateFontCellHeight, QFont::Normal);
}

}  // namespace vellumix::pages
