#include "indi/stellacq_ccd.h"

#include <fitsio.h>
#include <indicom.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>

#include "camera/frame_finishing.h"
#include "camera/frame_request.h"
#include "camera/geometry.h"
#include "core/wire_log.h"
#include "indi/compressed_fits.h"
#include "sim/simulated_rig.h"

namespace stellacq::indi {

namespace {

constexpr const char* kDriverTab = "Camera";
constexpr double kTemperatureReachedC = 0.5;
constexpr auto kTemperatureStall = std::chrono::seconds(60);

// The simulated heads image 1.5" (TX-22) and 3" (TX-11) a pixel, the same
// sky on both; with a focal length of about 1240 mm that is a pixel of 9 um
// and of 18 um. Without a data sheet these are the defaults; the user
// corrects them in PIXEL_SIZE.
constexpr double kDefaultPixelTx11Um = 18.0;
constexpr double kDefaultPixelTx22Um = 9.0;

FrameType frame_type_of(INDI::CCDChip::CCD_FRAME frame) {
  switch (frame) {
    case INDI::CCDChip::BIAS_FRAME:
      return FrameType::Bias;
    case INDI::CCDChip::DARK_FRAME:
      return FrameType::Dark;
    case INDI::CCDChip::FLAT_FRAME:
      return FrameType::Flat;
    case INDI::CCDChip::LIGHT_FRAME:
      break;
  }
  return FrameType::Light;
}

// libindi cuts a message at 256 bytes wherever that falls, inside a
// character too, which a strict XML client takes as a broken stream. The
// driver's messages go out in pieces well below that, prefix and all.
constexpr std::size_t kMessageBytes = 200;
// Longest text taken from a client: a path, a name or a header value.
// libindi 1.9.9 fails when it echoes texts of some 100 kB.
constexpr std::size_t kLongestText = 4096;

// Bytes of the well-formed UTF-8 character at `i` that XML allows (tab and
// the printable ones), 0 when none starts there.
std::size_t character_bytes(const std::string& text, std::size_t i) {
  const auto at = [&](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  const unsigned c = at(i);
  if (c == '\t' || (c >= 0x20 && c < 0x80)) return 1;
  unsigned low = 0x80, high = 0xBF;
  std::size_t bytes = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    bytes = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    bytes = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    bytes = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at(i + 1) < low || at(i + 1) > high) return 0;
  for (std::size_t k = 2; k < bytes; ++k)
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  return bytes;
}

// A text as messages: one a line, a long line cut after the last sentence
// end, comma or blank that leaves a piece of at least half the size (else
// between two characters); bytes that are no character become '?'.
std::vector<std::string> message_pieces(const std::string& text) {
  std::vector<std::string> pieces;
  std::string line;
  const auto flush = [&] {
    while (!line.empty()) {
      if (line.size() <= kMessageBytes) {
        if (line.find_first_not_of(' ') != std::string::npos) pieces.push_back(line);
        line.clear();
        break;
      }
      std::size_t cut = 0;
      for (const std::string mark : {"。", "、", ". ", ", ", " "}) {
        const std::size_t at = line.rfind(mark, kMessageBytes - mark.size());
        if (at != std::string::npos && at + mark.size() >= kMessageBytes / 2) {
          cut = at + mark.size();
          break;
        }
      }
      if (cut == 0) {
        cut = kMessageBytes;
        while ((static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
      }
      const std::size_t last = line.find_last_not_of(' ', cut - 1);
      if (last != std::string::npos) pieces.push_back(line.substr(0, last + 1));
      const std::size_t next = line.find_first_not_of(' ', cut);
      line.erase(0, next == std::string::npos ? line.size() : next);
    }
  };
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == '\n') {
      flush();
      ++i;
    } else if (const std::size_t bytes = character_bytes(text, i); bytes > 0) {
      line.append(text, i, bytes);
      i += bytes;
    } else {
      if (text[i] != '\r') line += '?';
      ++i;
    }
  }
  flush();
  return pieces;
}

int head_width(int head) { return frame_shape(head, 1).width; }
int head_height(int head) { return frame_shape(head, 1).height; }

}  // namespace

// One exposure from its start on the main thread to its BLOB.
struct StellacqCcd::FrameJob {
  ExposureRequest request;
  FrameFinishing finishing;
  bool compress = false;  // send it as a tile-compressed ".fits.fz"
  // Main thread.
  bool aborted = false;         // the client aborted it
  bool downloading = false;     // the download had begun when it was aborted
  long long last_left_ms = -1;  // the countdown last shown
  bool download_told = false;
};

StellacqCcd::StellacqCcd() { setVersion(2, 4); }

// Runs when the server has gone (libindi exits on the end of its input).
// The session, destroyed after this, cancels a running frame before it
// joins its thread, so the process ends without finishing the exposure.
StellacqCcd::~StellacqCcd() {
  set_wire_sink(nullptr);  // the session's last exchanges log nothing more
  if (wake_callback_ >= 0) IERmCallback(wake_callback_);
}

bool StellacqCcd::initProperties() {
  INDI::CCD::initProperties();
  SetCCDCapability(CCD_CAN_ABORT | CCD_CAN_BIN | CCD_CAN_SUBFRAME | CCD_HAS_COOLER | CCD_HAS_SHUTTER);
  setDriverInterface(CCD_INTERFACE);
  addAuxControls();

  HeadSP[0].fill("TX11", "TX-11 (768 x 512)", ISS_OFF);
  HeadSP[1].fill("TX22", "TX-22 (1536 x 1024)", ISS_ON);
  HeadSP.fill(getDeviceName(), "HEAD_MODEL", "Camera head", kDriverTab, IP_RW, ISR_1OFMANY, 60, IPS_IDLE);

  UnitSP[0].fill("TU11", "TU-11", ISS_OFF);
  UnitSP[1].fill("TU22", "TU-22", ISS_ON);
  UnitSP.fill(getDeviceName(), "UNIT_MODEL", "Control unit", kDriverTab, IP_RW, ISR_1OFMANY, 60, IPS_IDLE);

  PortTP[0].fill("PORT", "Port", "/dev/parport0");
  PortTP.fill(getDeviceName(), "PARALLEL_PORT", "Parallel port", kDriverTab, IP_RW, 60, IPS_IDLE);

  PixelSizeNP[0].fill("TX11_UM", "TX-11 pixel (um)", "%.2f", 1, 40, 0.01, kDefaultPixelTx11Um);
  PixelSizeNP[1].fill("TX22_UM", "TX-22 pixel (um)", "%.2f", 1, 40, 0.01, kDefaultPixelTx22Um);
  PixelSizeNP.fill(getDeviceName(), "PIXEL_SIZE", "Pixel size", kDriverTab, IP_RW, 60, IPS_IDLE);

  SimAccessNP[0].fill("ACCESS_US", "Access (us), 1 = hardware", "%.2f", 0, 10, 0.1, 0);
  SimAccessNP.fill(getDeviceName(), "SIM_PORT_ACCESS", "Simulated port", kDriverTab, IP_RW, 60, IPS_IDLE);

  MountPortTP[0].fill("PORT", "Port", "");
  MountPortTP.fill(getDeviceName(), "SIM_MOUNT_PORT", "Simulated mount port", kDriverTab, IP_RO, 60,
                   IPS_IDLE);

  CoolerSP[0].fill("COOLER_ON", "On", ISS_OFF);
  CoolerSP[1].fill("COOLER_OFF", "Off", ISS_ON);
  CoolerSP.fill(getDeviceName(), "CCD_COOLER", "Cooler", MAIN_CONTROL_TAB, IP_RW, ISR_1OFMANY, 60, IPS_IDLE);

  addCaptureFormat({"INDI_MONO", "Mono", 16, true});
  set_temperature_range(kSetPointMinC, kSetPointMaxC);
  PrimaryCCD.setMinMaxStep("CCD_BINNING", "HOR_BIN", 1, 2, 1, false);
  PrimaryCCD.setMinMaxStep("CCD_BINNING", "VER_BIN", 1, 2, 1, false);
  // The unit exposes whole seconds, one at least.
  PrimaryCCD.setMinMaxStep("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", 1, 3600, 1, false);

  if (wake_.fd() >= 0)
    wake_callback_ = IEAddCallback(
        wake_.fd(), [](int, void* self) { static_cast<StellacqCcd*>(self)->on_wake(); }, this);
  setDefaultPollingPeriod(1000);
  return true;
}

// The wire log (every exchange with the control unit, with its time) at
// the DEBUG level while the client has the driver's Debug option on. The
// exchanges run on the port worker, and INDI's logger writes to the client
// unlocked: each line is stamped where it happens and handed to the main
// loop as a reply, which logs it there.
void StellacqCcd::debugTriggered(bool enable) {
  INDI::CCD::debugTriggered(enable);
  if (!enable) {
    set_wire_sink(nullptr);
    return;
  }
  set_wire_sink([this](const WireEntry& entry) {
    session_.reply([this, line = wire_line(entry)] { tell(INDI::Logger::DBG_DEBUG, line); });
  });
}

// Every message whose text is not the driver's own (a port's error, the
// unit's greeting, a long advice) goes out through here.
void StellacqCcd::tell(INDI::Logger::VerbosityLevel level, const std::string& text) {
  for (const std::string& piece : message_pieces(text)) DEBUGF(level, "%s", piece.c_str());
}

// A number is taken only when finite and, for an element with a range,
// within it; otherwise the property goes Alert showing the values it had.
bool StellacqCcd::refuse_bad_numbers(const char* name, const double values[], char* names[], int n) {
  INDI::PropertyNumber property = getNumber(name);
  if (!property.isValid()) return false;
  for (int i = 0; i < n; ++i) {
    const INDI::WidgetView<INumber>* element = property.findWidgetByName(names[i]);
    if (element == nullptr) continue;
    const double value = values[i], min = element->getMin(), max = element->getMax();
    if (std::isfinite(value) && (max <= min || (value >= min && value <= max))) continue;
    if (!std::isfinite(value))
      LOGF_ERROR("%s %s: %g is not a number; the value stays %g.", name, names[i], value,
                 element->getValue());
    else
      LOGF_ERROR("%s %s: %g lies outside %g to %g; the value stays %g.", name, names[i], value, min, max,
                 element->getValue());
    property.setState(IPS_ALERT);
    property.apply();
    return true;
  }
  return false;
}

// Texts are taken up to kLongestText bytes of characters that XML carries
// (a control character or a byte that is no UTF-8 would be echoed to every
// client and break a strict one's stream); another leaves the property
// Alert with the texts it had, never echoed. Also for a property not defined
// now: the base class keeps (and echoes) some of those.
bool StellacqCcd::refuse_bad_texts(const char* name, char* texts[], int n) {
  for (int i = 0; i < n; ++i) {
    const std::string text = texts[i] != nullptr ? texts[i] : "";
    std::string why;
    if (text.size() > kLongestText) {
      why = "a text of " + std::to_string(text.size()) + " bytes is refused; at most " +
            std::to_string(kLongestText) + " are taken.";
    } else {
      for (std::size_t at = 0; at < text.size() && why.empty();) {
        const std::size_t bytes = character_bytes(text, at);
        if (bytes == 0) why = "a text with a control character or a byte that is no UTF-8 is refused.";
        at += bytes;
      }
    }
    if (why.empty()) continue;
    INDI::PropertyText property = getText(name);
    if (!property.isValid()) {
      why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
      LOGF_ERROR("%s", why.c_str());
      return true;
    }
    LOGF_ERROR("%s: %s", name, why.c_str());
    property.setState(IPS_ALERT);
    property.apply();
    return true;
  }
  return false;
}

// A switch request naming a switch the property does not have is refused
// whole: libindi would turn every switch off and show Ok.
bool StellacqCcd::refuse_unknown_switches(const char* name, char* names[], int n) {
  INDI::PropertySwitch property = getSwitch(name);
  if (!property.isValid()) return false;
  for (int i = 0; i < n; ++i) {
    if (property.findWidgetByName(names[i]) != nullptr) continue;
    LOGF_ERROR("%s has no switch %s; it stays as it was.", name, names[i]);
    property.setState(IPS_ALERT);
    property.apply();
    return true;
  }
  return false;
}

// Whether taking the request would change any switch of `property`.
bool StellacqCcd::switches_change(const INDI::PropertySwitch& property, const ISState* states, char* names[],
                                  int n) {
  if (!property.isValid()) return true;
  // One of many: the switch turned on, the others off.
  for (int i = 0; i < n; ++i)
    if (states[i] == ISS_ON)
      for (const auto& element : property)
        if ((element.getState() == ISS_ON) != (strcmp(element.getName(), names[i]) == 0)) return true;
  for (int i = 0; i < n; ++i) {
    const auto* element = property.findWidgetByName(names[i]);
    if (element == nullptr || element->getState() != states[i]) return true;
  }
  return false;
}

// The driver's own properties are defined with the first getProperties;
// from then on they are the device's, and libindi defines them again for
// each later one, as it does its own.
void StellacqCcd::ISGetProperties(const char* dev) {
  INDI::CCD::ISGetProperties(dev);
  if (dev != nullptr && strcmp(dev, getDeviceName()) != 0) return;
  if (!own_defined_) {
    own_defined_ = true;
    defineProperty(HeadSP);
    defineProperty(UnitSP);
    defineProperty(PortTP);
    defineProperty(PixelSizeNP);
    defineProperty(SimAccessNP);
  }
  load_saved_settings();
}

void StellacqCcd::load_saved_settings() {
  // Once, when the properties are first defined: a later client's
  // getProperties must not replace what the first one changed, nor, while
  // connected, ask for changes the camera refuses.
  if (settings_loaded_ || isConnected()) return;
  settings_loaded_ = true;
  loadConfig(true, HeadSP.getName());
  loadConfig(true, UnitSP.getName());
  loadConfig(true, PortTP.getName());
  loadConfig(true, PixelSizeNP.getName());
  // The binning and the subframe, for the connection, which defines their
  // properties (libindi loads no property that is not defined).
  double value = 0;
  if (IUGetConfigNumber(getDeviceName(), "CCD_BINNING", "HOR_BIN", &value) == 0 && (value == 1 || value == 2))
    binning_ = static_cast<int>(value);
  const char* members[] = {"X", "Y", "WIDTH", "HEIGHT"};
  for (int i = 0; i < 4; ++i)
    if (IUGetConfigNumber(getDeviceName(), "CCD_FRAME", members[i], &value) == 0)
      subframe_[i] = static_cast<int>(std::clamp(std::round(value), 0.0, 100000.0));
}

bool StellacqCcd::updateProperties() {
  if (isConnected()) {
    // CCD_INFO is defined with the head's size; the base class's setters
    // would send it before it is defined.
    const RigOptions options = rig_options();
    const double pixel = PixelSizeNP[options.head_model == kHeadTx11 ? 0 : 1].getValue();
    const std::pair<const char*, double> values[] = {{"CCD_MAX_X", head_width(options.head_model)},
                                                     {"CCD_MAX_Y", head_height(options.head_model)},
                                                     {"CCD_PIXEL_SIZE", pixel},
                                                     {"CCD_PIXEL_SIZE_X", pixel},
                                                     {"CCD_PIXEL_SIZE_Y", pixel},
                                                     {"CCD_BITSPERPIXEL", 16}};
    for (const auto& [name, value] : values) set_ccd_info(name, value);
  }
  INDI::CCD::updateProperties();
  if (isConnected()) {
    defineProperty(CoolerSP);
    apply_sensor_size();
    PrimaryCCD.setBin(binning_, binning_);
    // The subframe last in use, or the one saved, when it lies on this head's chip.
    if (const auto& [x, y, w, h] = subframe_;
        w > 0 && h > 0 && x + w <= PrimaryCCD.getXRes() && y + h <= PrimaryCCD.getYRes())
      PrimaryCCD.setFrame(x, y, w, h);
  } else {
    deleteProperty(CoolerSP.getName());
    if (!site_) deleteProperty(MountPortTP.getName());  // the mount went with the connection
  }
  return true;
}

RigOptions StellacqCcd::rig_options() const {
  RigOptions options;
  options.port = PortTP[0].getText() ? PortTP[0].getText() : "";
  options.head_model = HeadSP[0].getState() == ISS_ON ? kHeadTx11 : kHeadTx22;
  options.unit_model = UnitSP[0].getState() == ISS_ON ? kUnitTu11 : kUnitTu22;
  return options;
}

// The port claimed for this process alone, or in simulation the simulated
// observatory with its mount on a pseudo-terminal.
HardwareOpener StellacqCcd::opener(const RigOptions& options) const {
  if (isSimulation() && site_) return sim::simulated_opener(site_, options, SimAccessNP[0].getValue());
  if (isSimulation()) return sim::simulated_opener(options, SimAccessNP[0].getValue());
  return parport_opener(options);
}

void StellacqCcd::apply_sensor_size() {
  // CCD_INFO and CCD_FRAME are defined while connected; connecting sets them.
  if (!isConnected()) return;
  const int head = rig_options().head_model;
  const double pixel = PixelSizeNP[head == kHeadTx11 ? 0 : 1].getValue();
  SetCCDParams(head_width(head), head_height(head), 16, pixel, pixel);
  PrimaryCCD.setFrame(0, 0, head_width(head), head_height(head));
}

bool StellacqCcd::refuse_while_connected(const char* what) {
  if (!isConnected() && !connecting_) return false;
  LOGF_ERROR("%s", disconnect_first_text(what).c_str());
  return true;
}

// ---------------------------------------------------------------------------
// Client requests

bool StellacqCcd::ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) {
  if (dev != nullptr && strcmp(dev, getDeviceName()) == 0) {
    if (strcmp(name, "CONNECTION") == 0 && handle_connection(states, names, n)) return true;
    if (refuse_unknown_switches(name, names, n)) return false;
    if (HeadSP.isNameMatch(name) || UnitSP.isNameMatch(name)) {
      INDI::PropertySwitch& property = HeadSP.isNameMatch(name) ? HeadSP : UnitSP;
      // A saved configuration loaded while connected asks for the same head
      // and unit again: taken, as nothing changes.
      if (!switches_change(property, states, names, n)) {
        property.setState(IPS_OK);
        property.apply();
        return true;
      }
      if (refuse_while_connected(HeadSP.isNameMatch(name) ? "camera head" : "control unit")) {
        property.setState(IPS_ALERT);
        property.apply();
        return false;
      }
      const bool taken = property.update(states, names, n);
      property.setState(taken ? IPS_OK : IPS_ALERT);
      property.apply();
      apply_sensor_size();
      return taken;
    }
    if (strcmp(name, "SIMULATION") == 0 && (isConnected() || connecting_) &&
        switches_change(getSwitch(name), states, names, n)) {
      LOG_ERROR(kDisconnectBeforeSimulation);
      INDI::PropertySwitch simulation = getSwitch(name);
      simulation.setState(IPS_ALERT);
      simulation.apply();
      return false;
    }
    if (CoolerSP.isNameMatch(name)) {
      if (!connected_) return false;
      CoolerSP.update(states, names, n);
      if (CoolerSP[0].getState() == ISS_ON) {
        start_cooling(set_point_c_);
      } else {
        cooling_ = false;
        cooling_state_ = IPS_IDLE;
        session_.cooling_off([this](const CameraStatus& status) {
          if (!connected_) return;
          CoolerSP.setState(status.ok() ? IPS_IDLE : IPS_ALERT);
          CoolerSP.apply();
          if (!status.ok()) LOGF_ERROR("Cooling off failed: %s", camera_error_text(status).c_str());
        });
        show_temperature(IPS_IDLE);
        CoolerSP.setState(IPS_BUSY);
        CoolerSP.apply();
      }
      return true;
    }
  }
  return INDI::CCD::ISNewSwitch(dev, name, states, names, n);
}

