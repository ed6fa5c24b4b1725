#include "alpaca/image_array.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <nlohmann/json.hpp>
#include <utility>

namespace stellacq::alpaca {

namespace {

using nlohmann::json;

constexpr int kImageElementInt32 = 2;
constexpr int kTransmissionUInt16 = 8;
constexpr std::size_t kImageBytesHeader = 44;

void put_le32(std::string& out, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint16_t clipped(std::int32_t count) {
  return static_cast<std::uint16_t>(std::clamp<std::int32_t>(count, 0, 65535));
}

}  // namespace

std::string image_bytes_metadata(int error_number, std::uint32_t client, std::uint32_t server, int rank,
                                 int x, int y) {
  std::string out(kImageBytesHeader, '\0');
  const std::uint32_t fields[] = {1,
                                  static_cast<std::uint32_t>(error_number),
                                  client,
                                  server,
                                  static_cast<std::uint32_t>(kImageBytesHeader),
                                  static_cast<std::uint32_t>(kImageElementInt32),
                                  static_cast<std::uint32_t>(kTransmissionUInt16),
                                  static_cast<std::uint32_t>(rank),
                                  static_cast<std::uint32_t>(x),
                                  static_cast<std::uint32_t>(y),
                                  0};
  for (std::size_t i = 0; i < std::size(fields); ++i) put_le32(out, 4 * i, fields[i]);
  return out;
}

std::string image_pixels(const Image& image) {
  std::string out(static_cast<std::size_t>(image.width) * image.height * 2, '\0');
  char* p = out.data();
  for (int x = 0; x < image.width; ++x)
    for (int y = 0; y < image.height; ++y) {
      const std::uint16_t v = clipped(image.counts.at(x, y));
      *p++ = static_cast<char>(v & 0xFF);
      *p++ = static_cast<char>(v >> 8);
    }
  return out;
}

ImageJson::ImageJson(std::shared_ptr<const Image> image, std::size_t columns_bytes, std::uint32_t client,
                     std::uint32_t server)
    : image_(std::move(image)), columns_bytes_(columns_bytes) {
  const json rest = {{"ClientTransactionID", client},
                     {"ServerTransactionID", server},
                     {"ErrorNumber", 0},
                     {"ErrorMessage", ""}};
  tail_ = "]," + rest.dump().substr(1);  // without its opening brace
}

std::size_t ImageJson::size() const { return kHead.size() + columns_bytes_ + tail_.size(); }

bool ImageJson::next(std::string& out) {
  constexpr std::size_t kPiece = 64 * 1024;
  if (x_ == 0) out += kHead;
  char number[16];
  for (; x_ < image_->width && out.size() < kPiece; ++x_) {
    out += x_ ? ",[" : "[";
    for (int y = 0; y < image_->height; ++y) {
      if (y) out += ',';
      const auto [end, ec] = std::to_chars(number, number + sizeof number, image_->counts.at(x_, y));
      out.append(number, end);
    }
    out += ']';
  }
  if (x_ < image_->width) return true;
  out += tail_;
  return false;
}

std::size_t ImageJson::columns_bytes(const Image& image) {
  std::size_t n = 0;
  char number[16];
  for (int x = 0; x < image.width; ++x)
    for (int y = 0; y < image.height; ++y)
      n += static_cast<std::size_t>(std::to_chars(number, number + sizeof number, image.counts.at(x, y)).ptr -
                                    number);
  // Brackets and the commas between the values and between the columns.
  const std::size_t w = image.width, h = image.height;
  return n + 2 * w + (h > 0 ? (h - 1) * w : 0) + (w > 0 ? w - 1 : 0);
}

}  // namespace stellacq::alpaca
