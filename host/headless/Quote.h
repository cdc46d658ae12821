// A text as one argument of a scripted session's line: in double quotes, with the
// quotes and backslashes inside it escaped.
#pragma once

#include <string>

namespace vexa::host {

inline std::string quote(const std::string& s) {
    std::string q = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

}  // namespace vexa::host
