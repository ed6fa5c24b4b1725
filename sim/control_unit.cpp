// The simulated control unit's side of the parallel-port handshakes.
#include "sim/control_unit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace stellacq::sim {

namespace {

constexpr std::uint8_t kFrameEnd = 0xDB;
constexpr std::uint8_t kBitStrobe = 0x01;
constexpr std::uint8_t kBitInit = 0x04;
constexpr std::uint8_t kBitDataIn = 0x20;
constexpr std::size_t kMaxLine = 256;  // a longer command line is cut, not grown

// Whole numbers after the command letter ("I 768 512" -> 768, 512).
std::vector<long> arguments(const std::string& line) {
  std::vector<long> values;
  const char* s = line.c_str() + 1;
  for (;;) {
    char* end = nullptr;
    const long v = std::strtol(s, &end, 10);
    if (end == s) break;
    values.push_back(v);
    s = end;
  }
  return values;
}

}  // namespace

ControlUnit::ControlUnit(Clock& clock, Sky& sky, const ControlUnitOptions& options)
    : clock_(clock),
      sky_(sky),
      options_(options),
      head_width_(options.unit_model == kUnitTu11 ? 768 : 1536),
      head_height_(options.unit_model == kUnitTu11 ? 512 : 1024),
      temperature_c_(options.ambient_c),
      temperature_at_us_(clock.monotonic_us()),
      set_point_c_(options.ambient_c) {}

std::string ControlUnit::greeting() const {
  return options_.unit_model == kUnitTu11 ? " TU-11 CCD CONTROLLER READY" : " TU-22 CCD CONTROLLER READY";
}

int ControlUnit::wire_width() const {
  const bool small_head = head_width_ <= 768;
  return (small_head && options_.unit_model != kUnitTu11) ? 2 * frame_width_ : frame_width_;
}

std::uint8_t ControlUnit::PortIn(std::uint16_t address) {
  switch (address - kSimBase) {
    case 0:
      return (control_ & kBitDataIn) ? data_out_ : data_in_;
    case 1:
      if (!options_.powered) return 0x7F;
      // A reply that waits for the end of an exposure appears on its own.
      if (phase_ == Phase::Idle && text_gated_ && (control_ & kBitDataIn) && output_ready()) present();
      return status_high_ ? 0x47 : 0x07;
    case 2:
      return control_;
    default:
      return 0xFF;
  }
}

void ControlUnit::PortOut(std::uint16_t address, std::uint8_t value) {
  switch (address - kSimBase) {
    case 0:
      data_in_ = value;
      break;
    case 2:
      if (options_.record) traffic_.controls.push_back(value);
      on_control(value);
      break;
    default:
      break;
  }
}

void ControlUnit::on_control(std::uint8_t value) {
  control_ = value;
  if (!options_.powered) return;

  if (!(value & kBitInit)) {  // reset asserted
    in_reset_ = true;
    return;
  }
  if (in_reset_) {  // reset released
    in_reset_ = false;
    reset();
    return;
  }

  if (value & kBitDataIn) {
    if (!(value & kBitStrobe)) {  // receive idle: next byte or sample
      if (phase_ == Phase::Taken) pop();
      if (phase_ == Phase::Idle && output_ready()) present();
    } else if (phase_ == Phase::Presented) {  // byte taken
      phase_ = Phase::Taken;
      status_high_ = true;
      if (text_pos_ >= text_.size()) data_out_ = static_cast<std::uint8_t>(current_raw_ >> 8);
    }
    return;
  }

  // The PC drives the data lines.
  if (phase_ == Phase::Taken) pop();
  if (value & kBitStrobe) {
    if (!byte_latched_) {
      drop_output();  // a new byte: whatever the unit still had to say is abandoned
      latched_ = data_in_;
      byte_latched_ = true;
      status_high_ = false;
      if (options_.record) traffic_.received.push_back(latched_);
    }
  } else if (byte_latched_) {
    byte_latched_ = false;
    status_high_ = true;
    on_byte(latched_);
  }
}

bool ControlUnit::output_ready() {
  if (text_pos_ < text_.size()) {
    if (text_gated_) {
      if (clock_.monotonic_us() < text_ready_at_us_) return false;
      text_gated_ = false;
      if (exposing_) finish_exposure();
    }
    return true;
  }
  return block_left_ > 0;
}

void ControlUnit::present() {
  if (text_pos_ < text_.size()) {
    data_out_ = static_cast<std::uint8_t>(text_[text_pos_]);
  } else {
    current_raw_ = sample_pos_ < wire_.size() ? wire_[sample_pos_] : 0x7FFF;
    data_out_ = static_cast<std::uint8_t>(current_raw_ & 0xFF);
  }
  status_high_ = false;
  phase_ = Phase::Presented;
}

void ControlUnit::pop() {
  phase_ = Phase::Idle;
  if (text_pos_ < text_.size()) {
    if (options_.record) traffic_.sent.push_back(static_cast<std::uint8_t>(text_[text_pos_]));
    if (++text_pos_ == text_.size()) {
      text_.clear();
      text_pos_ = 0;
    }
  } else if (block_left_ > 0) {
    --block_left_;
    ++sample_pos_;
    ++traffic_.samples_sent;
  }
}

void ControlUnit::reply_framed(const std::string& text) {
  text_ += text;
  text_ += static_cast<char>(kFrameEnd);
}

void ControlUnit::drop_output() {
  text_.clear();
  text_pos_ = 0;
  text_gated_ = false;
  block_left_ = 0;
  phase_ = Phase::Idle;
}