bool StellacqCcd::ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) {
  if (dev != nullptr && strcmp(dev, getDeviceName()) == 0 && refuse_bad_texts(name, texts, n)) return false;
  if (dev != nullptr && strcmp(dev, getDeviceName()) == 0 && PortTP.isNameMatch(name)) {
    bool same = true;
    for (int i = 0; i < n; ++i)
      if (const auto* element = PortTP.findWidgetByName(names[i]))
        same = same && texts[i] != nullptr && strcmp(element->getText(), texts[i]) == 0;
    if (!same && refuse_while_connected("parallel port")) {
      PortTP.setState(IPS_ALERT);
      PortTP.apply();
      return false;
    }
    const bool taken = PortTP.update(texts, names, n);
    PortTP.setState(taken ? IPS_OK : IPS_ALERT);
    PortTP.apply();
    return taken;
  }
  return INDI::CCD::ISNewText(dev, name, texts, names, n);
}

bool StellacqCcd::ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) {
  if (dev != nullptr && strcmp(dev, getDeviceName()) == 0) {
    if (strcmp(name, "CCD_EXPOSURE") == 0) raise_short_exposure(values, names, n);
    if (refuse_bad_numbers(name, values, names, n)) return false;
    // The frame is taken in whole pixels and shown as taken.
    if (strcmp(name, "CCD_FRAME") == 0) {
      for (int i = 0; i < n; ++i) values[i] = std::round(values[i]);
      // While disconnected (the configuration loading) it is kept for the
      // connection, which checks it against the chip.
      if (!isConnected()) {
        for (int i = 0; i < n; ++i) {
          const int value = static_cast<int>(std::clamp(values[i], 0.0, 100000.0));
          if (strcmp(names[i], "X") == 0) subframe_[0] = value;
          if (strcmp(names[i], "Y") == 0) subframe_[1] = value;
          if (strcmp(names[i], "WIDTH") == 0) subframe_[2] = value;
          if (strcmp(names[i], "HEIGHT") == 0) subframe_[3] = value;
        }
        return true;
      }
    }
    if (PixelSizeNP.isNameMatch(name)) {
      const bool taken = PixelSizeNP.update(values, names, n);
      PixelSizeNP.setState(taken ? IPS_OK : IPS_ALERT);
      PixelSizeNP.apply();
      apply_sensor_size();
      return taken;
    }
    if (SimAccessNP.isNameMatch(name)) {
      if (!SimAccessNP.update(values, names, n)) {
        SimAccessNP.setState(IPS_ALERT);
        SimAccessNP.apply();
        return false;
      }
      SimAccessNP.setState(IPS_OK);
      SimAccessNP.apply();
      const double us = SimAccessNP[0].getValue();
      if (connected_)
        session_.run([us](CameraHardware* hardware) {
          if (auto* rig = dynamic_cast<sim::SimulatedRig*>(hardware)) rig->set_access_us(us);
        });
      return true;
    }
    if (strcmp(name, "CCD_BINNING") == 0) {
      int hor = binning_, ver = binning_;
      for (int i = 0; i < n; ++i) {
        if (strcmp(names[i], "HOR_BIN") == 0) hor = static_cast<int>(std::lround(values[i]));
        if (strcmp(names[i], "VER_BIN") == 0) ver = static_cast<int>(std::lround(values[i]));
      }
      // While disconnected (the configuration loading) the binning is kept
      // for the connection, which defines CCD_BINNING.
      if (!isConnected()) {
        if (hor == ver && (hor == 1 || hor == 2)) binning_ = hor;
        return true;
      }
      INDI::PropertyNumber binning = getNumber("CCD_BINNING");
      if (!UpdateCCDBin(hor, ver)) {
        binning.setState(IPS_ALERT);
        binning.apply();
        return false;
      }
      binning.setState(IPS_OK);
      binning.apply();
      return true;
    }
    if (strcmp(name, "CCD_FAST_COUNT") == 0) {
      for (int i = 0; i < n; ++i)
        if (strcmp(names[i], "FRAMES") == 0 && (values[i] < 1 || values[i] != std::floor(values[i]))) {
          LOGF_ERROR("CCD_FAST_COUNT FRAMES: %g is not a whole number of frames from 1; the count stays %g.",
                     values[i], fast_exposure_count());
          show_fast_exposure_count(fast_exposure_count(), IPS_ALERT);
          return false;
        }
    }
    if (strcmp(name, "CCD_TEMPERATURE") == 0) {
      if (!connected_) {
        LOG_ERROR("Connect the camera before setting the temperature.");
        return false;
      }
      const double wanted = n > 0 ? values[0] : NAN;
      if (!std::isfinite(wanted) || wanted < kSetPointMinC || wanted > kSetPointMaxC) {
        LOGF_ERROR("%s", set_point_range_text().c_str());
        show_temperature(IPS_ALERT);
        return false;
      }
      start_cooling(wanted);
      return true;
    }
  }
  return INDI::CCD::ISNewNumber(dev, name, values, names, n);
}

