#pragma once
// Windows of a fixed size that grow where their texts would be cut. The fixed sizes were chosen for
// 9-point text at 96 DPI (12 pixels); with text of that size or smaller a window keeps its size to
// the pixel. With a larger font or a higher DPI it takes what its layout needs, but never more than
// the screen it is on offers.

#include <QSize>

class QWidget;

// True when `widget`'s font draws larger text than the fixed sizes were drawn for.
bool textLargerThanDesigned(const QWidget& widget);
// The size the screen of `window` offers to windows (its available area).
QSize availableScreenSize(const QWidget& window);
// `designed`, or, where the text is larger than designed for, what the window's layout needs
// (at least `designed`); never more than the screen offers (at 144 DPI a 1366 x 768 screen offers
// 911 x 512 of the pixels that sizes are given in).
QSize fittedSize(const QWidget& window, QSize designed);
// Moves a window that reaches past its screen's available area back into it, as far as it fits.
void keepOnScreen(QWidget& window);
// Scales a designed length (in pixels for 12-pixel text) to the widget's text.
int scaledToText(const QWidget& widget, int designed);
