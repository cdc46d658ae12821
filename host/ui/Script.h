// Scripted sessions: the headless host's robot user.
//
// A script is a text file of commands, one per line: a command word and its
// arguments, separated by blanks; an argument with blanks is written in double
// quotes ("\"" and "\\" escape inside quotes); "#" starts a comment. Commands run in
// order. When the host needs an answer from the user (an alert, a modal dialog, a file
// chooser) it reads the following lines as the user's actions inside that
// interaction until it ends; a script that ends while an interaction waits fails with
// a message naming what was left unanswered.
//
// Host modules add commands with registerScriptCommand. The commands that act as the
// user go through the runner's hands (ScriptHands), which the front end lends.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::host {

// A failed command or expectation: the script stops with this message.
class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ScriptRunner;
class ScriptHands;

struct ScriptLine {
    std::string file;
    int number = 0;
    std::vector<std::string> words;  // words[0] is the command
    std::string where() const { return file + ":" + std::to_string(number); }
};

using ScriptCommand = std::function<void(ScriptRunner& runner, const ScriptLine& line)>;

// Registers a command. usage is one line such as "press ID" for the help listing.
void registerScriptCommand(const std::string& name, const std::string& usage,
                           ScriptCommand command);

class ScriptRunner {
  public:
    ScriptRunner();
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // The runner of the script being run, or null outside a script.
    static ScriptRunner* current();

    // Parses a script; throws ScriptError on a syntax error (unbalanced quotes).
    void load(const std::string& text, const std::string& fileName);
    void loadFile(const std::string& path);
    // Runs every line; throws ScriptError with "file:line: message" on failure.
    void run();

    // Runs further lines until done() is true after a line; fails when the script
    // ends first, with "what" naming the waiting interaction (and its state).
    void runNested(const std::function<bool()>& done, const std::function<std::string()>& what);

    // Skips the lines up to and including the "end-if" that closes the block begun by
    // the line being run (blocks nest); fails when there is none.
    void skipBlock();

    // Answers queued for alerts by "answer" lines run while no alert was waiting.
    std::vector<std::string> queuedAnswers;

    // An Escape to be typed while a progress bar runs ("escape-at"): when a bar whose
    // text contains escapeAtText reaches escapeAtStep. 0: none armed.
    long escapeAtStep = 0;
    std::string escapeAtText;
    // True (once) when the Escape armed by "escape-at" falls due at this step of a bar
    // with this text; the front end then types it.
    bool escapeDue(const std::string& progressText, long step);

    // A command of this runner only (a front end's own, such as "screenshot"); it
    // comes before a registered command of that name.
    void addCommand(const std::string& name, ScriptCommand command);

    // Called after every line (the desktop host lets its windows catch up there).
    std::function<void()> afterLine;

    // The hands the user's actions go through (the application model's by default).
    ScriptHands& hands() const;
    void setHands(ScriptHands* hands) { hands_ = hands; }

    // Pop-up menus: the choice for a menu that is up ("menu-pick" lines, given before
    // or read while it waits): an item's title path ("Sub>Item") or "none".
    std::string takeMenuPick(const std::function<std::string()>& what);
    void addMenuPick(const std::string& choice);

  private:
    void runLine(const ScriptLine& line);
    std::vector<ScriptLine> lines_;
    std::size_t next_ = 0;
    const ScriptLine* current_ = nullptr;
    ScriptRunner* previous_ = nullptr;
    ScriptHands* hands_ = nullptr;
    std::vector<std::pair<std::string, ScriptCommand>> own_;
    std::vector<std::string> queuedPicks_;
    bool pickWaiting_ = false;
    bool pickAnswered_ = false;
    std::string pendingPick_;
};

// Splits one line into words (quotes, escapes and comments as described above).
std::vector<std::string> splitScriptLine(const std::string& line, bool* unbalanced = nullptr);

// Parses an integer argument or fails with a message naming the line.
long scriptInt(const ScriptLine& line, std::size_t index);
// The argument at index, or fails with "usage".
const std::string& scriptArg(const ScriptLine& line, std::size_t index);

// Modifier words from index i up to end: shift, option (alt), command (ctrl, cmd), as
// the host's modifier flags; any other word fails.
short scriptModifiers(const ScriptLine& line, std::size_t i, std::size_t end = std::string::npos);

// Registers every script command of the host's modules (idempotent).
void registerAllScriptCommands();

}  // namespace vexa::host
