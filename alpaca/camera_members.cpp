// The Alpaca camera's members, each in one row: its verbs, whether it needs
// a connection, its parameters and its handler, or why the camera does not
// have it. CameraDevice::answer() routes by this table, and the tests read
// it through CameraDevice::members().
#include "alpaca/camera_members.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "camera/session_texts.h"

namespace stellacq::alpaca {

namespace {

using nlohmann::json;
using Kind = Parameter::Kind;

constexpr int kInterfaceVersion = 4;

std::string utc_text(std::time_t t) {
  std::tm utc{};
  gmtime_r(&t, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return text;
}

// Now in UTC to the millisecond, as DeviceState's TimeStamp.
std::string utc_now_text() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(ms));
  return utc_text(seconds) + fraction;
}

}  // namespace

// The rows of the table, a group of members at a time, and the ways of
// making them. A nested class of the device, for its handlers reach inside.
struct CameraDevice::Rows {
  using Device = CameraDevice;
  using Unlocked = std::function<Answer(Device&, const Call&)>;
  using Locked = std::function<Answer(Device&, State&, const Call&)>;

  static std::vector<Member> device_members();
  static std::vector<Member> camera_members();
  static std::vector<Member> exposure_members();
  static std::vector<Member> absent_members();

  // A GET of the connected camera.
  static Member get(const char* name, Locked handler) {
    return Member{.name = name, .get = true, .locked = std::move(handler)};
  }
  // A GET and PUT of the connected camera, with the PUT's parameter.
  static Member get_put(const char* name, Parameter parameter, Locked handler) {
    return Member{
        .name = name, .get = true, .put = true, .parameters = {parameter}, .locked = std::move(handler)};
  }
  // A member of the device itself, answered connected or not.
  static Member device(const char* name, bool get, bool put, Unlocked handler) {
    return Member{
        .name = name, .get = get, .put = put, .needs_connection = false, .unlocked = std::move(handler)};
  }
  // A member the camera does not have: its parameters are still read.
  static Member absent(const char* name, bool get, bool put, const char* why,
                       std::vector<Parameter> parameters = {}, int error = kNotImplemented) {
    return Member{.name = name,
                  .get = get,
                  .put = put,
                  .needs_connection = false,
                  .parameters = std::move(parameters),
                  .absent = why,
                  .absent_error = error};
  }
  // A value that never changes, of the connected camera or of the device.
  static Locked fixed(json v) {
    return [v](Device&, State&, const Call&) { return value(v); };
  }
  static Unlocked constant(json v) {
    return [v](Device&, const Call&) { return value(v); };
  }
  // StartX, StartY, NumX or NumY.
  static Locked subframe(int State::*field) {
    return [field](Device&, State& s, const Call& c) {
      if (!c.put) return value(s.*field);
      // Checked against the binned chip when the exposure starts.
      s.*field = c.int_value;
      return done();
    };
  }
};

// The device's own members, answered connected or not.
std::vector<CameraDevice::Member> CameraDevice::Rows::device_members() {
  const char* kNoCommands = "The device takes no commands.";
  const std::vector<Parameter> kCommand = {{"Command", Kind::Text}, {"Raw", Kind::Text}};
  return {
      Member{.name = "connected",
             .get = true,
             .put = true,
             .needs_connection = false,
             .parameters = {{"Connected", Kind::Bool}},
             .unlocked =
                 [](Device& d, const Call& c) {
                   if (!c.put) return value(d.connected());
                   return c.bool_value ? d.connect(true) : d.disconnect();
                 }},
      device("connect", false, true, [](Device& d, const Call&) { return d.connect(false); }),
      device("disconnect", false, true, [](Device& d, const Call&) { return d.disconnect(); }),
      device(
          "description", true, false,
          constant("STELLACQ: a cooled CCD camera (TX-11 or TX-22 head on a TU-11 or TU-22 control unit) on "
                   "the parallel port")),
      device("driverinfo", true, false,
             constant("stellacq-alpaca, the STELLACQ camera as an ASCOM Alpaca device")),
      device("driverversion", true, false, constant(STELLACQ_VERSION)),
      device("interfaceversion", true, false, constant(kInterfaceVersion)),
      device("name", true, false, constant("STELLACQ CCD")),
      device("supportedactions", true, false, constant(json::array())),
      Member{.name = "connecting",
             .get = true,
             .needs_connection = false,
             .locked = [](Device&, State& s, const Call&) { return value(s.connecting); }},
      Member{.name = "devicestate",
             .get = true,
             .needs_connection = false,
             .locked =
                 [](Device& d, State& s, const Call&) {
                   // ICameraV4 DeviceState: the operational properties the camera has.
                   // Those it does not implement (CoolerPower, HeatSinkTemperature,
                   // IsPulseGuiding) are left out, as the Master Interfaces ask of
                   // DeviceState and ConformU accepts (it notes an absent one as
                   // information); so is what is not known yet. Not connected, only the
                   // time stamp is known.
                   json state = json::array();
                   const auto add = [&](const char* name, json v) {
                     state.push_back({{"Name", name}, {"Value", std::move(v)}});
                   };
                   if (s.connected) {
                     add("CameraState", static_cast<int>(d.camera_state()));
                     if (s.ccd_temp_c) add("CCDTemperature", *s.ccd_temp_c);
                     add("ImageReady", s.image_ready);
                     if (const std::optional<int> p = d.percent_completed()) add("PercentCompleted", *p);
                   }
                   add("TimeStamp", utc_now_text());
                   return value(state);
                 }},
      absent("action", false, true, "The device has no actions.",
             {{"Action", Kind::Text}, {"Parameters", Kind::Text}}, kActionNotImplemented),
      absent("commandblind", false, true, kNoCommands, kCommand),
      absent("commandbool", false, true, kNoCommands, kCommand),
      absent("commandstring", false, true, kNoCommands, kCommand),
  };
}

