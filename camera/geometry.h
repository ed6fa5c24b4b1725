// The camera's geometry: the control units and heads there are, and the
// frames a head sends.
#pragma once

namespace stellacq {

// Values of unit_model and head_model. A unit or head of any other value is
// taken as the TU-22 or the TX-22.
inline constexpr int kUnitTu11 = 4;
inline constexpr int kUnitTu22 = 16;
inline constexpr int kHeadTx11 = 4;   // 768 x 512
inline constexpr int kHeadTx22 = 16;  // 1536 x 1024

// Width and height of the frames a head sends at a binning: the sensor, or
// half of it each way binned 2 x 2 (any binning other than 1).
struct FrameShape {
  int width = 0;
  int height = 0;
};
constexpr FrameShape frame_shape(int head_model, int binning) {
  const FrameShape sensor = head_model == kHeadTx11 ? FrameShape{768, 512} : FrameShape{1536, 1024};
  return binning == 1 ? sensor : FrameShape{sensor.width / 2, sensor.height / 2};
}

}  // namespace stellacq
