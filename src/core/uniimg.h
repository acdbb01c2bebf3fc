#ifndef DORURIZAR_UNIIMG_H
#define DORURIZAR_UNIIMG_H

#include "dorurizar_export.h"

#include <QRect>
#include <QSize>

class QColor;
class QImage;
class QString;
class cDorUrizar;
class cUniFontMap;
class cUniYuvFrame;

// A drawable off-screen image. It owns no pixels: every call goes to its own
// engine, or to the process-wide current one, which keeps its per-image data
// behind mData.
class DORURIZAR_EXPORT cUniImg
{
public:
    // An unsized handle (-1 x -1, no data) drawn by engine, or by the
    // current engine when engine is null.
    explicit cUniImg(cDorUrizar* engine = nullptr);
    // Has the engine free the data behind mData.
    virtual ~cUniImg();

    // Has the engine fit its data to s, then stores s.
    virtual void resize(QSize const& s);
    // Opens an update of this image on its engine; false without an engine
    // or when the engine refuses.
    virtual bool beginUpdate();
    // Ends the engine's open update; false without an engine.
    virtual bool endUpdate();
    // Does nothing for an off-screen image.
    virtual void update();
    // The drawing operations forward to the engine, which draws into its
    // current image (not necessarily this one); without an engine they do
    // nothing.
    virtual void drawImage(QRect const& target, QImage const& image, QRect const& sourceRect);
    virtual void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect);
    virtual void drawImage(QRect const& target, cUniYuvFrame const& frame, QRect const& sourceRect);
    virtual void fillRect(QRect const& rect, QColor const& color);
    virtual void drawRect(QRect const& rect, QColor const& color);
    virtual void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2);
    virtual void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font);

    // Makes e the current engine and returns the previous one; a null e is
    // refused (returns null, nothing changes).
    static cDorUrizar* switchEngine(cDorUrizar* e);

    // The handle's own engine, else the process-wide current one (or null).
    cDorUrizar* currentEngine() const;
    // (0, 0) and size(); -1 x -1 until the first resize.
    QRect rect() const;
    QSize size() const;
    // resize(QSize(w, h)).
    void resize(int w, int h);
    // Draws the whole of source into target.
    void drawImage(QRect const& target, cUniImg& source);

    void* mData;          // the engine's per-image data; only that engine touches it
    cDorUrizar* mEngine;  // null: follow mCurrentEngine
    QSize mSize;

    static cDorUrizar* mCurrentEngine;

private:
    cUniImg(cUniImg const&) = delete;
    cUniImg& operator=(cUniImg const&) = delete;
};

#endif
