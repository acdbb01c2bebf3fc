// A host built against the installed package: draws into an off-screen
// image with the Qt engine and checks one pixel.
#include <dorurizar/qtengine.h>
#include <dorurizar/uniimg.h>
#include <dorurizar/unipaintermarkup.h>
#include <dorurizar/version.h>

#include <QColor>
#include <QGuiApplication>

#include <cstdio>

static_assert(DORURIZAR_QT_MAJOR == QT_VERSION_MAJOR && DORURIZAR_VERSION >= DORURIZAR_VERSION_CHECK(1, 0, 0));

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    cQTEngine engine;
    cUniImg::switchEngine(&engine);

    cUniImg image;
    image.resize(16, 16);
    if (!image.beginUpdate())
        return 1;
    image.fillRect(image.rect(), Qt::blue);
    image.drawRect(cUniPainterMarkup(image.rect()).allocateFrom(0, 4), Qt::red);
    image.endUpdate();

    const QImage pixels = engine.QImagefromUniImage(&image);
    if (pixels.pixel(0, 15) != 0xff0000ffu || pixels.pixel(8, 0) != 0xffff0000u)
        return 2;
    std::puts("client ok");
    return 0;
}
