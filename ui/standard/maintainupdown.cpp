#include "ui/standard/maintainupdown.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

TMaintainUpDown::TMaintainUpDown(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  btnUp = new QToolButton(this);
  btnUp->setArrowType(Qt::UpArrow);
  btnUp->setAutoRepeat(true);
  btnDown = new QToolButton(this);
  btnDown->setArrowType(Qt::DownArrow);
  btnDown->setAutoRepeat(true);
  for (QToolButton* b : {btnUp, btnDown}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setFixedSize(17, 11);
    layout->addWidget(b);
  }
  connect(btnUp, &QToolButton::clicked, this, [this] { stepUp(); });
  connect(btnDown, &QToolButton::clicked, this, [this] { stepDown(); });
}

int TMaintainUpDown::clamp(int value) const { return std::clamp(value, minimum, maximum); }

void TMaintainUpDown::setPosition(int value) {
  const int next = clamp(value);
  if (next == pos) return;
  pos = next;
  emit positionChanged(pos);
}

void TMaintainUpDown::setAssociate(QLineEdit* edit) {
  associate = edit;
  connect(edit, &QLineEdit::textEdited, this, &TMaintainUpDown::associateEdited);
  // Programmatic changes (a host being shown) move the arrows too.
  connect(edit, &QLineEdit::textChanged, this, &TMaintainUpDown::associateEdited);
}

void TMaintainUpDown::associateEdited(const QString& text) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (ok) setPosition(value);
}

void TMaintainUpDown::step(int direction) {
  if (!isEnabled()) return;
  int from = pos;
  if (associate) {
    bool ok = false;
    const int shown = associate->text().trimmed().toInt(&ok);
    if (ok) from = clamp(shown);
  }
  long long next = static_cast<long long>(from) + static_cast<long long>(direction) * increment;
  if (wrap && next > maximum) next = minimum;
  if (wrap && next < minimum) next = maximum;
  next = std::clamp<long long>(next, minimum, maximum);
  pos = static_cast<int>(next);
  if (associate) associate->setText(QString::number(pos));
  emit positionChanged(pos);
}
