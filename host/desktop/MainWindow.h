// The main window of the desktop host: the menu bar and the toolbars of the
// application model, the document windows as tabs with a page view each, and a status
// bar with the page, the zoom and the progress of a long run.
//
// The host's own commands (File, View, Help) are items of the model's menus like the
// plug-ins' items, so that scripts and plug-ins see one menu bar.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/App.h"

class QDockWidget;
class QLabel;
class QMenu;
class QProgressBar;
class QTabWidget;
class QToolBar;

namespace vexa::host::desktop {

class DesktopFrontEnd;
class PageView;
class Thumbnails;

class MainWindow : public QMainWindow {
    Q_OBJECT

  public:
    explicit MainWindow(DesktopFrontEnd& frontEnd);
    ~MainWindow() override;

    // Builds the Qt menu bar and toolbars from the model's (again when they changed).
    void syncMenus();
    // Brings titles, check marks, the status bar and the window title up to date.
    void refresh();

    // Document windows.
    void addDocument(AVDoc doc);
    void removeDocument(AVDoc doc);
    void showDocument(AVDoc doc);
    PageView* pageView(AVDoc doc) const;
    PageView* currentPageView() const;
    void focusPageView();

    // Opens a PDF file in a new window; false when it cannot be opened (a message box
    // says why when askUser is set, else a line on stderr).
    bool openFile(const std::string& path, bool askUser = true);
    // Saves the document to its file (or asks where when it has none); false when it
    // was not saved.
    bool save(AVDoc doc);
    bool saveAs(AVDoc doc);
    // Asks whether to save a changed document; false when the user cancels.
    bool maybeSave(AVDoc doc);
    // Closes a document window, asking first when it has unsaved changes.
    bool closeDocument(AVDoc doc);

    // The progress of a long run in the status bar.
    void showProgress(bool on);
    void setProgressText(const QString& text);
    void setProgressRange(int steps);
    void setProgressValue(int value);

    // The Qt action that shows a model menu item or toolbar button (null when none).
    QAction* actionFor(const _t_AVMenuItem* item) const;
    QAction* actionFor(const _t_AVToolButton* button) const;
    QTabWidget* tabs() const { return tabs_; }
    // The sidebar of page thumbnails ("View > Page Thumbnails").
    Thumbnails* thumbnails() const { return thumbnails_; }
    void showThumbnails(bool on);
    // Rulers along every page view (a person's choice, kept between runs; a scripted
    // session starts without them).
    void showRulers(bool on);

    // The window's state between runs of an interactive session: size and position,
    // the zoom of the last document window, the folder of the last file chosen and
    // "Open Recent" (the last ten files), in "$XDG_CONFIG_HOME/Orvanta/vexa-studio.ini".
    // Scripted sessions neither read nor write it.
    static std::string stateFile();
    // The unit the plug-in's dialogs use ("DlgUnits" of its preferences: 1 pt, 2 in,
    // 3 mm, 4 cm; mm when unset or out of range), and a page point written in it.
    static int dialogUnits();
    static QString pointText(QPointF point, int units);
    void restoreState();  // and keep it from now on
    void saveState();
    const std::vector<std::string>& recentFiles() const { return recent_; }
    const std::string& lastFolder() const { return lastFolder_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void addHostCommands();
    void addHostItem(const char* menu, const char* name, const char* title,
                     std::function<void()> run, std::function<bool()> enabled = {},
                     std::function<bool()> marked = {});
    void addHostButton(const char* toolbar, const char* name, const char* label,
                       std::function<void()> run);
    void fillMenu(QMenu* qmenu, _t_AVMenu* menu);
    void fillRecent(QMenu* qmenu);
    void fillWindowMenu(QMenu* qmenu);
    void syncToolbars();
    void currentTabChanged(int index);
    void updateStatus();
    void execute(_t_AVMenuItem* item);
    void openDialog();
    void about();
    void addRecent(const std::string& path);

    struct HostCommand {
        std::function<void()> run;
        std::function<bool()> enabled;
        std::function<bool()> marked;
    };

    DesktopFrontEnd& fe_;
    QTabWidget* tabs_;
    QLabel* pageLabel_;
    QLabel* zoomLabel_;
    QLabel* pointerLabel_;
    QDockWidget* thumbDock_;
    bool rulers_ = false;
    Thumbnails* thumbnails_;
    QLabel* progressLabel_;
    QProgressBar* progressBar_;
    std::map<AVDoc, PageView*> views_;
    std::vector<std::unique_ptr<HostCommand>> commands_;
    std::vector<_t_AVMenu*> builtMenus_;
    std::size_t builtButtons_ = 0;
    std::map<const _t_AVMenuItem*, QPointer<QAction>> itemActions_;
    std::map<const _t_AVToolButton*, QPointer<QAction>> buttonActions_;
    std::vector<QToolBar*> toolbars_;
    std::vector<std::string> recent_;
    std::string lastFolder_;
    QString zoomSetting_ = "fit-page";
    bool keepState_ = false;
    bool switchingTabs_ = false;
};

}  // namespace vexa::host::desktop
