#include "res/SampleImages.h"

#include <algorithm>
#include <cmath>

namespace vellumix::res {

namespace {

// Test card: eight full-strength bars (the classic order, brightest first),
// a grey ramp below them and a ring in the middle; a one-pixel white border
// shows whether the stretch loses the picture's edges.
constexpr QRgb kBars[] = {qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(0, 255, 255),
                          qRgb(0, 255, 0),     qRgb(255, 0, 255), qRgb(255, 0, 0),
                          qRgb(0, 0, 255),     qRgb(0, 0, 0)};
constexpr int kBarCount = static_cast<int>(std::size(kBars));
constexpr int kCardBarsPercent = 65;
constexpr int kCardRingRadius = 70;
constexpr int kCardRingWidth = 5;

QImage MakeTestCard() {
    const QSize size = kSampleImage1Size;
    QImage image(size, QImage::Format_RGB32);
    const int barsBottom = size.height() * kCardBarsPercent / 100;
    const int cx = size.width() / 2;
    const int cy = size.height() / 2;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            QRgb c;
            if (y < barsBottom) {
                c = kBars[x * kBarCount / size.width()];
            } else {
                const int v = x * 255 / (size.width() - 1);
                c = qRgb(v, v, v);
            }
            const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            const int inner = kCardRingRadius - kCardRingWidth;
            if (d2 <= kCardRingRadius * kCardRingRadius && d2 >= inner * inner) {
                c = qRgb(0, 0, 0);
            }
            if (x == 0 || y == 0 || x == size.width() - 1 || y == size.height() - 1) {
                c = qRgb(255, 255, 255);
            }
            line[x] = c;
        }
    }
    return image;
}

int Mix(int a, int b, int num, int den) {
    return a + (b - a) * num / den;
}

QRgb MixRgb(QRgb a, QRgb b, int num, int den) {
    return qRgb(Mix(qRed(a), qRed(b), num, den), Mix(qGreen(a), qGreen(b), num, den),
                Mix(qBlue(a), qBlue(b), num, den));
}

// Landscape: a sky that pales toward the horizon, a sun, two rolling hill
// lines and a lake that mirrors the sky darker. Smooth gradients show the
// averaging of the stretch; banding on the pad means lost low bits.
constexpr QRgb kSkyTop = qRgb(40, 90, 200);
constexpr QRgb kSkyHorizon = qRgb(200, 225, 255);
constexpr QRgb kSun = qRgb(255, 220, 90);
constexpr QRgb kHillNear = qRgb(40, 150, 50);
constexpr QRgb kHillFar = qRgb(15, 75, 25);
constexpr QRgb kWaterTop = qRgb(60, 110, 170);
constexpr QRgb kWaterBottom = qRgb(10, 40, 90);
constexpr int kHorizonPercent = 55;
constexpr int kLakePercent = 80;
constexpr int kSunRadius = 28;

QImage MakeLandscape() {
    const QSize size = kSampleImage2Size;
    const int w = size.width();
    const int h = size.height();
    QImage image(size, QImage::Format_RGB32);
    const int horizon = h * kHorizonPercent / 100;
    const int lake = h * kLakePercent / 100;
    const int sunX = w * 3 / 4;
    const int sunY = h * 22 / 100;
    for (int x = 0; x < w; ++x) {
        const double t = x;
        const int hill = horizon + static_cast<int>(std::lround(18.0 * std::sin(t / 37.0) +
                                                                10.0 * std::sin(t / 13.0 + 1.0)));
        for (int y = 0; y < h; ++y) {
            QRgb c;
            if (y >= lake) {
                c = MixRgb(kWaterTop, kWaterBottom, y - lake, h - lake);
            } else if (y >= hill) {
                c = MixRgb(kHillNear, kHillFar, y - hill, std::max(1, lake - hill));
            } else {
                c = MixRgb(kSkyTop, kSkyHorizon, y, horizon + 30);
                const int dx = x - sunX;
                const int dy = y - sunY;
                if (dx * dx + dy * dy <= kSunRadius * kSunRadius) {
                    c = kSun;
                }
            }
            reinterpret_cast<QRgb*>(image.scanLine(y))[x] = c;
        }
    }
    return image;
}

// Ramp card: a smooth ramp over the upper three quarters, sixteen grey steps
// below, and a grid in whichever of black or white shows on the grey under it.
constexpr int kRampPercent = 75;
constexpr int kGreySteps = 16;
constexpr int kGridPitch = 29;

QImage MakeRampCard() {
    const QSize size = kSampleImage3Size;
    QImage image(size, QImage::Format_RGB32);
    const int rampBottom = size.height() * kRampPercent / 100;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            int v;
            if (y < rampBottom) {
                v = x * 255 / (size.width() - 1);
            } else {
                v = (x * kGreySteps / size.width()) * 255 / (kGreySteps - 1);
            }
            if (x % kGridPitch == 0 || y % kGridPitch == 0) {
                v = v < 128 ? 255 : 0;
            }
            line[x] = qRgb(v, v, v);
        }
    }
    return image;
}

}  // namespace

QImage SampleImage(int resourceId) {
    switch (resourceId) {
        case kSampleImage1Id: {
            static const QImage card = MakeTestCard();
            return card;
        }
        case kSampleImage2Id: {
            static const QImage landscape = MakeLandscape();
            return landscape;
        }
        case kSampleImage3Id: {
            static const QImage ramp = MakeRampCard();
            return ramp;
        }
        default:
            return {};
    }
}

}  // namespace vellumix::res
