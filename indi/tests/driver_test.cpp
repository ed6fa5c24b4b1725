// indi_stellacq_ccd under a real indiserver, seen by an INDI client: the
// simulated observatory behind the driver, frames as BLOBs read back with
// cfitsio, aborts, cooling, refusals, the configuration kept, and a port
// held by another program (a preloaded fake ppdev, since the test machine
// has no parallel port); and what a hostile client sends.
#include <expat.h>
#include <fitsio.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <thread>

#include "indi/tests/indi_session.h"

namespace stellacq::indi::testing {
namespace {

using namespace std::chrono_literals;

struct Fits {
  bool ok = false;
  int bitpix = 0;
  long width = 0, height = 0;
  double exptime = -1;
  long xbinning = 0;
  long origin_x = -1, origin_y = -1;  // XORGSUBF, YORGSUBF
  double ccd_temp = NAN;
  std::string frame;
  std::map<std::string, std::string> cards;  // keyword: value as written
  std::vector<unsigned short> pixels;

  // Pixels that stand well above the sky: stars, or a dark frame's few hot pixels.
  long stars() const {
    std::vector<unsigned short> sorted = pixels;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    const int threshold = sorted[sorted.size() / 2] + 3000;
    return std::count_if(pixels.begin(), pixels.end(), [&](unsigned short v) { return v > threshold; });
  }
};

// Reads the BLOB as an outside FITS reader does (a compressed one from its
// image extension).
Fits read_fits(const std::vector<unsigned char>& bytes, const std::string& scratch) {
  Fits f;
  const std::string path = scratch + "/blob.fits";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  fitsfile* file = nullptr;
  int status = 0;
  if (fits_open_image(&file, path.c_str(), READONLY, &status)) return f;
  int origin_status = 0;
  fits_read_key(file, TLONG, "XORGSUBF", &f.origin_x, nullptr, &origin_status);
  fits_read_key(file, TLONG, "YORGSUBF", &f.origin_y, nullptr, &origin_status);
  origin_status = 0;
  fits_read_key(file, TDOUBLE, "CCD-TEMP", &f.ccd_temp, nullptr, &origin_status);
  long axes[2] = {0, 0};
  int naxis = 0;
  char frame[FLEN_VALUE] = "";
  fits_get_img_param(file, 2, &f.bitpix, &naxis, axes, &status);
  fits_read_key(file, TDOUBLE, "EXPTIME", &f.exptime, nullptr, &status);
  fits_read_key(file, TLONG, "XBINNING", &f.xbinning, nullptr, &status);
  fits_read_key(file, TSTRING, "FRAME", frame, nullptr, &status);
  int count = 0;
  fits_get_hdrspace(file, &count, nullptr, &status);
  for (int i = 1; i <= count && status == 0; ++i) {
    char key[FLEN_KEYWORD] = "", value[FLEN_VALUE] = "";
    if (fits_read_keyn(file, i, key, value, nullptr, &status) == 0) f.cards[key] = value;
  }
  f.width = axes[0];
  f.height = axes[1];
  f.frame = frame;
  f.pixels.resize(static_cast<std::size_t>(f.width * f.height));
  int any_null = 0;
  fits_read_img(file, TUSHORT, 1, static_cast<LONGLONG>(f.pixels.size()), nullptr, f.pixels.data(), &any_null,
                &status);
  fits_close_file(file, &status);
  f.ok = status == 0 && naxis == 2;
  return f;
}

// Runs a shell command: its exit status and what it printed.
std::pair<int, std::string> run(const std::string& command) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, ""};
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}
// A bare connection to the server that reads the whole stream with expat,
// as a strict XML client does, and keeps the messages it carries.
class StrictXmlClient {
 public:
  explicit StrictXmlClient(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return;
    const std::string ask = "<getProperties version='1.7'/>\n";
    if (write(fd_, ask.data(), ask.size()) != static_cast<ssize_t>(ask.size())) return;
    parser_ = XML_ParserCreate("UTF-8");
    XML_SetUserData(parser_, this);
    XML_SetStartElementHandler(parser_, [](void* self, const XML_Char* name, const XML_Char** attributes) {
      const std::string tag = name;
      const bool definition = tag.rfind("def", 0) == 0 && tag.ends_with("Vector");
      if (tag != "message" && !definition) return;
      for (int i = 0; attributes[i] != nullptr; i += 2) {
        const std::string attribute = attributes[i];
        if (tag == "message" && attribute == "message")
          static_cast<StrictXmlClient*>(self)->messages.push_back(attributes[i + 1]);
        if (definition && attribute == "name")
          ++static_cast<StrictXmlClient*>(self)->defined[attributes[i + 1]];
      }
    });
    // The stream is a sequence of elements: one root around it all.
    parsed_ = XML_Parse(parser_, "<stream>", 8, 0) == XML_STATUS_OK;
  }
  ~StrictXmlClient() {
    if (parser_ != nullptr) XML_ParserFree(parser_);
    if (fd_ >= 0) close(fd_);
  }
  // Reads what has come until the stream is quiet for `quiet`; false once
  // the parser has refused a byte.
  bool read(std::chrono::milliseconds quiet) {
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      if (!parsed_ || poll(&p, 1, static_cast<int>(quiet.count())) <= 0) return parsed_;
      char buffer[65536];
      const ssize_t got = ::read(fd_, buffer, sizeof buffer);
      if (got <= 0) return parsed_;
      if (XML_Parse(parser_, buffer, static_cast<int>(got), 0) != XML_STATUS_OK) {
        error = XML_ErrorString(XML_GetErrorCode(parser_));
        parsed_ = false;
      }
    }
  }
  bool said(const std::string& text) const {
    return std::any_of(messages.begin(), messages.end(),
                       [&](const std::string& m) { return m.find(text) != std::string::npos; });
  }

  std::vector<std::string> messages;
  std::map<std::string, int> defined;  // definitions seen, by property
  std::string error;

 private:
  int fd_ = -1;
  XML_Parser parser_ = nullptr;
  bool parsed_ = false;
};

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/stellacq-indi-home-XXXXXX";
    home_ = mkdtemp(pattern);
  }
  void TearDown() override {
    client_.reset();
    server_.reset();
    std::filesystem::remove_all(home_);
  }

  void start_server(std::map<std::string, std::string> environment = {},
                    std::vector<std::string> more_drivers = {}) {
    client_.reset();
    server_.reset();
    environment.emplace("XDG_RUNTIME_DIR", home_);  // where the simulated mount's link goes
    server_ =
        std::make_unique<IndiServer>(ServerOptions{home_, std::move(environment), std::move(more_drivers)});
    ASSERT_TRUE(server_->running());
    client_ = std::make_unique<Client>();
    ASSERT_TRUE(client_->start(server_->port()));
    // Waits for both; the assertions name the one that did not come.
    client_->wait([](Client& c) { return c.has("PARALLEL_PORT") && c.has("SIMULATION"); }, 10s);
    ASSERT_TRUE(client_->has("PARALLEL_PORT"));
    ASSERT_TRUE(client_->has("SIMULATION"));
  }

  void connect_simulation() {
    choose("SIMULATION", "ENABLE");
    client_->set_switch("CONNECTION", "CONNECT");
    ASSERT_TRUE(client_->wait_state("CONNECTION", IPS_OK, 15s));
    client_->wait([](Client& c) { return c.has("CCD_BINNING") && c.has("CCD1"); }, 5s);
    ASSERT_TRUE(client_->has("CCD_BINNING"));
    ASSERT_TRUE(client_->has("CCD1"));
  }

  void set_binning(int bin) { set_numbers("CCD_BINNING", {{"HOR_BIN", bin}, {"VER_BIN", bin}}); }

  // Sets the numbers and waits until the property shows them, Ok.
  void set_numbers(const std::string& property, const std::map<std::string, double>& values) {
    client_->set_number(property, values);
    // The assertions look at the copy the wait saw last.
    PropertyCopy p;
    client_->wait(
        [&](Client& c) {
          p = c.property(property);
          return p.state == IPS_OK && std::all_of(values.begin(), values.end(), [&](const auto& v) {
                   return p.numbers[v.first] == v.second;
                 });
        },
        5s);
    ASSERT_EQ(p.state, IPS_OK) << property;
    for (const auto& [element, value] : values)
      ASSERT_EQ(p.numbers[element], value) << property << "." << element;
  }
  // Switches the element on and waits until the property shows it.
  void choose(const std::string& property, const std::string& element) {
    client_->set_switch(property, element);
    ASSERT_TRUE(client_->wait([&](Client& c) { return c.property(property).switches[element]; }, 5s));
  }
  // Sets the text and waits until the property shows it.
  void set_text(const std::string& property, const std::string& element, const std::string& text) {
    client_->set_text(property, element, text);
    ASSERT_TRUE(client_->wait([&](Client& c) { return c.property(property).texts[element] == text; }, 5s));
  }
  // Does `act`, then waits for a message containing `text` said after it.
  bool says(const std::string& text, const std::function<void()>& act, std::chrono::milliseconds limit = 5s) {
    const std::size_t said = client_->messages().size();
    act();
    return client_->wait([&](Client& c) { return c.said(text, said); }, limit);
  }
  // Waits until the exposure is busy with at most `left` seconds to go.
  bool exposing_with_at_most(double left) {
    return client_->wait(
        [left](Client& c) {
          PropertyCopy e = c.property("CCD_EXPOSURE");
          return e.state == IPS_BUSY && e.numbers["CCD_EXPOSURE_VALUE"] <= left;
        },
        10s);
  }

  // Starts an exposure and returns the number of BLOBs before it.
  std::size_t expose(double seconds) {
    const std::size_t before = client_->blobs().size();
    client_->set_number("CCD_EXPOSURE", {{"CCD_EXPOSURE_VALUE", seconds}});
    return before;
  }

  // The next frame after `before` BLOBs, read back; fails the test without one.
  Fits next_frame(std::size_t before, const std::string& format = ".fits") {
    if (!client_->wait([before](Client& c) { return c.blobs().size() > before; }, 30s)) {
      ADD_FAILURE() << "no frame arrived";
      return {};
    }
    const BlobCopy blob = client_->blobs()[before];
    EXPECT_EQ(blob.format, format);
    EXPECT_TRUE(client_->wait_state("CCD_EXPOSURE", IPS_OK, 5s));
    return read_fits(blob.bytes, home_);
  }

  std::string home_;
  std::unique_ptr<IndiServer> server_;
  std::unique_ptr<Client> client_;
};

