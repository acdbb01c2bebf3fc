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

// A drawable off-screen image. It owns no pixels: every call goes to its own
// engine, or to the process-wide current one, which keeps its per-image data
// behind mData.
class DORURIZAR_EXPORT cUniImg
{
public:
    explicit cUniImg(cDorUrizar* engine = nullptr);
    virtual ~cUniImg();

    virtual void resize(QSize const& s);
    virtual bool beginUpdate();
    virtual bool endUpdate();
    virtual void update();
    virtual void drawImage(QRect const& target, QImage const& image, QRect const& sourceRect);
    virtual void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect);
    virtual void fillRect(QRect const& rect, QColor const& color);
    virtual void drawRect(QRect const& rect, QColor const& color);
    virtual void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2);
    virtual void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font);

    // Makes e the current engine and returns the previous one; a null e is
    // refused (returns null, nothing changes).
    static cDorUrizar* switchEngine(cDorUrizar* e);

    cDorUrizar* currentEngine() const;
    QRect rect() const;
    QSize size() const;
    void resize(int w, int h);
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
