// The Carbon window record behind a top-level Qt window: made on first request, disposed of with the window.
#pragma once

#include "QuickDraw.h"

class QWidget;

// The window record of the widget's top-level window, its port brought in step with the window's content size
// and screen position at each call. Null for a null widget.
WindowRef WindowRefForWidget(QWidget* widget);
