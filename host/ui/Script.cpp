#include "ui/Script.h"

#include "AcroViewHFT.h"
#include "ui/ScriptHands.h"

#include <fstream>
#include <map>
#include <sstream>

namespace vexa::host {
namespace {

struct Entry {
    std::string usage;
    ScriptCommand command;
};

std::map<std::string, Entry>& commands() {
    static std::map<std::string, Entry> c;
    return c;
}

ScriptRunner* gCurrent = nullptr;

}  // namespace

void registerScriptCommand(const std::string& name, const std::string& usage,
                           ScriptCommand command) {
    commands()[name] = {usage, std::move(command)};
}

std::vector<std::string> splitScriptLine(const std::string& line, bool* unbalanced) {
    std::vector<std::string> words;
    std::string cur;
    bool inWord = false, quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (quoted) {
            if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                cur += line[++i];
            } else if (c == '"') {
                quoted = false;
            } else {
                cur += c;
            }
            continue;
        }
        if (c == '"') {
            quoted = true;
            inWord = true;
        } else if (c == '#' && !inWord) {
            break;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            if (inWord) words.push_back(cur);
            cur.clear();
            inWord = false;
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(cur);
    if (unbalanced) *unbalanced = quoted;
    return words;
}

short scriptModifiers(const ScriptLine& line, std::size_t i, std::size_t end) {
    short flags = 0;
    for (; i < line.words.size() && i < end; ++i) {
        const std::string& w = line.words[i];
        if (w == "shift")
            flags |= AV_SHIFT;
        else if (w == "option" || w == "alt")
            flags |= AV_OPTION;
        else if (w == "command" || w == "ctrl" || w == "cmd")
            flags |= AV_COMMAND;
        else
            throw ScriptError("\"" + w + "\" is no modifier (shift, option, alt, command, ctrl)");
    }
    return flags;
}

const std::string& scriptArg(const ScriptLine& line, std::size_t index) {
    if (index >= line.words.size()) {
        auto it = commands().find(line.words[0]);
        throw ScriptError("missing argument; usage: " +
                          (it != commands().end() ? it->second.usage : line.words[0]));
    }
    return line.words[index];
}

long scriptInt(const ScriptLine& line, std::size_t index) {
    const std::string& s = scriptArg(line, index);
    try {
        std::size_t used = 0;
        long v = std::stol(s, &used, 0);
        if (used == s.size()) return v;
    } catch (const std::exception&) {
    }
    throw ScriptError("\"" + s + "\" is not a number");
}

ScriptRunner::ScriptRunner() : previous_(gCurrent) {
    gCurrent = this;
}
ScriptRunner::~ScriptRunner() {
    gCurrent = previous_;
}

ScriptRunner* ScriptRunner::current() {
    return gCurrent;
}

void ScriptRunner::load(const std::string& text, const std::string& fileName) {
    lines_.clear();
    next_ = 0;
    std::istringstream in(text);
    std::string raw;
    int number = 0;
    while (std::getline(in, raw)) {
        ++number;
        bool unbalanced = false;
        ScriptLine line{fileName, number, splitScriptLine(raw, &unbalanced)};
        if (unbalanced) throw ScriptError(line.where() + ": a quoted argument is not closed");
        if (!line.words.empty()) lines_.push_back(std::move(line));
    }
}

void ScriptRunner::loadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ScriptError(path + ": cannot read the script");
    std::ostringstream s;
    s << in.rdbuf();
    load(s.str(), path);
}

void ScriptRunner::addCommand(const std::string& name, ScriptCommand command) {
    own_.emplace_back(name, std::move(command));
}

void ScriptRunner::runLine(const ScriptLine& line) {
    const ScriptCommand* command = nullptr;
    for (const auto& [name, c] : own_)
        if (name == line.words[0]) command = &c;
    auto it = commands().find(line.words[0]);
    if (!command && it != commands().end()) command = &it->second.command;
    if (!command) throw ScriptError(line.where() + ": unknown command \"" + line.words[0] + "\"");
    const ScriptLine* saved = current_;
    current_ = &line;
    try {
        (*command)(*this, line);
        if (afterLine) afterLine();
    } catch (const ScriptError& e) {
        current_ = saved;
        std::string msg = e.what();
        // Prefix the innermost line only once.
        if (msg.rfind(line.file + ":", 0) == 0) throw;
        throw ScriptError(line.where() + ": " + msg);
    }
    current_ = saved;
}

void ScriptRunner::run() {
    while (next_ < lines_.size()) runLine(lines_[next_++]);
}

void ScriptRunner::runNested(const std::function<bool()>& done,
                             const std::function<std::string()>& what) {
    while (!done()) {
        if (next_ >= lines_.size()) {
            std::string w = what ? what() : "an interaction";
            throw ScriptError((current_ ? current_->where() + ": " : std::string()) +
                              "the script ended while " + w + " waited for an answer");
        }
        runLine(lines_[next_++]);
    }
}

ScriptHands& ScriptRunner::hands() const {
    return hands_ ? *hands_ : modelHands();
}

bool ScriptRunner::escapeDue(const std::string& progressText, long step) {
    if (escapeAtStep <= 0 || step < escapeAtStep ||
        progressText.find(escapeAtText) == std::string::npos)
        return false;
    escapeAtStep = 0;
    return true;
}

std::string ScriptRunner::takeMenuPick(const std::function<std::string()>& what) {
    if (!queuedPicks_.empty()) {
        std::string choice = queuedPicks_.front();
        queuedPicks_.erase(queuedPicks_.begin());
        return choice;
    }
    pickWaiting_ = true;
    pickAnswered_ = false;
    try {
        runNested([&] { return pickAnswered_; }, what);
    } catch (...) {
        pickWaiting_ = false;
        throw;
    }
    pickWaiting_ = false;
    return pendingPick_;
}

void ScriptRunner::addMenuPick(const std::string& choice) {
    if (pickWaiting_ && !pickAnswered_) {
        pendingPick_ = choice;
        pickAnswered_ = true;
    } else {
        queuedPicks_.push_back(choice);
    }
}

void ScriptRunner::skipBlock() {
    const ScriptLine* opener = current_;
    int depth = 1;
    while (next_ < lines_.size()) {
        const std::string& word = lines_[next_++].words[0];
        if (word.rfind("if-", 0) == 0)
            ++depth;
        else if (word == "end-if" && --depth == 0)
            return;
    }
    throw ScriptError((opener ? opener->where() + ": " : std::string()) +
                      "the block has no end-if");
}

}  // namespace vexa::host