// Light and dark frames at 2 x 2 through the simulated observatory; a
// fractional time is taken as the nearest whole second and the header says so;
// binning the camera cannot do is refused and changes nothing.
TEST_F(DriverTest, FramesArriveAsFitsBlobsWithWhatWasTaken) {
  start_server();
  connect_simulation();
  PropertyCopy info = client_->property("CCD_INFO");
  EXPECT_EQ(
      std::tuple(info.numbers["CCD_MAX_X"], info.numbers["CCD_MAX_Y"], info.numbers["CCD_BITSPERPIXEL"]),
      std::tuple(1536, 1024, 16));

  EXPECT_TRUE(says("1 x 2 is not available", [&] {
    client_->set_number("CCD_BINNING", {{"HOR_BIN", 1}, {"VER_BIN", 2}});
  }));
  EXPECT_TRUE(client_->wait_state("CCD_BINNING", IPS_ALERT, 5s));
  set_binning(2);

  Fits light = next_frame(expose(1.4));
  ASSERT_TRUE(light.ok);
  EXPECT_EQ(std::tie(light.bitpix, light.width, light.height, light.exptime, light.xbinning, light.frame),
            std::tuple(16, 768L, 512L, 1.0, 2L, "Light"));
  EXPECT_GT(light.stars(), 40);  // a flat or empty frame has none

  choose("CCD_FRAME_TYPE", "FRAME_DARK");
  Fits dark = next_frame(expose(1));
  ASSERT_TRUE(dark.ok);
  EXPECT_EQ(std::tie(dark.frame, dark.width), std::tuple("Dark", 768L));
  // The shutter stays closed: at most the few hot pixels stand out.
  EXPECT_LT(dark.stars(), 20);
}

