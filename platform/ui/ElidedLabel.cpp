#include "platform/ui/ElidedLabel.h"

#include <algorithm>

#include <QPainter>
#include <QStyle>

namespace qvx::ui {

ElidedLabel::ElidedLabel(int widestChars, QWidget* parent) : QLabel(parent), widestChars_(widestChars) {
  setWordWrap(false);
  setTextFormat(Qt::PlainText);
}

QSize ElidedLabel::sizeHint() const {
  const QSize whole = QLabel::sizeHint();
  const int widest = widestChars_ * fontMetrics().averageCharWidth();
  return {std::min(whole.width(), widest), whole.height()};
}

QSize ElidedLabel::minimumSizeHint() const {
  // Room for the ellipsis alone: the window may be narrowed below the text's width.
  const QSize whole = QLabel::minimumSizeHint();
  return {std::min(whole.width(), fontMetrics().horizontalAdvance(QStringLiteral("\u2026 "))), whole.height()};
}

QRect ElidedLabel::TextRect() const {
  const int m = margin();
  return contentsRect().adjusted(m, m, -m, -m);
}

QString ElidedLabel::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, TextRect().width());
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  style()->drawItemText(&painter, TextRect(), static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())),
                        palette(), isEnabled(), ShownText(), foregroundRole());
}

}  // namespace qvx::ui
