#include "labelbox.h"

#include <QResizeEvent>

TLabelBox::TLabelBox(QLabel* labelToHold, QWidget* parent) : QWidget(parent), label(labelToHold) {
  label->setParent(this);
  setSizePolicy(label->sizePolicy());
  setMinimumSize(label->minimumSize());
  setMaximumSize(label->maximumSize());
}

void TLabelBox::resizeEvent(QResizeEvent* event) {
  label->setGeometry(QRect(QPoint(0, 0), event->size()));
}
