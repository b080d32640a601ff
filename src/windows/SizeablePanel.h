#pragma once
// A panel whose edges the user can drag to resize it, within a minimum and an optional maximum.
#include <QFrame>

namespace hv {

// Which parent edge a panel hugs; a client-aligned panel fills its parent and never resizes itself.
enum class TPanelAlign { None, Top, Bottom, Left, Right, Client };

// The part of the panel under a point: an edge that can be dragged, or the inside.
enum class TPanelHit { Client, Top, Bottom, Left, Right };

// Holds content (the Question Finder's, docked or not) and lets the user widen or heighten it
// by dragging the edges that face away from the side it is aligned to.
class TSizeablePanel : public QFrame {
  Q_OBJECT
public:
  explicit TSizeablePanel(QWidget* parent = nullptr);

  static constexpr int kBorder = 3;

  int MinWidth() const { return MinW; }
  int MinHeight() const { return MinH; }
  int MaxWidth() const { return MaxW; }
  int MaxHeight() const { return MaxH; }
  bool ResizeVert() const { return Vert; }
  bool ResizeHoriz() const { return Horiz; }
  TPanelAlign Align() const { return Alignment; }

  // The setters keep minimum <= maximum: raising a minimum above a non-zero maximum raises the
  // maximum, lowering a maximum below the minimum lowers the minimum; the size follows.
  void SetMinWidth(int value);
  void SetMinHeight(int value);
  void SetMaxWidth(int value);  // 0: no maximum
  void SetMaxHeight(int value);
  void SetResizeVert(bool value) { Vert = value; }
  void SetResizeHoriz(bool value) { Horiz = value; }
  void SetAlign(TPanelAlign value) { Alignment = value; }

  // The edge under a point in the panel's own coordinates; later tests win, so horizontal edges
  // beat vertical ones where the strips meet.
  TPanelHit HitTest(QPoint point) const;
  // The size a drag may give the panel, after the minimum and any non-zero maximum.
  QSize TrackSize(QSize wanted) const;

signals:
  // After every size change, once the parent has realigned its children.
  void Resized();

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void SetWidth(int w);
  void SetHeight(int h);

  int MinW = 0;
  int MinH = 0;
  int MaxW = 0;
  int MaxH = 0;
  bool Vert = false;
  bool Horiz = false;
  TPanelAlign Alignment = TPanelAlign::None;

  TPanelHit Dragging = TPanelHit::Client;
  QPoint DragStart;      // global position of the press
  QRect StartGeometry;   // geometry at the press
};

}  // namespace hv
