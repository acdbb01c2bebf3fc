#include "dorurizar.h"

#include "uniimg.h"

cDorUrizar::cDorUrizar()
    : mCurrentImage(nullptr)
{
}

cDorUrizar::~cDorUrizar() = default;

bool cDorUrizar::init(QWidget*)
{
    return true;
}

cUniImg* cDorUrizar::currentImage() const
{
    return mCurrentImage;
}

bool cDorUrizar::beginUpdate(cUniImg* img)
{
    if (!img)
        return false;
    mCurrentImage = img;
    resize(img, img->size());
    return true;
}

bool cDorUrizar::endUpdate(cUniImg*)
{
    mCurrentImage = nullptr;
    return true;
}

bool cDorUrizar::isActive()
{
    return mCurrentImage != nullptr;
}

void cDorUrizar::destroyData(cUniImg*)
{
}

void cDorUrizar::resize(cUniImg*, QSize const&)
{
}

void cDorUrizar::drawImage(QRect const&, cUniYuvFrame const&, QRect const&)
{
}
