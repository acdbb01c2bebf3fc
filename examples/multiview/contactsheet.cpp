#include "contactsheet.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

const int kChildTimeoutMs = 180000;  // a first run also generates the font atlases
const int kMargin = 10;
const int kCaption = 30;
const QSize kPlaceholder(960, 600);

QString engineTitle(QString const& engine)
{
    if (engine == QLatin1String("qt"))
        return QStringLiteral("qt — Qt raster engine");
    if (engine == QLatin1String("gl"))
        return QStringLiteral("gl — OpenGL engine");
    return QStringLiteral("sdl — SDL 1.2 engine");
}

QString lastLine(QByteArray const& text)
{
    const QList<QByteArray> lines = text.trimmed().split('\n');
    return lines.isEmpty() ? QString() : QString::fromLocal8Bit(lines.last()).trimmed();
}

} // namespace

ContactSheet::ContactSheet(Options const& options, QString const& program)
    : mOptions(options)
    , mProgram(program)
{
}

ContactSheet::Panel ContactSheet::capture(QString const& engine, QString const& dir) const
{
    Panel panel;
    panel.engine = engine;
    if (!Options::builtEngines().contains(engine)) {
        panel.problem = QStringLiteral("not built into this library");
        return panel;
    }
    const QString shot = QDir(dir).filePath(engine + QStringLiteral(".png"));
    QStringList args{QStringLiteral("--engine"), engine,
                     QStringLiteral("--tiles"), QString::number(mOptions.tiles),
                     QStringLiteral("--frames"), QString::number(mOptions.frames),
                     QStringLiteral("--still"),
                     QStringLiteral("--screenshot"), shot};
    if (!mOptions.cache.isEmpty())
        args << QStringLiteral("--cache") << mOptions.cache;
    for (QString const& source : mOptions.sources)
        args << QStringLiteral("--source") << source;
    if (mOptions.rgbVideo)
        args << QStringLiteral("--rgb-video");

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    child.start(mProgram, args);
    if (!child.waitForStarted()) {
        panel.problem = QStringLiteral("could not start %1").arg(mProgram);
        return panel;
    }
    if (!child.waitForFinished(kChildTimeoutMs)) {
        child.kill();
        child.waitForFinished();
        panel.problem = QStringLiteral("gave no frame within %1 s").arg(kChildTimeoutMs / 1000);
        return panel;
    }
    const QByteArray errors = child.readAllStandardError();
    std::fputs(errors.constData(), stderr);
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        const QString why = lastLine(errors);
        panel.problem = why.isEmpty() ? QStringLiteral("failed (exit %1)").arg(child.exitCode()) : why;
        return panel;
    }
    panel.frame = QImage(shot).convertToFormat(QImage::Format_RGB32);
    if (panel.frame.isNull())
        panel.problem = QStringLiteral("left no readable screenshot");
    return panel;
}

QImage ContactSheet::difference(QImage const& a, QImage const& b, qint64* differing)
{
    const QImage fa = a.convertToFormat(QImage::Format_RGB32);
    const QImage fb = b.convertToFormat(QImage::Format_RGB32);
    const QSize size = fa.size().expandedTo(fb.size());
    QImage out(size, QImage::Format_RGB32);
    out.fill(qRgb(255, 0, 255));  // where only one frame has pixels
    const int w = std::min(fa.width(), fb.width());
    const int h = std::min(fa.height(), fb.height());
    qint64 count = qint64(size.width()) * size.height() - qint64(w) * h;
    for (int y = 0; y < h; ++y) {
        const QRgb* pa = reinterpret_cast<const QRgb*>(fa.constScanLine(y));
        const QRgb* pb = reinterpret_cast<const QRgb*>(fb.constScanLine(y));
        QRgb* po = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int d = std::max({std::abs(qRed(pa[x]) - qRed(pb[x])), std::abs(qGreen(pa[x]) - qGreen(pb[x])),
                                    std::abs(qBlue(pa[x]) - qBlue(pb[x]))});
            if (d == 0) {
                const int g = qGray(pa[x]) / 4;
                po[x] = qRgb(g, g, g);
            } else {
                ++count;
                po[x] = qRgb(255, std::min(255, 60 + d * 3), 0);
            }
        }
    }
    if (differing)
        *differing = count;
    return out;
}

