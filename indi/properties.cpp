// The device's properties: the standard camera set and the driver's own
// defined, loaded from the saved configuration and saved to it, the chip's
// size, the snooped mount, and the simulation with its mount.
#include <indicom.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "camera/geometry.h"
#include "indi/messages.h"
#include "indi/stellacq_ccd.h"
#include "sim/simulated_rig.h"

namespace stellacq::indi {

namespace {

constexpr const char* kDriverTab = "Camera";

// The simulated heads image 1.5" (TX-22) and 3" (TX-11) a pixel, the same
// sky on both; with a focal length of about 1240 mm that is a pixel of 9 um
// and of 18 um. Without a data sheet these are the defaults; the user
// corrects them in PIXEL_SIZE.
constexpr double kDefaultPixelTx11Um = 18.0;
constexpr double kDefaultPixelTx22Um = 9.0;

int head_width(int head) { return frame_shape(head, 1).width; }
int head_height(int head) { return frame_shape(head, 1).height; }

}  // namespace

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