bool StellacqCcd::UpdateCCDBin(int hor, int ver) {
  if (hor != ver || (hor != 1 && hor != 2)) {
    LOGF_ERROR("Binning %d x %d is not available: the camera bins 1 x 1 or 2 x 2.", hor, ver);
    return false;
  }
  binning_ = hor;
  PrimaryCCD.setBin(hor, ver);
  return true;
}

bool StellacqCcd::UpdateCCDFrame(int x, int y, int w, int h) {
  // The unit reads the whole chip; the frame is cut from the download.
  const int width = PrimaryCCD.getXRes(), height = PrimaryCCD.getYRes();
  if (x < 0 || y < 0 || w < 1 || h < 1 || x + w > width || y + h > height) {
    LOGF_ERROR("The frame (%d, %d, %d x %d) does not lie within the chip (%d x %d).", x, y, w, h, width,
               height);
    // The base class has put the request in the property: show the frame in use.
    PrimaryCCD.setFrame(PrimaryCCD.getSubX(), PrimaryCCD.getSubY(), PrimaryCCD.getSubW(),
                        PrimaryCCD.getSubH());
    return false;
  }
  PrimaryCCD.setFrame(x, y, w, h);
  subframe_ = {x, y, w, h};
  return true;
}

void StellacqCcd::raise_short_exposure(double values[], char* names[], int n) {
  // CCD_EXPOSURE's minimum is the unit's one second; a client that asks for
  // less still gets a frame, of one second, as the header says.
  for (int i = 0; i < n; ++i)
    if (strcmp(names[i], "CCD_EXPOSURE_VALUE") == 0 && values[i] >= 0 && values[i] < 1) {
      LOGF_INFO("The camera exposes whole seconds: taking 1 s for %.3g s.", values[i]);
      values[i] = 1;
    }
}

