#ifndef DORURIZAR_GLENGINE_H
#define DORURIZAR_GLENGINE_H

#include "dorurizar.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QMutex>
#include <QPointer>
#include <QRect>
#include <QRectF>
#include <QSize>

// The screen's widget: a QGLWidget on Qt 5, a QOpenGLWidget on Qt 6.
#if QT_VERSION_MAJOR >= 6
class QOpenGLWidget;
#else
class QGLWidget;
#endif
class cUniImg;
class cUniYuvFrame;

// The same type GL's headers declare; repeating the typedef keeps them out of
// this header.
typedef unsigned int GLuint;

// 1 for 0 and 1, otherwise the smallest power of two that is at least n.
DORURIZAR_EXPORT unsigned int nSize(unsigned int n);

// The bind callback of an accelerated token, stored at the start of its
// pixel data; the engine calls it with that data's address and 0.
typedef void (*glengine_bind)(void* data, int zero);

// Payload of sigAccelerateMe: whoever holds *mutex keeps the GL engine, and
// every GL call it makes, waiting. The engine's recursive lock is a QMutex on
// Qt 5 and a QRecursiveMutex on Qt 6, whose QMutex cannot recurse.
struct glengine_ctx {
#if QT_VERSION_MAJOR >= 6
    QRecursiveMutex* mutex;
#else
    QMutex* mutex;
#endif
};
Q_DECLARE_METATYPE(glengine_ctx)

// The deinterlace program: built by init() while gShadersFound is true.
struct glengine_shaders {
    GLuint vertexShader;
    GLuint fragmentShader;
    GLuint program;
};

DORURIZAR_EXPORT extern bool gShadersFound;
DORURIZAR_EXPORT extern char const* gSimpleVertexShader;
DORURIZAR_EXPORT extern char const* gDeinterlaceFragmentShader;
DORURIZAR_EXPORT extern glengine_shaders gShaders;

// The engine that shows the screen through a QGLWidget (a QOpenGLWidget on
// Qt 6). Images keep no pixels:
// each one is a retained list of textured quads and references to other
// images, rendered only when the screen's update ends. Every GL call assumes
// the widget's context is current; the engine makes it current itself when
// another context was left current.
class DORURIZAR_EXPORT cGLEngine : public cDorUrizar
{
public:
    // An OpenGL texture holding a copy of one image at its top-left corner,
    // in storage rounded up to powers of two. A Format_Mono image is an
    // accelerated token: its data starts with a bind callback
    // void (*)(void* data, int zero) that binds the real picture when drawn.
    class DORURIZAR_EXPORT cTexture
    {
    public:
        // A texture holding image, as setImage() leaves it.
        explicit cTexture(QImage const& image);
        // Deletes the GL texture.
        ~cTexture();

        // Uploads image, reallocating only when it does not fit; returns the
        // texture name. An opaque 32-bit image gets its alpha bytes set to
        // 0xff in place; other depths are converted to ARGB32 first.
        GLuint setImage(QImage const& image);
        // Allocates storage for an image of size (called by setImage).
        void resize(QSize const& size);
        // Normalised coordinates of the image pixel rectangle r.
        QRectF toTextureRect(QRect const& r) const;
        // Calls the token's bind callback; nothing for an ordinary texture.
        void acceleratedBind() const;

        // The members below. srcImage() is the image last given to
        // setImage(): the texture holds on to it so that a token's callback
        // bytes live until drawn, and hands it out for reading back.
        bool hasAlpha() const { return mHasAlpha; }
        GLuint textureId() const { return mTextureId; }
        QSize textureSize() const { return mTextureSize; }
        QSize imageSize() const { return mImageSize; }
        QImage const& srcImage() const { return mSrcImage; }
        bool accelerated() const { return mAccelerated; }

        QImage mSrcImage;
        QSize mImageSize;
        QSize mTextureSize;
        GLuint mTextureId;
        double mTexelWidth;
        double mTexelHeight;
        bool mHasAlpha;
        bool mAccelerated;

    private:
        bool keepsOwnCopy(QImage const& image) const;

        cTexture(cTexture const&) = delete;
        cTexture& operator=(cTexture const&) = delete;
    };

    // The planes of one YUV frame, each in a texture of its own, converted
    // to RGB by a fragment program when drawn (declared in glyuvtexture_p.h).
    class cYuvTexture;

    // One entry of an image's list: a textured quad, a YUV frame, or another
    // image drawn whole into mDstRect.
    class DORURIZAR_EXPORT cUniItem
    {
    public:
        // An empty item whose texture, once given, is foreignTexture's to keep.
        explicit cUniItem(bool foreignTexture);
        ~cUniItem();  // deletes the texture unless it is foreign

        // Draws the quad, or the child's list moved and scaled into mDstRect;
        // a child without data or size, or nested 30 deep, draws nothing.
        void draw();
        // Draws sourceRect of texture over target: a token binds its picture
        // first, and deinterlaced sizes go through the linked program.
        void createQuad(cTexture& texture, QRect const& target, QRect const& sourceRect);

        QRect mSrcRect;
        QRect mDstRect;
        cTexture* mTexture;
        cYuvTexture* mYuv;      // always owned
        cUniImg const* mChild;  // never owned
        bool mUsed;
        bool mForeignTexture;   // the texture belongs to the engine's atlas map

    private:
        cUniItem(cUniItem const&) = delete;
        cUniItem& operator=(cUniItem const&) = delete;
    };

    // The display list behind one image handle, in drawing order.
    class DORURIZAR_EXPORT cUniData
    {
    public:
        // An empty list; the engine registers it in mGlobalDataList.
        cUniData();
        // Drops every item of every list that refers to this image.
        ~cUniData();