// An abort ends the exposure, and one during the download ends that; no frame
// arrives for either, and the next exposure brings one (that it is whole is
// the camera session's to show).
TEST_F(DriverTest, AbortDuringExposureAndDownloadThenAGoodFrame) {
  start_server();
  connect_simulation();
  set_binning(1);

  const auto abort = [this] { client_->set_switch("CCD_ABORT_EXPOSURE", "ABORT"); };
  expose(5);
  ASSERT_TRUE(exposing_with_at_most(4.4));
  EXPECT_TRUE(says("Exposure aborted", abort, 3s));
  EXPECT_EQ(client_->property("CCD_EXPOSURE").state, IPS_IDLE);

  // The download starts when the countdown shows 0 while the exposure is
  // busy; a port as slow as a real one makes it last about 2.4 s at 2 x 2.
  set_numbers("SIM_PORT_ACCESS", {{"ACCESS_US", 1}});
  set_binning(2);
  const std::size_t before = expose(1);
  ASSERT_TRUE(exposing_with_at_most(0));
  EXPECT_TRUE(says("aborted during the download", abort, 3s));
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(client_->blobs().size(), before);

  client_->set_number("SIM_PORT_ACCESS", {{"ACCESS_US", 0}});
  EXPECT_TRUE(next_frame(expose(1)).ok);
}

// A set point starts the cooler; the readings fall towards it. A set point
// refused on the way shows Alert but leaves the one in force, and reaching
// that shows Ok.
TEST_F(DriverTest, CoolingOnTheTemperatureFalls) {
  start_server();
  connect_simulation();
  ASSERT_TRUE(client_->wait([](Client& c) { return c.property("CCD_TEMPERATURE").updates > 0; }, 5s));
  const double start = client_->property("CCD_TEMPERATURE").numbers["CCD_TEMPERATURE_VALUE"];
  client_->set_number("CCD_TEMPERATURE", {{"CCD_TEMPERATURE_VALUE", start - 3}});
  EXPECT_TRUE(client_->wait_state("CCD_TEMPERATURE", IPS_BUSY, 5s));
  EXPECT_TRUE(client_->wait([](Client& c) { return c.property("CCD_COOLER").switches["COOLER_ON"]; }, 5s));
  EXPECT_TRUE(client_->wait(
      [start](Client& c) {
        return c.property("CCD_TEMPERATURE").numbers["CCD_TEMPERATURE_VALUE"] < start - 1.0;
      },
      15s));
  client_->set_number("CCD_TEMPERATURE", {{"CCD_TEMPERATURE_VALUE", -90}});
  EXPECT_TRUE(client_->wait_state("CCD_TEMPERATURE", IPS_ALERT, 5s));
  EXPECT_TRUE(client_->wait_state("CCD_TEMPERATURE", IPS_OK, 15s));
  EXPECT_NEAR(client_->property("CCD_TEMPERATURE").numbers["CCD_TEMPERATURE_VALUE"], start - 3, 0.5);
}

