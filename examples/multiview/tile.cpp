#include "tile.h"

#include <dorurizar/unifontmap.h>

#include <QColor>
#include <QFileInfo>

namespace {
const int kLabelHeight = 20;
const QColor kNoSignal(28, 28, 36);
}

Tile::Tile(int number, bool interlaced)
    : mFeed(std::make_unique<CameraFeed>(number, interlaced))
    , mLabel(QStringLiteral("Camera %1 · Камера %1%2").arg(number).arg(interlaced ? QStringLiteral(" (i)") : QString()))
{
}

Tile::Tile(int number, QString const& videoPath, bool rgb)
    : mVideo(std::make_unique<VideoSource>(videoPath))
    , mRgb(rgb ? std::make_unique<RgbConverter>() : nullptr)
    , mLabel(QStringLiteral("%1 · %2").arg(number).arg(QFileInfo(videoPath).fileName()))
{
}

void Tile::drawPicture(int time, bool waitForVideo, cUniFontMap const& font)
{
    const QRect all = mImage.rect();
    if (mFeed) {
        const QImage& picture = mFeed->pictureAt(time);
        mImage.drawImage(all, picture, picture.rect());
        return;
    }
    FrameRef due = mVideo->takeDue(double(time) / kFramesPerSecond, waitForVideo);
    if (due) {
        mFrame = std::move(due);
        if (mRgb)
            mRgb->convert(mFrame.get());
    } else if (mVideo->failed()) {
        mFrame.reset();
        mImage.fillRect(all, kNoSignal);
        mImage.drawText(all.adjusted(0, 0, 0, -kLabelHeight), Qt::AlignHCenter | Qt::AlignVCenter,
                        QStringLiteral("no signal"), font);
        return;
    }
    if (mFrame && mRgb) {
        mImage.drawImage(all, mRgb->picture(), mRgb->picture().rect());
    } else if (mFrame) {
        const cUniYuvFrame frame = VideoSource::describe(mFrame.get());
        mImage.drawImage(all, frame, frame.rect());
    } else {
        mImage.fillRect(all, QColor(0, 0, 0));  // the first frame is on its way
    }
}

void Tile::render(QSize const& size, int time, bool waitForVideo, bool selected, cUniFontMap const& font)
{
    if (mImage.size() != size)
        mImage.resize(size);
    if (!mImage.beginUpdate())
        return;
    const QRect all = mImage.rect();
    drawPicture(time, waitForVideo, font);

    const QRect strip(0, all.height() - kLabelHeight, all.width(), kLabelHeight);
    if (selected)
        mImage.drawGradient(strip, QColor(120, 80, 0), QColor(255, 200, 40));
    else
        mImage.fillRect(strip, QColor(0, 0, 0, 160));
    mImage.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter, mLabel, font);
    mImage.drawRect(all, selected ? QColor(255, 210, 0) : QColor(110, 110, 110));
    mImage.endUpdate();
}
