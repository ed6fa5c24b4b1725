// Helpers for the tests of windows and dialogs on an offscreen screen: a
// control by its name, a click, typing into a field, a window by its name.
#pragma once

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

namespace stellacq::testing {

// Lets closed windows finish deleting themselves.
inline void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

// The child of `parent` named `name`; a missing one ends the run.
template <typename W = QWidget>
W* child(const QObject* parent, const char* name) {
  auto* w = parent->findChild<W*>(QString::fromLatin1(name));
  if (!w) qFatal("no control %s", name);
  return w;
}

// A left click near the left edge, where a check box's or an option's
// indicator is; a window the click closed is then deleted.
inline void click(const QObject* parent, const char* name) {
  QWidget* w = child(parent, name);
  QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
  settle();
}

// The text of the field `name`.
inline QString text(const QObject* parent, const char* name) {
  return child<QLineEdit>(parent, name)->text();
}

// Types `typed` over the whole text of the field `name` (empty: erases it)
// and returns what the field shows then.
inline QString type(const QObject* parent, const char* name, const QString& typed) {
  auto* field = child<QLineEdit>(parent, name);
  field->selectAll();  // the first key replaces the old text
  if (typed.isEmpty()) QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, typed);
  return field->text();
}

// The visible top-level window named `name`, or null.
inline QWidget* top_level(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QLatin1String(name) && w->isVisible()) return w;
  return nullptr;
}

}  // namespace stellacq::testing