// Head and port survive a restart of the driver through its configuration,
// and so do the binning and the subframe, in force once connected.
TEST_F(DriverTest, SavedSettingsSurviveARestart) {
  start_server();
  client_->set_switch("HEAD_MODEL", "TX11");
  set_text("PARALLEL_PORT", "PORT", "/dev/parport3");
  connect_simulation();
  set_binning(2);
  set_numbers("CCD_FRAME", {{"X", 100}, {"Y", 50}, {"WIDTH", 300}, {"HEIGHT", 200}});
  client_->set_switch("CONFIG_PROCESS", "CONFIG_SAVE");
  ASSERT_TRUE(client_->wait_state("CONFIG_PROCESS", IPS_OK, 5s));

  start_server();
  bool tx11 = false;
  std::string port;
  client_->wait(
      [&](Client& c) {
        tx11 = c.property("HEAD_MODEL").switches["TX11"];
        port = c.property("PARALLEL_PORT").texts["PORT"];
        return tx11 && port == "/dev/parport3";
      },
      5s);
  EXPECT_TRUE(tx11);
  EXPECT_EQ(port, "/dev/parport3");
  connect_simulation();
  const Fits part = next_frame(expose(1));
  EXPECT_EQ(std::tie(part.xbinning, part.width, part.height, part.origin_x, part.origin_y),
            std::tuple(2L, 150L, 100L, 50L, 25L));
}

// With the configuration saved, a client that joins the connected camera gets
// its properties and no refusals (nothing saved is loaded again while
// connected). CCD_EXPOSURE offers what the unit takes, whole seconds from
// one; a shorter request still gives a frame of one second.
TEST_F(DriverTest, ClientsJoiningAConnectedCamera) {
  start_server();
  client_->set_switch("CONFIG_PROCESS", "CONFIG_SAVE");
  ASSERT_TRUE(client_->wait_state("CONFIG_PROCESS", IPS_OK, 5s));
  connect_simulation();
  Client second;
  ASSERT_TRUE(second.start(server_->port()));
  second.wait([](Client& c) { return c.has("PIXEL_SIZE") && c.has("CCD_EXPOSURE"); }, 10s);
  ASSERT_TRUE(second.has("PIXEL_SIZE"));
  ASSERT_TRUE(second.has("CCD_EXPOSURE"));
  // Whatever the join made the driver say has arrived before this frame.
  const Fits frame = next_frame(expose(0.5));
  EXPECT_EQ(frame.exptime, 1.0);
  EXPECT_FALSE(client_->said("Disconnect the camera"));
  PropertyCopy exposure = second.property("CCD_EXPOSURE");
  EXPECT_EQ(std::tuple(exposure.minimum["CCD_EXPOSURE_VALUE"], exposure.step["CCD_EXPOSURE_VALUE"]),
            std::tuple(1, 1));
}

// A subframe, given in unbinned chip pixels as Ekos sends it, comes as that
// part of the binned frame alone, its size and cards saying where it lies
// (which pixels it holds is FrameRequest's cut); one that
// reaches past the chip is refused and the frame in use stays. With
// compression on, the frame comes as fpack's ".fits.fz": fewer bytes, the
// same image.
TEST_F(DriverTest, SubframesAndCompressedFrames) {
  start_server();
  connect_simulation();
  set_binning(2);
  // 200 x 160 chip pixels from (300, 120): 100 x 80 of the 768 x 512 frame from (150, 60).
  set_numbers("CCD_FRAME", {{"X", 300}, {"Y", 120}, {"WIDTH", 200}, {"HEIGHT", 160}});
  const Fits part = next_frame(expose(1));
  ASSERT_TRUE(part.ok);
  EXPECT_EQ(std::tie(part.width, part.height, part.origin_x, part.origin_y),
            std::tuple(100L, 80L, 150L, 60L));

  EXPECT_TRUE(says("does not lie within the chip", [&] {
    client_->set_number("CCD_FRAME", {{"X", 1500}, {"Y", 0}, {"WIDTH", 100}, {"HEIGHT", 100}});
  }));
  EXPECT_TRUE(client_->wait_state("CCD_FRAME", IPS_ALERT, 5s));
  EXPECT_EQ(client_->property("CCD_FRAME").numbers["X"], 300);

  set_numbers("CCD_FRAME", {{"X", 0}, {"Y", 0}, {"WIDTH", 1536}, {"HEIGHT", 1024}});
  choose("CCD_COMPRESSION", "INDI_ENABLED");
  const std::size_t before = expose(1);
  const Fits packed = next_frame(before, ".fits.fz");
  ASSERT_TRUE(packed.ok);
  EXPECT_EQ(std::tie(packed.width, packed.height), std::tuple(768L, 512L));
  EXPECT_GT(packed.stars(), 40);
  EXPECT_LT(client_->blobs()[before].bytes.size(), 768 * 512 * 2 * 8 / 10);
  EXPECT_EQ(run("/usr/bin/fitsverify -q " + home_ + "/blob.fits").first, 0);
}

