#include "Sources/AddMarks.h"

#include <algorithm>

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "settings/MyDialog.h"
#include "Common/MyPath.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SheetEdit.h"
#include "Sources/Undo.h"

namespace {

// The marks dialog's values (kept while the program runs) and the rectangle where no
// mark line is drawn (none when all zero).
struct MarksState {
    MarkParams params;
    ASFixedRect exclude{0, 0, 0, 0};
};
MarksState gMarksState;

enum {
    kDist = 4,
    kLen = 6,
    kWidth = 8,
    kCut = 9,
    kSym = 10,
    kReg = 11,
    kGray = 12,
    kCenter = 13,
    kFold = 14
};

const ASFixed kRegSize = 928856;    // 5 mm
const ASFixed kRegRadius = 232214;  // 1.25 mm

bool inExclusion(ASFixedPoint p) {
    const ASFixedRect& r = gMarksState.exclude;
    if (r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0) return false;
    return p.h >= r.left && p.h <= r.right && p.v >= r.bottom && p.v <= r.top;
}

void addPathTo(PDEContent content, CMyPath& path, ASFixed w, const PDEColorSpec* color,
               bool overprint) {
    PDEPath p = path.getPath(w, color, kPDEStroke, overprint);
    pdeContentAddElem(content, kPDEAfterLast, p);
    pdeRelease(p);
}

struct MarkCtx {
    PDEColorSpec color;
    ASFixed trap;
    std::vector<ASFixedRect> trims;  // of the selected frames, for the fold marks
};

bool marksProc(CContent* level, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<MarkCtx*>(data);
    const MarkParams& m = getMarkParams();
    ASFixedRect r = getBBox(frame);
    ASFixedRect b = getBleedRect(frame);
    ASFixed L = r.left, T = r.top, R = r.right, B = r.bottom;
    ASFixed d = m.distance, len = m.length, w = m.width;
    // folds lie between pages
    if (m.foldMarks == 1 && getBoxNum(frame) >= 1)
        ctx->trims.push_back({L + b.left, T - b.top, R - b.right, B + b.bottom});
    if (m.cutMarks == 1) {
        ASFixed ys[2] = {T - b.top, B + b.bottom};
        for (ASFixed y : ys) {
            addMarkLine(level, {L - d - len, y}, {L - d, y}, w, &ctx->color, ctx->trap);
            addMarkLine(level, {R + d, y}, {R + d + len, y}, w, &ctx->color, ctx->trap);
        }
        ASFixed xs[2] = {L + b.left, R - b.right};
        for (ASFixed x : xs) {
            addMarkLine(level, {x, T + d}, {x, T + d + len}, w, &ctx->color, ctx->trap);
            addMarkLine(level, {x, B - d - len}, {x, B - d}, w, &ctx->color, ctx->trap);
        }
    }
    if (m.regMarks == 1) {
        const ASFixedPoint corners[4] = {{L - kRegSize - d, T - b.top - d - kRegSize},
                                         {L - kRegSize - d, B + b.bottom + d},
                                         {R + d, T - b.top - d - kRegSize},
                                         {R + d, B + b.bottom + d}};
        for (const auto& c : corners) {
            if (gMarksState.exclude.left <= c.h && c.h < gMarksState.exclude.right) continue;
            PDEContainer mark = getContainerWithPoint(c, kRegSize, kRegSize);
            setBoxNum(mark, kBoxRegMark);
            PDEContent mc = getContent(mark);
            CMyPath path(256);
            path.circle(c.h + kRegSize / 2, c.v + kRegSize / 2, kRegRadius);
            path.moveto(c.h, c.v + kRegSize / 2);
            path.rlineto(kRegSize, 0);
            path.moveto(c.h + kRegSize / 2, c.v);
            path.rlineto(0, kRegSize);
            if (ctx->trap > 0) addPathTo(mc, path, w + ctx->trap, nullptr, true);
            addPathTo(mc, path, w, &ctx->color, true);
            level->addElem(mark, kAddAtEnd);
            pdeRelease(mark);
        }
    }
    return true;
}

// Draws marks at the top level of the page's content with draw(level), then writes the
// content back and tells the host; the content is let go on every path.
template <class Draw>
void drawOnPage(PDPage page, Draw draw) {
    {
        PageContentRef content(page);
        CContent level(content.get(), nullptr, nullptr);
        draw(&level);
        pdPageSetPDEContent(page);
    }
    pdPageNotifyContentsDidChange(page);
}

void centredMarks(PDPage page, const PDEColorSpec* color, ASFixed trap) {
    ASFixedRect s;
    if (!getSelBBox(page, &s)) return;
    const MarkParams& m = getMarkParams();
    ASFixed d = m.distance, len = m.length, w = m.width;
    ASFixed o = mmToFixed(getCenterMarkOffset());
    drawOnPage(page, [&](CContent* level) {
        ASFixed cx = s.left + (s.right - s.left) / 2;
        ASFixed cy = s.bottom + (s.top - s.bottom) / 2;
        addMarkLine(level, {cx, s.top + d - o}, {cx, s.top + d - o + len}, w, color, trap);
        addMarkLine(level, {cx, s.bottom - d - len + o}, {cx, s.bottom - d + o}, w, color, trap);
        addMarkLine(level, {s.left - d - len + o, cy}, {s.left - d + o, cy}, w, color, trap);
        addMarkLine(level, {s.right + d - o, cy}, {s.right + d - o + len, cy}, w, color, trap);
        ASFixed l = s.left - d, r = s.right + d, t = s.top + d, b = s.bottom - d;
        // Corner marks point away from the selection. The two arms of a corner meet
        // without overlapping: the horizontal arm runs on to the vertical arm's outer edge
        // and the vertical arm starts at the horizontal arm's outer edge, so that neither
        // arm's white underlay cuts into the other and the corner is square.
        ASFixed lo = w / 2, hi = std::min(w - w / 2, len);
        addMarkLine(level, {l - len, t}, {l + hi, t}, w, color, trap);
        addMarkLine(level, {l, t + hi}, {l, t + len}, w, color, trap);
        addMarkLine(level, {r - lo, t}, {r + len, t}, w, color, trap);
        addMarkLine(level, {r, t + hi}, {r, t + len}, w, color, trap);
        addMarkLine(level, {r - lo, b}, {r + len, b}, w, color, trap);
        addMarkLine(level, {r, b - len}, {r, b - std::min(lo, len)}, w, color, trap);
        addMarkLine(level, {l - len, b}, {l + hi, b}, w, color, trap);
        addMarkLine(level, {l, b - len}, {l, b - std::min(lo, len)}, w, color, trap);
    });
}

// Fold marks: at every fold line of the selected frames, a line of the marks' length
// beyond the cut marks (one distance further out), above and below the selection for
// a vertical fold, left and right of it for a horizontal one.
void foldMarks(PDPage page, const std::vector<ASFixedRect>& trims, const PDEColorSpec* color,
               ASFixed trap) {
    FoldLines folds = getFoldLines(trims);
    if (folds.xs.empty() && folds.ys.empty()) return;
    ASFixedRect s;
    if (!getSelBBox(page, &s)) return;
    const MarkParams& m = getMarkParams();
    ASFixed len = m.length, w = m.width, off = 2 * m.distance + len;
    drawOnPage(page, [&](CContent* level) {
        for (ASFixed x : folds.xs) {
            addMarkLine(level, {x, s.top + off}, {x, s.top + off + len}, w, color, trap,
                        kBoxFoldMark);
            addMarkLine(level, {x, s.bottom - off - len}, {x, s.bottom - off}, w, color, trap,
                        kBoxFoldMark);
        }
        for (ASFixed y : folds.ys) {
            addMarkLine(level, {s.left - off - len, y}, {s.left - off, y}, w, color, trap,
                        kBoxFoldMark);
            addMarkLine(level, {s.right + off, y}, {s.right + off + len, y}, w, color, trap,
                        kBoxFoldMark);
        }
    });
}

void marksOK(CMyDialog* dialog, ASInt32, void*) {
    if (!checkEditControls(dialog)) return;
    // A field left as shown keeps its value: 0.25 pt shows as 0.09 mm and must not come
    // back as 0.2551 pt.
    ASInt32 unit = getDlgUnits();
    gMarksState.params.distance = getFieldValue(dialog, kDist, gMarksState.params.distance, unit);
    gMarksState.params.length = getFieldValue(dialog, kLen, gMarksState.params.length, unit);
    gMarksState.params.width = getFieldValue(dialog, kWidth, gMarksState.params.width, unit);
    gMarksState.params.cutMarks = static_cast<ASInt16>(dialog->getValue(kCut));
    gMarksState.params.regMarks = static_cast<ASInt16>(dialog->getValue(kReg));
    gMarksState.params.gray = static_cast<ASInt16>(dialog->getValue(kGray));
    gMarksState.params.centeredMarks = static_cast<ASInt16>(dialog->getValue(kCenter));
    if (dialog->getControl(kSym))
        gMarksState.params.symmetric = static_cast<ASInt16>(dialog->getValue(kSym));
    if (dialog->getControl(kFold))
        gMarksState.params.foldMarks = static_cast<ASInt16>(dialog->getValue(kFold));
    dialog->endDialog(kCmdOK);
}

void marksSetup(CMyDialog* dialog, void*) {
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kDist, gMarksState.params.distance, unit, -1857713, 18577133);
    setDlgItemFixed(dialog, kLen, gMarksState.params.length, unit, 0, 18577133);
    setDlgItemFixed(dialog, kWidth, gMarksState.params.width, unit, 0, 18577133);
    dialog->setValue(kCut, gMarksState.params.cutMarks);
    dialog->setValue(kReg, gMarksState.params.regMarks);
    dialog->setValue(kGray, gMarksState.params.gray);
    dialog->setValue(kCenter, gMarksState.params.centeredMarks);
    if (dialog->getControl(kSym)) dialog->setValue(kSym, gMarksState.params.symmetric);
    if (dialog->getControl(kFold)) dialog->setValue(kFold, gMarksState.params.foldMarks);
    dialog->setHandler(1, marksOK, nullptr);
}

