#include "Sources/AddPages.h"

#include <utility>

#include "Common/BoxDesc.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "Sources/MovingMark.h"
#include "settings/MyDialog.h"
#include "Common/MyPath.h"
#include "Sources/NewDoc.h"
#include "Sources/Palette.h"
#include "Common/Prefs.h"
#include "Common/ProgressMonitor.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/SheetEdit.h"
#include "Common/Units.h"

namespace {

// "addsheets"
enum { kCopies = 4, kOffset = 6, kMirroring = 8 };
// "Bleeding1" and "Bleeding2"
enum { kBleedValue = 4, kSymmetric = 5 };
enum { kBleedTop = 4, kBleedLeft = 5, kBleedRight = 6, kBleedBottom = 7 };

const ASFixed kMaxBleed = mm(100);

void sheetsOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* p = static_cast<ASInt32*>(data);
    p[0] = getControlFixed(dialog, kCopies);
    p[1] = getControlFixed(dialog, kOffset);
    p[2] = p[3] = p[4] = 0;
    ASInt32 item = dialog->getValue(kMirroring);
    p[5] = item >= kMirrorNone && item <= kMirrorVertical ? item : kMirrorNone;
    dialog->endDialog(kCmdOK);
}

void sheetsSetup(CMyDialog* dialog, void* data) {
    auto* p = static_cast<ASInt32*>(data);
    setDlgItemFixed(dialog, kCopies, p[0], kUnitNone, 1, 10000);
    setDlgItemFixed(dialog, kOffset, p[1], kUnitNone, 0, 10000);
    dialog->setValue(kMirroring, p[5]);
    dialog->setFocus(kCopies);
    dialog->setHandler(1, sheetsOK, data);
}

bool isFrame(PDEElement e) {
    if (pdeObjectGetType(e) != kPDEContainer) return false;
    CosObj d = pdeContainerGetDict(e);
    return cosObjIsDictOrStream(d) && cosDictKnown(d, "top");
}

struct CopyJob {
    ASFixedRect media;  // of the first sheet
    ASInt32 copy;       // k, from 1
    ASInt32 offset;
    ASInt32 mirroring;
};

void mirrorFrame(PDEElement frame, ASInt32 box, const CopyJob& job) {
    ASFixedRect r = getBBox(frame);
    ASFixedRect bleed = getBleedRect(frame);
    ASInt32 rotation = getFrameRotation(frame);
    if (job.mirroring == kMirrorHorizontal) {
        ASFixedPoint pos{job.media.right - r.right, r.bottom};
        moveToPos(frame, &pos, false);
        if (rotation == 90 || rotation == 270) {
            setFrameRotation(frame, 360 - rotation);
            // A moving mark turned round steps toward the mirrored limit.
            if (box == kBoxMovingMark) setMoveLimit(frame, job.media.right - getMoveLimit(frame));
        }
        if (bleed.left != bleed.right) {
            // The trim area moves with its bleed to the other side; what the frame
            // holds (a placed page, its trim lines) stays on the trim area.
            moveElems(getContent(frame), ASFixedPoint{bleed.right - bleed.left, 0}, false);
            std::swap(bleed.left, bleed.right);
            setBleedRect(frame, &bleed);
        }
    } else if (job.mirroring == kMirrorVertical) {
        ASFixedPoint pos{r.left, job.media.top - r.top};
        moveToPos(frame, &pos, false);
        if (rotation == 0 || rotation == 180) {
            setFrameRotation(frame, 180 - rotation);
            if (box == kBoxMovingMark) setMoveLimit(frame, job.media.top - getMoveLimit(frame));
        }
        if (bleed.top != bleed.bottom) {
            moveElems(getContent(frame), ASFixedPoint{0, bleed.top - bleed.bottom}, false);
            std::swap(bleed.top, bleed.bottom);
            setBleedRect(frame, &bleed);
        }
    }
}

