#include "testatlas.h"

#include <QDir>
#include <QPainter>
#include <QSettings>

namespace dtest {

bool writeAtlas(QString const& dir, QString const& name, QImage const& image, QVector<QRect> const& boxes)
{
    if (boxes.size() != 256)
        return false;
    QDir().mkpath(dir);
    if (!image.save(dir + QLatin1Char('/') + name + QStringLiteral(".png"), "PNG"))
        return false;

    QSettings rects(dir + QLatin1Char('/') + name + QStringLiteral(".rects"), QSettings::IniFormat);
    rects.beginWriteArray(QStringLiteral("rects"), 256);
    for (int i = 0; i < 256; ++i) {
        rects.setArrayIndex(i);
        QRect const& box = boxes[i];
        rects.setValue(QStringLiteral("x"), box.x());
        rects.setValue(QStringLiteral("y"), box.y());
        rects.setValue(QStringLiteral("w"), box.width());
        rects.setValue(QStringLiteral("h"), box.height());
    }
    rects.endArray();
    rects.sync();
    return rects.status() == QSettings::NoError;
}

SyntheticAtlas makeSyntheticAtlas(int (*widthOf)(int byte), int height, int border, QRgb color, QRgb borderColor)
{
    int widest = 1;
    for (int b = 0; b < 256; ++b)
        widest = qMax(widest, widthOf(b));
    // Engines read up to 4 x border past a box; keep that and one more pixel clear.
    const int gap = 4 * border + 1;
    const int cellW = widest + gap;
    const int cellH = height + gap;
    const int columns = 16;

    SyntheticAtlas atlas;
    // One spare row at the bottom holds the empty boxes on clear pixels.
    atlas.image = QImage(columns * cellW, (256 / columns + 1) * cellH, QImage::Format_ARGB32);
    atlas.image.fill(0);
    atlas.boxes.resize(256);
    const QPoint emptySpot(0, (256 / columns) * cellH);

    QPainter p(&atlas.image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    for (int b = 0; b < 256; ++b) {
        const int w = widthOf(b);
        if (w <= 0 || height <= 0) {
            atlas.boxes[b] = QRect(emptySpot, QSize(0, 0));
            continue;
        }
        const QPoint origin((b % columns) * cellW, (b / columns) * cellH);
        const QRect box(origin, QSize(w, height));
        if (border > 0)
            p.fillRect(QRect(origin, QSize(w + border, height + border)), QColor::fromRgba(borderColor));
        p.fillRect(box, QColor::fromRgba(color));
        atlas.boxes[b] = box;
    }
    return atlas;
}

} // namespace dtest
