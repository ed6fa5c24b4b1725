// The viewer (Form13, "拡大表示"): the frame that the main window's image
// area shows, at full resolution, with zoom, pan, the cursor readout and a
// star measurement for focusing.
//
// Reads the frames, the display levels and the picture's record of what it
// shows (the frame and the levels it was drawn with); maps that frame to
// grey once per drawing and keeps that one 8-bit copy. Writes nothing: a
// click measures a star, it never locks a guide star. The guide star's
// search window, when one is locked, comes from the caller. Its size and
// zoom live in a ViewerPlace that outlasts the window while the program
// runs.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QLabel>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

#include "image/frame_display.h"
#include "image/star_measure.h"
#include "image/view_render.h"
#include "image/zoom_view.h"

namespace stellacq {

// A square of frame pixels, its corners included.
struct FrameSquare {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const FrameSquare&) const = default;
};

// The locked guide star's search window, or nothing while none is locked.
using GuideWindowSource = std::function<std::optional<FrameSquare>()>;

// What the viewer keeps between openings while the program runs.
struct ViewerPlace {
  int width = 800, height = 600;  // the window's
  ZoomView view;
};

// The image area of the viewer: paints the visible part of the grey frame,
// the guide star's search window and the measured star's cross; the wheel
// zooms around the pointer, + - 1 0 zoom, a drag with the left button pans,
// a click measures.
class ViewerArea final : public QAbstractScrollArea {
  Q_OBJECT

 public:
  ViewerArea(const GreyFrame& grey, ZoomView& view, QWidget* parent = nullptr);

  // The scroll bars and the picture after the view or the frame changed.
  void view_changed();
  // The centroid's cross, or none.
  void set_cross(std::optional<ViewPoint> frame_point);
  void set_guide_window(std::optional<FrameSquare> square) { guide_window_ = square; }
  const std::optional<FrameSquare>& guide_window() const { return guide_window_; }

 signals:
  // Frame point under the pointer (continuous frame coordinates), and a
  // click (left button, no drag) at one.
  void pointer_moved(double x, double y);
  void pointer_left();
  void clicked(double x, double y);
  void zoom_changed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void zoom_step(bool in, ViewPoint anchor);

  const GreyFrame& grey_;
  ZoomView& view_;
  QImage canvas_;  // the viewport's pixels, rendered at each paint
  std::optional<ViewPoint> cross_;
  std::optional<FrameSquare> guide_window_;
  bool syncing_ = false;
  int wheel_rest_ = 0;  // eighths of a degree not yet turned into a step
  QPoint press_at_;
  QPoint last_drag_;
  bool pressed_ = false;
  bool dragging_ = false;
};

class Form13 final : public QWidget {
  Q_OBJECT

 public:
  Form13(const DisplayState& display, GuideWindowSource guide_window, std::shared_ptr<ViewerPlace> place,
         QWidget* parent = nullptr);

  // The image area was drawn (a new frame, new levels) or its marker
  // changed: maps the frame again when it is a new drawing, measures the
  // star again at its last place, and repaints.
  void picture_changed();

  void Picture1_MouseMove(double x, double y);
  void Picture1_Click(double x, double y);

  const ZoomView& view() const { return place_->view; }
  const StarMeasurement& star() const { return star_; }
  // The one 8-bit copy of the frame the viewer keeps.
  const GreyFrame& grey() const { return grey_; }
  ViewerArea* picture() const { return Picture1_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The frame the image area shows, with the size it is shown with.
  const Frame* shown_frame(int& width, int& height) const;
  void map_frame();
  void show_zoom();
  void show_star();

  const DisplayState& display_;
  GuideWindowSource guide_window_;
  std::shared_ptr<ViewerPlace> place_;
  GreyFrame grey_;
  std::uint64_t mapped_draws_ = 0;  // the drawing grey_ was mapped from; 0 none
  StarMeasurement star_;
  bool measured_ = false;
  ViewerArea* Picture1_;
  QLabel* Label1_;  // cursor readout
  QLabel* Label2_;  // zoom
  QLabel* Label3_;  // star measurement
};

}  // namespace stellacq