// One copied frame (its dictionary is already its own).
void adjustFrame(PDEElement frame, const CopyJob& job) {
    ASInt32 box = getBoxNum(frame);
    if (box >= 1) {
        setBoxNum(frame, box + job.copy * job.offset);
    } else if (box == kBoxMovingMark) {
        moveFlutterMark(frame, job.copy, getFrameRotation(frame));
    } else if (box == kBoxPlain) {
        ASFixedRect r = clipRect(readFrame(frame));
        setClipping(getContent(frame), &r);
    }
    if (box != kBoxJobInfo && job.mirroring != kMirrorNone) mirrorFrame(frame, box, job);
}

// Appends one copy of sheet index to the end of the document.
void copySheet(PDDoc doc, ASInt32 index, const CopyJob& job) {
    CPage src(doc, index);
    PageRef dst(gPDModelHFT->PDDocCreatePage(doc, pdDocGetNumPages(doc) - 1, job.media));
    {
        PageContentRef from(src.getPage());
        PageContentRef to(dst.get());
        ASInt32 n = pdeContentGetNumElems(from.get());
        for (ASInt32 i = 0; i < n; ++i) {
            ElementRef e(copyElement(pdeContentGetElem(from.get(), i)));
            if (isFrame(e.get())) adjustFrame(e.get(), job);
            pdeContentAddElem(to.get(), kPDEAfterLast, e.get());
        }
        pdPageSetPDEContent(dst.get());
    }
    pdPageNotifyContentsDidChange(dst.get());
}

struct Bleed1 {
    ASFixed value = 0;
    bool symmetric = false;
};
// Bleed dialogs: the one-value dialog remembers its values while the program runs.
Bleed1 gLastBleed;

void bleed1OK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* b = static_cast<Bleed1*>(data);
    b->value = getFieldValue(dialog, kBleedValue, b->value, getDlgUnits());
    b->symmetric = dialog->getValue(kSymmetric) != 0;
    dialog->endDialog(kCmdOK);
}

void bleed1Setup(CMyDialog* dialog, void* data) {
    auto* b = static_cast<Bleed1*>(data);
    setDlgItemFixed(dialog, kBleedValue, b->value, getDlgUnits(), 0, kMaxBleed);
    dialog->setValue(kSymmetric, b->symmetric ? 1 : 0);
    dialog->setFocus(kBleedValue);
    dialog->setHandler(1, bleed1OK, data);
}

void bleed2OK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* r = static_cast<ASFixedRect*>(data);
    ASInt32 unit = getDlgUnits();
    r->top = getFieldValue(dialog, kBleedTop, r->top, unit);
    r->left = getFieldValue(dialog, kBleedLeft, r->left, unit);
    r->right = getFieldValue(dialog, kBleedRight, r->right, unit);
    r->bottom = getFieldValue(dialog, kBleedBottom, r->bottom, unit);
    dialog->endDialog(kCmdOK);
}

void bleed2Setup(CMyDialog* dialog, void* data) {
    auto* r = static_cast<ASFixedRect*>(data);
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kBleedTop, r->top, unit, -1, 0x7FFFFFFF);
    setDlgItemFixed(dialog, kBleedLeft, r->left, unit, -1, 0x7FFFFFFF);
    setDlgItemFixed(dialog, kBleedRight, r->right, unit, -1, 0x7FFFFFFF);
    setDlgItemFixed(dialog, kBleedBottom, r->bottom, unit, -1, 0x7FFFFFFF);
    dialog->setFocus(kBleedTop);
    dialog->setHandler(1, bleed2OK, data);
}

struct BleedCtx {
    ASFixedRect bleed;  // N
    ASFixedRect sel;    // S: all zero when symmetric
    bool single;
};

bool readBleedProc(CContent*, PDEElement frame, long, long data) {
    *reinterpret_cast<ASFixedRect*>(data) = getBleedRect(frame);
    return false;
}

bool inside(ASFixed edge, ASFixed low, ASFixed high) {
    return low < edge && edge < high;
}

