// The main window's status line as the logic writes it: the text the window
// keeps in its Text7 field (and shows again after every handler), and the
// user-interaction seam that shows it at once. Operations that report their
// progress while they run take this pair instead of the whole program; the
// seam also answers their message boxes.
#pragma once

#include <string>

#include "core/interaction.h"

namespace stellacq {

struct StatusLine {
  std::string& text;
  Interaction& ui;

  void show(const std::string& new_text) const {
    text = new_text;
    ui.status(new_text);
  }
};

}  // namespace stellacq
