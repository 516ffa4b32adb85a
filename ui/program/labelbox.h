#pragma once
// A box that holds one label, fills itself with it and takes the label's sizes as its own.
//
// QLabel::setText asks the label's parent to lay itself out again whatever the new text; from a
// label in a layout that request climbs to the window, so a text that changes every second (the
// pings sent, at the fast speeds) laid the whole main window out and painted it again each second.
// A box without a layout of its own stops the request: the label repaints its text, and the window
// is laid out again only for its own reasons (a resize, a font change, another widget's request),
// taking the label's current sizes then. The box is as large as its layout makes it, so a text
// that needs no more room than the label had at the last layout is shown whole.

#include <QLabel>
#include <QWidget>

class TLabelBox : public QWidget {
 public:
  // `label` becomes the box's child; its size policy (word wrap included) and the least and most
  // size set on it so far are the box's.
  explicit TLabelBox(QLabel* label, QWidget* parent = nullptr);

  QSize sizeHint() const override { return label->sizeHint(); }
  QSize minimumSizeHint() const override { return label->minimumSizeHint(); }
  bool hasHeightForWidth() const override { return label->hasHeightForWidth(); }
  int heightForWidth(int width) const override { return label->heightForWidth(width); }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* label;
};