// The camera's facts, the frame's settings and the cooling.
std::vector<CameraDevice::Member> CameraDevice::Rows::camera_members() {
  const Locked binning = [](Device&, State& s, const Call& c) {
    if (!c.put) return value(s.bin);
    if (c.int_value < 1 || c.int_value > kMaxBin)
      return refuse(kInvalidValue, "Binning " + std::to_string(c.int_value) + " is not available: 1 or 2.");
    // Binning is symmetric: either member sets both axes.
    s.bin = c.int_value;
    return done();
  };
  const Locked pixel_size = [](Device&, State& s, const Call&) { return value(s.pixel_um()); };
  return {
      get("cameraxsize", [](Device&, State& s, const Call&) { return value(s.sensor().width); }),
      get("cameraysize", [](Device&, State& s, const Call&) { return value(s.sensor().height); }),
      get("canabortexposure", fixed(true)),
      get("canasymmetricbin", fixed(false)),
      get("canfastreadout", fixed(false)),
      get("cangetcoolerpower", fixed(false)),
      get("canpulseguide", fixed(false)),
      get("cansetccdtemperature", fixed(true)),
      get("canstopexposure", fixed(false)),
      get("exposuremax", fixed(kExposureMaxS)),
      get("exposuremin", fixed(kExposureMinS)),
      get("exposureresolution", fixed(1.0)),
      get("hasshutter", fixed(true)),
      get("maxadu", fixed(65535)),
      get("maxbinx", fixed(kMaxBin)),
      get("maxbiny", fixed(kMaxBin)),
      get("pixelsizex", pixel_size),
      get("pixelsizey", pixel_size),
      get("readoutmodes", fixed(json::array({"Normal"}))),
      get("sensorname",
          [](Device&, State& s, const Call&) {
            return value(s.settings.head_model == kHeadTx11 ? "TX-11" : "TX-22");
          }),
      get("sensortype", fixed(0)),  // monochrome

      // The frame's settings.
      get_put("binx", {"BinX", Kind::Int}, binning),
      get_put("biny", {"BinY", Kind::Int}, binning),
      get_put("numx", {"NumX", Kind::Int}, subframe(&State::num_x)),
      get_put("numy", {"NumY", Kind::Int}, subframe(&State::num_y)),
      get_put("startx", {"StartX", Kind::Int}, subframe(&State::start_x)),
      get_put("starty", {"StartY", Kind::Int}, subframe(&State::start_y)),
      get_put("readoutmode", {"ReadoutMode", Kind::Int},
              [](Device&, State&, const Call& c) {
                if (!c.put) return value(0);
                if (c.int_value != 0)
                  return refuse(kInvalidValue, "The camera has one readout mode, 0 (\"Normal\").");
                return done();
              }),

      // Cooling.
      get("ccdtemperature",
          [](Device&, State& s, const Call&) {
            if (!s.ccd_temp_c) return refuse(kValueNotSet, "The CCD temperature has not been read yet.");
            return value(*s.ccd_temp_c);
          }),
      get_put("cooleron", {"CoolerOn", Kind::Bool},
              [](Device& d, State& s, const Call& c) {
                if (!c.put) return value(s.cooler_on);
                s.cooler_on = c.bool_value;
                if (c.bool_value)
                  d.session_.cooling_on(set_point_tenths(s.set_point_c));
                else
                  d.session_.cooling_off();
                return done();
              }),
      get_put("setccdtemperature", {"SetCCDTemperature", Kind::Double},
              [](Device& d, State& s, const Call& c) {
                if (!c.put) return value(s.set_point_c);
                if (!set_point_in_range(c.double_value)) return refuse(kInvalidValue, set_point_range_text());
                const int tenths = set_point_tenths(c.double_value);
                s.set_point_c = tenths / 10.0;
                if (s.cooler_on) d.session_.cooling_on(tenths);
                return done();
              }),
  };
}

