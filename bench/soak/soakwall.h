#ifndef SOAK_SOAKWALL_H
#define SOAK_SOAKWALL_H

// The soak's wall: sixteen camera tiles drawn through the current engine
// while everything a long-running host keeps doing goes on around them.

#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>

#include <QImage>
#include <QRect>

#include <deque>
#include <memory>
#include <vector>

class cUniScreen;

namespace soak {

const int kTiles = 16;
const QSize kPicture(704, 576);
const int kLabelHeight = 18;
const int kStatusHeight = 24;

// How often, in frames, each kind of churn comes round. Each kind repeats
// itself within kCycle frames, so samples taken kCycle frames apart find the
// wall in the same state: the same tile selected, the same images alive at
// the same sizes, the same font maps and the same window.
const int kCycle = 50;
const int kSelectEvery = 5;
const int kResizeEvery = 10;
const int kCreateEvery = 25;
const int kFontEvery = 25;
const int kSwapEvery = 25;
const int kTransientsKept = 3;

// A camera picture with a box that moves every frame, rewritten in place as a
// capture card rewrites its buffer.
class Feed
{
public:
    explicit Feed(int number);
    QImage const& pictureAt(int frame);

private:
    QImage mBackdrop;
    QImage mPicture;
    QRect mBox;
    int mNumber;
};

// Writes the synthetic atlases the wall draws with into the font cache at
// dir and makes dir the cache; false when they could not be written. Runs
// before the process's first font lookup, which loads the whole cache.
bool writeFonts(QString const& dir);

// Cell i of the 4 x 4 grid above the status line of a screen of that size.
QRect cell(QSize const& screen, int i);

class SoakWall
{
public:
    SoakWall();
    // Gives every font reference back; the images go to the current engine.
    ~SoakWall();

    // Draws frame n into the screen, after that frame's churn: the selection
    // moves, a transient image is made, resized or destroyed, the overlay
    // font map is given back and taken anew.
    void frame(cUniScreen& screen, int n);

private:
    struct Tile {
        explicit Tile(int number);
        Feed feed;
        cUniImg image;
        QString label;
    };

    void churn(int n);
    void paintTransient(cUniImg& image, int n);

    std::vector<std::unique_ptr<Tile>> mTiles;
    std::deque<std::unique_ptr<cUniImg>> mTransients;  // oldest first
    cUniFontMap mLabelFont;
    cUniFontMap mStatusFont;
    std::unique_ptr<cUniFontMap> mOverlayFont;
    int mSelected = 0;
};

} // namespace soak

#endif
