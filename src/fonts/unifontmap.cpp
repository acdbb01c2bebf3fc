#include "unifontmap.h"

#include "glyphbytes_p.h"
#include "tavosettings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProgressDialog>
#include <QRegExp>
#include <QScreen>
#include <QSettings>
#include <QTextCodec>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

// Constructed in this order at load time; the registry's nodes are never destroyed.
QRect const UniFontMapNS::defaultRect;
QString cFontInfo::mCachePath;
QList<cUniFontMap::node*> cUniFontMap::node::mNodes;
QImage cUniFontMap::mDefaultImg;

namespace {

class Cp1251Table
{
public:
    static Cp1251Table const& instance()
    {
        static const Cp1251Table table;
        return table;
    }

    void convert(QString const& text, UniFontMapNS::GlyphBytes& out) const
    {
        out.clear();
        bool direct = mValid;
        for (QChar c : text)
            direct = direct && !c.isSurrogate();
        if (direct) {
            out.resize(text.size());
            uchar* bytes = out.data();
            for (QChar c : text)
                *bytes++ = mBytes[c.unicode()];
            return;
        }
        // A surrogate pair is one character to the codec: let it decide.
        const QByteArray bytes = mCodec ? mCodec->fromUnicode(text) : text.toLatin1();
        out.append(reinterpret_cast<uchar const*>(bytes.constData()), bytes.size());
    }

private:
    Cp1251Table()
        : mCodec(QTextCodec::codecForName("WINDOWS-1251"))
    {
        if (!mCodec)
            return;
        QString all;
        all.reserve(0x10000);
        for (int u = 0; u < 0x10000; ++u)
            if (!QChar(ushort(u)).isSurrogate())
                all.append(QChar(ushort(u)));
        const QByteArray bytes = mCodec->fromUnicode(all);
        if (bytes.size() != all.size())
            return;  // not one byte per character: keep asking the codec
        for (int i = 0; i < all.size(); ++i)
            mBytes[all.at(i).unicode()] = uchar(bytes.at(i));
        mValid = true;
    }

    QTextCodec* mCodec;
    bool mValid = false;
    uchar mBytes[0x10000] = {};
};

} // namespace

void UniFontMapNS::toGlyphBytes(QString const& text, GlyphBytes& out)
{
    Cp1251Table::instance().convert(text, out);
}

char const* cUniFontMap::mDefaultFontSet[12] = {
    "System_10_75_1_ffff0000_ff000000",
    "System_10_75_1_ffffff00_ff000000",
    "System_10_75_1_ffffffff_ff000000",
    "Tahoma_10_-1_2_ff303040_ff000000",
    "Tahoma_10_-1_2_ff304030_ff000000",
    "Tahoma_10_-1_2_ffff0000_ff000000",
    "Tahoma_12_-1_2_ff303040_ff000000",
    "Tahoma_12_-1_2_ff304030_ff000000",
    "Tahoma_12_-1_2_ffff0000_ff000000",
    "Tahoma_23_-1_2_ff303040_ff000000",
    "Tahoma_23_-1_2_ff304030_ff000000",
    "Tahoma_23_-1_2_ffff0000_ff000000",
};

namespace {

// Generators normally finish within a few seconds; one that is still running
// after this is stopped and counted as done. DORURIZAR_FONTGEN_TIMEOUT (seconds)
// changes it, for slow machines and for tests of the limit itself.
const qint64 kDefaultGenerationLimitMs = 60000;
const int kPollMs = 100;

qint64 generationLimitMs()
{
    bool ok = false;
    const double seconds = qEnvironmentVariable("DORURIZAR_FONTGEN_TIMEOUT").toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds > 86400)
        return kDefaultGenerationLimitMs;
    return qMax<qint64>(1, qint64(seconds * 1000));
}

