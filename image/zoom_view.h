// The zoomed and panned view of a frame in a viewport of screen pixels:
// which zoom, which part of the frame shows, and the mapping between screen
// and frame in both directions.
//
// Frame coordinates are continuous: pixel (x, y) covers [x, x + 1) x
// [y, y + 1). At a zoom z the frame is z screen pixels a frame pixel; the
// scroll position is the screen column and row of the zoomed frame at the
// viewport's top-left corner, whole pixels, so that at 100 % and above every
// frame pixel is a whole square of z x z screen pixels. A frame smaller than
// the viewport is centred in it.
#pragma once

#include <string>

namespace stellacq {

// Zoom steps as powers of two: 1/8 (12.5 %) to 8 (800 %).
inline constexpr int kMinZoomStep = -3;
inline constexpr int kMaxZoomStep = 3;

struct ViewPoint {
  double x = 0, y = 0;
};

class ZoomView {
 public:
  // The frame's size; the zoom and the scroll position stay (held to the
  // new size).
  void set_frame(int width, int height);
  // The viewport's size; the frame point at its centre stays there.
  void set_viewport(int width, int height);

  int frame_width() const { return frame_w_; }
  int frame_height() const { return frame_h_; }
  int viewport_width() const { return view_w_; }
  int viewport_height() const { return view_h_; }

  bool fitting() const { return fit_; }
  // The zoom in screen pixels a frame pixel: 2^step, or when fitting the
  // largest zoom (at most 8) that shows the whole frame.
  double zoom() const;

  // The whole frame in the viewport.
  void fit();
  // Zoom step `step` (held to the steps), keeping the frame point under the
  // screen point `anchor` in place.
  void set_step(int step, ViewPoint anchor);
  // The next step up or down from the current zoom (from "fit" the nearest
  // step at least a tenth above or below it), around `anchor`. Nothing
  // happens past 800 % or below 12.5 %.
  void zoom_in(ViewPoint anchor);
  void zoom_out(ViewPoint anchor);
  // Moves the view so that the frame follows the pointer by (dx, dy) screen
  // pixels (a drag).
  void pan(int dx, int dy);
  // Sets the scroll position (the scroll bars), held to its range.
  void scroll_to(int x, int y);

  // The zoomed frame's size in screen pixels, and the scroll ranges
  // (0 when the frame fits that way).
  int content_width() const;
  int content_height() const;
  int scroll_x() const { return scroll_x_; }
  int scroll_y() const { return scroll_y_; }
  int max_scroll_x() const;
  int max_scroll_y() const;

  // Screen position of the frame point (x, y), and back.
  ViewPoint to_screen(ViewPoint frame) const;
  ViewPoint to_frame(ViewPoint screen) const;

  // "100%", "12.5%", "fit 52%".
  std::string zoom_text() const;

 private:
  // Screen position of the frame's left and top edge.
  double origin_x() const;
  double origin_y() const;
  void clamp_scroll();
  // Scrolls so that frame point `frame` lands on screen point `screen`.
  void place(ViewPoint frame, ViewPoint screen);

  int frame_w_ = 0, frame_h_ = 0;
  int view_w_ = 0, view_h_ = 0;
  bool fit_ = true;
  int step_ = 0;
  int scroll_x_ = 0, scroll_y_ = 0;
};

}  // namespace stellacq