// The header carries what libindi's camera writes from INDI's standard
// inputs -- the snooped mount's name, the object typed in, the pixel scale
// from our pixel size -- beside the camera's own cards, each keyword once,
// and fitsverify finds nothing wrong. (The cards' values are libindi's own;
// the camera's cards are FrameCards'.)
TEST_F(DriverTest, HeaderCarriesIndisStandardInputs) {
  start_server({}, {"indi_simulator_telescope"});
  const std::string setprop = "indi_setprop -t 5 -p " + std::to_string(server_->port()) + " ";
  ASSERT_EQ(run(setprop + "'Telescope Simulator.CONNECTION.CONNECT=On'").first, 0);
  connect_simulation();
  set_numbers("SCOPE_INFO", {{"FOCAL_LENGTH", 1240}, {"APERTURE", 200}});
#if INDI_VERSION_MAJOR >= 2
  // INDI 2 takes any keyword, a name and a value.
  set_text("FITS_HEADER", "KEYWORD_NAME", "OBJECT");
  set_text("FITS_HEADER", "KEYWORD_VALUE", "M 1");
#else
  set_text("FITS_HEADER", "FITS_OBJECT", "M 1");
#endif
  ASSERT_TRUE(next_frame(expose(1)).ok);
  const std::string path = home_ + "/blob.fits";
  EXPECT_EQ(run("/usr/bin/fitsverify -q " + path).first, 0);

  const std::string script = home_ + "/cards.py";
  std::ofstream(script) << R"(import sys, collections
from astropy.io import fits
header = fits.open(sys.argv[1])[0].header
print(header.get('TELESCOP'), header.get('OBJECT'), '%.2f' % header.get('SCALE'), header.get('ROWORDER'), sep='|')
keys = collections.Counter(c.keyword for c in header.cards if c.keyword not in ('COMMENT', 'HISTORY', ''))
print('repeated:', *(k for k, n in keys.items() if n > 1))
)";
  // The scale of 9 um at 1240 mm; the rows from the top of the sky down, as
  // INDI 2 declares them; no keyword repeated.
  EXPECT_EQ(std::tuple(run("/usr/bin/python3 " + script + " " + path)),
            std::tuple(0, "Telescope Simulator|M 1|1.50|TOP-DOWN\nrepeated:\n"));
}

// Numbers that are none or lie outside their range, a text of a megabyte,
// and the simulation switched while connected are refused, each with a
// message naming it; the property goes Alert showing what it had, and the
// driver goes on.
TEST_F(DriverTest, HostileValuesAreRefusedAndThePropertyKeepsItsValues) {
  start_server();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const auto refused = [this](const char* property, const char* element, double value) {
    SCOPED_TRACE(std::string(property) + " " + std::to_string(value));
    ASSERT_TRUE(client_->wait([property](Client& c) { return c.has(property); }, 5s));
    const double kept = client_->property(property).numbers[element];
    const std::size_t said = client_->messages().size();
    client_->set_number(property, {{element, value}});
    const std::string named = std::string(property) + " " + element;
    EXPECT_TRUE(client_->wait([&](Client& c) { return c.said(named, said); }, 5s));
    EXPECT_TRUE(client_->wait_state(property, IPS_ALERT, 5s));
    EXPECT_EQ(client_->property(property).numbers[element], kept);
  };
  refused("PIXEL_SIZE", "TX22_UM", nan);
  refused("SIM_PORT_ACCESS", "ACCESS_US", 20);

  EXPECT_TRUE(says("PARALLEL_PORT: a text of",
                   [&] { client_->set_text("PARALLEL_PORT", "PORT", std::string(1 << 20, 'p')); }));
  EXPECT_TRUE(client_->wait_state("PARALLEL_PORT", IPS_ALERT, 5s));
  EXPECT_EQ(client_->property("PARALLEL_PORT").texts["PORT"], "/dev/parport0");

  connect_simulation();
  refused("CCD_BINNING", "HOR_BIN", nan);
  refused("CCD_BINNING", "VER_BIN", 1e12);
  refused("CCD_EXPOSURE", "CCD_EXPOSURE_VALUE", std::numeric_limits<double>::infinity());

  const std::size_t said = client_->messages().size();
  const int updates = client_->property("SIMULATION").updates;
  client_->set_switch("SIMULATION", "DISABLE");
  PropertyCopy simulation;
  client_->wait(
      [&](Client& c) {
        simulation = c.property("SIMULATION");
        return simulation.updates > updates && simulation.state == IPS_ALERT && simulation.switches["ENABLE"];
      },
      5s);
  EXPECT_GT(simulation.updates, updates);
  EXPECT_EQ(simulation.state, IPS_ALERT);
  EXPECT_TRUE(simulation.switches["ENABLE"]);
  EXPECT_TRUE(client_->said("Disconnect the camera", said));
  EXPECT_EQ(client_->blobs().size(), 0u);
}

