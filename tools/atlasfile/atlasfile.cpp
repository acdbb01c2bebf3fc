#include "atlasfile.h"

#include <QDir>
#include <QFile>
#include <QPainter>
#include <QSettings>

namespace atlasfile {

bool writeRects(QString const& path, QVector<QRect> const& boxes)
{
    if (boxes.size() != 256)
        return false;
    QSettings rects(path, QSettings::IniFormat);
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
    return rects.status() == QSettings::NoError && QFile::exists(path);
}

bool writeAtlas(QString const& dir, QString const& name, QImage const& image, QVector<QRect> const& boxes)
{
    QDir().mkpath(dir);
    const QString base = dir + QLatin1Char('/') + name;
    return image.save(base + QStringLiteral(".png"), "PNG") && writeRects(base + QStringLiteral(".rects"), boxes);
}

Synthetic makeSynthetic(int (*widthOf)(int byte), int height, int border, QRgb color, QRgb borderColor)
{
    int widest = 1;
    for (int b = 0; b < 256; ++b)
        widest = qMax(widest, widthOf(b));
    const int gap = 4 * border + 1;
    const int cellW = widest + gap;
    const int cellH = height + gap;
    const int columns = 16;

    Synthetic atlas;
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
        const QRect box(QPoint((b % columns) * cellW, (b / columns) * cellH), QSize(w, height));
        if (border > 0)
            p.fillRect(QRect(box.topLeft(), box.size() + QSize(border, border)), QColor::fromRgba(borderColor));
        p.fillRect(box, QColor::fromRgba(color));
        atlas.boxes[b] = box;
    }
    return atlas;
}

} // namespace atlasfile
