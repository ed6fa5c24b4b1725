// The main window's fields that a shooting reads while it runs, as numbers,
// and what it writes back into them.
//
// A series reads the shutter-speed and interval fields afresh at every
// frame and while it waits, since the user may type into them meanwhile;
// the window parses its texts leniently (an empty or unreadable field reads
// as 0). The shooting rounds the shutter speed and the interval down to
// whole seconds in their fields, and a program row fills both. The CCD
// temperature a frame records is the camera's last reading, not a field.
#pragma once

#include <string>

namespace stellacq {

class ShotFields {
 public:
  virtual ~ShotFields() = default;

  virtual double shutter_seconds() const = 0;   // Text5
  virtual double interval_seconds() const = 0;  // Text6

  // The whole seconds shown with their sign position (" 30").
  virtual void set_whole_shutter_seconds(int seconds) = 0;
  virtual void set_whole_interval_seconds(int seconds) = 0;
  // A program row's shutter speed and interval, as typed in its window.
  virtual void set_program_row(const std::string& shutter, const std::string& interval) = 0;
};

}  // namespace stellacq
