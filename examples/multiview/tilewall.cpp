#include "tilewall.h"

#include <dorurizar/uniscreen.h>

#include <QColor>

#include <cmath>

namespace {

const int kStatusHeight = 28;
const int kGap = 2;
const int kInterlacedCamera = 2;  // one camera of every wall shows two fields

// Labels and the status line come from the default atlases, so a first run
// with an empty cache makes exactly these.
cFontInfo labelFont()
{
    return cFontInfo(QStringLiteral("System"), 10, 75, 1, QColor(255, 255, 255), QColor(0, 0, 0), false);
}

cFontInfo statusFont()
{
    return cFontInfo(QStringLiteral("Tahoma"), 12, -1, 2, QColor(0x30, 0x30, 0x40), QColor(0, 0, 0), false);
}

} // namespace

TileWall::TileWall(int tiles, QStringList const& sources, bool rgbVideo, QString const& engineTitle)
    : mColumns(int(std::ceil(std::sqrt(double(tiles)))))
    , mTitle(engineTitle)
    , mLabelFont(labelFont())
    , mStatusFont(statusFont())
{
    for (int i = 0; i < tiles; ++i) {
        if (i < sources.size())
            mTiles.push_back(std::make_unique<Tile>(i + 1, sources[i], rgbVideo));
        else
            mTiles.push_back(std::make_unique<Tile>(i + 1, i + 1 == kInterlacedCamera));
    }
}

TileWall::~TileWall()
{
    mLabelFont.Destroy();
    mStatusFont.Destroy();
}

QRect TileWall::statusLine(QSize const& screen) const
{
    return QRect(0, screen.height() - kStatusHeight, screen.width(), kStatusHeight);
}

QRect TileWall::cell(QSize const& screen, int index) const
{
    const int rows = (count() + mColumns - 1) / mColumns;
    const int width = screen.width() / mColumns;
    const int height = (screen.height() - kStatusHeight) / rows;
    const int column = index % mColumns;
    const int row = index / mColumns;
    return QRect(column * width + kGap / 2, row * height + kGap / 2, width - kGap, height - kGap);
}

int TileWall::tileAt(QSize const& screen, QPoint const& pos) const
{
    for (int i = 0; i < count(); ++i) {
        if (cell(screen, i).contains(pos))
            return i;
    }
    return -1;
}

void TileWall::select(int index)
{
    if (index >= 0 && index < count())
        mSelected = index;
}

void TileWall::waitBuffered()
{
    for (auto const& tile : mTiles) {
        if (tile->video())
            tile->video()->waitBuffered();
    }
}

QStringList TileWall::videoReport(int* shown, int* dropped) const
{
    QStringList lines;
    *shown = *dropped = 0;
    for (int i = 0; i < count(); ++i) {
        VideoSource const* v = mTiles[size_t(i)]->video();
        if (!v)
            continue;
        *shown += v->shown();
        *dropped += v->dropped();
        lines << QStringLiteral("SOURCE tile=%1 shown=%2 dropped=%3 state=%4 file=%5")
                     .arg(i + 1)
                     .arg(v->shown())
                     .arg(v->dropped())
                     .arg(v->failed() ? QStringLiteral("no-signal") : QStringLiteral("playing"), v->path());
    }
    return lines;
}

void TileWall::draw(cUniScreen& screen, int time, bool waitForVideo, QString const& status)
{
    const QSize size = screen.size();
    for (int i = 0; i < count(); ++i)
        mTiles[size_t(i)]->render(cell(size, i).size(), time, waitForVideo, i == mSelected, mLabelFont);

    if (!screen.beginUpdate())
        return;
    for (int i = 0; i < count(); ++i)
        screen.drawImage(cell(size, i), mTiles[size_t(i)]->image());
    screen.drawRect(cell(size, mSelected).adjusted(-1, -1, 1, 1), QColor(255, 210, 0));

    const QRect line = statusLine(size);
    screen.fillRect(line, QColor(200, 200, 196));
    const QString text = status.isEmpty() ? mTitle : mTitle + QStringLiteral(" · ") + status;
    screen.drawText(line.adjusted(8, 0, -8, 0), Qt::AlignLeft | Qt::AlignVCenter, text, mStatusFont);
    screen.endUpdate();
}
