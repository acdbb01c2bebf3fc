#ifndef MULTIVIEW_CAMERAFEED_H
#define MULTIVIEW_CAMERAFEED_H

#include <QImage>
#include <QVector>

// A synthetic 704x576 camera: a still backdrop of its own colour with two
// objects moving over it. An interlaced camera shows its two fields half a
// frame apart, so anything moving is combed, as on a real analogue camera.
class CameraFeed
{
public:
    CameraFeed(int number, bool interlaced);

    // The picture at frame `time`; valid until the next call.
    QImage const& pictureAt(int time);
    bool interlaced() const { return mInterlaced; }

    static QSize const kSize;

private:
    struct Box {
        QRect rect;
        QRgb color;
        int field;  // 0 or 1: rows of that parity only; -1: every row
    };

    void paintBackdrop();
    void restoreBackdrop(QRect const& r);
    void paintBox(Box const& box);
    void placeObjects(double time, int field);

    int mNumber;
    bool mInterlaced;
    int mTime = -1;
    QImage mBackdrop;
    QImage mPicture;
    QVector<Box> mBoxes;  // drawn on the current picture
};

#endif
