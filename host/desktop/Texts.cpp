#include "desktop/Texts.h"

#include <array>
#include <string_view>

namespace vexa::host::desktop {

namespace {

// One row per text: English, German, French, Dutch.
struct Row {
    std::string_view enu, deu, fra, nld;
};

// clang-format off
constexpr Row kTexts[] = {
    // menu bar
    {"File", "Datei", "Fichier", "Bestand"},
    {"Edit", "Bearbeiten", "\xC3\x89" "dition", "Bewerken"},
    {"View", "Ansicht", "Affichage", "Beeld"},
    {"Window", "Fenster", "Fen\xC3\xAAtre", "Venster"},
    {"Help", "Hilfe", "Aide", "Help"},
    {"About Plug-Ins", "\xC3\x9C" "ber Zusatzmodule", "\xC3\x80 propos des modules externes", "Over plug-ins"},
    {"Undo", "R\xC3\xBC" "ckg\xC3\xA4ngig", "Annuler", "Ongedaan maken"},
    {"Redo", "Wiederholen", "R\xC3\xA9tablir", "Opnieuw"},
    // File
    {"Open\xE2\x80\xA6", "\xC3\x96" "ffnen\xE2\x80\xA6", "Ouvrir\xE2\x80\xA6", "Openen\xE2\x80\xA6"},
    {"Open Recent", "Zuletzt ge\xC3\xB6" "ffnet", "Ouvrir un fichier r\xC3\xA9" "cent", "Recent geopend"},
    {"Close", "Schlie\xC3\x9F" "en", "Fermer", "Sluiten"},
    {"Save", "Speichern", "Enregistrer", "Opslaan"},
    {"Save As\xE2\x80\xA6", "Speichern unter\xE2\x80\xA6", "Enregistrer sous\xE2\x80\xA6", "Opslaan als\xE2\x80\xA6"},
    {"Save As", "Speichern unter", "Enregistrer sous", "Opslaan als"},
    {"Quit", "Beenden", "Quitter", "Afsluiten"},
    {"Open", "\xC3\x96" "ffnen", "Ouvrir", "Openen"},
    {"PDF files (*.pdf)", "PDF-Dateien (*.pdf)", "Fichiers PDF (*.pdf)", "PDF-bestanden (*.pdf)"},
    {"PDF files (*.pdf *.PDF)", "PDF-Dateien (*.pdf *.PDF)", "Fichiers PDF (*.pdf *.PDF)", "PDF-bestanden (*.pdf *.PDF)"},
    {"All files (*)", "Alle Dateien (*)", "Tous les fichiers (*)", "Alle bestanden (*)"},
    {"Open a PDF file", "PDF-Datei \xC3\xB6" "ffnen", "Ouvrir un fichier PDF", "Een PDF-bestand openen"},
    {"Save the document", "Dokument speichern", "Enregistrer le document", "Het document opslaan"},
    // View
    {"Zoom In", "Vergr\xC3\xB6\xC3\x9F" "ern", "Zoom avant", "Inzoomen"},
    {"Zoom Out", "Verkleinern", "Zoom arri\xC3\xA8re", "Uitzoomen"},
    {"Actual Size", "Originalgr\xC3\xB6\xC3\x9F" "e", "Taille r\xC3\xA9" "elle", "Ware grootte"},
    {"Fit Page", "Ganze Seite", "Page enti\xC3\xA8re", "Volledige pagina"},
    {"Fit Width", "Seitenbreite", "Pleine largeur", "Paginabreedte"},
    {"Single Page", "Einzelseite", "Page unique", "Enkele pagina"},
    {"Continuous", "Fortlaufend", "Continu", "Doorlopend"},
    {"Previous Page", "Vorherige Seite", "Page pr\xC3\xA9" "c\xC3\xA9" "dente", "Vorige pagina"},
    {"Next Page", "N\xC3\xA4" "chste Seite", "Page suivante", "Volgende pagina"},
    {"Page Thumbnails", "Seitenminiaturen", "Vignettes des pages", "Paginaminiaturen"},
    {"Pages", "Seiten", "Pages", "Pagina's"},
    {"Rulers", "Lineale", "R\xC3\xA8gles", "Linialen"},
    // Help
    {"About Vexa Studio", "\xC3\x9C" "ber Vexa Studio", "\xC3\x80 propos de Vexa Studio", "Over Vexa Studio"},
    // message boxes and their buttons
    {"OK", "OK", "OK", "OK"},
    {"Cancel", "Abbrechen", "Annuler", "Annuleren"},
    {"Don't Save", "Nicht speichern", "Ne pas enregistrer", "Niet opslaan"},
    {"\xE2\x80\x9C%1\xE2\x80\x9D could not be opened.",
     "\xE2\x80\x9E%1\xE2\x80\x9C konnte nicht ge\xC3\xB6" "ffnet werden.",
     "\xC2\xAB\xC2\xA0%1\xC2\xA0\xC2\xBB n\xE2\x80\x99" "a pas pu \xC3\xAAtre ouvert.",
     "\xE2\x80\x98%1\xE2\x80\x99 kon niet worden geopend."},
    {"\xE2\x80\x9C%1\xE2\x80\x9D could not be saved.",
     "\xE2\x80\x9E%1\xE2\x80\x9C konnte nicht gespeichert werden.",
     "\xC2\xAB\xC2\xA0%1\xC2\xA0\xC2\xBB n\xE2\x80\x99" "a pas pu \xC3\xAAtre enregistr\xC3\xA9.",
     "\xE2\x80\x98%1\xE2\x80\x99 kon niet worden opgeslagen."},
    {"Save changes to \xE2\x80\x9C%1\xE2\x80\x9D before closing?",
     "\xC3\x84nderungen an \xE2\x80\x9E%1\xE2\x80\x9C vor dem Schlie\xC3\x9F" "en speichern?",
     "Enregistrer les modifications de \xC2\xAB\xC2\xA0%1\xC2\xA0\xC2\xBB avant de fermer\xC2\xA0?",
     "Wijzigingen in \xE2\x80\x98%1\xE2\x80\x99 opslaan voor het sluiten?"},
    {"Your changes are lost if you don't save them.",
     "Ihre \xC3\x84nderungen gehen verloren, wenn Sie sie nicht speichern.",
     "Vos modifications seront perdues si vous ne les enregistrez pas.",
     "Uw wijzigingen gaan verloren als u ze niet opslaat."},
    {"Untitled", "Unbenannt", "Sans titre", "Naamloos"},
    // status bar
    {"Page %1 of %2", "Seite %1 von %2", "Page %1 sur %2", "Pagina %1 van %2"},
    {"(Esc stops)", "(Esc bricht ab)", "(\xC3\x89" "chap arr\xC3\xAAte)", "(Esc stopt)"},
    {"Imposed: %1", "Ausgeschossen: %1", "Imposition faite\xC2\xA0: %1", "Ingeschoten: %1"},
};
// clang-format on

std::string gLanguage = "ENU";

int column(const std::string& code) {
    if (code == "DEU") return 1;
    if (code == "FRA") return 2;
    if (code == "NLD") return 3;
    return 0;
}

}  // namespace

void setTextLanguage(const std::string& code) {
    gLanguage = code;
}

QString hostText(const std::string& english) {
    int col = column(gLanguage);
    if (col > 0)
        for (const Row& r : kTexts)
            if (r.enu == english) {
                std::array<std::string_view, 4> cols{r.enu, r.deu, r.fra, r.nld};
                return QString::fromUtf8(cols[col].data(),
                                         static_cast<qsizetype>(cols[col].size()));
            }
    return QString::fromStdString(english);
}

QString undoText(const std::string& title) {
    for (const char* verb : {"Undo", "Redo"}) {
        std::string v = verb;
        if (title == v) return hostText(v);
        if (title.rfind(v + " ", 0) == 0)
            return hostText(v) + " " + QString::fromStdString(title.substr(v.size() + 1));
    }
    return QString::fromStdString(title);
}

}  // namespace vexa::host::desktop
