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
    QRect lastSource;
    cUniImg* lastTarget = nullptr;  // current image when a drawing call arrived
    void* destroyedData = nullptr;  // img->mData as destroyData() found it

    void resize(cUniImg* img, QSize const& size) override
    {
        resizes.append({img, size, img->size(), currentImage()});
        calls << QStringLiteral("resize");
    }
    void destroyData(cUniImg* img) override
    {
        calls << QStringLiteral("destroyData");
        destroyedData = img->mData;
        img->mData = nullptr;
    }
    void drawImage(QRect const&, QImage const&, QRect const&) override { record(QStringLiteral("drawImage(QImage)")); }
    void drawImage(QRect const&, cUniImg&, QRect const& sourceRect) override
    {
        record(QStringLiteral("drawImage(cUniImg)"));
        lastSource = sourceRect;
    }
    void fillRect(QRect const&, QColor const&) override { record(QStringLiteral("fillRect")); }
    void drawRect(QRect const&, QColor const&) override { record(QStringLiteral("drawRect")); }
    void drawGradient(QRect const&, QColor const&, QColor const&) override { record(QStringLiteral("drawGradient")); }
    void drawText(QRect const&, int, QString const&, cUniFontMap const&) override { record(QStringLiteral("drawText")); }

private:
    void record(QString const& name)
    {
        calls << name;
        lastTarget = currentImage();
    }
};

#endif