std::vector<std::string> StellacqCcd::indi_cards(double seconds) {
  // libindi's own keyword writer, on the main loop where everything it reads
  // lives (the snooped mount, SCOPE_INFO, FITS_HEADER, WCS_CONTROL, the
  // chip's frame, binning and pixel size); the cards go to the session with
  // the job.
  exposureDuration = seconds;
  std::snprintf(exposureStartTime, sizeof exposureStartTime, "%s", PrimaryCCD.getExposureStartTime());
  // A mount that is not on the sky (see ISSnoopDevice) gives no cards.
  if (!mount_on_sky_) {
    RA = Dec = J2000RA = J2000DE = NAN;
    J2000Valid = false;
  }
  // The frame's CCD-TEMP is the reading taken just before its exposure,
  // not the one CCD_TEMPERATURE shows now.
  std::vector<std::string> cards = standard_cards();
  // INDI 1.9 also writes its FITS_HEADER defaults, an OBSERVER and OBJECT of
  // 'Unknown', which INDI 2 leaves out: the frames are the same on both.
  std::erase_if(cards, [](const std::string& card) {
    return card.rfind("CCD-TEMP", 0) == 0 || card.rfind("OBSERVER= 'Unknown '", 0) == 0 ||
           card.rfind("OBJECT  = 'Unknown '", 0) == 0;
  });
  return cards;
}