bool touches(const ASFixedRect& a, const ASFixedRect* area) {
    if (!area) return true;
    return a.left <= area->right && a.right >= area->left && a.bottom <= area->top &&
           a.top >= area->bottom;
}

}  // namespace

FoldLines getFoldLines(const std::vector<ASFixedRect>& trims) {
    FoldLines out;
    for (const ASFixedRect& a : trims) {
        const ASFixedRect* right = nullptr;
        const ASFixedRect* above = nullptr;
        for (const ASFixedRect& b : trims) {
            if (b.left >= a.right && a.bottom < b.top && b.bottom < a.top &&
                (!right || b.left < right->left))
                right = &b;
            if (b.bottom >= a.top && a.left < b.right && b.left < a.right &&
                (!above || b.bottom < above->bottom))
                above = &b;
        }
        if (right) out.xs.push_back(a.right + (right->left - a.right) / 2);
        if (above) out.ys.push_back(a.top + (above->bottom - a.top) / 2);
    }
    for (auto* v : {&out.xs, &out.ys}) {
        std::sort(v->begin(), v->end());
        v->erase(std::unique(v->begin(), v->end()), v->end());
    }
    return out;
}

MarkParams& getMarkParams() {
    return gMarksState.params;
}

void setExclusionRect(const ASFixedRect& rect) {
    gMarksState.exclude = rect;
}

