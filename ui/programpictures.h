#pragma once
// The program's own pictures, drawn at start-up so that no image files need to ship: the three tray
// pictures, the two tool-bar pictures of the status view and the glider of the About box. Every
// picture has a transparent background.

#include <QPixmap>

class QPainter;

enum class TTrayPicture { ConnectionOk = 0, ConnectionDown = 1, NotRunning = 2 };

// 16 x 16: a green round face, a red round face, a blue sign.
QPixmap trayPicture(TTrayPicture which);
// Draws a tray picture on the painter's 16 x 16 grid (scale the painter for other sizes). The
// program's icon files are the green face drawn this way (packaging/iconmaker.cpp).
void drawTrayPicture(QPainter& p, TTrayPicture which);
// 16 x 16: two circular arrows (refresh now).
QPixmap refreshPicture();
// 16 x 16: the words HOST NAME.
QPixmap hostNamePicture();
// 200 x 150: a glider in flight.
QPixmap gliderPicture();
