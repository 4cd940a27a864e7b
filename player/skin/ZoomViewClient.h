// What the movie view asks of the zoom drawer's view: any widget that shows snapshots of the whole movie.
#pragma once

#include <QImage>

class NSFlashPluginView;

class ZoomViewClient
{
public:
    virtual ~ZoomViewClient() = default;
    // A snapshot of the whole movie; a null image when the movie view lets go of the drawer.
    virtual void setFlashImage(const QImage& image) = 0;
    // The movie view the drawer belongs to (the drawer pans and zooms through it).
    virtual void setFlashView(NSFlashPluginView* view) = 0;
    // The drawer should be redrawn.
    virtual void setNeedsDisplay() = 0;
};
