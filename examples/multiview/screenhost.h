#ifndef MULTIVIEW_SCREENHOST_H
#define MULTIVIEW_SCREENHOST_H

#include <dorurizar/uniscreen.h>

#include <QImage>
#include <QString>

#include <functional>
#include <memory>

class QWidget;
class cDorUrizar;

// One engine with the widget it shows the screen in. The engines differ in
// where they may paint: the Qt engine only inside the widget's paint event,
// the GL and SDL engines whenever the host likes, presenting at the screen's
// endUpdate. A host asks for a frame and draws it when told to.
class ScreenHost
{
public:
    virtual ~ScreenHost();

    // A host of the named engine, or null when this build has no such engine.
    static std::unique_ptr<ScreenHost> create(QString const& engine);

    // Shows the widget at `size` and starts the engine on it; false, with
    // failure() saying why, when the engine cannot run on this display.
    bool start(QSize const& size);
    QString failure() const { return mFailure; }

    // Calls the draw function once the engine may paint the screen.
    virtual void requestFrame() = 0;
    void setDraw(std::function<void()> draw) { mDraw = std::move(draw); }
    // Draws a frame now, when the engine runs; the widget's paint event
    // lands here.
    void paint();

    virtual QString title() const = 0;
    QWidget* widget() const { return mWidget.get(); }
    cUniScreen& screen() { return mScreen; }
    // The window's pixels as the X server shows them.
    QImage grab() const;

protected:
    explicit ScreenHost(QWidget* widget);

    virtual bool startEngine() = 0;
    void fail(QString const& why) { mFailure = why; }

    // Declared so that the screen handle goes first, while its engine still
    // exists, and the engine before the widget it draws in.
    std::unique_ptr<QWidget> mWidget;
    std::unique_ptr<cDorUrizar> mEngine;
    cUniScreen mScreen;

private:
    std::function<void()> mDraw;
    QString mFailure;
};

#endif