// Connecting runs beside the clients: while no unit answers, CONNECTION
// shows Busy and the driver answers requests. A failing connect tells why in
// whole messages that a strict XML parser takes, with the holder of the port
// and the remedies.
TEST_F(DriverTest, ConnectingAnswersMeanwhileAndItsFailuresArriveAsWholeXml) {
  const std::string lock_path = home_ + "/parport0.lock";
  start_server({{"LD_PRELOAD", STELLACQ_FAKE_PPDEV}, {"STELLACQ_FAKE_PPDEV_LOCK", lock_path}});
  StrictXmlClient strict(server_->port());

  // This process plays the program that has the port; then a name that is
  // no port.
  const int holder = open(lock_path.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const auto connect = [this] { client_->set_switch("CONNECTION", "CONNECT"); };
  EXPECT_TRUE(says("is in use", connect));
  EXPECT_TRUE(client_->wait_state("CONNECTION", IPS_ALERT, 5s));
  close(holder);
  set_text("PARALLEL_PORT", "PORT", "0x123456");
  EXPECT_TRUE(says("cannot be used", connect));
  EXPECT_TRUE(client_->wait_state("CONNECTION", IPS_ALERT, 5s));

  EXPECT_TRUE(strict.read(500ms)) << strict.error;
  for (const std::string& message : strict.messages) EXPECT_LT(message.size(), 256u) << message;
  // The port is in use by ...; end it and open again; out of range; the group to join.
  for (const char* text : {"使用中", "開き直して下さい", "範囲外", "sudo usermod -aG lp"})
    EXPECT_TRUE(strict.said(text)) << text;

  // Nothing answers on the fake port.
  set_text("PARALLEL_PORT", "PORT", "/dev/parport0");
  const std::size_t said = client_->messages().size();
  client_->set_switch("CONNECTION", "CONNECT");
  ASSERT_TRUE(client_->wait_state("CONNECTION", IPS_BUSY, 2s));
  client_->set_number("PIXEL_SIZE", {{"TX22_UM", 11}});
  EXPECT_TRUE(client_->wait([](Client& c) { return c.property("PIXEL_SIZE").numbers["TX22_UM"] == 11; }, 2s));
  EXPECT_EQ(client_->property("CONNECTION").state, IPS_BUSY);
  EXPECT_TRUE(client_->wait_state("CONNECTION", IPS_ALERT, 10s));
  EXPECT_TRUE(client_->said("did not answer", said));
}

// Ekos loads the saved configuration right after connecting: the head, unit,
// port and simulation in use are taken again without a refusal, and a real
// change is still refused. Each of the driver's own properties is defined
// once in answer to a getProperties.
TEST_F(DriverTest, ConfigurationLoadedWhileConnectedAndEachPropertyDefinedOnce) {
  start_server();
  choose("SIMULATION", "ENABLE");
  client_->set_switch("CONFIG_PROCESS", "CONFIG_SAVE");
  ASSERT_TRUE(client_->wait_state("CONFIG_PROCESS", IPS_OK, 5s));
  connect_simulation();
  const std::size_t said = client_->messages().size();
  const int loads = client_->property("CONFIG_PROCESS").updates;
  client_->set_switch("CONFIG_PROCESS", "CONFIG_LOAD");
  ASSERT_TRUE(client_->wait([&](Client& c) { return c.property("CONFIG_PROCESS").updates > loads; }, 5s));
  EXPECT_TRUE(next_frame(expose(1)).ok);  // whatever the load said has arrived
  EXPECT_FALSE(client_->said("Disconnect the camera", said));
  for (const char* name : {"HEAD_MODEL", "UNIT_MODEL", "PARALLEL_PORT", "SIMULATION"})
    EXPECT_NE(client_->property(name).state, IPS_ALERT) << name;

  EXPECT_TRUE(says("Disconnect the camera before changing the camera head",
                   [&] { client_->set_switch("HEAD_MODEL", "TX11"); }));
  EXPECT_TRUE(client_->wait_state("HEAD_MODEL", IPS_ALERT, 5s));
  EXPECT_TRUE(client_->property("HEAD_MODEL").switches["TX22"]);
  EXPECT_TRUE(says("Disconnect the camera before changing the parallel port",
                   [&] { client_->set_text("PARALLEL_PORT", "PORT", "/dev/parport1"); }));

  StrictXmlClient strict(server_->port());
  ASSERT_TRUE(strict.read(500ms)) << strict.error;
  for (const char* name : {"HEAD_MODEL", "UNIT_MODEL", "PARALLEL_PORT", "PIXEL_SIZE", "SIM_PORT_ACCESS",
                           "CONNECTION", "CCD_EXPOSURE", "SIM_MOUNT_PORT"})
    EXPECT_EQ(strict.defined[name], 1) << name;
}

// Back to back frames (Ekos starts the next 0.4 s after a frame) leave the
// session no idle second for its readings: the temperature is read before
// each exposure, each frame's CCD-TEMP is that reading, and CCD_TEMPERATURE
// follows the cooling between the frames.
TEST_F(DriverTest, TemperatureIsReadBetweenBackToBackFrames) {
  start_server();
  connect_simulation();
  set_binning(2);
  ASSERT_TRUE(client_->wait([](Client& c) { return c.property("CCD_TEMPERATURE").updates > 0; }, 5s));
  const double start = client_->property("CCD_TEMPERATURE").numbers["CCD_TEMPERATURE_VALUE"];
  client_->set_number("CCD_TEMPERATURE", {{"CCD_TEMPERATURE_VALUE", start - 3}});
  ASSERT_TRUE(client_->wait_state("CCD_TEMPERATURE", IPS_BUSY, 5s));
  std::vector<double> frame_temps, shown;
  for (int i = 0; i < 5; ++i) {
    const Fits frame = next_frame(expose(1));
    frame_temps.push_back(frame.ccd_temp);
    shown.push_back(client_->property("CCD_TEMPERATURE").numbers["CCD_TEMPERATURE_VALUE"]);
  }
  for (std::size_t i = 1; i < frame_temps.size(); ++i) {
    EXPECT_LT(frame_temps[i], frame_temps[i - 1]) << i;
    EXPECT_LT(shown[i], shown[i - 1]) << i;
    // The reading before the exposure, which the property shows at its end.
    EXPECT_NEAR(frame_temps[i], shown[i], 0.05) << i;
  }
}

// What the hostile client sent, each refused or taken as sound: a control
// character in a text, a frame type the property does not have, a fraction
// of a pixel, fast exposure counts that are no whole number of frames. The
// count of frames itself comes back to back from one CCD_EXPOSURE.
TEST_F(DriverTest, HostileRequestsAndFastExposure) {
  start_server();
  // (indiserver itself passes the request on to the other clients as sent.)
  EXPECT_TRUE(says("PARALLEL_PORT: a text with a control character",
                   [&] { client_->set_text("PARALLEL_PORT", "PORT", "/dev/par\x01port0"); }));
  EXPECT_TRUE(client_->wait_state("PARALLEL_PORT", IPS_ALERT, 5s));
  EXPECT_EQ(client_->property("PARALLEL_PORT").texts["PORT"], "/dev/parport0");

  connect_simulation();
  EXPECT_TRUE(client_->said("The control unit says: TU-22"));
  EXPECT_TRUE(says("CCD_FRAME_TYPE has no switch FRAME_SKY",
                   [&] { client_->set_switch("CCD_FRAME_TYPE", "FRAME_SKY"); }));
  EXPECT_TRUE(client_->wait_state("CCD_FRAME_TYPE", IPS_ALERT, 5s));
  EXPECT_TRUE(client_->property("CCD_FRAME_TYPE").switches["FRAME_LIGHT"]);

  set_binning(1);
  client_->set_number("CCD_FRAME", {{"X", 10.6}, {"Y", 20.4}, {"WIDTH", 99.5}, {"HEIGHT", 50.2}});
  set_numbers("CCD_FRAME", {{"X", 11}, {"Y", 20}, {"WIDTH", 100}, {"HEIGHT", 50}});
  const Fits part = next_frame(expose(1));
  EXPECT_EQ(std::tie(part.width, part.height, part.origin_x, part.origin_y), std::tuple(100L, 50L, 11L, 20L));

  for (const double count : {0.0, 1e-320, 2.5}) {
    SCOPED_TRACE(count);
    EXPECT_TRUE(says("CCD_FAST_COUNT FRAMES", [&] {
      client_->set_number("CCD_FAST_COUNT", {{"FRAMES", count}});
    }));
    EXPECT_TRUE(client_->wait_state("CCD_FAST_COUNT", IPS_ALERT, 5s));
    EXPECT_EQ(client_->property("CCD_FAST_COUNT").numbers["FRAMES"], 1);
  }
  choose("CCD_FAST_TOGGLE", "INDI_ENABLED");
  set_numbers("CCD_FAST_COUNT", {{"FRAMES", 3}});
  const std::size_t before = expose(1);
  EXPECT_TRUE(client_->wait([&](Client& c) { return c.blobs().size() == before + 3; }, 20s));
  EXPECT_TRUE(client_->wait_state("CCD_FAST_COUNT", IPS_IDLE, 5s));
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(client_->blobs().size(), before + 3);
  EXPECT_EQ(client_->property("CCD_EXPOSURE").state, IPS_OK);
}

// Frames saved on the server's disk never overwrite one another: a prefix
// without XXX is numbered once its name is taken, and an empty one is the
// default IMAGE_XXX rather than a hidden ".fits".
TEST_F(DriverTest, LocalFilesAreNeverOverwritten) {
  start_server();
  connect_simulation();
  set_binning(2);
  const std::string dir = home_ + "/frames";
  std::filesystem::create_directory(dir);
  choose("UPLOAD_MODE", "UPLOAD_LOCAL");
  set_text("UPLOAD_SETTINGS", "UPLOAD_DIR", dir);
  const auto save = [&](const std::string& prefix, const std::string& name) {
    set_text("UPLOAD_SETTINGS", "UPLOAD_PREFIX", prefix);
    expose(1);
    EXPECT_TRUE(client_->wait(
        [&](Client& c) { return c.property("CCD_FILE_PATH").texts["FILE_PATH"] == dir + "/" + name; }, 10s))
        << name;
    EXPECT_TRUE(client_->wait_state("CCD_EXPOSURE", IPS_OK, 5s));
  };
  save("M42", "M42.fits");
  save("M42", "M42_001.fits");
  save("", "IMAGE_001.fits");
  save("", "IMAGE_002.fits");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
            4);
}