// The exposure and its image.
std::vector<CameraDevice::Member> CameraDevice::Rows::exposure_members() {
  const Locked image = [](Device&, State& s, const Call&) {
    if (!s.image_ready || !s.image)
      return refuse(kInvalidOperation, "There is no image: take an exposure first.");
    Answer a;
    a.image = s.image;
    return a;
  };
  return {
      Member{.name = "startexposure",
             .put = true,
             .parameters = {{"Duration", Kind::Double}, {"Light", Kind::Bool}},
             .locked = [](Device& d, State& s, const Call& c) { return d.start_exposure(s, c); }},
      Member{.name = "abortexposure",
             .put = true,
             .locked =
                 [](Device& d, State& s, const Call&) {
                   if (s.exposing && d.session_.abort()) {
                     s.exposing = false;
                     s.aborting = true;
                     s.image_ready = false;
                   }
                   return done();
                 }},
      get("camerastate",
          [](Device& d, State&, const Call&) { return value(static_cast<int>(d.camera_state())); }),
      get("percentcompleted",
          [](Device& d, State&, const Call&) {
            if (const std::optional<int> p = d.percent_completed()) return value(*p);
            return refuse(kInvalidOperation, "No exposure is running.");
          }),
      get("imageready", [](Device&, State& s, const Call&) { return value(s.image_ready); }),
      get("imagearray", image),
      get("imagearrayvariant", image),
      get("lastexposureduration",
          [](Device&, State& s, const Call&) {
            if (!s.last_duration_s) return refuse(kValueNotSet, "No exposure has been taken yet.");
            return value(*s.last_duration_s);
          }),
      get("lastexposurestarttime",
          [](Device&, State& s, const Call&) {
            if (!s.last_start) return refuse(kValueNotSet, "No exposure has been taken yet.");
            return value(utc_text(*s.last_start));
          }),
  };
}

// What the camera does not have.
std::vector<CameraDevice::Member> CameraDevice::Rows::absent_members() {
  const char* kMonochrome = "The camera is monochrome: it has no Bayer matrix.";
  const char* kNoGain = "The camera has no gain setting.";
  const char* kNoOffset = "The camera has no offset setting.";
  const char* kNoGuidePort = "The camera has no guide port.";
  return {
      absent("bayeroffsetx", true, false, kMonochrome),
      absent("bayeroffsety", true, false, kMonochrome),
      absent("coolerpower", true, false, "The control unit does not report the cooler's power."),
      absent("electronsperadu", true, false, "The camera's gain in electrons is not known."),
      absent("fullwellcapacity", true, false, "The camera's full well capacity is not known."),
      absent("fastreadout", true, true, "The camera has one readout speed.", {{"FastReadout", Kind::Bool}}),
      absent("gain", true, true, kNoGain, {{"Gain", Kind::Int}}),
      absent("gainmax", true, false, kNoGain),
      absent("gainmin", true, false, kNoGain),
      absent("gains", true, false, kNoGain),
      absent("offset", true, true, kNoOffset, {{"Offset", Kind::Int}}),
      absent("offsetmax", true, false, kNoOffset),
      absent("offsetmin", true, false, kNoOffset),
      absent("offsets", true, false, kNoOffset),
      absent("heatsinktemperature", true, false, "The control unit does not report a heat sink temperature."),
      absent("ispulseguiding", true, false, kNoGuidePort),
      absent("pulseguide", false, true, kNoGuidePort, {{"Direction", Kind::Int}, {"Duration", Kind::Int}}),
      absent("stopexposure", false, true, "The camera cannot stop an exposure early; abort it instead."),
      absent("subexposureduration", true, true, "The camera takes no sub-exposures.",
             {{"SubExposureDuration", Kind::Double}}),
  };
}

const std::vector<CameraDevice::Member>& CameraDevice::member_table() {
  static const std::vector<Member> table = [] {
    std::vector<Member> rows;
    for (std::vector<Member> (*group)() :
         {Rows::device_members, Rows::camera_members, Rows::exposure_members, Rows::absent_members})
      for (Member& member : group()) rows.push_back(std::move(member));
    return rows;
  }();
  return table;
}

std::vector<CameraDevice::MemberInfo> CameraDevice::members() {
  std::vector<MemberInfo> infos;
  for (const Member& m : member_table())
    infos.push_back({m.name, m.get, m.put, m.needs_connection, m.absent == nullptr});
  return infos;
}

}  // namespace stellacq::alpaca
