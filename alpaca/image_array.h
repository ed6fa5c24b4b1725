// A frame's ImageArray as the Alpaca server sends it: as ImageBytes (the
// metadata, then the pixels) or as JSON, written from the counts as it goes
// out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "alpaca/camera_device.h"
#include "alpaca/http_server.h"

namespace stellacq::alpaca {

// The ImageBytes metadata: 11 little-endian 32-bit fields (metadata version
// 1, the error number, the client's and the server's transaction IDs, where
// the data start, Int32 elements sent as UInt16, the rank, the dimensions).
std::string image_bytes_metadata(int error_number, std::uint32_t client, std::uint32_t server, int rank,
                                 int x, int y);

// The pixels as ImageBytes carry them: UInt16 little-endian, x the outer
// index.
std::string image_pixels(const Image& image);

// {"Type":2,"Rank":2,"Value":[[column 0],[column 1],...], ...}: the array
// written straight from the counts as it is sent, some columns at a time,
// the rest of the object by the JSON library.
class ImageJson final : public BodySource {
 public:
  // `columns_bytes`: the length of the columns and the commas between them
  // (columns_bytes() of the image).
  ImageJson(std::shared_ptr<const Image> image, std::size_t columns_bytes, std::uint32_t client,
            std::uint32_t server);
  std::size_t size() const override;
  bool next(std::string& out) override;
  static std::size_t columns_bytes(const Image& image);

 private:
  static inline const std::string kHead = R"({"Type":2,"Rank":2,"Value":[)";
  std::shared_ptr<const Image> image_;
  std::size_t columns_bytes_;
  std::string tail_;
  int x_ = 0;
};

}  // namespace stellacq::alpaca
