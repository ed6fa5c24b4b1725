// The four directions the mount is moved in: Up is north ("#:Mn#"), Down
// south, Left east and Right west. Guiding corrections and the telescope
// window's buttons both speak of them.
#pragma once

namespace stellacq {

enum class Direction { Up, Down, Left, Right };

}  // namespace stellacq
