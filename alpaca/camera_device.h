// The camera as ASCOM Alpaca Camera device 0 (ICameraV4, interface version
// 4: with Connect, Connecting, Disconnect and DeviceState): every member's
// answer as a value, apart from HTTP, on the camera session.
//
// Threads: the HTTP server's threads call answer() and the setup calls; the
// server's loop thread runs the session's replies (run_replies()). The
// device's state is kept under one mutex; an image being sent is held by
// its own reference, so a new exposure or a client that goes away
// mid-download takes nothing from another client.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "alpaca/answer.h"
#include "camera/camera_session.h"
#include "camera/geometry.h"

namespace stellacq::alpaca {

// ASCOM CameraState values.
enum class CameraState { Idle = 0, Waiting = 1, Exposing = 2, Reading = 3, Download = 4, Error = 5 };

// What the setup page edits and the settings file keeps.
struct DeviceSettings {
  bool simulate = false;
  std::string port = "/dev/parport0";  // "/dev/parportN" or a base address ("0x378")
  int head_model = kHeadTx22;
  int unit_model = kUnitTu22;
  double pixel_tx11_um = 18.0;
  double pixel_tx22_um = 9.0;
  std::string fits_folder;  // "" = no FITS copy on the server
  // Simulation: the time of one register access (1 = the hardware's pace).
  double sim_access_us = 0;
  // The device's UniqueID for Alpaca clients: made once for a settings file
  // and kept in it, so that two servers on one network never share one.
  std::string unique_id;
};

class CameraDevice {
 public:
  CameraDevice(const DeviceSettings& settings, WakeUp& wake);
  ~CameraDevice();

  // Any HTTP thread: the answer to GET (put false) or PUT of `member`
  // (lower case, as in the URL).
  Answer answer(bool put, const std::string& member, const Params& params);

  // Loop thread: runs the session's replies.
  void run_replies();

  DeviceSettings settings() const;
  // Applies new settings; refused (with the reason) when the port, the
  // head, the unit or the simulation would change while connected.
  std::optional<std::string> change_settings(const DeviceSettings& wanted);
  bool connected() const;
  std::string mount_device() const;
  // The FITS file written for the last frame ("" = none).
  std::string last_fits_path() const;

  // A member of the API as the device's one table of members holds it:
  // the routing, the not-implemented answers and the tests read it.
  struct MemberInfo {
    std::string name;  // lower case, as in the URL
    bool get = false;
    bool put = false;
    bool needs_connection = false;  // refused (0x407) while disconnected
    bool implemented = true;        // else answered with 0x400 (or 0x40C for Action)
  };
  static std::vector<MemberInfo> members();

 private:
  struct State;
  struct Call;
  struct Member;
  struct Rows;
  // The table (camera_members.cpp): every member with its verbs, its
  // parameters and its handler.
  static const std::vector<Member>& member_table();

  Answer connect(bool wait);
  Answer disconnect();
  Answer start_exposure(State& s, const Call& call);
  CameraState camera_state() const;              // under mutex_
  std::optional<int> percent_completed() const;  // under mutex_; none when idle without an image

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::unique_ptr<State> state_;
  CameraSession session_;
};

}  // namespace stellacq::alpaca
