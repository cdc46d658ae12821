#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/App.h"
#include "core/Core.h"

using namespace vexa::host;
using app::Application;

namespace {

TEST(DropUriList, TheFirstFileUriGivesThePath) {
    auto p = Application::pathFromUriList;
    EXPECT_EQ(p("file:///tmp/a%20b.PDF\r\n"), "/tmp/a b.PDF");
    EXPECT_EQ(p("# a comment\r\nfile://localhost/x/y.pdf\r\nfile:///z.pdf\r\n"), "/x/y.pdf");
    EXPECT_EQ(p("https://example.invalid/a.pdf\r\nfile:///b.pdf"), "/b.pdf");
    EXPECT_EQ(p("FILE:///c%C3%A9.pdf"), "/c\xC3\xA9.pdf");
    // Nothing usable: other hosts, relative paths, broken or NUL escapes, no URI at all.
    EXPECT_EQ(p("file://server/share/a.pdf"), "");
    EXPECT_EQ(p("file://a.pdf"), "");
    EXPECT_EQ(p("file:///a%2"), "");
    EXPECT_EQ(p("file:///a%00.pdf"), "");
    EXPECT_EQ(p("file:///a%zz.pdf"), "");
    EXPECT_EQ(p("/plain/path.pdf"), "");
    EXPECT_EQ(p(""), "");
}

struct Event {
    std::string what;
    std::string path;
    AVDevCoord x, y;
};
std::vector<Event> gEvents;

bool endsWithPdf(const std::string& s) {
    if (s.size() < 4) return false;
    std::string e = s.substr(s.size() - 4);
    for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return e == ".pdf";
}

ASBool track(AVDoc doc, ASInt32 phase, const char* path, AVDevCoord x, AVDevCoord y, ASClientData) {
    static const char* names[] = {"enter", "move", "leave"};
    gEvents.push_back({names[phase], path, x, y});
    if (phase == AVDragLeave || !endsWithPdf(path)) {
        app::acroViewTable()->AVDocSetDropHighlight(doc, nullptr);
        return false;
    }
    AVDevRect r{x - 5, y - 5, x + 5, y + 5};
    app::acroViewTable()->AVDocSetDropHighlight(doc, &r);
    return true;
}

ASBool receive(AVDoc, const char* path, AVDevCoord x, AVDevCoord y, ASClientData data) {
    gEvents.push_back({"drop", path, x, y});
    *static_cast<int*>(data) += 1;
    return endsWithPdf(path);
}

TEST(DropTarget, HandlersTrackAndReceiveOnlyOnWindowsThatHaveThem) {
    gEvents.clear();
    Application app(true);
    AVDoc doc = app.openDoc(nullptr, "t");
    const std::string uri = "file:///tmp/x.PDF\r\n";
    EXPECT_FALSE(app.dragTrack(doc, AVDragEnter, uri, 1, 2));  // no drop target yet
    EXPECT_FALSE(app.drop(doc, uri, 1, 2));
    int drops = 0;
    AVDropHandlersRec h{sizeof h, track, receive};
    app::acroViewTable()->AVDocSetDropHandlers(doc, &h, &drops);

    EXPECT_TRUE(app.dragTrack(doc, AVDragEnter, uri, 10, 20));
    EXPECT_TRUE(app.dragTrack(doc, AVDragMove, uri, 30, 40));
    EXPECT_TRUE(doc->drop.highlighted);
    EXPECT_EQ(doc->drop.highlight.left, 25);
    // The mouse position is the drop point, for handlers that ask the host.
    AVDevCoord mx, my;
    app::acroViewTable()->AVPageViewGetMousePosition(&doc->view, &mx, &my);
    EXPECT_EQ(mx, 30);
    EXPECT_TRUE(app.drop(doc, uri, 30, 40));
    EXPECT_FALSE(doc->drop.highlighted);
    EXPECT_EQ(drops, 1);
    ASSERT_EQ(gEvents.size(), 3u);
    EXPECT_EQ(gEvents[2].what, "drop");
    EXPECT_EQ(gEvents[2].path, "/tmp/x.PDF");

    // A text file is refused while tracking; a URI list without a file never reaches
    // the handlers' receive.
    EXPECT_FALSE(app.dragTrack(doc, AVDragEnter, "file:///tmp/x.pdf.txt", 1, 1));
    EXPECT_FALSE(doc->drop.highlighted);
    EXPECT_FALSE(app.dragTrack(doc, AVDragLeave, "", 1, 1));
    EXPECT_EQ(gEvents.back().what, "leave");
    EXPECT_FALSE(app.drop(doc, "https://example.invalid/x.pdf", 1, 1));
    EXPECT_EQ(drops, 1);

    app::acroViewTable()->AVDocRemoveDropHandlers(doc);
    EXPECT_FALSE(app.dragTrack(doc, AVDragEnter, uri, 1, 1));
}

}  // namespace
