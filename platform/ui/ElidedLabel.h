// A one-line label for a text of any length, such as a company name: it asks its window
// for no more width than a given number of average characters of its font, and a text
// wider than the width it gets is shown shortened with an ellipsis. text() stays whole.
#pragma once

#include <QLabel>

namespace qvx::ui {

class ElidedLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ElidedLabel(int widestChars, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;
  // The text as painted at the label's present width.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  QRect TextRect() const;
  int widestChars_;
};

}  // namespace qvx::ui