// Whether the snooped mount's coordinates are a place on the sky. A mount
// that disconnects deletes them, and libindi's camera would go on writing
// the last ones it saw into every frame; one that sends a declination of
// 200 or a negative right ascension has them clamped into plausible ones.
// Either way the frames leave the mount out until it sends a place again.
bool StellacqCcd::ISSnoopDevice(XMLEle* root) {
  const char* device = findXMLAttValu(root, "device");
  const char* name = findXMLAttValu(root, "name");
  if ((strcmp(name, "EQUATORIAL_EOD_COORD") == 0 || strcmp(name, "EQUATORIAL_COORD") == 0) &&
      snooped_mount() == device) {
    bool on_sky = strcmp(tagXMLEle(root), "delProperty") != 0;
    for (XMLEle* element = nextXMLEle(root, 1); element != nullptr && on_sky; element = nextXMLEle(root, 0)) {
      const char* axis = findXMLAttValu(element, "name");
      double value = NAN;
      if (f_scansexa(pcdataXMLEle(element), &value) != 0 || !std::isfinite(value)) on_sky = false;
      if (strcmp(axis, "RA") == 0) on_sky = on_sky && value >= 0 && value < 24;
      if (strcmp(axis, "DEC") == 0) on_sky = on_sky && value >= -90 && value <= 90;
    }
    mount_on_sky_ = on_sky;
  }
  return CcdApi::ISSnoopDevice(root);
}

// The simulated observatory lives from Simulation on to Simulation off, its
// mount answering LX200 through a link of a fixed name (SIM_MOUNT_PORT) in
// the user's runtime folder: an LX200 driver's saved port stays good across
// the camera's connects and the driver's restarts, and a mount driver can
// connect before the camera does.
void StellacqCcd::simulationTriggered(bool enable) {
  CcdApi::simulationTriggered(enable);
  if (!enable) {
    site_.reset();
    deleteProperty(MountPortTP.getName());
    return;
  }
  if (site_) return;
  std::string error;
  const std::string link = mount_link_path(&error);
  if (!link.empty()) site_ = sim::start_simulated_site(link, &error);
  if (!site_) {
    tell(INDI::Logger::DBG_WARNING,
         "The simulated mount has no fixed port; it gets one at connecting. " + error);
    return;
  }
  MountPortTP[0].setText(link);
  defineProperty(MountPortTP);
  LOGF_INFO("%s", simulated_mount_text(link).c_str());
}

