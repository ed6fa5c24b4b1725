// What every window of the program does the same way: naming its controls,
// centring itself, and being open at most once.
//
// A control carries its name from the window's control table ("Text5",
// "Command1") as its Qt object name and accessible description, so tests
// and assistive tools find it; its accessible name is its visible caption,
// and a label that shows a value keeps the value as its name (value_label).
// Windows keep their controls as private members; tests reach them through
// their object names.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <utility>

namespace stellacq {

// Names `widget` (see above); `caption` becomes its accessible name.
template <typename W>
W* named(W* widget, const char* name, const QString& caption = {}) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setAccessibleDescription(QString::fromLatin1(name));
  if (!caption.isEmpty()) widget->setAccessibleName(caption);
  return widget;
}

// A label that shows a value (a position, a measurement, a readout):
// named, but with no fixed accessible name, so that assistive tools read the
// value it shows at the moment; `caption`, the label of its row (when
// given), becomes its labelled-by relation through the caption's buddy.
QLabel* value_label(QLabel* label, const char* name, QLabel* caption = nullptr);

// A control of kind W (a button, label, check box or option button) showing
// `caption`, named `name`, its caption also its accessible name.
template <typename W>
W* captioned(const char* name, const char* caption, QWidget* parent = nullptr) {
  const QString text = QString::fromUtf8(caption);
  return named(new W(text, parent), name, text);
}

// A named control of kind W with the accessible name `caption`, at x, y and
// w x h in `parent`.
template <typename W>
W* place_control(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h) {
  auto* widget = named(new W(parent), name, caption);
  widget->setGeometry(x, y, w, h);
  return widget;
}

// Moves the window, with its frame, to the middle of its screen (the
// primary screen for a window not yet shown).
void centre_on_screen(QWidget* window);

// The one window of a kind: the window kept in `slot`, created from `args`
// when none is open (it deletes itself when closed, which empties the
// slot), then shown, raised and activated. `created` tells the caller
// whether it is new.
template <typename Window, typename... Args>
Window* show_single(QPointer<QWidget>& slot, bool* created, Args&&... args) {
  const bool fresh = slot.isNull();
  if (fresh) {
    slot = new Window(std::forward<Args>(args)...);
    slot->setAttribute(Qt::WA_DeleteOnClose);
  }
  if (created) *created = fresh;
  slot->show();
  slot->raise();
  slot->activateWindow();
  return static_cast<Window*>(slot.data());
}

}  // namespace stellacq
