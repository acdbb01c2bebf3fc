#ifndef MULTIVIEW_TILE_H
#define MULTIVIEW_TILE_H

#include "camerafeed.h"
#include "videosource.h"

#include <dorurizar/uniimg.h>

#include <QString>

#include <memory>

class cUniFontMap;

// One camera of the wall: an off-screen image holding the camera's picture
// scaled to the tile, its label and its outline. The camera is synthetic or
// a video file; a file that does not play shows "no signal".
class Tile
{
public:
    Tile(int number, bool interlaced);
    // With `rgb` the frames are drawn as QImages that libswscale made.
    Tile(int number, QString const& videoPath, bool rgb);

    // `time` counts the wall's frames, 25 to the second; with `waitForVideo`
    // a video tile waits for its decoder to deliver the frame due then.
    void render(QSize const& size, int time, bool waitForVideo, bool selected, cUniFontMap const& font);
    cUniImg& image() { return mImage; }
    VideoSource* video() const { return mVideo.get(); }

    static const int kFramesPerSecond = 25;

private:
    void drawPicture(int time, bool waitForVideo, cUniFontMap const& font);

    std::unique_ptr<CameraFeed> mFeed;
    std::unique_ptr<VideoSource> mVideo;
    FrameRef mFrame;  // the video frame drawn last, held until a newer one replaces it
    std::unique_ptr<RgbConverter> mRgb;  // holds mFrame in RGB when set
    cUniImg mImage;   // follows the current engine
    QString mLabel;
};

#endif
