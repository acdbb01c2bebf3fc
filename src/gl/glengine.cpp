#define GL_GLEXT_PROTOTYPES 1

#include "glengine.h"

#include "centregradient_p.h"
#include "glengine_p.h"
#include "glwidget_p.h"
#include "glyuvtexture_p.h"
#include "textplacement_p.h"
#include "uniimg.h"
#include "uniscreen.h"
#include "visiblepart_p.h"

#include <QMutexLocker>

#include <atomic>
#include <mutex>

bool gShadersFound = true;

char const* gSimpleVertexShader =
    "varying vec2 texture_coordinate;\n"
    "void main() {\n"
    "gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;texture_coordinate = vec2(gl_MultiTexCoord0);}";

char const* gDeinterlaceFragmentShader =
    "varying vec2 texture_coordinate; uniform sampler2D my_color_texture; uniform float one_per_height;\n"
    "void main() {vec4 u_c = texture2D(my_color_texture, texture_coordinate - vec2(0, one_per_height));\n"
    "vec4 c_c = texture2D(my_color_texture, texture_coordinate);\n"
    "vec4 d_c = texture2D(my_color_texture, texture_coordinate + vec2(0, one_per_height));\n"
    "gl_FragColor = u_c / 4 + c_c / 2 + d_c / 4;}";

glengine_shaders gShaders = {0, 0, 0};

quint64 cGLEngine::mUploadedBytes = 0;

namespace GLEngineNS {

bool gProgramLinked = false;
int gOnePerHeight = -1;

GLuint compileShader(unsigned int type, char const* source, bool* ok, char const* defines)
{
    // The sources use GLSL 1.20's implicit int-to-float conversion
    // (u_c / 4), which a strict 1.10 compiler rejects.
    static char const version[] = "#version 120\n";
    GLuint shader = glCreateShader(type);
    char const* strings[3] = {version, defines, source};
    glShaderSource(shader, 3, strings, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    *ok = shader != 0 && status == GL_TRUE;
    return shader;
}

} // namespace GLEngineNS

namespace {

bool isScreen(cUniImg const* image)
{
    return dynamic_cast<cUniScreen const*>(image) != nullptr;
}

// The opening of every drawing operation: nothing is recorded while the
// engine is inactive or the current image has no list; otherwise the
// engine's lock is held until the operation returns.
class Recording
{
public:
    explicit Recording(cGLEngine& engine)
        : mLock(engine.isActive() ? Lock(engine.mMutex) : Lock())
        , mData(mLock.owns_lock() ? cGLEngine::toUniData(*engine.currentImage()) : nullptr)
    {
    }

    bool isOpen() const { return mData != nullptr; }