bool addMarkLine(CContent* level, ASFixedPoint p1, ASFixedPoint p2, ASFixed w,
                 const PDEColorSpec* color, ASFixed trap, ASInt32 box) {
    if (inExclusion(p1) && inExclusion(p2)) return false;
    ASFixedRect r;
    if (p2.h - p1.h <= p2.v - p1.v) {
        r.left = p1.h - w / 2;
        r.right = r.left + w;
        r.bottom = p1.v;
        r.top = p2.v;
    } else {
        r.left = p1.h;
        r.right = p2.h;
        r.bottom = p1.v - w / 2;
        r.top = r.bottom + w;
    }
    ElementRef mark(getContainerWithRect(r));
    PDEContainer container = mark.get();
    setBoxNum(container, box);
    PDEContent mc = getContent(container);
    CMyPath path(256);
    path.moveto(p1);
    path.lineto(p2);
    PDEColorSpec white = getGrayColor(1.0f);
    ScopeExit freeWhite([&white] { freeColorSpec(&white); });
    addPathTo(mc, path, 3 * w, &white, false);
    if (trap > 0) addPathTo(mc, path, w + trap, nullptr, true);
    addPathTo(mc, path, w, color, true);
    level->addElem(container, kAddAtEnd);
    return true;
}

bool createMarks(PDPage page) {
    ASFixedRect sel{0, 0, 0, 0};
    if (gMarksState.params.symmetric == 0) getSelBBox(page, &sel);
    setExclusionRect(gMarksState.params.symmetric == 0 ? sel : ASFixedRect{0, 0, 0, 0});
    MarkCtx ctx{gMarksState.params.gray ? getGrayColor(0.0f) : getAllColor(1.0f), getTrap(), {}};
    ScopeExit freeColor([&ctx] { freeColorSpec(&ctx.color); });
    return reportHostErrors(0, [&] {
        AVPageView view = getFrontPageView();
        if (view && avPageViewGetPage(view) == page)
            EnumSelectionWithUndo(view, marksProc, reinterpret_cast<long>(&ctx));
        else
            EnumSelection(page, marksProc, reinterpret_cast<long>(&ctx), true);
        if (gMarksState.params.centeredMarks == 1) centredMarks(page, &ctx.color, ctx.trap);
        if (gMarksState.params.foldMarks == 1) foldMarks(page, ctx.trims, &ctx.color, ctx.trap);
    });
}

