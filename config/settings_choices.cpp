// The settings dialogs' confirm steps; see settings_choices.h.

#include "config/settings_choices.h"

#include "config/ini_file.h"
#include "config/settings_store.h"

namespace stellacq {

bool confirm_parallel_port(const SettingsFile& file, PortAddresses& ports, Interaction& ui, int option) {
  if (option >= 1 && option <= 3) {
    file.settings.parallel_port = static_cast<std::int16_t>(option);
    apply_parallel_port(file.settings.parallel_port, ports);
  }
  return save_settings(file, ui);
}

bool confirm_com_port(const SettingsFile& file, Interaction& ui, int option) {
  if (option >= 1 && option <= 3) file.settings.com_port = static_cast<std::int16_t>(option);
  return save_settings(file, ui);
}

bool confirm_models(const SettingsFile& file, Interaction& ui, bool unit_is_tu11, bool head_is_tx11) {
  file.settings.unit_model = unit_is_tu11 ? kModel11 : kModel22;
  file.settings.head_model = head_is_tx11 ? kModel11 : kModel22;
  return save_settings(file, ui);
}

}  // namespace stellacq
