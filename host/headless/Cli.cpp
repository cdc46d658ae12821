#include "headless/Cli.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Core.h"
#include "headless/HotfolderCommand.h"
#include "headless/ImposeCommand.h"
#include "headless/Script.h"
#include "headless/Session.h"
#include "headless/TemplateCommand.h"
#include "headless/UserFiles.h"

namespace vexa::host {
namespace {

const char* kUsage =
    "usage: vexa [OPTIONS] COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  info                 host version and language, the plug-ins and their menus\n"
    "  run [--virtual-clock] SCRIPT\n"
    "                       run a scripted session (see docs/script.md)\n"
    "  impose SOURCE.pdf [-t TEMPLATE.pdf|NAME] [--second-sheet FILE.pdf]\n"
    "         [--binding saddle|perfect|envelope] [--align trimbox|centered|adjust]\n"
    "         [--creep LENGTH] [--scale PERCENT] [--pages FROM-TO]\n"
    "         [--map-spot NAME=cyan|magenta|yellow|black|keep]... [--spot-black on|off]\n"
    "         [-o OUT.pdf] [--job JOB.json] [--dry-run] [--json]\n"
    "                       impose a document into a template and save the result\n"
    "  template new|show|list ...\n"
    "                       make a template, show one (text, JSON, proofs, fold check),\n"
    "                       list the library (see docs/templates.md, vexa template --help)\n"
    "  hotfolder [--once | --list]\n"
    "                       impose what arrives in the hot folders (see docs/hotfolder.md)\n"
    "  --version            print the version\n"
    "  --help               print this text; vexa COMMAND --help describes a command\n"
    "\n"
    "options:\n"
    "  --plugins DIR        load plug-ins from DIR (repeatable; default: plug_ins\n"
    "                       beside the vexa program, or " VEXA_INSTALLED_PLUGIN_DIR
    " from it\n"
    "                       when installed)\n"
    "  --host-version M.N   the application version reported to plug-ins (default 11.0)\n"
    "  --language CODE      the application language (ENU, DEU, FRA, NLD; default:\n"
    "                       from the locale)\n"
    "  --config FILE        the preferences file, read and written instead of\n"
    "                       ~/.config/Orvanta/Vexa.ini (the service uses\n"
    "                       /etc/vexa/Vexa.ini)\n"
    "  --log FILE           the log file, instead of ~/Documents/Orvanta/Vexa.txt;\n"
    "                       missing folders are made, and a warning says when it\n"
    "                       cannot be written\n"
    "\n"
    "exit status:\n"
    "  0                    the command did what it was asked\n"
    "  1                    it failed; stderr or the log names the file and the reason\n"
    "  2                    wrong usage or input: nothing ran (vexa COMMAND --help tells\n"
    "                       more)\n"
    "\n"
    "files:\n"
    "  ~/.config/Orvanta/Vexa.ini\n"
    "                       the preferences, the hot folders among them\n"
    "                       ($XDG_CONFIG_HOME/Orvanta/Vexa.ini)\n"
    "  ~/Documents/Orvanta/Vexa.txt\n"
    "                       the log ($XDG_DOCUMENTS_DIR/Orvanta/Vexa.txt)\n"
    "  /etc/vexa/Vexa.ini   the hot-folder service's preferences\n"
    "  /var/log/vexa/Vexa.txt\n"
    "                       the hot-folder service's log (also in the journal:\n"
    "                       journalctl -u vexa-hotfolder)\n"
    "  " VEXA_INSTALLED_PLUGIN_DIR
    "\n"
    "                       the plug-ins, relative to the vexa program; the templates\n"
    "                       bundled with the plug-in are in Vexa/templates there\n"
    "\n"
    "environment:\n"
    "  VEXA_CONFIG          the preferences file, as --config gives it\n"
    "  VEXA_LOG             the log file, as --log gives it\n"
    "  XDG_CONFIG_HOME, XDG_DOCUMENTS_DIR, HOME\n"
    "                       where the preferences and the log are by default\n"
    "  TMPDIR               where jobs keep their temporary files (default /tmp)\n"
    "\n"
    "examples:\n"
    "  vexa impose brochure.pdf\n"
    "                       impose into the bundled 2-up booklet, saved as\n"
    "                       brochure_M.pdf\n"
    "  vexa impose book.pdf -t Signature_16_A4 --binding perfect -o book-sheets.pdf\n"
    "                       perfect-bound signatures of 16 pages\n"
    "  vexa template new --sheet SRA3 --page A4 --layout booklet -o a4-booklet.pdf\n"
    "                       make a template\n"
    "  vexa hotfolder --once\n"
    "                       impose what waits in the hot folders, then end\n";

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Args {
    SessionOptions session;
    std::string command;
    std::vector<std::string> rest;
};

Args parse(int argc, char** argv) {
    Args a;
    int i = 1;
    auto value = [&](const char* opt) -> std::string {
        if (i + 1 >= argc) throw UsageError(std::string(opt) + " needs a value");
        return argv[++i];
    };
    for (; i < argc; ++i) {
        std::string s = argv[i];
        if (s == "--plugins") {
            a.session.pluginDirs.push_back(value("--plugins"));
        } else if (s == "--host-version") {
            if (!parseHostVersion(value("--host-version"), &a.session.hostMajor,
                                  &a.session.hostMinor))
                throw UsageError("--host-version takes MAJOR.MINOR, e.g. 11.0");
        } else if (s == "--language") {
            std::string code = value("--language");
            if (!parseLanguage(code, &a.session.language))
                throw UsageError("--language takes ENU, DEU, FRA or NLD, not " + code);
        } else if (s == "--config" || s == "--log") {
            // Through the environment: the plug-in and the jobs' child processes read
            // the same files.
            std::string file = value(s.c_str());
            if (file.empty()) throw UsageError(s + " needs a file name");
            ::setenv(s == "--config" ? "VEXA_CONFIG" : "VEXA_LOG", file.c_str(), 1);
            // The work goes on without its log, but not without saying so.
            if (s == "--log") {
                std::string problem = logFileProblem(file);
                if (!problem.empty())
                    std::fprintf(stderr, "vexa: warning: nothing can be logged to %s (%s)\n",
                                 file.c_str(), problem.c_str());
            }
        } else if (s == "-h") {
            a.command = "--help";
            for (++i; i < argc; ++i) a.rest.push_back(argv[i]);
        } else if (!s.empty() && s[0] == '-' && s != "--version" && s != "--help") {
            throw UsageError("unknown option " + s);
        } else {
            a.command = s;
            for (++i; i < argc; ++i) a.rest.push_back(argv[i]);
        }
    }
    return a;
}

void printMenu(_t_AVMenu* m, const std::string& indent) {
    for (_t_AVMenuItem* it : m->items) {
        if (it->isSeparator()) {
            std::printf("%s----\n", indent.c_str());
            continue;
        }
        std::printf("%s%s  (%s)\n", indent.c_str(), it->title.c_str(), it->name.c_str());
        if (it->submenu) printMenu(it->submenu, indent + "  ");
    }
}

const char kInfoHelp[] =
    "usage: vexa info\n"
    "\n"
    "Prints the host version and language, where the preferences file and the log file\n"
    "are, each plug-in found with its state (loaded, inert, refused) and why, and the\n"
    "menus the plug-ins added. Takes no options but -h, --help.\n";

const char kRunHelp[] =
    "usage: vexa run [--virtual-clock] SCRIPT\n"
    "\n"
    "Runs a scripted session: menus, dialogs, alerts, clicks and keys as a user gives\n"
    "them (see docs/script.md). Exit status 0 when every line ran, 1 at the first line\n"
    "that failed (it is named).\n"
    "\n"
    "options:\n"
    "  --virtual-clock      time passes only when the script lets it (idle, ticks),\n"
    "                       so that timed behaviour is repeatable (default: real time)\n"
    "  -h, --help           prints this text\n";

int cmdInfo(Session& s) {
    app::Application& a = s.app();
    std::printf("vexa 6.17: host version %d.%d, language %s\n", a.versionMajor, a.versionMinor,
                a.language.c_str());
    std::printf("preferences: %s%s\n", preferencesPath().c_str(),
                ::access(preferencesPath().c_str(), F_OK) == 0 ? "" : " (not written yet)");
    std::printf("log: %s%s\n", logPath().c_str(),
                ::access(logPath().c_str(), F_OK) == 0 ? "" : " (not written yet)");
    if (s.loader().plugins().empty()) std::printf("plug-ins: none found\n");
    for (auto& p : s.loader().plugins()) {
        std::printf("plug-in %s: %s  %s", p->name.c_str(), stateName(p->state), p->path.c_str());
        if (!p->reason.empty()) std::printf("  (%s)", p->reason.c_str());
        std::printf("\n");
    }
    auto& menus = a.menubar().menus;
    for (std::size_t i = 0; i < menus.size(); ++i) {
        _t_AVMenu* m = menus[i];
        if (m->owner) {
            std::printf("menu \"%s\" (%s), after \"%s\":\n", m->title.c_str(), m->name.c_str(),
                        i > 0 ? menus[i - 1]->title.c_str() : "(first)");
            printMenu(m, "  ");
        }
    }
    // Items that plug-ins added to the host's own menus and submenus.
    std::vector<_t_AVMenu*> todo(menus.begin(), menus.end());
    while (!todo.empty()) {
        _t_AVMenu* m = todo.back();
        todo.pop_back();
        if (m->owner) continue;
        for (_t_AVMenuItem* it : m->items) {
            if (it->owner)
                std::printf("in \"%s\": %s  (%s)\n", m->name.c_str(), it->title.c_str(),
                            it->name.c_str());
            if (it->submenu) todo.push_back(it->submenu);
        }
    }
    return 0;
}

int cmdRun(Args& args) {
    std::string script;
    for (const auto& r : args.rest) {
        if (r == "--virtual-clock")
            args.session.virtualClock = true;
        else if (script.empty())
            script = r;
        else
            throw UsageError("run takes one script");
    }
    if (script.empty()) throw UsageError("run needs a script file");
    ScriptRunner runner;
    runner.loadFile(script);
    Session s(args.session);
    s.start();
    runner.run();
    return 0;
}

}  // namespace

int runCli(int argc, char** argv) {
    try {
        Args args = parse(argc, argv);
        if (args.command == "--version") {
            std::printf("vexa 6.17\n");
            return 0;
        }
        if (args.command == "--help" || args.command == "help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (args.command.empty()) throw UsageError("no command given");
        // Every command describes itself.
        for (std::string& r : args.rest) {
            if (r != "--help" && r != "-h") continue;
            if (args.command == "template" || args.command == "hotfolder") {
                r = "--help";  // these commands describe themselves
                break;
            }
            if (args.command == "info") return std::fputs(kInfoHelp, stdout), 0;
            if (args.command == "run") return std::fputs(kRunHelp, stdout), 0;
            if (args.command == "impose") return std::fputs(imposeHelp(), stdout), 0;
        }
        if (args.command == "info") {
            if (!args.rest.empty()) throw UsageError("info takes no arguments");
            Session s(args.session);
            s.start();
            return cmdInfo(s);
        }
        if (args.command == "run") return cmdRun(args);
        if (args.command == "hotfolder") return cmdHotfolder(args.session, args.rest);
        if (args.command == "impose") return cmdImpose(args.session, args.rest);
        if (args.command == "template") return cmdTemplate(args.session, args.rest);
        throw UsageError("unknown command \"" + args.command + "\"");
    } catch (const UsageError& e) {
        std::fprintf(stderr, "vexa: %s\n%s", e.what(), "Try 'vexa --help'.\n");
        return 2;
    } catch (const ScriptError& e) {
        std::fprintf(stderr, "vexa: %s\n", oneLine(e.what()).c_str());
        return 1;
    } catch (const ASException& e) {
        std::fprintf(stderr, "vexa: %s\n", errorText(e.code()).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexa: %s\n", e.what());
        return 1;
    }
}

}  // namespace vexa::host