// $XDG_RUNTIME_DIR/stellacq (the user's own, emptied at logout), else
// /tmp/stellacq-UID made for the user alone; the link is named after the
// device. Empty with the reason in `error` when the folder is not the user's.
std::string StellacqCcd::mount_link_path(std::string* error) const {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::string dir = runtime != nullptr && runtime[0] == '/'
                              ? std::string(runtime) + "/stellacq"
                              : "/tmp/stellacq-" + std::to_string(getuid());
  ::mkdir(dir.c_str(), 0700);
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
      (st.st_mode & 0077) != 0) {
    *error = dir + " is not a folder of this user's alone.";
    return {};
  }
  std::string name = getDeviceName();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return dir + "/" + name + "-mount";
}

// ---------------------------------------------------------------------------
// Connection

// CONNECTION is answered here rather than by the base class, which would
// call Connect() and wait: the port is opened and the unit greeted on the
// session's thread (up to the reply time-out when nothing answers) while CONNECTION
// shows Busy and clients are answered. Disconnecting during that gives the
// attempt up. False leaves the request to the base class.
bool StellacqCcd::handle_connection(ISState* states, char* names[], int n) {
  bool connect = false, disconnect = false;
  for (int i = 0; i < n; ++i) {
    if (states[i] != ISS_ON) continue;
    connect = connect || strcmp(names[i], "CONNECT") == 0;
    disconnect = disconnect || strcmp(names[i], "DISCONNECT") == 0;
  }
  if (disconnect && connecting_) {
    connecting_ = false;
    ++connect_attempt_;
    session_.disconnect();
    setConnected(false, IPS_IDLE);
    return true;
  }
  if (!connect || connected_) return false;
  if (connecting_) {
    setConnected(true, IPS_BUSY);
    return true;
  }
  if (wake_callback_ < 0) {
    LOG_ERROR("The driver could not start its port thread.");
    setConnected(false, IPS_ALERT);
    return true;
  }
  const RigOptions options = rig_options();
  const int attempt = ++connect_attempt_;
  connecting_ = true;
  setConnected(true, IPS_BUSY);
  session_.connect(opener(options), [this, options, attempt](const ConnectOutcome& outcome) {
    if (connecting_ && attempt == connect_attempt_) finish_connect(options, outcome);
  });
  return true;
}

void StellacqCcd::finish_connect(const RigOptions& options, const ConnectOutcome& outcome) {
  connecting_ = false;
  if (!outcome.open.ok) {
    tell(INDI::Logger::DBG_ERROR,
         (outcome.open.held ? port_held_text(options.port) : port_unusable_text(options.port) + ".") + "\n" +
             outcome.open.message);
    setConnected(false, IPS_ALERT);
    return;
  }
  if (!outcome.open.message.empty()) tell(INDI::Logger::DBG_WARNING, outcome.open.message);
  if (!outcome.status.ok()) {
    tell(INDI::Logger::DBG_ERROR, connect_failed_text(outcome.status));
    setConnected(false, IPS_ALERT);
    return;
  }
  connected_ = true;
  if (const std::size_t start = outcome.greeting.find_first_not_of(' '); start != std::string::npos)
    tell(INDI::Logger::DBG_SESSION, "The control unit says: " + outcome.greeting.substr(start));
  if (!site_ && isSimulation() && !outcome.open.mount_device.empty()) {
    MountPortTP[0].setText(outcome.open.mount_device);
    defineProperty(MountPortTP);
  }
  if (isSimulation() && !outcome.open.mount_device.empty())
    LOGF_INFO("%s", simulated_mount_text(outcome.open.mount_device).c_str());
  // CCD_TEMPERATURE is defined with this first reading.
  if (outcome.temperature.status.ok()) {
    last_temperature_c_ = outcome.temperature.celsius;
    set_temperature(outcome.temperature.celsius);
  }
  setConnected(true, IPS_OK);
  updateProperties();
  watch_temperature();
  SetTimer(getCurrentPollingPeriod());
}

// Connecting goes through handle_connection; this answers only whether the
// camera is connected.
bool StellacqCcd::Connect() { return connected_; }

bool StellacqCcd::Disconnect() {
  AbortExposure();
  connected_ = false;
  cooling_ = false;
  cooling_state_ = IPS_IDLE;
  watch_interval_ = std::chrono::milliseconds(0);
  session_.watch_temperature(watch_interval_, {});
  session_.disconnect();
  return true;
}

// ---------------------------------------------------------------------------
// Temperature

void StellacqCcd::start_cooling(double set_point_c) {
  const int tenths = set_point_tenths(set_point_c);
  set_point_c_ = tenths / 10.0;
  cooling_ = true;
  cooling_state_ = IPS_BUSY;
  best_distance_c_ = last_temperature_c_ ? std::fabs(*last_temperature_c_ - set_point_c_) : 1e9;
  last_approach_ = std::chrono::steady_clock::now();
  show_temperature(IPS_BUSY);
  CoolerSP[0].setState(ISS_ON);
  CoolerSP[1].setState(ISS_OFF);
  CoolerSP.setState(IPS_BUSY);
  CoolerSP.apply();
  session_.cooling_on(tenths, [this](const CameraStatus& status) {
    if (!connected_) return;
    if (status.ok()) {
      CoolerSP.setState(IPS_OK);
    } else {
      LOGF_ERROR("Cooling on failed: %s", camera_error_text(status).c_str());
      CoolerSP.setState(IPS_ALERT);
      cooling_ = false;
      cooling_state_ = IPS_IDLE;
      show_temperature(IPS_ALERT);
    }
    CoolerSP.apply();
  });
}