QString canonicalName(cFontInfo const& f)
{
    return f.mFamily + QLatin1Char('_') + QString::number(f.mFontSize) + QLatin1Char('_')
        + QString::number(f.mWeight) + QLatin1Char('_') + QString::number(f.mBorder) + QLatin1Char('_')
        + QString::number(f.mColor.rgba(), 16) + QLatin1Char('_') + QString::number(f.mBorderColor.rgba(), 16);
}


bool fitsInt(qint64 v)
{
    return v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
}

// Engines read up to 4 x border pixels past a box, so a box is kept only when
// that reach is still representable; anything else becomes the empty box.
QRect boxFromFile(qint64 x, qint64 y, qint64 w, qint64 h, qint64 border)
{
    const qint64 right = x + w - 1;
    const qint64 bottom = y + h - 1;
    const qint64 reach = 4 * border + 1;
    if (!fitsInt(x) || !fitsInt(y) || !fitsInt(right) || !fitsInt(bottom) || !fitsInt(right + reach)
        || !fitsInt(bottom + reach) || !fitsInt(x - 1) || !fitsInt(y - 1) || !fitsInt(w + reach)
        || !fitsInt(h + reach))
        return UniFontMapNS::defaultRect;
    QRect box;
    box.setCoords(int(x), int(y), int(right), int(bottom));
    return box;
}

bool loadRects(QString const& path, int border, QRect (&rects)[256])
{
    QSettings settings(path, QSettings::IniFormat);
    const int count = settings.beginReadArray(QStringLiteral("rects"));
    if (count != 256)
        return false;
    const QString kx = QStringLiteral("x"), ky = QStringLiteral("y");
    const QString kw = QStringLiteral("w"), kh = QStringLiteral("h");
    for (int i = 0; i < 256; ++i) {
        settings.setArrayIndex(i);
        // Read wide: an int conversion would wrap a huge value into a plausible one.
        rects[i] = boxFromFile(settings.value(kx).toLongLong(), settings.value(ky).toLongLong(),
                               settings.value(kw).toLongLong(), settings.value(kh).toLongLong(), border);
    }
    settings.endArray();
    return true;
}

// Reads one atlas pair into a node; false when either file is unusable.
bool loadNode(cUniFontMap::node* n)
{
    cFontInfo const& info = n->mInfo;
    bool loaded = n->mImage.load(info.pngPath(), "PNG");
    // Every engine reads atlas pixels as 32-bit ARGB; a Format_Mono image
    // would even pass for an accelerated-picture token in the GL engine.
    if (loaded && n->mImage.format() != QImage::Format_ARGB32)
        n->mImage = n->mImage.convertToFormat(QImage::Format_ARGB32);
    loaded = loaded && !n->mImage.isNull() && n->mImage.format() == QImage::Format_ARGB32;
    const bool rectsRead = loadRects(info.rectPath(), info.mBorder, n->mRects);
    return loaded && rectsRead;
}

