// Auto-guiding, windowless: locking and releasing the guide star with a
// click on the image area (Picture1_MouseDown), its marker, and the guiding
// step of a guided series (guiding_step.h).
//
// Guiding owns the guide state. It reads the light frame and its size and
// the settings; writes the status line, the two auto-guiding menu items and,
// through the marker, the picture of the image area; moves the mount during
// a guiding step. The marker itself takes the guide state, the frames with
// the picture and the span. The window passes in how the tracking status
// window is opened and closed.
#pragma once

#include <functional>

#include "config/settings.h"
#include "core/clock.h"
#include "core/interaction.h"
#include "core/status_line.h"
#include "guiding/guide_state.h"
#include "guiding/measure.h"
#include "image/frame_display.h"
#include "telescope/telescope.h"

namespace stellacq {

inline constexpr const char* kGuideTitle = "自動追尾";
inline constexpr const char* kLockPrompt = "この星を追尾星にします";
inline constexpr const char* kReleasePrompt = "追尾星指定を解除します";
inline constexpr const char* kLockedText = " Locked";
inline constexpr const char* kUnlockedText = " UnLocked";

// How the logic opens and closes the tracking status window (Form6).
struct TrackingStatusHooks {
  std::function<void()> open;
  std::function<void()> close;
};

enum class PictureClick {
  Ignored,        // no frame yet
  Locked,         // locked and confirmed
  LockCancelled,  // locked, then cancelled in the confirmation: unlocked again
  Released,
  ReleaseCancelled,  // still locked
};

struct PictureClickResult {
  PictureClick outcome = PictureClick::Ignored;
  // The clicked frame pixel by the display mapping; at the right or bottom
  // edge it may lie beyond the last column or row.
  int frame_x = 0, frame_y = 0;
};

// The main window's menu items a lock enables: the guided series' start
// and stop.
struct GuideMenuFlags {
  bool& exp_menu_grab_auto_enabled;
  bool& exp_menu_grab_auto_stop_enabled;
};

class Guiding {
 public:
  // `series_runs` tells whether a series or a program shooting runs.
  Guiding(FrameDisplay& display, TelescopePanel& telescope, const Settings& settings, Clock& clock,
          StatusLine status, GuideMenuFlags menu, std::function<bool()> series_runs)
      : display_(display),
        telescope_(telescope),
        settings_(settings),
        clock_(clock),
        ui_(status.ui),
        status_(status),
        menu_(menu),
        series_runs_(std::move(series_runs)) {}
  Guiding(const Guiding&) = delete;
  Guiding& operator=(const Guiding&) = delete;

  GuideState& state() { return guide_; }
  const GuideState& state() const { return guide_; }

  // Mouse down on the image area at (X, Y) of an area of scale_width x
  // scale_height units; any button acts the same. (A click with Shift alone
  // opens the line profile instead; the window sorts the two apart.)
  //
  // With a frame, a locked star is released after an OK/Cancel box, and an
  // unlocked one is locked at the clicked pixel: status line " x y count
  // Locked", marker, measurement with the configured span, tracking status
  // window and the two auto-guiding menu items, then the OK/Cancel
  // confirmation; Cancel undoes the lock. The count shown is that of the
  // nearest pixel inside the frame, since a click at the edge can map beyond
  // it; the measurement uses the candidates inside the frame.
  PictureClickResult Picture1_MouseDown(double X, double Y, double scale_width, double scale_height,
                                        const TrackingStatusHooks& tracking_status);

  // The lock ends and its marker comes off the picture (a stop command of a
  // guided series whose frames are shown).
  void drop_lock();

  // The guiding step of a guided series (guiding_step.h); `frame_shown`
  // when the series has drawn the frame anew, so that the marker goes back
  // on it.
  void guiding_step(bool frame_shown);

 private:
  // The marker as it stands in the guide state, with the configured span.
  void draw_marker();
  void unlock(const TrackingStatusHooks& tracking_status);
  void note_unguided(const std::string& reason);

  FrameDisplay& display_;
  TelescopePanel& telescope_;  // its mount makes the guiding moves
  const Settings& settings_;
  Clock& clock_;
  Interaction& ui_;
  StatusLine status_;
  GuideMenuFlags menu_;
  std::function<bool()> series_runs_;
  GuideState guide_;
};

// Shows a measurement made with half-width `span`: writes star_x, star_y,
// star_sum and sky_sum of `guide` and its tracking status values (the span,
// and the settings' aperture and threshold as plain decimals, the ratio as
// "##.##"), then lets pending window events run.
void show_guide_measurement(GuideState& guide, const Settings& settings, Interaction& ui,
                            const GuideMeasurement& m, int span);

// With guide_locked 1: keeps the colour under every marker point and paints
// it green. With guide_locked 0: paints every kept point that still shows
// the marker back with its colour, in the same order, and forgets them; a
// frame drawn since keeps its own pixels. A marker still standing on the
// picture is taken away before it is drawn again; one whose picture has
// been redrawn since is simply forgotten. Nothing is drawn without a frame.
// Uses the area's own extent (Picture::kWidth x Picture::kHeight units) and
// the light frame's size; `span` is the configured search half-width.
void draw_guide_marker(GuideState& guide, const ShownFrames& shown, int span, Interaction& ui);

}  // namespace stellacq
