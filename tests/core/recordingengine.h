#ifndef DORURIZAR_RECORDINGENGINE_H
#define DORURIZAR_RECORDINGENGINE_H

// An engine that records what reaches it as text, for testing the handles and
// the base class without pixels.

#include <dorurizar/dorurizar.h>
#include <dorurizar/uniimg.h>

#include <QRect>
#include <QSize>
#include <QStringList>

class RecordingEngine : public cDorUrizar
{
public:
    QStringList calls;
    cUniImg* lastTarget = nullptr;  // current image when a drawing call arrived
    void* destroyedData = nullptr;  // img->mData as destroyData() found it

    // "resize 8x6 over 2x3", and " current" when img is the current image.
    void resize(cUniImg* img, QSize const& size) override
    {
        calls << QStringLiteral("resize %1x%2 over %3x%4%5")
                     .arg(size.width()).arg(size.height()).arg(img->size().width()).arg(img->size().height())
                     .arg(img == currentImage() ? " current" : "");
    }
    void destroyData(cUniImg* img) override
    {
        calls << QStringLiteral("destroyData");
        destroyedData = img->mData;
        img->mData = nullptr;
    }
    void drawImage(QRect const&, QImage const&, QRect const&) override { record(QStringLiteral("drawImage")); }
    void drawImage(QRect const&, cUniImg&, QRect const& s) override
    {
        record(QStringLiteral("drawImage from %1,%2 %3x%4").arg(s.x()).arg(s.y()).arg(s.width()).arg(s.height()));
    }
    void fillRect(QRect const&, QColor const&) override { record(QStringLiteral("fillRect")); }
    void drawRect(QRect const&, QColor const&) override { record(QStringLiteral("drawRect")); }
    void drawGradient(QRect const&, QColor const&, QColor const&) override { record(QStringLiteral("drawGradient")); }
    void drawText(QRect const&, int, QString const&, cUniFontMap const&) override { record(QStringLiteral("drawText")); }

private:
    void record(QString const& call)
    {
        calls << call;
        lastTarget = currentImage();
    }
};

#endif