void scanCache()
{
    QDir dir(cUniFontMap::node::makeCacheBasePath());
    const QStringList files = dir.entryList(QStringList(QStringLiteral("*.png")),
                                            QDir::Files | QDir::Readable | QDir::Hidden | QDir::System
                                                | QDir::NoDotAndDotDot,
                                            QDir::NoSort);
    // Nodes join the registry in listing order; only the file reading is
    // spread over the cores, each worker filling nodes of its own.
    std::vector<cUniFontMap::node*> nodes;
    for (QString const& file : files) {
        cFontInfo info(file.toLocal8Bit().constData());
        if (info.mName.isEmpty() || !info.exists())
            continue;
        // The engines add 4 x border to coordinates; a border that overflows that is not a font.
        if (!fitsInt(4 * qint64(info.mBorder) + 1))
            continue;
        cUniFontMap::node* n = new cUniFontMap::node;
        n->mInfo = info;
        nodes.push_back(n);
    }

    std::vector<char> loaded(nodes.size(), 0);
    std::atomic<size_t> next(0);
    auto work = [&] {
        for (size_t i = next++; i < nodes.size(); i = next++)
            loaded[i] = loadNode(nodes[i]);
    };
    const size_t workers = std::min<size_t>(nodes.size(), std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<std::thread> threads;
    for (size_t t = 1; t < workers; ++t)
        threads.emplace_back(work);
    work();
    for (std::thread& t : threads)
        t.join();

    for (size_t i = 0; i < nodes.size(); ++i)
        if (!loaded[i])
            nodes[i]->unref();
}

cUniFontMap::node* choose(QList<cUniFontMap::node*> const& nodes, cFontInfo const& info)
{
    cUniFontMap::node* best = nullptr;
    for (cUniFontMap::node* n : nodes) {
        cFontInfo const& c = n->mInfo;
        if (c.mFamily != info.mFamily || c.mFontSize > info.mFontSize)
            continue;
        if (!best) {
            best = n;
            continue;
        }
        cFontInfo const& b = best->mInfo;
        if (c.mFontSize > b.mFontSize) {
            best = n;
            continue;
        }
        if ((b.mWeight != info.mWeight && c.mWeight == info.mWeight)
            || (b.mBorder != info.mBorder && c.mBorder == info.mBorder)
            || (b.mColor != info.mColor && c.mColor == info.mColor)
            || (b.mBorderColor != info.mBorderColor && c.mBorderColor == info.mBorderColor))
            best = n;
    }
    return best;
}

QPoint dialogCentre()
{
    QWidget* anchor = QApplication::activeWindow();
    while (anchor && anchor->parentWidget())
        anchor = anchor->parentWidget();
    if (!anchor) {
        const QWidgetList tops = QApplication::topLevelWidgets();
        if (!tops.isEmpty())
            anchor = tops.first();
    }
    if (anchor) {
        const QRect r = anchor->rect();
        return QPoint((r.width() - 1) / 2, (r.height() - 1) / 2);
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().center() : QPoint();
}

QProgressDialog* makeDialog()
{
    const QPoint centre = dialogCentre();
    QProgressDialog* dialog =
        new QProgressDialog(QObject::tr("Fonts creation on the first run. Please be patient."), QString(), 0, 100);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    dialog->setMinimumDuration(0);
    QRect geometry = dialog->geometry();
    geometry.moveCenter(centre);
    dialog->setGeometry(geometry);
    dialog->setValue(0);
    return dialog;
}

bool finished(cUniFontMap::fontgen* g)
{
    return g->mProgress >= 100 || g->mProcess.state() == QProcess::NotRunning;
}

// Polls the generators until each has reported 100, ended or failed to start,
// or the time limit is reached. Between polls it sleeps in an event loop that
// the generators' output and exits wake, so it neither spins nor lags.
void waitForGenerators(QVector<cUniFontMap::fontgen*> const& gens, QProgressDialog* dialog)
{
    const bool haveEventLoop = QCoreApplication::instance() != nullptr;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    bool woken = false;
    auto wake = [&] {
        woken = true;
        loop.quit();
    };
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (cUniFontMap::fontgen* g : gens) {
        QObject::connect(&g->mProcess, &QProcess::readyReadStandardOutput, &loop, wake);
        QObject::connect(&g->mProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop, wake);
        QObject::connect(&g->mProcess, &QProcess::errorOccurred, &loop, wake);
    }

    const qint64 limitMs = generationLimitMs();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        int sum = 0;
        bool allFinished = true;
        for (cUniFontMap::fontgen* g : gens) {
            sum += g->getProgress();
            allFinished = allFinished && finished(g);
        }
        if (dialog)
            dialog->setValue(sum / gens.size());
        if (allFinished || clock.elapsed() >= limitMs)
            return;

        if (!haveEventLoop) {
            for (cUniFontMap::fontgen* g : gens) {
                if (!finished(g)) {
                    g->mProcess.waitForReadyRead(kPollMs);
                    break;
                }
            }
            continue;
        }
        // setValue() processes events itself and may already have delivered a wake-up.
        if (!woken) {
            timer.start(kPollMs);
            loop.exec();
            timer.stop();
        }
        woken = false;
    }
}

} // namespace

