#ifndef DORURIZAR_QTENGINE_H
#define DORURIZAR_QTENGINE_H

#include "dorurizar.h"

#include <QImage>

class QPaintDevice;
class QPainter;

// The software engine: one QPainter drawing into a QImage (Format_ARGB32) per
// off-screen handle, and straight onto the widget for the screen. Qt lets a
// painter begin on a widget only inside its paint event, so a host updates
// the screen from the screen widget's paintEvent(). A rectangle reaching
// 2^24 pixels or more from the origin is cut to the device in 64 bits before
// the painter sees it, and then draws nothing with left > right or top >
// bottom; a nearer one goes to the painter as it is (a valid outline as
// fills of its edges).
class DORURIZAR_EXPORT cQTEngine : public cDorUrizar
{
public:
    // An engine with its one painter, inactive.
    cQTEngine();
    ~cQTEngine() override;  // deletes the painter

    // Makes w paint opaquely with no system background; false for a null w.
    bool init(QWidget* w) override;
    // Refuses nesting. The screen opens its widget (only inside its paint
    // event) and starts cleared to opaque black; an off-screen image opens
    // its QImage, which starts transparent. False for a screen without a
    // widget, an unsized image, or when the painter does not begin.
    bool beginUpdate(cUniImg* img) override;
    // Settles a pending clear and ends the painter; returns what its end() does.
    bool endUpdate(cUniImg* img) override;
    // An update is open and the painter is active.
    bool isActive() override;
    // Ends the update of img if it is open, then deletes an off-screen
    // image's QImage; nothing more for the screen.
    void destroyData(cUniImg* img) override;
    // Gives an off-screen image a transparent QImage of size; the current
    // image keeps its QImage at an unchanged size and owes a clear instead,
    // and at a new size goes on updating its new QImage. Nothing for the screen.
    void resize(cUniImg* img, QSize const& size) override;
    // Draws sourceRect of image scaled into target, blending source-over;
    // an indexed image is converted to ARGB32 first.
    void drawImage(QRect const& target, QImage const& image, QRect const& sourceRect) override;
    // The same with source's QImage; nothing for the screen or an image
    // without data.
    void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) override;
    // Converts sourceRect of the frame, scaled, into target: off-screen
    // straight into the image's pixels, on the screen through a picture of
    // the part on the widget. Opaque; nothing unless source.canDraw(sourceRect).
    void drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect) override;
    // Off-screen the colour replaces the pixels, alpha included; on the
    // screen it blends.
    void fillRect(QRect const& rect, QColor const& color) override;
    // Blends a one-pixel pen along rect's border pixels.
    void drawRect(QRect const& rect, QColor const& color) override;
    // Writes the gradient's pixels into an off-screen image, alpha included;
    // nothing on the screen.
    void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2) override;
    // Copies glyph cells 3 x border larger than their boxes, one box width apart.
    void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font) override;

    // An off-screen handle's data as its QImage (a cast; null stays null).
    QImage* imageFromData(void* data);
    // The screen's data as its widget: kept for hosts that reach the screen
    // widget through the handle's data; the engine itself does not use it.
    QWidget* widgetFromData(void* data);
    // Either kind of data as the device a QPainter opens: kept for hosts that
    // paint into a handle themselves; the engine itself does not use it.
    QPaintDevice* deviceFromData(void* data);
    // A copy of img's pixels, null for the screen or a handle without data.
    // Settles a pending clear of the current image first, so the copy never
    // shows the pixels of the update before.
    QImage QImagefromUniImage(cUniImg* img);

    QPainter* mPainter;

private:
    void settlePendingClear(bool overwritesEveryPixel);

    // The current image kept its pixels from the last update and owes a clear:
    // done on the first drawing call unless that call overwrites every pixel
    // anyway (a whole-tile opaque picture), or at endUpdate().
    bool mPendingClear = false;
};

#endif
