#ifndef DORURIZAR_UNISCREEN_H
#define DORURIZAR_UNISCREEN_H

#include "uniimg.h"

class QWidget;

// The image shown on screen, bound to the widget that shows it. Engines
// recognise it by its dynamic type. It follows the current engine.
class DORURIZAR_EXPORT cUniScreen : public cUniImg
{
public:
    // A screen without a widget, following the current engine.
    cUniScreen();
    // Lets go of the widget before the engine frees the data.
    ~cUniScreen() override;

    // Schedules a repaint of the widget; the host updates the screen from it.
    void update() override;

    // The widget that shows the screen; null until setWidget().
    QWidget* widget();
    // Binds the screen to w; a null w keeps the current widget.
    void setWidget(QWidget* w);

    QWidget* mWidget;
};

#endif
