#ifndef MULTIVIEW_TILEWALL_H
#define MULTIVIEW_TILEWALL_H

#include "tile.h"

#include <dorurizar/unifontmap.h>

#include <memory>
#include <vector>

class cUniScreen;

// The whole picture of the wall: tiles on a grid above a status line. It
// knows no engine; everything goes through the current one.
class TileWall
{
public:
    // The first tiles play the video files of `sources`, the others show
    // synthetic cameras. With `rgbVideo` video is drawn as QImages.
    TileWall(int tiles, QStringList const& sources, bool rgbVideo, QString const& engineTitle);
    ~TileWall();

    // Draws one frame: the tiles' images first, then the screen from them.
    // `time` counts frames of the wall, 25 to the second.
    void draw(cUniScreen& screen, int time, bool waitForVideo, QString const& status);

    int tileAt(QSize const& screen, QPoint const& pos) const;
    void select(int index);
    QRect cell(QSize const& screen, int index) const;
    QRect statusLine(QSize const& screen) const;
    int count() const { return int(mTiles.size()); }
    // Returns once every video tile's decoder is ahead of the clock.
    void waitBuffered();
    // Shown and dropped frames of each video tile, one line each.
    QStringList videoReport(int* shown, int* dropped) const;

private:
    std::vector<std::unique_ptr<Tile>> mTiles;
    int mColumns;
    int mSelected = 0;
    QString mTitle;
    cUniFontMap mLabelFont;
    cUniFontMap mStatusFont;
};

#endif