// ---- cFontInfo ----

cFontInfo::cFontInfo(QString const& family, int size, int weight, int border, QColor color, QColor borderColor,
                     bool flag)
    : mFamily(family)
    , mFontSize(size)
    , mWeight(weight)
    , mBorder(border)
    , mColor(color)
    , mBorderColor(borderColor)
    , mFlag(flag)
{
    mName = canonicalName(*this);
}

cFontInfo::cFontInfo(char const* name)
    : mFontSize(-1)
    , mWeight(-1)
    , mBorder(0)
    , mFlag(false)
{
    // The colours stay default-constructed, i.e. invalid (QColor::invalidate() is private in Qt 5).
    if (!name)
        return;

    QRegExp pattern(QStringLiteral("([^/]+)_([\\d]+)_(-?[\\d]+)_([\\d]+)_([abcdef\\d]+)_([abcdef\\d]+)"),
                    Qt::CaseInsensitive);
    if (pattern.indexIn(QString::fromLatin1(name), 0) < 0 || pattern.captureCount() != 6)
        return;

    mFamily = pattern.cap(1);
    mFontSize = pattern.cap(2).toInt(nullptr, 10);
    mWeight = pattern.cap(3).toInt(nullptr, 10);
    mBorder = pattern.cap(4).toInt(nullptr, 10);
    mColor = QColor::fromRgba(QRgb(quint32(pattern.cap(5).toLongLong(nullptr, 16))));
    mBorderColor = QColor::fromRgba(QRgb(quint32(pattern.cap(6).toLongLong(nullptr, 16))));
    mName = canonicalName(*this);
}

cFontInfo::~cFontInfo() = default;

QString const& cFontInfo::makeCacheBasePath(QString path)
{
    if (!mCachePath.isEmpty())
        return mCachePath;
    mCachePath = path.isEmpty() ? TavoSettings::fontMapCachePath() : path;
    if (!QDir().exists(mCachePath))
        QDir().mkpath(mCachePath);
    return mCachePath;
}

QString cFontInfo::rectPath() const
{
    return QStringLiteral("%1/%2.%3").arg(mCachePath, mName, QStringLiteral("rects"));
}

QString cFontInfo::pngPath() const
{
    return QStringLiteral("%1/%2.%3").arg(mCachePath, mName, QStringLiteral("png"));
}

bool cFontInfo::exists()
{
    makeCacheBasePath(QString());
    // One-pass arg(): a '%' in the directory or the family is not taken for a marker.
    return QFile::exists(pngPath()) && QFile::exists(rectPath());
}

// ---- cUniFontMap::node ----

cUniFontMap::node::node()
    : mRefCount(0)
    , mInfo(QString(), -1, -1, 0, QColor(Qt::white), QColor(Qt::black), false)
{
    mRefCount = 1;
    mNodes.append(this);
}

cUniFontMap::node::~node()
{
    mNodes.removeOne(this);
}

void cUniFontMap::node::ref()
{
    ++mRefCount;
}

void cUniFontMap::node::unref()
{
    if (--mRefCount == 0)
        delete this;
}

QString const& cUniFontMap::node::makeCacheBasePath()
{
    return cFontInfo::makeCacheBasePath(QString());
}

QString cUniFontMap::node::makeCacheBasePath(cFontInfo const& info)
{
    return makeCacheBasePath() + info.mName;
}

QString cUniFontMap::node::makeCacheRectsPath(cFontInfo const& info)
{
    return makeCacheBasePath(info) + QStringLiteral(".rects");
}

QString cUniFontMap::node::makeCacheImagePath(cFontInfo const& info)
{
    return makeCacheBasePath(info) + QStringLiteral(".png");
}

// ---- cUniFontMap::fontgen ----

cUniFontMap::fontgen::fontgen()
    : mProgress(0)
{
}

cUniFontMap::fontgen::~fontgen()
{
    mStream.setDevice(nullptr);
    if (mProcess.state() != QProcess::NotRunning) {
        mProcess.kill();
        mProcess.waitForFinished(5000);
    }
}

