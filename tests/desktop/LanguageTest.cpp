// The host's own texts (menu bar, its items, message box buttons, the status bar) in
// the application's language, while the plug-in's menu keeps its own.
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "StudioFixture.h"
#include "desktop/Texts.h"

using vexa::test::StudioFixture;
using vexa::test::StudioSetup;

namespace {

class LanguageTest : public StudioFixture {};

struct Expected {
    std::string language;
    QStringList menuBar;
    QString save, zoomIn, undo, page, dontSave;
};

QString actionText(QWidget* w, const QString& name) {
    QAction* a = w->findChild<QAction*>(name);
    return a ? a->text() : QString("<no %1>").arg(name);
}

TEST_F(LanguageTest, MenusButtonsAndStatusBarFollowTheLanguage) {
    const Expected cases[] = {
        {"ENU",
         {"File", "Edit", "View", "Window", "Vexa", "Help"},
         "Save",
         "Zoom In",
         "Undo",
         "Page 1 of 2",
         "Don't Save"},
        {"DEU",
         {"Datei", "Bearbeiten", "Ansicht", "Fenster", "Vexa", "Hilfe"},
         "Speichern",
         QString::fromUtf8("Vergr\xC3\xB6\xC3\x9F"
                           "ern"),
         QString::fromUtf8("R\xC3\xBC"
                           "ckg\xC3\xA4ngig"),
         "Seite 1 von 2",
         "Nicht speichern"},
        {"FRA",
         {"Fichier",
          QString::fromUtf8("\xC3\x89"
                            "dition"),
          "Affichage", QString::fromUtf8("Fen\xC3\xAAtre"), "Vexa", "Aide"},
         "Enregistrer",
         "Zoom avant",
         "Annuler",
         "Page 1 sur 2",
         "Ne pas enregistrer"},
        {"NLD",
         {"Bestand", "Bewerken", "Beeld", "Venster", "Vexa", "Help"},
         "Opslaan",
         "Inzoomen",
         "Ongedaan maken",
         "Pagina 1 van 2",
         "Niet opslaan"},
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.language);
        StudioSetup setup;
        setup.language = e.language;
        start(setup);
        QStringList titles;
        for (QAction* a : window().menuBar()->actions()) titles << a->text();
        EXPECT_EQ(titles, e.menuBar);
        EXPECT_EQ(actionText(&window(), "item-Studio:Save"), e.save);
        EXPECT_EQ(actionText(&window(), "item-Studio:ZoomIn"), e.zoomIn);
        EXPECT_EQ(actionText(&window(), "item-Undo"), e.undo);

        // A moved frame: the host's verb, then the record's name as the plug-in gave it.
        openBooklet(
            "click 120mm 175mm\n"
            "press-key right\n");
        window().refresh();
        QString undo = actionText(&window(), "item-Undo");
        EXPECT_TRUE(undo.startsWith(e.undo + " ")) << undo.toStdString();
        EXPECT_EQ(window().findChild<QLabel*>("PageLabel")->text(), e.page);

        // The question before closing a changed document, with its buttons.
        QString discard;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            discard = box->button(QMessageBox::Discard)->text();
            box->button(QMessageBox::Cancel)->click();
        });
        EXPECT_FALSE(window().closeDocument(app().frontDoc()));
        EXPECT_EQ(discard, e.dontSave);
        TearDown();
    }
}

TEST(HostTexts, UnknownTextsAndLanguagesStayEnglish) {
    using namespace vexa::host::desktop;
    setTextLanguage("DEU");
    EXPECT_EQ(hostText("No such text"), "No such text");
    EXPECT_EQ(undoText("Redo"), "Wiederholen");
    // Only the leading verb is the host's.
    EXPECT_EQ(undoText("Undo Undo Move"), QString::fromUtf8("R\xC3\xBC"
                                                            "ckg\xC3\xA4ngig Undo Move"));
    EXPECT_EQ(undoText("Undone"), "Undone");
    setTextLanguage("JPN");
    EXPECT_EQ(hostText("Save"), "Save");
    setTextLanguage("ENU");
}

}  // namespace
