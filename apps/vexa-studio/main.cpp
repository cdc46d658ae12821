// vexa-studio: the desktop host. Opens the PDF files given to it; with --run it runs a
// scripted session against its windows and ends.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/Core.h"
#include "desktop/DesktopFrontEnd.h"
#include "desktop/Icons.h"
#include "desktop/MainWindow.h"
#include "desktop/Studio.h"
#include "ui/Script.h"

namespace {

const char* kUsage =
    "usage: vexa-studio [OPTIONS] [FILE.pdf ...]\n"
    "\n"
    "Opens the PDF files in windows of their own (a template shows its frames with the\n"
    "plug-in's palette and tool).\n"
    "\n"
    "options:\n"
    "  --run SCRIPT         run a scripted session against the windows and quit (see\n"
    "                       docs/script.md); the exit code is 1 when a line fails\n"
    "  --virtual-clock      with --run: time passes only when the script says so\n"
    "  --plugins DIR        load plug-ins from DIR (repeatable; default: plug_ins\n"
    "                       beside the program, or " VEXA_INSTALLED_PLUGIN_DIR
    " from it\n"
    "                       when installed)\n"
    "  --host-version M.N   the application version reported to plug-ins (default 11.0)\n"
    "  --language CODE      the application language (ENU, DEU, FRA, NLD; default:\n"
    "                       from the locale)\n"
    "  --version            print the version\n"
    "  --help               print this text\n"
    "\n"
    "Qt's own options (-platform offscreen, ...) are understood as well.\n";

int usage(const std::string& message) {
    std::fprintf(stderr, "vexa-studio: %s\nTry 'vexa-studio --help'.\n", message.c_str());
    return 2;
}

// Qt's platform plug-ins without a window system (offscreen, minimal) report on every
// window what they cannot do; that says nothing to the user.
void messages(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type == QtDebugMsg || text.startsWith("This plugin does not support") ||
        text.startsWith("QStandardPaths: XDG_RUNTIME_DIR"))
        return;
    std::fprintf(stderr, "vexa-studio: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

// Whatever escapes the handlers below is an allocation failure before the window
// exists; the process ends with it either way.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vexa-studio 6.17\n");
            return 0;
        }
    }
    qInstallMessageHandler(messages);
    QApplication qapp(argc, argv);
    QApplication::setApplicationName("Vexa Studio");
    QApplication::setApplicationVersion("6.17");
    QApplication::setOrganizationName("Vexa");
    QApplication::setWindowIcon(vexa::host::desktop::appIcon());
    // The desktop entry (packaging/vexa-studio.desktop) that starts it.
    QGuiApplication::setDesktopFileName("vexa-studio");

    vexa::host::desktop::StudioOptions options;
    std::string script;
    std::vector<std::string> files;
    QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        std::string s = args[i].toStdString();
        auto value = [&](const char* opt) -> std::string {
            if (i + 1 >= args.size()) throw std::runtime_error(std::string(opt) + " needs a value");
            return args[++i].toStdString();
        };
        try {
            if (s == "--run") {
                script = value("--run");
            } else if (s == "--virtual-clock") {
                options.virtualClock = true;
            } else if (s == "--plugins") {
                options.pluginDirs.push_back(value("--plugins"));
            } else if (s == "--language") {
                std::string code = value("--language");
                if (!vexa::host::parseLanguage(code, &options.language))
                    return usage("--language takes ENU, DEU, FRA or NLD, not " + code);
            } else if (s == "--host-version") {
                if (!vexa::host::parseHostVersion(value("--host-version"), &options.hostMajor,
                                                  &options.hostMinor))
                    return usage("--host-version takes MAJOR.MINOR, e.g. 11.0");
            } else if (!s.empty() && s[0] == '-') {
                return usage("unknown option " + s);
            } else {
                files.push_back(s);
            }
        } catch (const std::runtime_error& e) {
            return usage(e.what());
        }
    }
    if (options.virtualClock && script.empty()) return usage("--virtual-clock needs --run");

    try {
        vexa::host::desktop::Studio studio(options);
        // A person's session comes back as it was left; a script starts afresh.
        if (script.empty()) studio.window().restoreState();
        studio.window().show();
        studio.start();
        for (const std::string& f : files) studio.window().openFile(f, script.empty());
        if (!script.empty()) {
            studio.runScript(script);
            return 0;
        }
        return QApplication::exec();
    } catch (const vexa::host::ScriptError& e) {
        std::fprintf(stderr, "vexa-studio: %s\n", vexa::host::oneLine(e.what()).c_str());
        return 1;
    } catch (const ASException& e) {
        std::fprintf(stderr, "vexa-studio: %s\n", vexa::host::errorText(e.code()).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vexa-studio: %s\n", e.what());
        return 1;
    }
}
