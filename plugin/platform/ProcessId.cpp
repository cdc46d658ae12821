#include "platform/ProcessId.h"

#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string bootId() {
    std::ifstream in("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(in, id);
    return id;
}

std::string hostName() {
    char name[256] = "";
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

}  // namespace

uint64_t processStartTime(int pid) {
    if (pid <= 0) return 0;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    // "pid (comm) state ppid ..." where comm may hold blanks and parentheses: the
    // fields are counted from the last ")". The start time is field 22.
    std::size_t close = line.rfind(')');
    if (close == std::string::npos) return 0;
    const char* p = line.c_str() + close + 1;
    for (int field = 3; field < 22; ++field) {
        p = std::strchr(p + 1, ' ');
        if (!p) return 0;
    }
    return std::strtoull(p + 1, nullptr, 10);
}

ProcessIdentity selfIdentity() {
    ProcessIdentity me;
    me.host = hostName();
    me.boot = bootId();
    me.pid = static_cast<int>(::getpid());
    me.start = processStartTime(me.pid);
    return me;
}

std::string machineKey(const ProcessIdentity& who) {
    // FNV-1a over "host\nboot".
    uint32_t h = 2166136261u;
    for (char c : who.host + "\n" + who.boot) {
        h ^= static_cast<unsigned char>(c);
        h *= 16777619u;
    }
    char key[9];
    std::snprintf(key, sizeof key, "%08x", h);
    return key;
}

std::string processTag(const ProcessIdentity& who) {
    return machineKey(who) + "-" + std::to_string(who.pid) + "-" + std::to_string(who.start);
}

bool parseProcessTag(const std::string& tag, std::string* machine, int* pid, uint64_t* start) {
    if (tag.size() < 12 || tag[8] != '-') return false;
    for (int i = 0; i < 8; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(tag[i]))) return false;
    char* end = nullptr;
    long p = std::strtol(tag.c_str() + 9, &end, 10);
    if (p <= 0 || *end != '-' || !std::isdigit(static_cast<unsigned char>(end[1]))) return false;
    unsigned long long s = std::strtoull(end + 1, &end, 10);
    if (*end != 0 && *end != '-') return false;
    if (machine) *machine = tag.substr(0, 8);
    if (pid) *pid = static_cast<int>(p);
    if (start) *start = s;
    return true;
}

bool isDeadProcessTagHere(const std::string& tag) {
    std::string machine;
    int pid = 0;
    uint64_t start = 0;
    if (!parseProcessTag(tag, &machine, &pid, &start)) return false;
    ProcessIdentity me = selfIdentity();
    if (machine != machineKey(me)) return false;
    return processStartTime(pid) != start;
}
