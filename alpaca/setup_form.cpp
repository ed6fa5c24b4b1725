#include "alpaca/setup_form.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "camera/geometry.h"

namespace stellacq::alpaca {

namespace {

namespace fs = std::filesystem;

constexpr double kPixelMinUm = 1, kPixelMaxUm = 40;
// A parallel port's base address: the registers base..base+2 lie in the
// 16-bit I/O space, above the motherboard's own devices (0x000-0x0FF).
constexpr unsigned long kPortBaseMin = 0x100, kPortBaseMax = 0xFFFD;

std::string html_escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const std::string* find(const Fields& form, const std::string& name) {
  for (const auto& [key, value] : form)
    if (key == name) return &value;
  return nullptr;
}

// Whether `inner` is `outer` or lies beneath it (both resolved).
bool within(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

}  // namespace

std::string check_fits_folder(const std::string& folder, const std::string& root, std::string* resolved) {
  if (folder.empty()) {
    if (resolved) resolved->clear();
    return {};
  }
  const std::string why =
      root.empty() ? "The FITS folder must be the absolute path of an existing folder the server may "
                     "write."
                   : "The FITS folder must be the absolute path of an existing folder the server may "
                     "write, in " +
                         root + ".";
  if (folder[0] != '/') return why;
  std::error_code ec;
  const fs::path real = fs::canonical(folder, ec);
  struct stat info {};
  if (ec || stat(real.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      access(real.c_str(), W_OK | X_OK) != 0)
    return why;
  if (!root.empty()) {
    const fs::path real_root = fs::canonical(root, ec);
    if (ec || !within(real, real_root)) return why;
  }
  if (resolved) *resolved = real.string();
  return {};
}

std::string check_port(const std::string& port) {
  const std::string why =
      "The parallel port must be a device /dev/parportN or a base address from 0x100 to 0xFFFD, such as "
      "0x378.";
  const std::string device = "/dev/parport";
  if (port.rfind(device, 0) == 0) {
    const std::string n = port.substr(device.size());
    return !n.empty() && n.size() <= 3 && n.find_first_not_of("0123456789") == std::string::npos ? "" : why;
  }
  if (port.size() < 3 || port.size() > 6 || port[0] != '0' || (port[1] != 'x' && port[1] != 'X') ||
      port.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
    return why;
  const unsigned long base = std::strtoul(port.c_str() + 2, nullptr, 16);
  return base >= kPortBaseMin && base <= kPortBaseMax ? "" : why;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string setup_page(const SetupView& view) {
  const DeviceSettings& s = view.settings;
  const auto shown = [&](const char* field, const std::string& value) {
    const auto typed = view.typed.find(field);
    return html_escape(typed != view.typed.end() ? typed->second : value);
  };
  const auto error = [&](const char* field) {
    const auto why = view.errors.find(field);
    return why == view.errors.end() ? std::string()
                                    : std::string(" <span class=\"error\" id=\"error-") + field + "\">" +
                                          html_escape(why->second) + "</span>";
  };
  const auto selected = [](bool on) { return on ? " selected" : ""; };
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>STELLACQ camera setup</title>\n"
      "<style>body{font-family:sans-serif;max-width:50em;margin:1em auto;padding:0 1em}"
      "label{display:inline-block;margin:.3em 0}.wide{width:100%;max-width:40em;box-sizing:border-box}"
      ".error{color:#b00020}</style></head><body>\n"
      "<h1>STELLACQ CCD</h1>\n<p>ASCOM Alpaca camera 0: a TX-11 or TX-22 head on a TU-11 or TU-22 control "
      "unit, on the parallel port.</p>\n";
  page += std::string("<p>The camera is ") + (view.connected ? "connected" : "not connected") + ".</p>\n";
  if (!view.mount.empty())
    page += "<p>The simulated mount answers LX200 on " + html_escape(view.mount) + ".</p>\n";
  if (!view.note.empty()) page += "<p id=\"note\"><strong>" + html_escape(view.note) + "</strong></p>\n";
  page +=
      "<form method=\"post\" action=\"/setup/v1/camera/0/setup\">\n"
      "<input type=\"hidden\" name=\"form\" value=\"1\">\n<input type=\"hidden\" name=\"token\" value=\"" +
      html_escape(view.token) + "\">\n";
  page += "<p><label>Camera head <select name=\"head\"><option value=\"TX22\"" +
          std::string(selected(s.head_model != kHeadTx11)) +
          ">TX-22 (1536 x 1024)</option><option value=\"TX11\"" + selected(s.head_model == kHeadTx11) +
          ">TX-11 (768 x 512)</option></select></label>" + error("head") + "</p>\n";
  page += "<p><label>Control unit <select name=\"unit\"><option value=\"TU22\"" +
          std::string(selected(s.unit_model != kUnitTu11)) + ">TU-22</option><option value=\"TU11\"" +
          selected(s.unit_model == kUnitTu11) + ">TU-11</option></select></label>" + error("unit") + "</p>\n";
  page += "<p><label>Parallel port <input name=\"port\" value=\"" + shown("port", s.port) + "\"></label>" +
          error("port") + "</p>\n";
  page += "<p><label>TX-11 pixel (µm) <input name=\"pixel_tx11\" inputmode=\"decimal\" size=\"6\" value=\"" +
          shown("pixel_tx11", number_text(s.pixel_tx11_um)) + "\"></label>" + error("pixel_tx11") + "<br>\n" +
          "<label>TX-22 pixel (µm) <input name=\"pixel_tx22\" inputmode=\"decimal\" size=\"6\" value=\"" +
          shown("pixel_tx22", number_text(s.pixel_tx22_um)) + "\"></label>" + error("pixel_tx22") + "</p>\n";
  page += std::string("<p><label><input type=\"checkbox\" name=\"simulate\"") +
          (s.simulate ? " checked" : "") + "> Simulated observatory</label></p>\n";
  page += "<p><label for=\"fits_folder\">FITS folder on the server</label> (empty: no copy" +
          (view.fits_root.empty() ? std::string() : "; a folder in " + html_escape(view.fits_root)) +
          ")<br>\n<input id=\"fits_folder\" name=\"fits_folder\" class=\"wide\" size=\"60\" value=\"" +
          shown("fits_folder", s.fits_folder) + "\">" + error("fits_folder") + "</p>\n";
  page += "<p><input type=\"submit\" value=\"Save\"></p>\n</form>\n</body></html>\n";
  return page;
}

bool settings_from_form(const Fields& form, SetupView& view) {
  DeviceSettings s = view.settings;
  const auto refuse = [&](const char* field, const std::string& text, const std::string& why) {
    view.typed[field] = text;
    view.errors[field] = why;
  };
  if (const std::string* head = find(form, "head")) {
    if (*head == "TX11" || *head == "TX22")
      s.head_model = *head == "TX11" ? kHeadTx11 : kHeadTx22;
    else
      refuse("head", *head, "Unknown camera head.");
  }
  if (const std::string* unit = find(form, "unit")) {
    if (*unit == "TU11" || *unit == "TU22")
      s.unit_model = *unit == "TU11" ? kUnitTu11 : kUnitTu22;
    else
      refuse("unit", *unit, "Unknown control unit.");
  }
  if (const std::string* port = find(form, "port")) {
    if (const std::string why = check_port(*port); why.empty())
      s.port = *port;
    else
      refuse("port", *port, why);
  }
  for (const auto& [name, target] :
       {std::pair<const char*, double*>{"pixel_tx11", &s.pixel_tx11_um}, {"pixel_tx22", &s.pixel_tx22_um}}) {
    if (const std::string* text = find(form, name)) {
      char* end = nullptr;
      const double v = std::strtod(text->c_str(), &end);
      if (!text->empty() && *end == '\0' && v >= kPixelMinUm && v <= kPixelMaxUm)
        *target = v;
      else
        refuse(name, *text, "The pixel size must be a number from 1 to 40 µm.");
    }
  }
  if (find(form, "form")) s.simulate = find(form, "simulate") != nullptr;
  // The folder shown unchanged (given on the command line, perhaps outside
  // the page's bounds) stays as it is.
  if (const std::string* folder = find(form, "fits_folder"); folder && *folder != s.fits_folder) {
    std::string resolved;
    if (const std::string why = check_fits_folder(*folder, view.fits_root, &resolved); why.empty())
      s.fits_folder = resolved;
    else
      refuse("fits_folder", *folder, why);
  }
  if (!view.errors.empty()) return false;
  view.settings = s;
  return true;
}

}  // namespace stellacq::alpaca
