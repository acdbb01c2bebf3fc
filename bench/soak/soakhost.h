#ifndef SOAK_SOAKHOST_H
#define SOAK_SOAKHOST_H

// One engine and the two windows its screen handle takes turns in, drawing
// the soak's wall a frame at a time.

#include "soakwall.h"

#include <dorurizar/uniscreen.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;
class cDorUrizar;

namespace soak {

class SoakHost
{
public:
    virtual ~SoakHost();

    // The engines of this build, then "gl-bare": the GL wall's work done with
    // plain GL calls and no engine, the driver's share of what GL costs.
    static QStringList engines();
    // A host of the named engine; null when this build has none.
    static std::unique_ptr<SoakHost> create(QString const& engine);

    // Shows both windows and starts the engine on the first; false, with
    // failure() saying why, when the engine cannot run on this display.
    bool start();
    QString failure() const { return mFailure; }

    // Draws frame n once the engine may paint (the Qt engine only from the
    // current widget's paint event), then calls the frame-done function.
    virtual void requestFrame(int n) = 0;
    void onFrameDone(std::function<void(int)> done) { mDone = std::move(done); }

    // Binds the screen to the other window, which is another size.
    void swapWidget();
    // Texture names alive in the GL context; -1 for an engine without one.
    virtual long liveTextures() { return -1; }

protected:
    SoakHost(QWidget* first, QWidget* second);

    virtual bool startEngine() = 0;
    virtual void draw(int n);
    // Fits the screen to its widget, draws frame n and reports it done.
    void paint(int n);
    QWidget* widget(int i) const { return mWidgets[i].get(); }
    void fail(QString const& why) { mFailure = why; }

    // In this order, so that the wall's images go first, while the engine
    // still exists, and the engine before the windows it draws in.
    std::unique_ptr<QWidget> mWidgets[2];
    std::unique_ptr<cDorUrizar> mEngine;
    cUniScreen mScreen;
    std::unique_ptr<SoakWall> mWall;

private:
    std::function<void(int)> mDone;
    QString mFailure;
    int mCurrent = 0;
};

} // namespace soak

#endif
