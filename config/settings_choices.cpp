// The settings dialogs' confirm steps; see settings_choices.h.

#include "config/settings_choices.h"

#include "config/ini_file.h"
#include "config/settings_store.h"
#include "program/program.h"

namespace stellacq {

bool confirm_parallel_port(Program& p, int option) {
  if (option >= 1 && option <= 3) {
    p.settings.parallel_port = static_cast<std::int16_t>(option);
    apply_parallel_port(p.settings.parallel_port, p.ports);
  }
  return save_settings(p);
}

bool confirm_com_port(Program& p, int option) {
  if (option >= 1 && option <= 3) p.settings.com_port = static_cast<std::int16_t>(option);
  return save_settings(p);
}

bool confirm_models(Program& p, bool unit_is_tu11, bool head_is_tx11) {
  p.settings.unit_model = unit_is_tu11 ? kModel11 : kModel22;
  p.settings.head_model = head_is_tx11 ? kModel11 : kModel22;
  return save_settings(p);
}

}  // namespace stellacq
