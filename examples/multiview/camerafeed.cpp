#include "camerafeed.h"

#include <QColor>
#include <QPainter>

#include <cmath>
#include <cstring>

QSize const CameraFeed::kSize(704, 576);

namespace {

// Bounces a coordinate between 0 and range, `speed` pixels per frame.
int bounce(double time, double speed, int range, int phase)
{
    if (range <= 0)
        return 0;
    const int period = 2 * range;
    const int p = (int(std::lround(time * speed)) + phase) % period;
    return p < range ? p : period - p;
}

} // namespace

CameraFeed::CameraFeed(int number, bool interlaced)
    : mNumber(number)
    , mInterlaced(interlaced)
    , mBackdrop(kSize, QImage::Format_RGB32)
{
    paintBackdrop();
    mPicture = mBackdrop.copy();
}

void CameraFeed::paintBackdrop()
{
    const int hue = (mNumber * 47) % 360;
    QPainter p(&mBackdrop);
    QLinearGradient sky(0, 0, 0, kSize.height());
    sky.setColorAt(0, QColor::fromHsv(hue, 90, 230));
    sky.setColorAt(0.6, QColor::fromHsv(hue, 160, 120));
    sky.setColorAt(1, QColor::fromHsv((hue + 40) % 360, 200, 60));
    p.fillRect(mBackdrop.rect(), sky);

    // A fixed pattern of thin lines: what a deinterlacer or a scaler does to
    // fine detail is easiest to see here.
    p.setPen(QColor::fromHsv(hue, 40, 250));
    for (int x = 32; x < kSize.width(); x += 64)
        p.drawLine(x, 0, x, kSize.height() - 1);
    for (int y = 48; y < kSize.height(); y += 96)
        p.drawLine(0, y, kSize.width() - 1, y);
    for (int i = 0; i < 8; ++i)
        p.fillRect(QRect(40 + i * 78, 470, 70, 60), QColor::fromHsv((hue + i * 45) % 360, 220, 220));
}

void CameraFeed::restoreBackdrop(QRect const& r)
{
    const QRect clipped = r & mPicture.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y)
        std::memcpy(mPicture.scanLine(y) + clipped.left() * 4, mBackdrop.constScanLine(y) + clipped.left() * 4,
                    size_t(clipped.width()) * 4);
}

void CameraFeed::paintBox(Box const& box)
{
    const QRect clipped = box.rect & mPicture.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        if (box.field >= 0 && (y & 1) != box.field)
            continue;
        QRgb* row = reinterpret_cast<QRgb*>(mPicture.scanLine(y));
        for (int x = clipped.left(); x <= clipped.right(); ++x)
            row[x] = box.color;
    }
}

void CameraFeed::placeObjects(double time, int field)
{
    const int w = kSize.width();
    const int h = kSize.height();
    const QRect car(bounce(time, 9, w - 140, mNumber * 53), 260 + (mNumber % 3) * 40, 140, 80);
    const QRect walker(60 + (mNumber * 91) % (w - 160), bounce(time, 4, h - 200, mNumber * 31), 36, 110);
    mBoxes.append({car, qRgb(250, 250, 240), field});
    mBoxes.append({walker, qRgb(200, 30, 40), field});
}

QImage const& CameraFeed::pictureAt(int time)
{
    if (time == mTime)
        return mPicture;
    mTime = time;
    for (Box const& box : mBoxes)
        restoreBackdrop(box.rect);
    mBoxes.clear();
    if (mInterlaced) {
        placeObjects(time, 0);
        placeObjects(time + 0.5, 1);
    } else {
        placeObjects(time, -1);
    }
    for (Box const& box : mBoxes)
        paintBox(box);
    return mPicture;
}