    // Puts an item showing source on top of the list, used in this update.
    template <typename Source>
    void add(Source source, QRect const& sourceRect, QRect const& target)
    {
        if (cGLEngine::cUniItem* item = mData->appendItem(source, sourceRect, target))
            item->mUsed = true;
    }

private:
    using Lock = std::unique_lock<decltype(cGLEngine::mMutex)>;
    Lock mLock;
    cGLEngine::cUniData* mData;
};

} // namespace

cGLEngine::cGLEngine()
    : mGLWidget(nullptr)
#if QT_VERSION_MAJOR < 6
    , mMutex(QMutex::Recursive)
#endif
    , mTexel(1, 1, QImage::Format_ARGB32)
{
}

cGLEngine::~cGLEngine()
{
    qDeleteAll(mTextures);
}

cGLEngine::cUniData* cGLEngine::toUniData(cUniImg& image)
{
    return static_cast<cUniData*>(image.mData);
}

cGLEngine::cUniData* cGLEngine::toUniData(cUniImg const& image)
{
    return static_cast<cUniData*>(image.mData);
}

GLEngineNS::Widget* cGLEngine::widget()
{
    if (!mWidgetGuard)
        mGLWidget = nullptr;
    return mGLWidget;
}

void cGLEngine::makeContextCurrent()
{
    GLEngineNS::Widget* w = widget();
    if (w && !GLEngineNS::isCurrent(w))
        w->makeCurrent();
}

bool cGLEngine::init(QWidget* widget)
{
    QMutexLocker lock(&mMutex);
    GLEngineNS::Widget* gl = qobject_cast<GLEngineNS::Widget*>(widget);
    if (!gl || !GLEngineNS::prepare(gl))
        return false;
    mGLWidget = gl;
    mWidgetGuard = gl;

    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    static const int ctxType = qRegisterMetaType<glengine_ctx>("glengine_ctx");
    Q_UNUSED(ctxType);
    glengine_ctx ctx;
    ctx.mutex = &mMutex;
    emit sigAccelerateMe(QVariant::fromValue(ctx));

    if (gShadersFound) {
        buildShaders();
        GLEngineNS::buildYuvPrograms();
    }
    return true;
}

void cGLEngine::buildShaders()
{
    if (!gSimpleVertexShader || !gDeinterlaceFragmentShader)
        return;
    bool vertexOk = false;
    bool fragmentOk = false;
    using GLEngineNS::compileShader;
    gShaders.vertexShader = compileShader(GL_VERTEX_SHADER, gSimpleVertexShader, &vertexOk);
    gShaders.fragmentShader = compileShader(GL_FRAGMENT_SHADER, gDeinterlaceFragmentShader, &fragmentOk);
    gShaders.program = glCreateProgram();
    glAttachShader(gShaders.program, gShaders.vertexShader);
    glAttachShader(gShaders.program, gShaders.fragmentShader);
    glLinkProgram(gShaders.program);
    GLint linked = GL_FALSE;
    glGetProgramiv(gShaders.program, GL_LINK_STATUS, &linked);
    // Quads fall back to the fixed pipeline unless the program is usable.
    const bool usable = vertexOk && fragmentOk && gShaders.program != 0 && linked == GL_TRUE;
    GLEngineNS::gProgramLinked = usable;
    GLEngineNS::gOnePerHeight = usable ? glGetUniformLocation(gShaders.program, "one_per_height") : -1;
}

bool cGLEngine::beginUpdate(cUniImg* image)
{
    if (!cDorUrizar::beginUpdate(image))
        return false;
    QMutexLocker lock(&mMutex);
    makeContextCurrent();
    cUniData* data = toUniData(*image);
    if (!data) {
        data = new cUniData;
        image->mData = data;
        GLEngineNS::registerList(data);
    }
    data->setUse(false);
    return true;
}

bool cGLEngine::endUpdate(cUniImg* image)
{
    if (!isActive())
        return false;
    QMutexLocker lock(&mMutex);
    cUniData* data = image ? toUniData(*image) : nullptr;
    if (data)
        data->eraseUnusedItems();
    if (isScreen(image) && widget()) {
        GLEngineNS::beginFrame(mGLWidget);
        glClearColor(0, 0, 0, 1);
        // Depth and stencil share one buffer: cleared together it is one
        // fill, where depth alone must keep every pixel's stencil bits.
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        if (data)
            data->drawItems();
        GLEngineNS::present(mGLWidget);
    }
    cDorUrizar::endUpdate(image);
    return true;
}

void cGLEngine::resize(cUniImg* image, QSize const& size)
{
    if (!image || size == image->size())
        return;
    QMutexLocker lock(&mMutex);
    cDorUrizar::resize(image, size);
    cUniScreen* screen = dynamic_cast<cUniScreen*>(image);
    GLEngineNS::Widget* g = screen ? qobject_cast<GLEngineNS::Widget*>(screen->widget()) : nullptr;
    if (!g)
        return;
    if (!GLEngineNS::isCurrent(g))
        g->makeCurrent();
    glViewport(0, 0, g->width(), g->height());
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, g->width(), g->height(), 0, -9999, 9999);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void cGLEngine::destroyData(cUniImg* image)
{
    if (!image)
        return;
    QMutexLocker lock(&mMutex);
    makeContextCurrent();
    // An image that never had data reaches no list through its own
    // destructor, yet parents may still hold items pointing at the handle.
    for (cUniData* d : GLEngineNS::takeListsShowing(image))
        d->detachChild(image);
    if (cUniData* data = toUniData(*image)) {
        delete data;
        image->mData = nullptr;
    }
    if (image == currentImage())
        cDorUrizar::endUpdate(image);
}

// A rectangle with left > right or top > bottom draws nothing: as quad
// corners it would draw mirrored.
void cGLEngine::drawImage(QRect const& target, QImage const& source, QRect const& sourceRect)
{
    Recording list(*this);
    if (list.isOpen() && target.isValid() && sourceRect.isValid())
        list.add(&source, sourceRect, target);
}

void cGLEngine::drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect)
{
    Recording list(*this);
    if (list.isOpen() && target.isValid())
        list.add(&source, sourceRect, target);
}