// The mount's position goes into a light frame only while the mount has one
// on the sky: coordinates no sky has (RA -5 h, DEC 200) and those of a mount
// that took them back (disconnected) leave the mount's cards out. A mount
// driver of a few lines plays the mount, its coordinates set through a file.
TEST_F(DriverTest, MountCardsOnlyFromAMountOnTheSky) {
  const std::string coords = home_ + "/coords", script = home_ + "/fake_mount";
  std::ofstream(coords) << "5.5 22\n";
  std::ofstream(script)
      << "#!/bin/sh\necho \"<defNumberVector device='Fake Mount' name='EQUATORIAL_EOD_COORD' "
      << "state='Ok' perm='rw'><defNumber name='RA'>0</defNumber><defNumber name='DEC'>0"
      << "</defNumber></defNumberVector>\"\nwhile :; do\n  if [ -f " << home_
      << "/gone ]; then\n    echo \"<delProperty device='Fake Mount' name='EQUATORIAL_EOD_COORD'/>\"\n"
      << "  else\n    read ra dec < " << coords << "\n"
      << "    echo \"<setNumberVector device='Fake Mount' name='EQUATORIAL_EOD_COORD' state='Ok'>"
      << "<oneNumber name='RA'>$ra</oneNumber><oneNumber name='DEC'>$dec</oneNumber>"
      << "</setNumberVector>\"\n  fi\n  sleep 0.2\ndone\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  start_server({}, {script});
  connect_simulation();
  set_binning(2);
  set_text("ACTIVE_DEVICES", "ACTIVE_TELESCOPE", "Fake Mount");
  const auto mount_cards = [&] {
    std::this_thread::sleep_for(1s);  // the mount's next coordinates have come
    const Fits frame = next_frame(expose(1));
    std::string cards;
    for (const char* key : {"RA", "DEC", "OBJCTRA", "OBJCTDEC"})
      if (frame.cards.count(key)) cards += std::string(key) + " ";
    return cards;
  };
  EXPECT_EQ(mount_cards(), "RA DEC OBJCTRA OBJCTDEC ");
  std::ofstream(coords) << "-5 200\n";
  EXPECT_EQ(mount_cards(), "");
  std::ofstream(coords) << "5.5 22\n";
  EXPECT_EQ(mount_cards(), "RA DEC OBJCTRA OBJCTDEC ");
  std::ofstream(home_ + "/gone") << "";
  EXPECT_EQ(mount_cards(), "");
}

