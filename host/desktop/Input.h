// The user's keys and modifiers as the host hands them to plug-ins.
#pragma once

#include <QKeyEvent>
#include <QPoint>

#include "ASTypes.h"

namespace vexa::host::desktop {

// Shift → Shift, Ctrl → the menu-command modifier, Alt → Option.
ASInt16 hostModifiers(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers qtModifiers(ASInt16 flags);

// A key press as a host key code: characters as their codes, Backspace 8, Tab 9
// (Shift-Tab too), Return 13, Escape 27, arrows 28 to 31, Delete 127; 0 for keys the
// host does not pass on (function keys, modifiers alone).
ASUns16 hostKey(const QKeyEvent& event);
// A host key code as a key event whose text is that character (so that it comes back
// as the same code, whatever the modifiers).
QKeyEvent keyEventFor(QEvent::Type type, ASUns16 key, ASInt16 flags);

}  // namespace vexa::host::desktop
