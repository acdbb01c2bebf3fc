#ifndef DORURIZAR_RECORDINGENGINE_H
#define DORURIZAR_RECORDINGENGINE_H

// An engine that records what reaches it, for testing the handles and the
// base class without pixels.

#include <dorurizar/dorurizar.h>
#include <dorurizar/uniimg.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class RecordingEngine : public cDorUrizar
{
public:
    struct ResizeCall {
        cUniImg* img;
        QSize requested;
        QSize sizeSeen;        // img->size() at the time of the call
        cUniImg* currentSeen;  // currentImage() at the time of the call
    };

    QStringList calls;
    QList<ResizeCall> resizes;
    QRect lastRect;
    QRect lastSource;
    cUniImg* lastSourceImg = nullptr;
    cUniImg* lastTarget = nullptr;  // current image when a drawing call arrived

    void resize(cUniImg* img, QSize const& size) override
    {
        resizes.append({img, size, img->size(), currentImage()});
        calls << QStringLiteral("resize");
    }
    void destroyData(cUniImg* img) override
    {
        calls << QStringLiteral("destroyData");
        img->mData = nullptr;
    }
    void drawImage(QRect const& target, QImage const&, QRect const& sourceRect) override
    {
        record(QStringLiteral("drawImage(QImage)"), target);
        lastSource = sourceRect;
    }
    void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) override
    {
        record(QStringLiteral("drawImage(cUniImg)"), target);
        lastSource = sourceRect;
        lastSourceImg = &source;
    }
    void fillRect(QRect const& rect, QColor const&) override { record(QStringLiteral("fillRect"), rect); }
    void drawRect(QRect const& rect, QColor const&) override { record(QStringLiteral("drawRect"), rect); }
    void drawGradient(QRect const& rect, QColor const&, QColor const&) override
    {
        record(QStringLiteral("drawGradient"), rect);
    }
    void drawText(QRect const& rect, int, QString const&, cUniFontMap const&) override
    {
        record(QStringLiteral("drawText"), rect);
    }

    void emitAccelerate(QVariant const& v) { emit sigAccelerateMe(v); }

private:
    void record(QString const& name, QRect const& rect)
    {
        calls << name;
        lastRect = rect;
        lastTarget = currentImage();
    }
};

#endif
