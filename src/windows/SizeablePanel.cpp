#include "windows/SizeablePanel.h"

#include <QLayout>
#include <QMouseEvent>

#include <algorithm>

namespace hv {

TSizeablePanel::TSizeablePanel(QWidget* parent) : QFrame(parent) { setMouseTracking(true); }

void TSizeablePanel::SetWidth(int w) {
  if (w != width()) resize(w, height());
}

void TSizeablePanel::SetHeight(int h) {
  if (h != height()) resize(width(), h);
}

void TSizeablePanel::SetMinWidth(int value) {
  MinW = value;
  if (width() < value) SetWidth(value);
  if (MaxW != 0 && MaxW < value) SetMaxWidth(value);
}

void TSizeablePanel::SetMinHeight(int value) {
  MinH = value;
  if (height() < value) SetHeight(value);
  if (MaxH != 0 && MaxH < value) SetMaxHeight(value);
}

void TSizeablePanel::SetMaxWidth(int value) {
  MaxW = value;
  if (value != 0 && value < width()) SetWidth(value);
  if (MaxW != 0 && value < MinW) SetMinWidth(value);
}

void TSizeablePanel::SetMaxHeight(int value) {
  MaxH = value;
  if (value != 0 && value < height()) SetHeight(value);
  if (MaxH != 0 && value < MinH) SetMinHeight(value);
}

TPanelHit TSizeablePanel::HitTest(QPoint point) const {
  const int x = point.x();
  const int y = point.y();
  const TPanelAlign a = Alignment;
  TPanelHit hit = TPanelHit::Client;
  if (Vert) {
    if ((a == TPanelAlign::None || a == TPanelAlign::Top) && y > height() - kBorder) hit = TPanelHit::Bottom;
    if ((a == TPanelAlign::None || a == TPanelAlign::Bottom) && y < kBorder) hit = TPanelHit::Top;
  }
  if (Horiz) {
    if ((a == TPanelAlign::None || a == TPanelAlign::Left) && x > width() - kBorder) hit = TPanelHit::Right;
    if ((a == TPanelAlign::None || a == TPanelAlign::Right) && x < kBorder) hit = TPanelHit::Left;
  }
  return hit;
}

QSize TSizeablePanel::TrackSize(QSize wanted) const {
  int w = std::max(wanted.width(), MinW);
  int h = std::max(wanted.height(), MinH);
  if (MaxW > 0) w = std::min(w, MaxW);
  if (MaxH > 0) h = std::min(h, MaxH);
  return {w, h};
}

void TSizeablePanel::mousePressEvent(QMouseEvent* event) {
  const TPanelHit hit = event->button() == Qt::LeftButton ? HitTest(event->position().toPoint()) : TPanelHit::Client;
  if (hit == TPanelHit::Client) {
    QFrame::mousePressEvent(event);
    return;
  }
  Dragging = hit;
  DragStart = event->globalPosition().toPoint();
  StartGeometry = geometry();
  event->accept();
}

void TSizeablePanel::mouseMoveEvent(QMouseEvent* event) {
  if (Dragging == TPanelHit::Client) {
    switch (HitTest(event->position().toPoint())) {
      case TPanelHit::Top:
      case TPanelHit::Bottom: setCursor(Qt::SizeVerCursor); break;
      case TPanelHit::Left:
      case TPanelHit::Right: setCursor(Qt::SizeHorCursor); break;
      case TPanelHit::Client: unsetCursor(); break;
    }
    QFrame::mouseMoveEvent(event);
    return;
  }
  const QPoint delta = event->globalPosition().toPoint() - DragStart;
  QRect g = StartGeometry;
  switch (Dragging) {
    case TPanelHit::Right: g.setWidth(TrackSize({g.width() + delta.x(), g.height()}).width()); break;
    case TPanelHit::Bottom: g.setHeight(TrackSize({g.width(), g.height() + delta.y()}).height()); break;
    case TPanelHit::Left: g.setLeft(g.right() + 1 - TrackSize({g.width() - delta.x(), g.height()}).width()); break;
    case TPanelHit::Top: g.setTop(g.bottom() + 1 - TrackSize({g.width(), g.height() - delta.y()}).height()); break;
    case TPanelHit::Client: break;
  }
  setGeometry(g);
  event->accept();
}

void TSizeablePanel::mouseReleaseEvent(QMouseEvent* event) {
  if (Dragging == TPanelHit::Client) {
    QFrame::mouseReleaseEvent(event);
    return;
  }
  Dragging = TPanelHit::Client;
  event->accept();
}

void TSizeablePanel::leaveEvent(QEvent* event) {
  if (Dragging == TPanelHit::Client) unsetCursor();
  QFrame::leaveEvent(event);
}

void TSizeablePanel::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  if (parentWidget() != nullptr && parentWidget()->layout() != nullptr) parentWidget()->layout()->invalidate();
  emit Resized();
}

}  // namespace hv
