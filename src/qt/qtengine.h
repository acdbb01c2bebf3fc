#ifndef DORURIZAR_QTENGINE_H
#define DORURIZAR_QTENGINE_H

#include "dorurizar.h"

#include <QImage>

class QPaintDevice;
class QPainter;

// The software engine: one QPainter drawing into a QImage (Format_ARGB32) per
// off-screen handle, and straight onto the widget for the screen. Qt lets a
// painter begin on a widget only inside its paint event, so a host updates
// the screen from the screen widget's paintEvent().
class DORURIZAR_EXPORT cQTEngine : public cDorUrizar
{
public:
    cQTEngine();
    ~cQTEngine() override;

    bool init(QWidget* w) override;
    bool beginUpdate(cUniImg* img) override;
    bool endUpdate(cUniImg* img) override;
    bool isActive() override;
    void destroyData(cUniImg* img) override;
    void resize(cUniImg* img, QSize const& size) override;
    void drawImage(QRect const& target, QImage const& image, QRect const& sourceRect) override;
    void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) override;
    void fillRect(QRect const& rect, QColor const& color) override;
    void drawRect(QRect const& rect, QColor const& color) override;
    void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2) override;
    void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font) override;

    QImage* imageFromData(void* data);
    QWidget* widgetFromData(void* data);
    QPaintDevice* deviceFromData(void* data);
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
