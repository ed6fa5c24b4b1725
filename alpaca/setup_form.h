// The setup page of stellacq-alpaca: the page, the form's values read back,
// and the bounds of the two settings that name things on the server (the
// FITS folder and the parallel port).
#pragma once

#include <map>
#include <string>

#include "alpaca/camera_device.h"
#include "alpaca/http_server.h"

namespace stellacq::alpaca {

// Empty when `folder` may take the FITS copies, else why not (naming the
// setting, never saying whether the path exists). "" (no copies) is always
// allowed. The folder must be absolute, an existing directory the server may
// write, and, with a `root`, that folder or one beneath it (links resolved).
// `resolved` gets the folder with its links resolved.
std::string check_fits_folder(const std::string& folder, const std::string& root,
                              std::string* resolved = nullptr);
// Empty when `port` is "/dev/parportN" or a base address in hexadecimal
// ("0x378") in the I/O range a parallel port may have, else why not.
std::string check_port(const std::string& port);
// A number as a person writes it: 18, 9.5.
std::string number_text(double value);

struct SetupView {
  DeviceSettings settings;
  bool connected = false;
  std::string mount;  // the simulated mount's device, or ""
  std::string note;   // "Saved." or why not
  std::string token;  // the form's token
  std::string fits_root;
  // Fields refused: the text sent, kept in its field, and the reason.
  std::map<std::string, std::string> typed, errors;
};

std::string setup_page(const SetupView& view);

// The form's values over `view.settings`; false, with each refused field's
// text and reason in `view`, when any is refused (then nothing is taken).
bool settings_from_form(const Fields& form, SetupView& view);

}  // namespace stellacq::alpaca
