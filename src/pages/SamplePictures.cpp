#include "pages/SamplePictures.h"

#include <QtMath>

#include "padlink/PadProtocol.h"
#include "padpicture/LcdPicture.h"
#include "res/SampleImages.h"

namespace vellumix::pages {

SamplePictures::Entry& SamplePictures::Find(int resourceId) {
    auto it = m_entries.find(resourceId);
    if (it == m_entries.end()) {
        it = m_entries
                 .emplace(resourceId,
                          Entry{padpicture::StretchToLcd(res::SampleImage(resourceId)), {}, {}})
                 .first;
    }
    return it->second;
}

QImage SamplePictures::Lcd(int resourceId) {
    return Find(resourceId).lcd;
}

const std::vector<std::uint8_t>& SamplePictures::PadPixels(int resourceId) {
    Entry& entry = Find(resourceId);
    if (entry.pixels.empty()) {
        entry.pixels = padpicture::ToPadPixels(entry.lcd);
    }
    return entry.pixels;
}

QImage SamplePictures::Screen(int resourceId, qreal devicePixelRatio) {
    Entry& entry = Find(resourceId);
    if (entry.lcd.isNull() || devicePixelRatio == 1.0 || devicePixelRatio <= 0) {
        return entry.lcd;
    }
    if (entry.screen.isNull() || entry.screen.devicePixelRatio() != devicePixelRatio) {
        // The same smooth stretch as the LCD's, from the original picture,
        // to as many device pixels as the box covers.
        entry.screen = res::SampleImage(resourceId)
                           .scaled(qCeil(padlink::kLcdWidth * devicePixelRatio),
                                   qCeil(padlink::kLcdHeight * devicePixelRatio),
                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_RGB32);
        entry.screen.setDevicePixelRatio(devicePixelRatio);
    }
    return entry.screen;
}

}  // namespace vellumix::pages