int cUniFontMap::fontgen::run(QString const& name, QString const& dir, QString const& alternative)
{
    QStringList args;
    args << name << dir;
    if (!alternative.isEmpty())
        args << alternative;
    mStream.setDevice(&mProcess);
    // The generator's complaints reach the host's stderr instead of piling up unread.
    mProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mProcess.start(QStringLiteral(".") + QDir::separator() + QStringLiteral("fontgen"), args, QIODevice::ReadWrite);
    return 0;
}

int cUniFontMap::fontgen::getProgress()
{
    // Only whole values: the rest of a value arrives with a later poll.
    while (mStream.device() && mProcess.bytesAvailable() >= 4) {
        qint32 value = 0;
        mStream >> value;
        if (mStream.status() != QDataStream::Ok) {
            mStream.resetStatus();
            break;
        }
        mProgress = qBound(0, int(value), 100);
    }
    return mProgress;
}

// ---- cUniFontMap ----

cUniFontMap::cUniFontMap()
    : mNode(nullptr)
{
}

cUniFontMap::cUniFontMap(cFontInfo const& info)
    : mNode(nullptr)
{
    Create(info);
}

cUniFontMap::~cUniFontMap() = default;

QRect const& cUniFontMap::LetterRect(unsigned char code) const
{
    return mNode ? mNode->mRects[code] : UniFontMapNS::defaultRect;
}

QImage const& cUniFontMap::image() const
{
    return mNode ? mNode->mImage : mDefaultImg;
}

int cUniFontMap::border() const
{
    return mNode ? mNode->mInfo.mBorder : 0;
}

QRect cUniFontMap::MeasureString(QString const& text) const
{
    UniFontMapNS::GlyphBytes bytes;
    UniFontMapNS::toGlyphBytes(text, bytes);
    if (!mNode)
        return QRect();
    const qint64 b = border();
    qint64 width = 0;
    int height = 0;
    for (uchar c : bytes) {
        QRect const& r = LetterRect(c);
        width += qint64(r.right()) - r.left() + 1 + b;
        height = qMax(height, r.height());
    }
    QRect measure;
    measure.setCoords(0, 0, int(qBound<qint64>(std::numeric_limits<int>::min(), width + 2 * b - 1,
                                                  std::numeric_limits<int>::max())), height - 1);
    return measure;
}

void cUniFontMap::Destroy()
{
    if (!mNode)
        return;
    mNode->unref();
    mNode = nullptr;
}

bool cUniFontMap::cacheLookup(cFontInfo const& info)
{
    if (node::mNodes.isEmpty())
        scanCache();
    const QList<node*> snapshot = node::mNodes;
    node* chosen = choose(snapshot, info);
    if (!chosen && !snapshot.isEmpty())
        chosen = snapshot.first();
    mNode = chosen;
    if (!chosen)
        return false;
    chosen->ref();
    return true;
}

bool cUniFontMap::Create(cFontInfo const& info)
{
    Destroy();
    if (cacheLookup(info))
        return true;

    QString const& dir = node::makeCacheBasePath();
    if (!QDir().exists(dir))
        QDir().mkpath(dir);

    QVector<fontgen*> gens;
    for (char const* entry : mDefaultFontSet) {
        fontgen* g = new fontgen;
        gens.append(g);
        const QString name = QString::fromLatin1(entry);
        const QString alternative = name.split(QLatin1Char('_')).first() == QLatin1String("System")
            ? QStringLiteral("Monotype")
            : QStringLiteral("Sans");
        g->run(name, dir, alternative);
    }

    std::unique_ptr<QProgressDialog> dialog;
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        dialog.reset(makeDialog());
    waitForGenerators(gens, dialog.get());
    while (!gens.isEmpty())
        delete gens.takeLast();
    if (dialog)
        dialog->setValue(100);
    dialog.reset();

    if (!cacheLookup(info))
        qFatal("Can't create font map!");
    return true;
}
