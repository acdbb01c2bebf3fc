#include "uniscreen.h"

#include <QWidget>

cUniScreen::cUniScreen()
    : cUniImg(nullptr)
    , mWidget(nullptr)
{
}

cUniScreen::~cUniScreen()
{
    // Inside ~cUniImg this is no longer a cUniScreen, so an engine that keeps
    // the widget itself as data would take it for image data: drop it here.
    if (mData == mWidget)
        mData = nullptr;
}

void cUniScreen::update()
{
    if (mWidget)
        mWidget->update();
}

QWidget* cUniScreen::widget()
{
    return mWidget;
}

void cUniScreen::setWidget(QWidget* w)
{
    if (!w)
        return;
    // Data that is the widget itself follows it, or the destructor would no
    // longer recognise the old widget and the engine would free it as data.
    if (mData && mData == mWidget)
        mData = w;
    mWidget = w;
}
