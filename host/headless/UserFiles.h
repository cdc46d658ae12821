// Where the plug-in keeps the user's files: its preferences and its log (XDG folders,
// as the plug-in's platform layer finds them).
#pragma once

#include <string>

namespace vexa::host {

// "$XDG_CONFIG_HOME/Orvanta/Vexa.ini" (~/.config when unset).
std::string preferencesPath();
// "$XDG_DOCUMENTS_DIR/Orvanta/Vexa.txt" (~/Documents when unset).
std::string logPath();
// Why lines cannot be appended to the log file, or "" when they can: the file or the
// nearest folder of its path that exists refuses writing, or is not what it must be.
// Missing folders are fine (the log creates them). Nothing is created here.
std::string logFileProblem(const std::string& file);
// The value of key in section of the preferences file, or def; the file is only read.
std::string preferenceValue(const std::string& section, const std::string& key,
                            const std::string& def = "");

}  // namespace vexa::host
