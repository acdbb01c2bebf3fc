#ifndef MULTIVIEW_TILE_H
#define MULTIVIEW_TILE_H

#include "camerafeed.h"

#include <dorurizar/uniimg.h>

#include <QString>

class cUniFontMap;

// One camera of the wall: an off-screen image holding the camera's picture
// scaled to the tile, its label and its outline.
class Tile
{
public:
    Tile(int number, bool interlaced);

    void render(QSize const& size, int time, bool selected, cUniFontMap const& font);
    cUniImg& image() { return mImage; }

private:
    CameraFeed mFeed;
    cUniImg mImage;  // follows the current engine
    QString mLabel;
};

#endif
