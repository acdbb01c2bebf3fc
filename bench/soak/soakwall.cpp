#include "soakwall.h"

#include <atlasfile.h>

#include <dorurizar/uniscreen.h>

#include <QColor>

#include <algorithm>
#include <cstring>

namespace soak {

namespace {

const int kColumns = 4;
const QSize kBox(96, 72);
const QSize kTransientSizes[] = {{320, 240}, {176, 144}, {352, 288}, {64, 48}, {240, 180}};

cFontInfo fontInfo(char const* family, int border)
{
    return cFontInfo(QLatin1String(family), 10, -1, border, QColor(255, 255, 255), QColor(0, 0, 0), false);
}

// The overlay takes turns between two atlases, so giving one back and taking
// the other moves every transient's text to another texture.
cFontInfo overlayFont(int turn)
{
    return fontInfo(turn % 2 ? "SoakOverlayB" : "SoakOverlayA", turn % 2 ? 2 : 1);
}

QRect statusLine(QSize const& screen)
{
    return QRect(0, screen.height() - kStatusHeight, screen.width(), kStatusHeight);
}

QRect transientRect(QSize const& screen, int k)
{
    return QRect(screen.width() - (k + 1) * 168, 8, 160, 120);
}

} // namespace

Feed::Feed(int number)
    : mBackdrop(kPicture, QImage::Format_RGB32)
    , mNumber(number)
{
    for (int y = 0; y < mBackdrop.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(mBackdrop.scanLine(y));
        for (int x = 0; x < mBackdrop.width(); ++x)
            row[x] = qRgb((x / 2 + number * 40) & 0xff, (y / 3 + number * 16) & 0xff, ((x ^ y) >> 2) & 0xff);
    }
    mPicture = mBackdrop.copy();
}

QImage const& Feed::pictureAt(int frame)
{
    const QRect box(QPoint((frame * 7 + mNumber * 41) % (kPicture.width() - kBox.width()),
                           (frame * 3 + mNumber * 29) % (kPicture.height() - kBox.height())),
                    kBox);
    for (QRect const& r : {mBox, box}) {
        for (int y = r.top(); y <= r.bottom(); ++y) {
            QRgb* row = reinterpret_cast<QRgb*>(mPicture.scanLine(y)) + r.left();
            if (r == box)
                std::fill(row, row + r.width(), qRgb(250, 250, 240));
            else
                std::memcpy(row, mBackdrop.constScanLine(y) + r.left() * 4, size_t(r.width()) * 4);
        }
    }
    mBox = box;
    return mPicture;
}

bool writeFonts(QString const& dir)
{
    const QString cache = cFontInfo::makeCacheBasePath(dir);
    if (cache != dir)
        return false;
    const struct {
        cFontInfo info;
        int height;
    } fonts[] = {{fontInfo("SoakLabel", 1), 12}, {fontInfo("SoakStatus", 2), 14}, {overlayFont(0), 10},
                 {overlayFont(1), 11}};
    for (auto const& f : fonts) {
        atlasfile::Synthetic atlas = atlasfile::makeSynthetic([](int b) { return b < 32 ? 0 : 5 + b % 4; }, f.height,
                                                              f.info.mBorder, qRgb(255, 255, 255), qRgb(0, 0, 0));
        if (!atlasfile::writeAtlas(dir, f.info.mName, atlas.image, atlas.boxes))
            return false;
    }
    return true;
}

QRect cell(QSize const& screen, int i)
{
    const int width = screen.width() / kColumns;
    const int height = (screen.height() - kStatusHeight) / (kTiles / kColumns);
    return QRect((i % kColumns) * width + 1, (i / kColumns) * height + 1, width - 2, height - 2);
}

SoakWall::Tile::Tile(int number)
    : feed(number)
    , label(QStringLiteral("Camera %1 · Камера %1").arg(number))
{
}

SoakWall::SoakWall()
    : mLabelFont(fontInfo("SoakLabel", 1))
    , mStatusFont(fontInfo("SoakStatus", 2))
{
    for (int i = 0; i < kTiles; ++i)
        mTiles.push_back(std::make_unique<Tile>(i + 1));
}

SoakWall::~SoakWall()
{
    mLabelFont.Destroy();
    mStatusFont.Destroy();
    if (mOverlayFont)
        mOverlayFont->Destroy();
}

void SoakWall::paintTransient(cUniImg& image, int n)
{
    if (!image.beginUpdate())
        return;
    QImage const& picture = mTiles[size_t(n % kTiles)]->feed.pictureAt(n);
    image.drawImage(image.rect(), picture, picture.rect());
    image.drawText(image.rect().adjusted(4, 0, -4, 0), Qt::AlignHCenter | Qt::AlignBottom,
                   QStringLiteral("replay %1").arg(n), *mOverlayFont);
    image.drawRect(image.rect(), QColor(255, 255, 255));
    image.endUpdate();
}

void SoakWall::churn(int n)
{
    mSelected = (n % kCycle / kSelectEvery * 5) % kTiles;
    if (n % kFontEvery == 0) {
        if (mOverlayFont)
            mOverlayFont->Destroy();
        mOverlayFont = std::make_unique<cUniFontMap>(overlayFont(n / kFontEvery));
    }
    const int turn = n / kResizeEvery;
    if (n % kCreateEvery == 0) {
        mTransients.push_back(std::make_unique<cUniImg>());
        if (mTransients.size() > size_t(kTransientsKept))
            mTransients.pop_front();
    } else if (n % kResizeEvery != 0) {
        return;
    }
    cUniImg& newest = *mTransients.back();
    newest.resize(kTransientSizes[turn % 5]);
    paintTransient(newest, n);
}

void SoakWall::frame(cUniScreen& screen, int n)
{
    churn(n);
    const QSize size = screen.size();
    for (int i = 0; i < kTiles; ++i) {
        Tile& tile = *mTiles[size_t(i)];
        cUniImg& image = tile.image;
        if (image.size() != cell(size, i).size())
            image.resize(cell(size, i).size());
        if (!image.beginUpdate())
            continue;
        QImage const& picture = tile.feed.pictureAt(n);
        image.drawImage(image.rect(), picture, picture.rect());
        const QRect strip(0, image.size().height() - kLabelHeight, image.size().width(), kLabelHeight);
        if (i == mSelected)
            image.drawGradient(strip, QColor(120, 80, 0), QColor(255, 200, 40));
        else
            image.fillRect(strip, QColor(0, 0, 0, 160));
        image.drawText(strip.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter, tile.label, mLabelFont);
        image.drawRect(image.rect(), i == mSelected ? QColor(255, 210, 0) : QColor(110, 110, 110));
        image.endUpdate();
    }

    if (!screen.beginUpdate())
        return;
    for (int i = 0; i < kTiles; ++i)
        screen.drawImage(cell(size, i), mTiles[size_t(i)]->image);
    screen.drawRect(cell(size, mSelected).adjusted(-1, -1, 1, 1), QColor(255, 210, 0));
    for (size_t k = 0; k < mTransients.size(); ++k)
        screen.drawImage(transientRect(size, int(k)), *mTransients[k]);
    const QRect line = statusLine(size);
    screen.fillRect(line, QColor(200, 200, 196));
    screen.drawText(line.adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter,
                    QStringLiteral("soak · frame %1 · %2 transient images").arg(n).arg(mTransients.size()),
                    mStatusFont);
    screen.endUpdate();
}

} // namespace soak