        // Each takes the first unused reusable item (or makes one), fills it
        // and puts it on top; mUsed is left to the caller.
        cUniItem* appendItem(cTexture* texture, QRect const& sourceRect, QRect const& target);
        // Null, and nothing recorded, when drawing image here would make an
        // image contain itself.
        cUniItem* appendItem(cUniImg const* image, QRect const& sourceRect, QRect const& target);
        cUniItem* appendItem(QImage const* image, QRect const& sourceRect, QRect const& target);
        // frame must be drawable; its changed planes are uploaded at once.
        cUniItem* appendItem(cUniYuvFrame const* frame, QRect const& sourceRect, QRect const& target);

        // Puts item on top; nothing for an item not in the list.
        void moveItemByZOrder(cUniItem* item);
        // Marks every item as drawn in this update, or not.
        void setUse(bool used);
        // Deletes the items not drawn again in this update.
        void eraseUnusedItems();
        // Deletes every item.
        void eraseItems();
        // Draws the items, bottom first.
        void drawItems();
        // Deletes the items that show child; nothing for null.
        void detachChild(cUniData* child);
        void detachChild(cUniImg const* child);  // by handle, for images without data

        // Whether drawing this list would draw target's list.
        bool reaches(cUniData const* target);

        QList<cUniItem*> mItems;

    private:
        void moveToTop(int index);
        // The end of the items that may be unused: the used ones on top are skipped.
        int unusedEnd();
        // The unused item at index, or a new one when index is the size, set
        // to show sourceRect in target and put on top.
        cUniItem* placeOnTop(int index, bool foreignTexture, QRect const& sourceRect, QRect const& target);

        quint64 mWalk;  // the last reaches() walk that passed here
        int mUsedOnTop;            // how many items on top are known to be used
        cUniItem* mLastPlaced;     // the item placed last, if nothing came since

        cUniData(cUniData const&) = delete;
        cUniData& operator=(cUniData const&) = delete;
    };

    // An engine without a widget.
    cGLEngine();
    // Deletes the atlas textures.
    ~cGLEngine() override;

    // Accepts only a QGLWidget (Qt 6: only a QOpenGLWidget, and false when it
    // gets no GL context); emits sigAccelerateMe once with the lock.
    bool init(QWidget* widget) override;
    // Makes image current (nesting is not refused), creates its list on
    // first use and marks every item undrawn; false for a null image, which
    // leaves an open update open.
    bool beginUpdate(cUniImg* image) override;
    // For the screen, also renders every list it reaches and presents it.
    // Qt 5 swaps buffers only while the widget's autoBufferSwap() is on. Qt 6
    // renders into the widget's frame buffer object and asks the widget to
    // update(), so Qt composes the frame on screen; it has no buffer swap to
    // turn off, and leaves no context current afterwards.
    bool endUpdate(cUniImg* image) override;
    // Deletes every item showing image from every list, then image's own
    // list; ends the update when image is the current image.
    void destroyData(cUniImg* image) override;
    // For the screen, maps one GL unit to one widget pixel, y downwards.
    void resize(cUniImg* image, QSize const& size) override;
    // Rectangles with left > right or top > bottom record nothing (but for a
    // gradient's of no width or height, whose item covers no pixel).
    // Records a quad of sourceRect of a copy of source over target.
    void drawImage(QRect const& target, QImage const& source, QRect const& sourceRect) override;
    // Records a reference: the source shows in its state at presentation,
    // whole, whatever sourceRect says.
    void drawImage(QRect const& target, cUniImg& source, QRect const& sourceRect) override;
    // Records a quad of sourceRect of the frame over target, converted by a
    // fragment program; 704 x 576 and 960 x 576 frames are deinterlaced as
    // pictures are. The item keeps a copy of the planes and uploads only the
    // planes whose bytes differ from it. Without shaders nothing is recorded
    // (the first such call warns).
    void drawImage(QRect const& target, cUniYuvFrame const& source, QRect const& sourceRect) override;
    // Records a one-texel quad of color stretched over rect, blending.
    void fillRect(QRect const& rect, QColor const& color) override;
    // Records the four edges as fills, each pixel once.
    void drawRect(QRect const& rect, QColor const& color) override;
    // Records the part of rect on the current image, from a picture of the
    // gradient the image's size.
    void drawGradient(QRect const& rect, QColor const& c1, QColor const& c2) override;
    // Records one quad of the atlas texture per glyph: cells 4 x border wider
    // and 3 x border taller than their boxes, each starting box width +
    // border after the one before.
    void drawText(QRect const& rect, int flags, QString const& text, cUniFontMap const& font) override;

    // An image's data as its list (a cast; null stays null).
    static cUniData* toUniData(cUniImg& image);
    static cUniData* toUniData(cUniImg const& image);

#if QT_VERSION_MAJOR >= 6
    QOpenGLWidget* mGLWidget;
    QMap<QImage const*, cTexture*> mTextures;  // one per font atlas, owned
    QRecursiveMutex mMutex;
#else
    QGLWidget* mGLWidget;
    QMap<QImage const*, cTexture*> mTextures;  // one per font atlas, owned
    QMutex mMutex;                              // recursive
#endif

    static QList<cUniData*> mGlobalDataList;
    // Bytes of pixels uploaded into textures by every GL engine of the process
    // (pictures, YUV planes and font atlases): the difference across a frame
    // is what that frame uploaded.
    static quint64 mUploadedBytes;

private:
    decltype(mGLWidget) widget();
    void makeContextCurrent();
    void buildShaders();

    QPointer<QObject> mWidgetGuard;  // clears mGLWidget when the widget goes
    QImage mTexel;                   // the one-pixel image of fills and outlines
};

#endif
