// Cursor readout over the image area and the binning selector of the main
// window.
//
// Picture1_MouseMove reads the light frame and its size and writes
// p.form.Label1; Option1_Click/Option2_Click write p.frames.binning,
// p.form.Option1/Option2 and the status line.
#pragma once

#include "program/program.h"

namespace stellacq {

// Frame column and row under a position (X, Y) of the image area whose scale
// width and height are W and H: Int(X / W * width * 384 / 382) and
// Int(Y / H * height * 256 / 254) in single precision, held inside the frame
// (positions past the right or bottom edge give the last column or row,
// negative ones 0). False when there is no light frame or no area.
bool frame_position(const Frames& frames, double X, double Y, double W, double H, int& cx, int& cy);

// Shows " cx cy count" of the light frame under the pointer in Label1, each
// number with its sign position; leaves Label1 as it is without a frame.
void Picture1_MouseMove(Program& p, double X, double Y, double W, double H);

// Binning none (1) or 2 x 2 (2) for the next exposure; the frames in
// memory stay as they are.
void Option1_Click(Program& p);
void Option2_Click(Program& p);

}  // namespace stellacq
