#ifndef DORURIZAR_UNISCREEN_H
#define DORURIZAR_UNISCREEN_H

#include "uniimg.h"

class QWidget;

// The image shown on screen, bound to the widget that shows it. Engines
// recognise it by its dynamic type. It follows the current engine.
class DORURIZAR_EXPORT cUniScreen : public cUniImg
{
public:
    cUniScreen();
    ~cUniScreen() override;

    // Schedules a repaint of the widget; the host updates the screen from it.
    void update() override;

    QWidget* widget();
    void setWidget(QWidget* w);  // a null w keeps the current widget

    QWidget* mWidget;
};

#endif
