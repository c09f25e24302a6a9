// The Image page's sample pictures, stretched once and kept: the pictures
// never change, and stretching one costs more than the rest of a click.
// Each has an LCD picture (320 x 240), its bytes for the pad, and a screen
// picture at the box's device pixel ratio, stretched from the
// original so a high-density screen shows it sharp; at ratio 1 the two are
// the same image.
//
// Thread safety: GUI thread only.
#pragma once

#include <QImage>
#include <cstdint>
#include <map>
#include <vector>

namespace vellumix::pages {

class SamplePictures {
public:
    // The sample stretched to 320 x 240; null for an id that is no sample.
    QImage Lcd(int resourceId);
    // The sample for a box of 320 x 240 logical pixels at the ratio, tagged
    // with it; the LCD picture itself at ratio 1.
    QImage Screen(int resourceId, qreal devicePixelRatio);
    // The LCD picture as DisplayImage data (ToPadPixels), made once: a fresh
    // 230,400-byte buffer per click costs more than sending it.
    const std::vector<std::uint8_t>& PadPixels(int resourceId);

private:
    struct Entry {
        QImage lcd;
        QImage screen;                     // null until a ratio other than 1 asks for it
        std::vector<std::uint8_t> pixels;  // empty until first sent
    };
    Entry& Find(int resourceId);

    std::map<int, Entry> m_entries;
};

}  // namespace vellumix::pages
