// Drop targets of document windows. The front end delivers a dragged item as
// "text/uri-list" data; the window's handlers receive the file path it names.
#include <cctype>
#include <sstream>

#include "app/App.h"
#include "core/Core.h"

namespace vexa::host::app {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "file:///a/b%20c" or "file://localhost/a/b" as a path; "" for anything else.
std::string pathFromFileUri(const std::string& uri) {
    std::string lower;
    for (char c : uri.substr(0, 7))
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower != "file://") return "";
    std::string rest = uri.substr(7);
    if (rest.rfind("localhost/", 0) == 0) rest = rest.substr(9);
    if (rest.empty() || rest[0] != '/') return "";  // another host, or not absolute
    std::string path;
    for (std::size_t i = 0; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '%') {
            if (i + 2 >= rest.size()) return "";
            int hi = hexValue(rest[i + 1]), lo = hexValue(rest[i + 2]);
            if (hi < 0 || lo < 0) return "";
            char d = static_cast<char>(hi * 16 + lo);
            if (d == 0) return "";
            path += d;
            i += 2;
        } else if (c == '?' || c == '#') {
            break;
        } else {
            path += c;
        }
    }
    return path;
}

}  // namespace

std::string Application::pathFromUriList(const std::string& uriList) {
    std::istringstream in(uriList);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
        std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos) continue;
        line = line.substr(start);
        if (line[0] == '#') continue;  // comments
        std::string path = pathFromFileUri(line);
        if (!path.empty()) return path;
    }
    return "";
}

void Application::setDropHandlers(AVDoc doc, const AVDropHandlersRec* handlers, ASClientData data) {
    if (!doc) raise(genErrBadParm);
    AVDocDropState& s = doc->drop;
    s = {};
    if (!handlers || handlers->size < sizeof(AVDropHandlersRec) ||
        (!handlers->Track && !handlers->Receive))
        return;
    s.installed = true;
    s.handlers = *handlers;
    s.clientData = data;
}

bool Application::dragTrack(AVDoc doc, ASInt32 phase, const std::string& uriList, AVDevCoord x,
                            AVDevCoord y) {
    if (!doc) return false;
    AVDocDropState& s = doc->drop;
    if (!s.installed) return false;  // no drop target: the platform refuses the drag
    mouse_.view = &doc->view;
    mouse_.x = x;
    mouse_.y = y;
    if (phase == AVDragLeave) {
        s.inside = false;
        s.highlighted = false;
        if (s.handlers.Track)
            s.handlers.Track(doc, AVDragLeave, s.lastPath.c_str(), x, y, s.clientData);
        return false;
    }
    std::string path = pathFromUriList(uriList);
    s.lastPath = path;
    s.inside = true;
    if (path.empty()) {
        s.highlighted = false;
        return false;
    }
    bool ok =
        s.handlers.Track ? s.handlers.Track(doc, phase, path.c_str(), x, y, s.clientData) : true;
    if (!ok) s.highlighted = false;
    return ok;
}

bool Application::drop(AVDoc doc, const std::string& uriList, AVDevCoord x, AVDevCoord y) {
    if (!doc) return false;
    AVDocDropState& s = doc->drop;
    if (!s.installed) return false;
    mouse_.view = &doc->view;
    mouse_.x = x;
    mouse_.y = y;
    s.inside = false;
    s.highlighted = false;
    std::string path = pathFromUriList(uriList);
    if (path.empty() || !s.handlers.Receive) return false;
    return s.handlers.Receive(doc, path.c_str(), x, y, s.clientData);
}

}  // namespace vexa::host::app
