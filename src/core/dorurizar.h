#ifndef DORURIZAR_DORURIZAR_H
#define DORURIZAR_DORURIZAR_H

#include "dorurizar_export.h"

#include <QObject>
#include <QVariant>

class QColor;
class QImage;
class QRect;
class QSize;
class QString;
class QWidget;
class cUniFontMap;
class cUniImg;
class cUniYuvFrame;

// The drawing back-end behind every image handle. Drawing operations carry no
// target: they draw into the image of the last successful beginUpdate().
// Engines add no meta-object of their own, so to Qt every engine is a
// "cDorUrizar" and they are told apart by dynamic type only.
class DORURIZAR_EXPORT cDorUrizar : public QObject
{
    Q_OBJECT

public:
    // An engine with no current image and no parent.
    cDorUrizar();
    ~cDorUrizar() override;

    // Prepares the engine for the widget that will show the screen; false when
    // the engine cannot run there. The base accepts any widget.
    virtual bool init(QWidget* w);

    // The image between beginUpdate() and endUpdate(); null when idle.
    virtual cUniImg* currentImage() const;

    // Records img as the current image and calls resize(img, img->size()).
    // The base refuses only a null image; engines refuse nesting themselves.
    virtual bool beginUpdate(cUniImg* img);

    // Ends whatever update is open (img is not compared); the base returns true.
    virtual bool endUpdate(cUniImg* img);

    // True while an update is open. Drawing does nothing while this is false.
    virtual bool isActive();

    // Frees the engine's data behind img->mData and nulls it. The base does nothing.
    virtual void destroyData(cUniImg* img);

    // Makes img's data fit size. Runs before the handle stores size, so
    // img->size() still reports the old one. The base does nothing.
    virtual void resize(cUniImg* img, QSize const& size);

    // Draws sourceRect of source into target of the current image, scaled when
    // the sizes differ.
    virtual void drawImage(QRect const& target, QImage const& source, QRect const& sourceRect) = 0;

    // The same with another handle's pixels as the source.
    virtual void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) = 0;

    // The same with a YUV video frame as the source, converted by its matrix
    // and range. Draws nothing unless source.canDraw(sourceRect); the base
    // draws nothing at all.
    virtual void drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect);

    // Fills rect of the current image with color.
    virtual void fillRect(QRect const& rect, QColor const& color) = 0;

    // Draws the one-pixel outline lying on the border pixels of rect.
    virtual void drawRect(QRect const& rect, QColor const& color) = 0;

    // Fills rect with c1, blended towards c2 nearer its centre.
    virtual void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2) = 0;

    // Draws one line of text from the font map's atlas, placed in rect by the
    // Qt::AlignRight/AlignHCenter/AlignBottom/AlignVCenter bits of flags.
    virtual void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font) = 0;

protected:
    // Hands the host an engine-specific context; only the GL engine emits it.
    Q_SIGNAL void sigAccelerateMe(QVariant const& v);

protected:
    cUniImg* mCurrentImage;

private:
    Q_DISABLE_COPY(cDorUrizar)
};

#endif