bool bleedProc(CContent* level, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<BleedCtx*>(data);
    ASFixedRect f = getBBox(frame);
    ASFixedRect old = getBleedRect(frame);
    ASFixedRect b = ctx->bleed;
    if (!ctx->single) {
        // An edge between the frames, rather than on the selection's outer border,
        // gets no bleed.
        const ASFixedRect& s = ctx->sel;
        if (inside(f.left, s.left, s.right)) b.left = 0;
        if (inside(f.right, s.left, s.right)) b.right = 0;
        if (inside(f.top, s.bottom, s.top)) b.top = 0;
        if (inside(f.bottom, s.bottom, s.top)) b.bottom = 0;
    }
    // The trim area stays where it is: the rectangle grows by the change of bleed.
    f.top += b.top - old.top;
    f.left -= b.left - old.left;
    f.bottom -= b.bottom - old.bottom;
    f.right += b.right - old.right;
    setBBox(frame, &f);
    setBleedRect(frame, &b);
    level->addModified();
    return true;
}

}  // namespace

bool getAddPagesParams(ASInt32 params[6]) {
    return doModalDialog("ADDPAGES", sheetsSetup, params) == kCmdOK;
}

ASInt32 addPages(PDDoc doc, ASInt32 copies, ASInt32 offset, ASInt32 mirroring) {
    if (!doc || copies < 1) return 0;
    setCosDoc(doc);
    ASInt32 n = pdDocGetNumPages(doc);
    if (n < 1) return 0;
    CopyJob job{getMediaBox(doc, 0), 0, offset, mirroring};
    // A one-sided template counts its sheets one by one in the slug line.
    if (n == 1) setDocInfo(doc, "Pagina", 1);
    ASInt32 made = 0;
    CProgressMonitor progress;
    progress.setDuration(copies, "kAddPages");
    for (ASInt32 k = 1; k <= copies; ++k) {
        if (progress.setValue(k - 1)) break;
        job.copy = k;
        for (ASInt32 p = 0; p < n; ++p) {
            reportHostErrors(0, [&] {
                copySheet(doc, p, job);
                ++made;
            });
        }
    }
    progress.setValue(copies);
    return made;
}

void addPages() {
    PDDoc doc = getFrontPDDoc();
    if (!doc) return;
    // Old moving marks have no direction to step in: they must be converted first.
    if (checkMovingMarks(doc) == -1) return;
    ASInt32 params[6] = {1, 0, 0, 0, 0, kMirrorNone};
    if (!getAddPagesParams(params)) return;
    addPages(doc, params[0], params[1], params[5]);
}

bool getBleedRectFromDlg1(ASFixedRect* rect, bool* symmetric) {
    Bleed1 b = gLastBleed;
    if (doModalDialog("BLEEDING1", bleed1Setup, &b) != kCmdOK) return false;
    gLastBleed = b;
    if (rect) *rect = ASFixedRect{b.value, b.value, b.value, b.value};
    if (symmetric) *symmetric = b.symmetric;
    return true;
}

bool getBleedRectFromDlg2(ASFixedRect& rect) {
    ASFixedRect r = rect;
    if (doModalDialog("BLEEDING2", bleed2Setup, &r) != kCmdOK) return false;
    rect = r;
    return true;
}

void doBleedRectDlg(AVPageView view, PDPage page) {
    page = commandPage(view, page);
    ASInt32 count = page ? getSelCnt(page) : 0;
    if (count == 0) {
        beep();
        return;
    }
    setCosDoc(pdPageGetDoc(page));
    BleedCtx ctx{{0, 0, 0, 0}, {0, 0, 0, 0}, count == 1};
    bool symmetric = true;
    if (ctx.single) {
        EnumSelection(page, readBleedProc, reinterpret_cast<long>(&ctx.bleed), false);
        if (!getBleedRectFromDlg2(ctx.bleed)) return;
    } else if (!getBleedRectFromDlg1(&ctx.bleed, &symmetric)) {
        return;
    }
    if (!symmetric) getSelBBox(page, &ctx.sel);
    enumSelectionUndoable(view, page, bleedProc, reinterpret_cast<long>(&ctx));
    adjustPalette();
}

void doBleedRectDlg() {
    doBleedRectDlg(getFrontPageView(), nullptr);
}