int StellacqCcd::SetTemperature(double temperature) {
  if (!connected_) return -1;
  start_cooling(temperature);
  return 0;
}

void StellacqCcd::on_temperature(bool ok, double celsius, const std::string& error) {
  if (!ok) {
    LOGF_WARN("Reading the temperature failed: %s", error.c_str());
    show_temperature(IPS_ALERT);
    return;
  }
  last_temperature_c_ = celsius;
  set_temperature(celsius);
  // A refused set point or a failed reading shows Alert until this reading;
  // the cooling towards the set point in force goes on all the same.
  if (cooling_ && cooling_state_ == IPS_BUSY) {
    const double distance = std::fabs(celsius - set_point_c_);
    const auto now = std::chrono::steady_clock::now();
    if (distance <= kTemperatureReachedC) {
      cooling_state_ = IPS_OK;
    } else if (distance < best_distance_c_ - 0.1) {
      best_distance_c_ = distance;
      last_approach_ = now;
    } else if (now - last_approach_ > kTemperatureStall) {
      cooling_state_ = IPS_ALERT;
      LOGF_WARN("The CCD stays at %.1f C: the cooler does not reach the set point %.1f C.", celsius,
                set_point_c_);
    }
  }
  show_temperature(cooling_ ? cooling_state_ : IPS_IDLE);
}

// The session reads the temperature once a polling period while no other
// work waits. The unit answers nothing during an exposure or a download: the
// property keeps the last reading until the frame is in.
void StellacqCcd::watch_temperature() {
  const std::chrono::milliseconds interval(getCurrentPollingPeriod());
  if (interval == watch_interval_) return;
  watch_interval_ = interval;
  session_.watch_temperature(interval, [this](const TemperatureResult& reading) {
    if (connected_)
      on_temperature(reading.status.ok(), reading.celsius,
                     reading.status.ok() ? "" : camera_error_text(reading.status));
  });
}

void StellacqCcd::TimerHit() {
  if (!isConnected() || !connected_) return;
  watch_temperature();  // follows a changed polling period
  SetTimer(getCurrentPollingPeriod());
}

// ---------------------------------------------------------------------------
// Exposures

bool StellacqCcd::StartExposure(float duration) {
  if (!connected_) {
    LOG_ERROR("Connect the camera before exposing.");
    return false;
  }
  if (frame_) {
    LOG_ERROR("An exposure is running; abort it first.");
    return false;
  }
  auto job = std::make_shared<FrameJob>();
  const int seconds = exposure_seconds(duration);
  if (std::fabs(seconds - duration) > 1e-3)
    LOGF_INFO("The camera exposes whole seconds: taking %d s for %.3g s.", seconds, duration);
  const FrameType type = frame_type_of(PrimaryCCD.getFrameType());
  const RigOptions options = rig_options();
  job->request.kind = type == FrameType::Dark || type == FrameType::Bias ? FrameKind::Dark : FrameKind::Light;
  job->request.seconds = seconds;
  job->request.binning = binning_;
  FrameFinishing& finishing = job->finishing;
  finishing.extras.type = type;
  finishing.extras.pixel_um = PixelSizeNP[options.head_model == kHeadTx11 ? 0 : 1].getValue();
  finishing.send_bytes = upload_mode(UPLOAD_CLIENT) || upload_mode(UPLOAD_BOTH);
  if (upload_mode(UPLOAD_LOCAL) || upload_mode(UPLOAD_BOTH)) finishing.copy_path = local_file_name();

  PrimaryCCD.setExposureDuration(seconds);
  ExposureTime = seconds;
  finishing.extras.extra_cards = indi_cards(seconds);
  job->compress = PrimaryCCD.isCompressed();
  // The unit reads the whole chip; the part asked for is cut from the download.
  const FrameShape chip = frame_shape(options.head_model, binning_);
  finishing.part = binned_subframe(PrimaryCCD.getSubX(), PrimaryCCD.getSubY(), PrimaryCCD.getSubW(),
                                   PrimaryCCD.getSubH(), binning_, chip.width, chip.height);
  InExposure = true;
  frame_ = job;
  // The unit cannot answer during an exposure or a download, and back to
  // back frames leave the session no idle interval for its readings: the
  // temperature is read just before each exposure, for CCD_TEMPERATURE and
  // the frame's CCD-TEMP (the session's last reading). After an abort the
  // session runs both once the aborted frame has ended (the unit made ready).
  session_.read_temperature([this](const TemperatureResult& reading) {
    if (connected_)
      on_temperature(reading.status.ok(), reading.celsius,
                     reading.status.ok() ? "" : camera_error_text(reading.status));
  });
  if (!launch_frame(job)) {
    frame_.reset();
    InExposure = false;
    LOG_ERROR("The driver's port thread is not running.");
    return false;
  }
  return true;
}

bool StellacqCcd::launch_frame(const std::shared_ptr<FrameJob>& job) {
  FitsWriting fits = frame_fits_writing();
  if (job->compress)
    fits.bytes = [](const Frame& frame, const FrameExtras& extras, std::vector<std::uint8_t>& bytes) {
      std::vector<std::uint8_t> plain;
      if (std::string error = frame_file_bytes(frame, extras, plain); !error.empty()) return error;
      return compress_fits(plain, bytes);
    };
  FinishedFrameCallbacks callbacks;
  callbacks.progress = [this, job](const CameraProgress& progress) { show_progress(*job, progress); };
  callbacks.done = [this, job](const FrameOutcome& outcome, FinishedFiles& files) {
    finish_frame(job, outcome, files);
  };
  return start_finished_frame(session_, job->request, job->finishing, fits, std::move(callbacks));
}

void StellacqCcd::show_progress(FrameJob& job, const CameraProgress& progress) {
  if (frame_.get() != &job || job.aborted) return;
  if (progress.phase == CameraProgress::Phase::Exposure) {
    const long long left_ms = std::max(0LL, progress.total - progress.done);
    if (job.last_left_ms >= 0 && job.last_left_ms - left_ms < 500) return;
    job.last_left_ms = left_ms;
    PrimaryCCD.setExposureLeft(left_ms / 1000.0);
  } else if (!job.download_told) {
    job.download_told = true;
    PrimaryCCD.setExposureLeft(0);
    LOG_DEBUG("Downloading the frame.");
  }
}