// Whether an LX200 mount answers its position on `device`.
bool mount_answers(const std::string& device) {
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY);
  if (fd < 0) return false;
  std::string reply;
  if (write(fd, ":GR#", 4) == 4) {
    for (pollfd p{fd, POLLIN, 0}; reply.find('#') == std::string::npos && poll(&p, 1, 2000) > 0;) {
      char buffer[64];
      const ssize_t got = read(fd, buffer, sizeof buffer);
      if (got <= 0) break;
      reply.append(buffer, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  return reply.find('#') != std::string::npos;
}

// In simulation the mount answers LX200 on a link of a fixed name from
// Simulation on to Simulation off, before the camera connects (Ekos connects
// the mount first) and across the camera's connects.
TEST_F(DriverTest, SimulatedMountKeepsItsPortFromSimulationOnToOff) {
  start_server();
  choose("SIMULATION", "ENABLE");
  ASSERT_TRUE(client_->wait([](Client& c) { return c.has("SIM_MOUNT_PORT"); }, 5s));
  const std::string link = home_ + "/stellacq/STELLACQ_CCD-mount";
  EXPECT_EQ(client_->property("SIM_MOUNT_PORT").texts["PORT"], link);
  EXPECT_TRUE(mount_answers(link));
  for (int i = 0; i < 2; ++i) {
    client_->set_switch("CONNECTION", "CONNECT");
    ASSERT_TRUE(client_->wait_state("CONNECTION", IPS_OK, 15s));
    EXPECT_TRUE(mount_answers(link));
    EXPECT_EQ(client_->property("SIM_MOUNT_PORT").texts["PORT"], link);
    choose("CONNECTION", "DISCONNECT");
    EXPECT_TRUE(mount_answers(link));
  }
  choose("SIMULATION", "DISABLE");
  EXPECT_TRUE(client_->wait([&](Client&) { return !std::filesystem::is_symlink(link); }, 5s));
}

}  // namespace
}  // namespace stellacq::indi::testing
