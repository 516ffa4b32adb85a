#pragma once
// The program's own pictures, drawn by the program so that no image files need to ship: the three
// tray pictures, the two tool-bar pictures of the status view and the glider of the About box.
// Every picture has a transparent background. The icons are drawn for the size they are shown at, so they
// stay sharp at every scale (drawnicon.h).

#include <QIcon>
#include <QPixmap>

class QPainter;

enum class TTrayPicture { ConnectionOk = 0, ConnectionDown = 1, NotRunning = 2 };

// 16 x 16: a green round face, a red round face, a blue sign.
QPixmap trayPicture(TTrayPicture which);
// Draws a tray picture on the painter's 16 x 16 grid (scale the painter for other sizes). The
// program's icon files are the green face drawn this way (packaging/iconmaker.cpp).
void drawTrayPicture(QPainter& p, TTrayPicture which);
// The tray pictures at any size; a light rim keeps them apart from a dark panel.
QIcon trayIcon(TTrayPicture which);
// 16 x 16: two circular arrows (refresh now).
QPixmap refreshPicture();
QIcon refreshIcon();
// 16 x 16: the words HOST NAME in a pixel font, dark on a light plate, so they read on a dark
// palette as on a light one. Larger sizes draw each font pixel as a square of whole pixels.
QPixmap hostNamePicture();
QIcon hostNameIcon();
// 200 x 150: a glider in flight.
QPixmap gliderPicture();