QImage ContactSheet::compose(QVector<Panel> const& panels, QStringList* lines) const
{
    QSize cell = kPlaceholder;
    for (Panel const& p : panels) {
        if (!p.frame.isNull())
            cell = cell.expandedTo(p.frame.size());
    }
    const int columns = std::max(3, int(panels.size()));
    const int width = kMargin + columns * (cell.width() + kMargin);
    const int height = kMargin + 2 * (kCaption + cell.height() + kMargin);
    QImage sheet(width, height, QImage::Format_RGB32);
    sheet.fill(qRgb(48, 48, 52));

    QPainter p(&sheet);
    QFont font = p.font();
    font.setPixelSize(18);
    p.setFont(font);
    auto caption = [&](int column, int row, QString const& text) {
        const QRect r(kMargin + column * (cell.width() + kMargin), kMargin + row * (kCaption + cell.height() + kMargin),
                      cell.width(), kCaption);
        p.setPen(QColor(235, 235, 235));
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
        return QPoint(r.left(), r.bottom() + 1);
    };
    auto placeholder = [&](QPoint at, QString const& text) {
        const QRect r(at, cell);
        p.fillRect(r, QColor(80, 30, 30));
        p.setPen(QColor(255, 200, 200));
        p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, text);
    };

    for (int i = 0; i < panels.size(); ++i) {
        Panel const& panel = panels[i];
        const QPoint at = caption(i, 0, engineTitle(panel.engine));
        if (panel.frame.isNull())
            placeholder(at, QStringLiteral("%1: %2").arg(panel.engine, panel.problem));
        else
            p.drawImage(at, panel.frame);
    }

    int column = 0;
    for (int i = 0; i < panels.size(); ++i) {
        for (int j = i + 1; j < panels.size(); ++j, ++column) {
            Panel const& a = panels[i];
            Panel const& b = panels[j];
            const QString pair = QStringLiteral("%1 vs %2").arg(a.engine, b.engine);
            if (a.frame.isNull() || b.frame.isNull()) {
                const QPoint at = caption(column, 1, pair);
                placeholder(at, QStringLiteral("no difference: a frame is missing"));
                *lines << QStringLiteral("%1: not compared").arg(pair);
                continue;
            }
            qint64 differing = 0;
            const QImage diff = difference(a.frame, b.frame, &differing);
            const qint64 total = qint64(diff.width()) * diff.height();
            const QString text = QStringLiteral("%1: %2 pixels differ (%3%)")
                                     .arg(pair)
                                     .arg(differing)
                                     .arg(100.0 * double(differing) / double(total), 0, 'f', 2);
            p.drawImage(caption(column, 1, text), diff);
            *lines << text;
        }
    }
    return sheet;
}

int ContactSheet::run()
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "multiview: cannot make a temporary directory for the frames\n");
        return 1;
    }
    QVector<Panel> panels;
    bool complete = true;
    for (QString const& engine : {QStringLiteral("qt"), QStringLiteral("gl"), QStringLiteral("sdl")}) {
        panels.append(capture(engine, dir.path()));
        if (!panels.last().problem.isEmpty()) {
            std::fprintf(stderr, "multiview: no %s frame for the contact sheet: %s\n", qPrintable(engine),
                         qPrintable(panels.last().problem));
            complete = false;
        }
    }

    QStringList lines;
    const QImage sheet = compose(panels, &lines);
    if (!sheet.save(mOptions.compare, "PNG")) {
        std::fprintf(stderr, "multiview: cannot write the contact sheet %s\n", qPrintable(mOptions.compare));
        return 1;
    }
    for (QString const& line : lines)
        std::printf("%s\n", qPrintable(line));
    std::printf("contact sheet: %s\n", qPrintable(QFileInfo(mOptions.compare).absoluteFilePath()));
    return complete ? 0 : 1;
}