bool StellacqCcd::AbortExposure() {
  if (frame_) {
    frame_->aborted = true;
    const std::optional<CameraProgress> progress = session_.progress();
    frame_->downloading = progress && progress->phase == CameraProgress::Phase::Download;
    session_.abort();
    frame_.reset();
  }
  InExposure = false;
  return true;
}

void StellacqCcd::finish_frame(const std::shared_ptr<FrameJob>& job, const FrameOutcome& outcome,
                               FinishedFiles& files) {
  const CameraStatus& status = outcome.result.status;
  if (job->aborted) {
    if (status.ok())
      LOG_INFO("Exposure aborted after the download; the frame is dropped.");
    else if (job->downloading)
      LOG_INFO("Exposure aborted during the download.");
    else
      LOG_INFO("Exposure aborted.");
    return;
  }
  if (frame_ == job) frame_.reset();
  InExposure = false;
  if (!status.ok()) {
    LOGF_ERROR("The frame failed: %s", camera_error_text(status).c_str());
    PrimaryCCD.setExposureFailed();
    return;
  }
  if (!files.error.empty()) {
    tell(INDI::Logger::DBG_ERROR, "The frame could not be stored: " + files.error);
    PrimaryCCD.setExposureFailed();
    return;
  }
  const std::string& local_path = job->finishing.copy_path;
  if (!local_path.empty()) {
    show_file_name(local_path);
    tell(INDI::Logger::DBG_SESSION, "Frame saved to " + local_path);
  }
  if (job->finishing.send_bytes) {
    std::vector<std::uint8_t>& bytes = files.bytes;  // lent to the property while it is sent
    INDI::PropertyBlob blob = getBLOB("CCD1");
    blob[0].setBlob(bytes.data());
    blob[0].setBlobLen(static_cast<int>(bytes.size()));
    blob[0].setSize(static_cast<int>(bytes.size()));
    blob[0].setFormat(job->compress ? ".fits.fz" : ".fits");
    blob.setState(IPS_OK);
    blob.apply();
    blob[0].setBlob(nullptr);
    blob[0].setBlobLen(0);
  }
  PrimaryCCD.setExposureComplete();
  continue_fast_exposure(job->request.seconds);
}

// Fast exposure: CCD_FAST_COUNT frames back to back from one CCD_EXPOSURE,
// the count going down as each next one starts, as in libindi's cameras.
void StellacqCcd::continue_fast_exposure(int seconds) {
  if (!fast_exposure_on()) return;
  const double left = fast_exposure_count();
  if (left <= 1) {
    show_fast_exposure_count(left, IPS_IDLE);
    return;
  }
  show_fast_exposure_count(left - 1, IPS_BUSY);
  if (!StartExposure(static_cast<float>(seconds))) {
    show_fast_exposure_count(1, IPS_ALERT);
    return;
  }
  PrimaryCCD.setExposureLeft(seconds);
}

// The next free name in the upload directory: the prefix with ISO8601
// replaced by the local time and XXX by the first unused number from 001. A
// prefix without XXX gets "_001" and so on once its plain name is taken: an
// earlier frame is never overwritten. No prefix is the default, IMAGE_XXX.
std::string StellacqCcd::local_file_name() const {
  std::string dir = upload_setting(UPLOAD_DIR);
  if (dir.empty()) dir = ".";
  std::string prefix = upload_setting(UPLOAD_PREFIX);
  if (prefix.empty()) prefix = "IMAGE_XXX";
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H-%M-%S", &local);
  prefix = std::regex_replace(prefix, std::regex("ISO8601"), stamp);
  const bool numbered = prefix.find("XXX") != std::string::npos;
  if (!numbered && !std::filesystem::exists(dir + "/" + prefix + ".fits"))
    return dir + "/" + prefix + ".fits";
  for (int index = 1;; ++index) {
    char number[16];
    std::snprintf(number, sizeof number, "%03d", index);
    const std::string name =
        dir + "/" +
        (numbered ? std::regex_replace(prefix, std::regex("XXX"), number) : prefix + "_" + number) + ".fits";
    if (!std::filesystem::exists(name)) return name;
  }
}

// ---------------------------------------------------------------------------

void StellacqCcd::on_wake() {
  wake_.clear();
  session_.run_replies();
}

bool StellacqCcd::saveConfigItems(FILE* fp) {
  INDI::CCD::saveConfigItems(fp);
  HeadSP.save(fp);
  UnitSP.save(fp);
  PortTP.save(fp);
  PixelSizeNP.save(fp);
  // The binning and the subframe, kept also while disconnected, when their
  // properties are not defined.
  INumber bins[2];
  IUFillNumber(&bins[0], "HOR_BIN", "X", "%2.0f", 1, 2, 1, binning_);
  IUFillNumber(&bins[1], "VER_BIN", "Y", "%2.0f", 1, 2, 1, binning_);
  INumberVectorProperty binning;
  IUFillNumberVector(&binning, bins, 2, getDeviceName(), "CCD_BINNING", "Binning", IMAGE_SETTINGS_TAB, IP_RW,
                     60, IPS_IDLE);
  IUSaveConfigNumber(fp, &binning);
  INumber frame[4];
  const char* members[] = {"X", "Y", "WIDTH", "HEIGHT"};
  for (int i = 0; i < 4; ++i)
    IUFillNumber(&frame[i], members[i], members[i], "%.f", 0, 100000, 1, subframe_[i]);
  INumberVectorProperty subframe;
  IUFillNumberVector(&subframe, frame, 4, getDeviceName(), "CCD_FRAME", "Frame", IMAGE_SETTINGS_TAB, IP_RW,
                     60, IPS_IDLE);
  IUSaveConfigNumber(fp, &subframe);
  return true;
}

}  // namespace stellacq::indi
