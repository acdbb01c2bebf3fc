#include "tile.h"

#include <dorurizar/unifontmap.h>

#include <QColor>

namespace {
const int kLabelHeight = 20;
}

Tile::Tile(int number, bool interlaced)
    : mFeed(number, interlaced)
    , mLabel(QStringLiteral("Camera %1 · Камера %1%2").arg(number).arg(interlaced ? QStringLiteral(" (i)") : QString()))
{
}

void Tile::render(QSize const& size, int time, bool selected, cUniFontMap const& font)
{
    if (mImage.size() != size)
        mImage.resize(size);
    if (!mImage.beginUpdate())
        return;
    const QRect all = mImage.rect();
    const QImage& picture = mFeed.pictureAt(time);
    mImage.drawImage(all, picture, picture.rect());

    const QRect strip(0, all.height() - kLabelHeight, all.width(), kLabelHeight);
    if (selected)
        mImage.drawGradient(strip, QColor(120, 80, 0), QColor(255, 200, 40));
    else
        mImage.fillRect(strip, QColor(0, 0, 0, 160));
    mImage.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter, mLabel, font);
    mImage.drawRect(all, selected ? QColor(255, 210, 0) : QColor(110, 110, 110));
    mImage.endUpdate();
}
