// A fixture for the sheet-editing commands: the template-model host with the string
// tables and dialog descriptions of the source tree, frames built on its pages, a
// selection that lives while the page content is held (as the editing tool holds it),
// and dialogs answered by a driver.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "Sources/AddFrames.h"
#include "Common/BoxDesc.h"
#include "Common/FrameFit.h"
#include "Sources/Container.h"
#include "ModelBuild.h"
#include "Common/MyPath.h"
#include "settings/MyStrings.h"
#include "Common/Prefs.h"
#include "ui/Ui.h"

namespace vexa::test {

namespace ui = vexa::host::ui;

inline ASFixed mm(double v) {
    return static_cast<ASFixed>(v * 72 * 65536 / 25.4);
}
inline double toMM(ASFixed v) {
    return v * 25.4 / 4718592;
}

struct SheetTest : ::testing::Test {
    ModelTestHost host;
    std::vector<PDPage> held;

    SheetTest() {
        setenv("VEXA_RESOURCES", VEXA_SOURCE_DIR "/plugin/resources", 1);
        gLanguage = kLangEnglish;
        setupMyStrings();
        setOrigin(0);
        setDlgUnits(3);
    }
    ~SheetTest() override {
        for (PDPage p : held) pdPageReleasePDEContent(p);
        ui::setModalDriver(nullptr);
        ui::resetUi();
        cleanupMyStrings();
        unsetenv("VEXA_RESOURCES");
    }

    static void sheet(PDPage page, double w, double h) {
        ASFixedRect r = fxRect(0, 0, w, h);
        gPDModelHFT->PDPageSetMediaBox(page, r);
        pdPageSetCropBox(page, r, false);
    }
    // A page frame as the frame grid makes it: marker and trim lines.
    static void pageFrame(PDPage page, double l, double b, double w, double h, ASInt32 box,
                          ASInt32 rotation = 0) {
        createFrame(page, {fx(l), fx(b)}, fxRect(0, 0, w, h), box, rotation, 0);
    }
    // A frame holding one filled rectangle of its own size (a mark).
    static void markFrame(PDPage page, double l, double b, double w, double h, ASInt32 box) {
        ASFixedRect r = fxRect(l, b, l + w, b + h);
        PDEContainer c = getContainerWithRect(r);
        setBoxNum(c, box);
        addRect(getContent(c), &r, kPDEFill, nullptr, fixedOne);
        addToPage(page, {c});
    }

    struct F {
        ASInt32 box, rotation;
        ASFixedRect r, bleed;
        ASFixed limit, xOff, yOff, scale;
        ASInt32 elems;
        ASFixedRect first;  // bounding box of the first path of its content
        bool selected;
    };
    // The frames of a page in paint order.
    static std::vector<F> frames(PDPage page) {
        std::vector<F> out;
        EnumForms(
            page,
            [](CContent*, PDEElement f, long, long d) {
                PDEContent c = getContent(f);
                ASInt32 n = c ? pdeContentGetNumElems(c) : 0;
                ASFixedRect first{0, 0, 0, 0};
                for (ASInt32 i = 0; i < n; ++i) {
                    PDEElement e = pdeContentGetElem(c, i);
                    if (pdeObjectGetType(e) == kPDEPath) {
                        pdeGetBBox(e, &first);
                        break;
                    }
                }
                reinterpret_cast<std::vector<F>*>(d)->push_back(
                    {getBoxNum(f), getFrameRotation(f), getBBox(f), getBleedRect(f),
                     getMoveLimit(f), readFrame(f).xOff, readFrame(f).yOff, readFrame(f).scale, n,
                     first, getSelected(f)});
                return true;
            },
            reinterpret_cast<long>(&out), false, true);
        return out;
    }
    static std::vector<F> frames(PDDoc doc, long index) {
        CPage page(doc, index);
        return frames(page.getPage());
    }
    // Selects the frames the predicate picks (index in paint order) and keeps the page's
    // content so that the selection lives.
    void select(PDPage page, const std::function<bool(const F&, int)>& pick) {
        held.push_back(page);
        pdPageAcquirePDEContent(page);
        auto all = frames(page);
        struct Ctx {
            const std::function<bool(const F&, int)>* pick;
            std::vector<F>* all;
            int index;
        } ctx{&pick, &all, 0};
        EnumForms(
            page,
            [](CContent*, PDEElement f, long, long d) {
                auto* c = reinterpret_cast<Ctx*>(d);
                int i = c->index++;
                if ((*c->pick)((*c->all)[static_cast<size_t>(i)], i)) setSelected(f, true);
                return true;
            },
            reinterpret_cast<long>(&ctx), false, true);
    }
    void selectAll(PDPage page) {
        select(page, [](const F&, int) { return true; });
    }
    int beeps() { return host.session().frontEnd().beeps; }
    std::vector<host::HeadlessFrontEnd::ShownAlert>& alerts() {
        return host.session().frontEnd().alerts;
    }
    static std::string text(ui::Window& w, const char* control) {
        ui::Control* c = ui::findControl(&w, control);
        return c ? c->text : "<none>";
    }
};

}  // namespace vexa::test
