// The desktop host's own interface texts (menus, toolbar buttons, message boxes and
// their buttons, the status bar) in the application's language. The plug-in brings
// its own texts; these are only the host's.
#pragma once

#include <QString>

#include <string>

namespace vexa::host::desktop {

// The language the texts are shown in: "ENU", "DEU", "FRA" or "NLD" (others show
// English).
void setTextLanguage(const std::string& code);

// The text in the current language; a text without a translation stays as it is.
// "%1", "%2" in a text are filled with QString::arg by the caller.
QString hostText(const std::string& english);

// An Edit menu title such as "Undo Move": the host's "Undo"/"Redo" translated, the
// plug-in's record name as it gave it.
QString undoText(const std::string& title);

}  // namespace vexa::host::desktop