void ControlUnit::reset() {
  drop_output();
  status_high_ = true;
  byte_latched_ = false;
  line_.clear();
  expecting_counts_ = false;
  count_bytes_ = 0;
  exposing_ = false;
  // Back to the power-on state: cooler off, the full sensor without
  // binning, a one-second exposure; the frame of an interrupted exposure is
  // not rendered.
  update_temperature();
  cooling_on_ = false;
  head_width_ = options_.unit_model == kUnitTu11 ? 768 : 1536;
  head_height_ = options_.unit_model == kUnitTu11 ? 512 : 1024;
  binning_ = 1;
  exposure_ms_ = 1000;
  reply_framed(greeting());
}

void ControlUnit::on_byte(std::uint8_t b) {
  if (expecting_counts_) {
    if (count_bytes_ == 0) {
      count_low_ = b;
      count_bytes_ = 1;
    } else {
      count_bytes_ = 0;
      on_count(count_low_ | (b << 8));
    }
    return;
  }
  if (b == '\r') {
    if (options_.record) traffic_.commands.push_back(line_);
    const std::string line = line_;
    line_.clear();
    run_command(line);
  } else if (b != '\n' && line_.size() < kMaxLine) {
    line_ += static_cast<char>(b);
  }
}

void ControlUnit::run_command(const std::string& line) {
  const char letter = line.empty() ? '\0' : line[0];
  const std::vector<long> args = arguments(line);
  switch (letter) {
    case 'T':
      if (!options_.temperature_reply.empty()) {
        reply_framed(options_.temperature_reply);
      } else {
        reply_framed(std::to_string(std::lround(ccd_temperature() * 10.0)));
      }
      return;
    case 'I':
      if (args.size() >= 2 && args[0] > 0 && args[1] > 0 && args[0] <= 1536 && args[1] <= 1024) {
        head_width_ = static_cast<int>(args[0]);
        head_height_ = static_cast<int>(args[1]);
      }
      reply_framed("OK");
      return;
    case 'N':
      if (!args.empty()) binning_ = args[0] == 2 ? 2 : 1;
      reply_framed("OK");
      return;
    case 'S':
      if (!args.empty()) exposure_ms_ = std::max(0L, args[0]);
      reply_framed("OK");
      return;
    case 'F':
      reply_framed("OK");
      return;
    case 'C':
      update_temperature();
      if (!args.empty() && args[0] == 751) {
        cooling_on_ = false;
      } else if (!args.empty()) {
        cooling_on_ = true;
        set_point_c_ = static_cast<double>(args[0]) / 10.0;
      }
      reply_framed("OK");
      return;
    case 'V':
    case 'D': {
      exposing_ = true;
      dark_exposure_ = letter == 'D';
      exposure_start_us_ = clock_.monotonic_us();
      reply_framed("OK");
      if (options_.instant_exposures) {
        finish_exposure();
      } else {
        text_gated_ = true;
        text_ready_at_us_ = exposure_start_us_ + exposure_ms_ * 1000;
      }
      return;
    }
    case 'X':
      reply_framed(std::to_string(frame_width_) + " " + std::to_string(frame_height_));
      return;
    case 'U':
      sample_pos_ = 0;
      expecting_counts_ = true;
      count_bytes_ = 0;
      queue_output(!options_.size_reply
                       ? std::to_string(wire_width()) + " " + std::to_string(frame_height_) + "\r\n"
                       : *options_.size_reply + "\r\n");
      return;
    default:
      reply_framed("?");
      return;
  }
}

void ControlUnit::on_count(int count) {
  if (count == 0) {
    expecting_counts_ = false;
    block_left_ = 0;
    reply_framed("OK");
    return;
  }
  queue_output(options_.bytes_before_k + "K");
  block_left_ = count;
}

void ControlUnit::finish_exposure() {
  exposing_ = false;
  if (exposure_end_) exposure_end_();
  ExposureSetup setup;
  setup.sensor_width = head_width_;
  setup.sensor_height = head_height_;
  setup.binning = binning_;
  setup.arcsec_per_pixel = head_width_ <= 768 ? 3.0 : 1.5;
  setup.seconds = static_cast<double>(exposure_ms_) / 1000.0;
  setup.ccd_temp_c = ccd_temperature();
  setup.dark = dark_exposure_;
  std::vector<std::uint16_t> values;
  sky_.render(setup, values);
  load_frame(head_width_ / binning_, head_height_ / binning_, std::move(values));
}

void ControlUnit::load_frame(int width, int height, std::vector<std::uint16_t> values) {
  frame_width_ = width;
  frame_height_ = height;
  frame_ = std::move(values);
  frame_.resize(static_cast<std::size_t>(width) * height, 0);
  const int ww = wire_width();
  wire_.assign(static_cast<std::size_t>(ww) * height, 0x7FFF);  // value 0 in the dropped half
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      wire_[static_cast<std::size_t>(y) * ww + x] =
          static_cast<std::uint16_t>(frame_[static_cast<std::size_t>(y) * width + x] ^ 0x7FFF);
    }
  }
}

void ControlUnit::update_temperature() {
  const std::int64_t now = clock_.monotonic_us();
  const double dt = std::max<double>(0.0, static_cast<double>(now - temperature_at_us_) / 1e6);
  temperature_at_us_ = now;
  const double target =
      cooling_on_ ? std::max(set_point_c_, options_.ambient_c - options_.max_cooling_c) : options_.ambient_c;
  const double step = options_.cooling_rate_c_per_s * dt;
  if (std::fabs(target - temperature_c_) <= step) {
    temperature_c_ = target;
  } else {
    temperature_c_ += target > temperature_c_ ? step : -step;
  }
}

double ControlUnit::ccd_temperature() {
  update_temperature();
  return temperature_c_;
}

}  // namespace stellacq::sim
