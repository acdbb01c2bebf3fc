// The smallest complete host: a window whose screen shows two off-screen
// images, with fills, outlines, a gradient and a label, drawn by the Qt
// engine. With --screenshot FILE it saves the first frame and exits.

#include <dorurizar/qtengine.h>
#include <dorurizar/unifontmap.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/unipaintermarkup.h>
#include <dorurizar/uniscreen.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace {

class Screen : public QWidget
{
public:
    Screen()
        : mTile(), mBadge()
        , mFont(cFontInfo(QStringLiteral("System"), 10, 75, 1, Qt::white, Qt::black, false))
    {
        resize(640, 360);
        mEngine.init(this);
        cUniImg::switchEngine(&mEngine);
        mScreen.setWidget(this);
    }

    ~Screen() override { mFont.Destroy(); }

    int framesShown() const { return mFrames; }

protected:
    // The Qt engine paints on a widget only inside its paint event.
    void paintEvent(QPaintEvent*) override
    {
        drawTile();
        drawBadge();
        mScreen.resize(width(), height());
        if (!mScreen.beginUpdate())
            return;
        cUniPainterMarkup layout(mScreen.rect());
        mScreen.drawImage(QRect(16, 16, 352, 288), mTile);
        mScreen.drawImage(QRect(400, 16, 224, 126), mTile);
        mScreen.drawImage(QRect(400, 160, 224, 144), mBadge);
        mScreen.drawRect(QRect(15, 15, 354, 290), Qt::white);
        mScreen.drawText(layout.allocateFrom(3, 24), Qt::AlignCenter, QStringLiteral("libdorurizar — Qt engine"), mFont);
        mScreen.endUpdate();
        ++mFrames;
    }

private:
    void drawTile()
    {
        mTile.resize(704, 576);
        if (!mTile.beginUpdate())
            return;
        for (int band = 0; band < 8; ++band)
            mTile.fillRect(QRect(band * 88, 0, 88, 576), QColor::fromHsv(band * 45, 160, 200));
        mTile.fillRect(QRect(100, 100, 300, 200), QColor(0, 0, 0, 128));
        mTile.drawRect(QRect(100, 100, 300, 200), Qt::yellow);
        mTile.drawText(QRect(0, 0, 704, 60), Qt::AlignCenter, QStringLiteral("Camera 1 · Камера 1"), mFont);
        mTile.endUpdate();
    }

    void drawBadge()
    {
        mBadge.resize(224, 144);
        if (!mBadge.beginUpdate())
            return;
        mBadge.drawGradient(mBadge.rect(), QColor(20, 40, 120), QColor(120, 200, 255));
        mBadge.drawRect(mBadge.rect(), Qt::red);
        mBadge.endUpdate();
    }

    cQTEngine mEngine;
    cUniScreen mScreen;
    cUniImg mTile;
    cUniImg mBadge;
    cUniFontMap mFont;
    int mFrames = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Draws one scene with the Qt engine."));
    parser.addHelpOption();
    QCommandLineOption shotOption(QStringLiteral("screenshot"), QStringLiteral("Save the first frame and exit."),
                                  QStringLiteral("file.png"));
    parser.addOption(shotOption);
    parser.process(app);

    Screen screen;
    screen.show();

    const QString shot = parser.value(shotOption);
    if (!shot.isEmpty()) {
        QTimer* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, [&] {
            if (screen.framesShown() == 0)
                return;
            const QImage frame = screen.windowHandle()->screen()->grabWindow(screen.winId()).toImage();
            if (!frame.save(shot)) {
                std::fprintf(stderr, "hello: cannot write %s\n", qPrintable(shot));
                app.exit(1);
                return;
            }
            app.quit();
        });
        poll->start(100);
    }
    return app.exec();
}
