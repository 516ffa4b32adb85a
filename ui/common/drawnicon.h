#pragma once
// An icon drawn afresh for every size it is shown at (device pixels included), so a 16-pixel
// picture shown at 24 or 32 pixels on a larger or high-DPI screen stays sharp instead of being
// scaled up and blurred.

#include <QIcon>

#include <functional>

class QPainter;

// Draws the picture on a painter whose square device is `side` pixels wide.
using TPictureDrawing = std::function<void(QPainter& painter, int side)>;

QIcon drawnIcon(TPictureDrawing drawing);
// The picture drawn on a transparent square of `side` pixels.
QPixmap drawnPixmap(const TPictureDrawing& drawing, int side);
