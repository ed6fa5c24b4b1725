// The Alpaca camera's inside, shared by its two files: the device's state,
// a call of a member as the table's handlers take it, and the table's rows
// (camera_members.cpp). Not for use outside the device.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "alpaca/camera_device.h"

namespace stellacq::alpaca {

inline constexpr int kMaxBin = 2;
inline constexpr double kExposureMinS = 1.0;
inline constexpr double kExposureMaxS = 86400.0;  // the longest exposure the unit is waited for

// The device's state, under its mutex.
struct CameraDevice::State {
  DeviceSettings settings;
  bool connected = false;
  bool connecting = false;
  int connect_round = 0;  // a disconnect withdraws the connect under way
  std::string connect_error;
  std::string mount_device;
  int bin = 1;
  int start_x = 0, start_y = 0, num_x = 0, num_y = 0;
  bool cooler_on = false;
  double set_point_c = -10.0;
  std::optional<double> ccd_temp_c;
  // The exposure.
  bool exposing = false;  // started and neither finished nor aborted
  bool aborting = false;  // aborted, its end not come back yet
  bool failed = false;    // the last frame failed
  std::string failure;    // why
  std::string exposing_client;
  std::optional<double> last_duration_s;
  std::optional<std::time_t> last_start;
  bool image_ready = false;
  std::shared_ptr<const Image> image;
  std::string fits_path;
  long long frame_number = 0;

  FrameShape sensor() const { return frame_shape(settings.head_model, 1); }
  double pixel_um() const {
    return settings.head_model == kHeadTx11 ? settings.pixel_tx11_um : settings.pixel_tx22_um;
  }
};

// A member called: the request's verb and client, and the PUT's parameters
// read as the member's row types them.
struct CameraDevice::Call {
  bool put = false;
  std::string client;  // ClientID, "" when none
  int int_value = 0;
  double double_value = 0;
  bool bool_value = false;
  // The device's lock, held while a handler that needs it runs.
  std::unique_lock<std::mutex>* lock = nullptr;
};

// A parameter of a PUT, as the API spells and types it.
struct Parameter {
  enum class Kind { Int, Double, Bool, Text };
  const char* name;
  Kind kind;
};

// A row of the table. A member the camera does not have answers `absent`
// with `absent_error`; one that needs the device's state runs `locked`
// with the lock held (refused first while disconnected when it needs a
// connection); the others run `unlocked`, which keeps its own locking.
struct CameraDevice::Member {
  const char* name;
  bool get = false;
  bool put = false;
  bool needs_connection = true;
  std::vector<Parameter> parameters = {};  // read, in order, before anything is decided
  const char* absent = nullptr;
  int absent_error = kNotImplemented;
  std::function<Answer(CameraDevice&, const Call&)> unlocked = {};
  std::function<Answer(CameraDevice&, State&, const Call&)> locked = {};
};

}  // namespace stellacq::alpaca
