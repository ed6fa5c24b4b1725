// The driver's answers to a client's requests: the values refused before
// anything changes, the settings that wait for a disconnected camera, and
// binning and subframe as the unit takes them.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "indi/messages.h"
#include "indi/stellacq_ccd.h"
#include "sim/simulated_rig.h"

namespace stellacq::indi {

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

bool StellacqCcd::refuse_while_connected(const char* what) {
  if (!isConnected() && !connecting_) return false;
  LOGF_ERROR("%s", disconnect_first_text(what).c_str());
  return true;
}

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
      if (!set_point_in_range(wanted)) {
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

}  // namespace stellacq::indi
