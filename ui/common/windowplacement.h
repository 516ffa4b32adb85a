#pragma once
// Centring a top-level window on its screen, at the same place at every opening.
//
// Why not QWidget::move: move() takes the position of the window frame, and Qt turns it into a
// client position with the frame size it knows at that moment. On X11 that size is unknown before
// the first mapping and stale while a window is hidden, and the window manager reads the request
// with the gravity chosen when the native window was made; mixed, a dialog opened again lands a
// title bar lower. Here the client area is centred (setGeometry takes client positions), so the
// native window gets static gravity and the window manager puts the client exactly where asked,
// whatever it knows about frames.

class QWidget;

void centreOnScreen(QWidget& window);

// Shows a window that is hidden, restores it when minimised, and raises and activates it: what
// every action that opens a window does.
void bringToFront(QWidget& window);

// The main window's place, kept in the settings at close ([main_window] geometry: Qt's saved
// geometry, base64) and taken up at the next start. Without one, or with a place on no screen of
// this session, the window stays where it was put (centred).
inline constexpr const char* MainWindowSection = "main_window";
inline constexpr const char* MainWindowGeometryKey = "geometry";
void restoreMainWindowPlace(QWidget& window);
void storeMainWindowPlace(const QWidget& window);