void cGLEngine::drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect)
{
    Recording list(*this);
    if (!list.isOpen() || !target.isValid() || !source.canDraw(sourceRect))
        return;
    if (!gShadersFound || !GLEngineNS::yuvProgramsReady()) {
        static std::atomic<bool> warned(false);
        if (!warned.exchange(true))
            qWarning("cGLEngine: YUV frames are converted by shaders, which are off or failed to build; "
                     "YUV frames draw nothing");
        return;
    }
    list.add(&source, sourceRect, target);
}

void cGLEngine::fillRect(QRect const& rect, QColor const& color)
{
    Recording list(*this);
    if (!list.isOpen() || !rect.isValid())
        return;
    mTexel.fill(color.rgba());
    list.add(&mTexel, QRect(0, 0, 1, 1), rect);
}

void cGLEngine::drawRect(QRect const& rect, QColor const& color)
{
    Recording list(*this);
    if (!list.isOpen() || !rect.isValid())
        return;
    mTexel.fill(color.rgba());
    const QRect texel(0, 0, 1, 1);
    const int l = rect.left();
    const int t = rect.top();
    const int r = rect.right();
    const int b = rect.bottom();
    // Corners belong to the left and right edges. In a one-pixel-wide or
    // -high outline edges would coincide; each pixel is still blended once.
    if (r > l) {
        list.add(&mTexel, texel, QRect(QPoint(l + 1, t), QPoint(r - 1, t)));
        if (b > t)
            list.add(&mTexel, texel, QRect(QPoint(l + 1, b), QPoint(r - 1, b)));
    }
    list.add(&mTexel, texel, QRect(QPoint(l, t), QPoint(l, b)));
    if (r > l)
        list.add(&mTexel, texel, QRect(QPoint(r, t), QPoint(r, b)));
}

void cGLEngine::drawGradient(QRect const& rect, QColor const& c1, QColor const& c2)
{
    Recording list(*this);
    using UniFontMapNS::spanOf;
    if (!list.isOpen() || spanOf(rect.left(), rect.right()) < 0 || spanOf(rect.top(), rect.bottom()) < 0)
        return;
    // The item shows only the part on the image, which alone has pixels in
    // the buffer; a rect of no width or height still records one.
    QImage buffer(currentImage()->size(), QImage::Format_ARGB32);
    if (!buffer.isNull())
        writeCentreGradient(buffer.bits(), buffer.bytesPerLine(), buffer.size(), rect, c1.rgba(), c2.rgba());
    const QRect part = visiblePart(rect, buffer.size());
    list.add(&buffer, part, part);
}

void cGLEngine::drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font)
{
    Recording list(*this);
    if (!list.isOpen())
        return;

    // An atlas image never moves nor changes, so its address keys its texture.
    QImage const& atlas = font.image();
    cTexture*& texture = mTextures[&atlas];
    if (!texture)
        texture = new cTexture(atlas);

    // A cell carries the glyph's border: 4 x B more columns, 3 x B more rows.
    // The next glyph starts 3 x B columns before the cell ends and lies on top.
    const int border = font.border();
    UniFontMapNS::placeGlyphs(rect, flags, text, font, border, [&](QRect const& box, qint64 x, qint64 y) {
        const QRect source = UniFontMapNS::cellSource(box, 4 * border, 3 * border);
        QRect target;
        if (UniFontMapNS::cellTarget(source, x, y, target))
            list.add(texture, source, target);
    });
}
