#pragma once
// Up-down arrows that sit beside an edit holding a whole number (udInterval beside edPingInterval).
//
// How the two keep in step: an arrow steps the number that the edit shows (or, when the edit does
// not hold a whole number, the arrows' own position) by `increment`, clamped to min..max without
// wrapping, and writes the result back into the edit; typing a whole number into the edit moves the
// position to it (clamped), so the next arrow step starts from what the user sees. Text that is not a
// whole number leaves the position where it was.

#include <QWidget>

class QLineEdit;
class QToolButton;

class TMaintainUpDown : public QWidget {
  Q_OBJECT
 public:
  explicit TMaintainUpDown(QWidget* parent = nullptr);

  int minimum = 1;
  int maximum = 100;
  int increment = 1;
  bool wrap = false;  // kept for completeness; the dialog never wraps

  int position() const { return pos; }
  void setPosition(int value);
  // The edit shown beside the arrows; its text follows every step.
  void setAssociate(QLineEdit* edit);

  void stepUp() { step(+1); }
  void stepDown() { step(-1); }

 signals:
  void positionChanged(int value);

 private:
  void step(int direction);
  void associateEdited(const QString& text);
  int clamp(int value) const;

  int pos = 1;
  QLineEdit* associate = nullptr;
  QToolButton* btnUp = nullptr;
  QToolButton* btnDown = nullptr;
};