void createMarks() {
    AVPageView view = getFrontPageView();
    if (!view) return;
    ASInt32 gray = 0;
    loadMarkParams(&gMarksState.params.length, &gMarksState.params.distance,
                   &gMarksState.params.width, &gray);
    gMarksState.params.gray = static_cast<ASInt16>(gray);
    gMarksState.params.cutMarks = 1;
    if (doModalDialog("ADDMARKS", marksSetup, nullptr) != kCmdOK) return;
    saveMarkParams(gMarksState.params.length, gMarksState.params.distance, gMarksState.params.width,
                   gMarksState.params.gray);
    PDPage page = avPageViewGetPage(view);
    setCosDoc(pdPageGetDoc(page));
    createMarks(page);
}

bool removeMarks(PDPage page, const ASFixedRect* area) {
    bool met = false;
    {
        PageContentRef held(page);
        PDEContent content = held.get();
        for (ASInt32 i = pdeContentGetNumElems(content) - 1; i >= 0; --i) {
            PDEElement e = pdeContentGetElem(content, i);
            PDEType t = pdeObjectGetType(e);
            ASFixedRect r;
            if (t == kPDEContainer) {
                ASInt32 n = getBoxNum(e);
                if (n != kBoxCutMark && n != kBoxRegMark && n != kBoxFoldMark) continue;
                r = getBBox(e);
            } else if (t == kPDEPath) {
                pdeGetBBox(e, &r);
            } else {
                continue;
            }
            met = true;
            if (touches(r, area)) pdeContentRemoveElem(content, i);
        }
        if (met) pdPageSetPDEContent(page);
    }
    if (met) pdPageNotifyContentsDidChange(page);
    return met;
}

void removeMarks(bool all) {
    AVPageView view = getFrontPageView();
    if (!view) return;
    PDDoc doc = avDocGetPDDoc(avPageViewGetAVDoc(view));
    if (getVexaVersion(doc) <= 0.0f) return;
    if (msgBoxYesNo("kRmvMarks") != 1) return;
    reportHostErrors(0, [&] {
        if (!all) {
            PDPage page = avPageViewGetPage(view);
            ASFixedRect a;
            getSelBBox(page, &a);
            const ASFixed g = 1857713;
            a.left -= g;
            a.bottom -= g;
            a.right += g;
            a.top += g;
            prepareUndo(view);
            removeMarks(page, &a);
        } else {
            ASInt32 n = pdDocGetNumPages(doc);
            for (ASInt32 i = 0; i < n; ++i) {
                CPage page(doc, i);
                prepareUndo(view);
                removeMarks(page.getPage(), nullptr);
            }
        }
    });
}
