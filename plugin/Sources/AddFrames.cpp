#include "Sources/AddFrames.h"

#include <utility>

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "settings/MyDialog.h"
#include "Common/MyPath.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"
#include "Sources/Selection.h"
#include "Sources/Undo.h"
#include "Common/Units.h"

namespace {

enum { kRows = 4, kCols = 6, kWidth = 8, kHeight = 10, kDeltaW = 12, kDeltaH = 14, kRot90 = 15 };

struct GridParams {
    ASInt32 rows, cols;
    ASFixed width, deltaW, height, deltaH;
    ASInt32 rotation;
};

void gridOK(CMyDialog* dialog, ASInt32, void* data) {
    if (!checkEditControls(dialog)) return;
    auto* p = static_cast<GridParams*>(data);
    // plain numbers: the field's value is the count itself
    p->rows = dialog->getTextAsValue(kRows);
    p->cols = dialog->getTextAsValue(kCols);
    p->width = getControlFixed(dialog, kWidth);
    p->height = getControlFixed(dialog, kHeight);
    p->deltaW = getControlFixed(dialog, kDeltaW);
    p->deltaH = getControlFixed(dialog, kDeltaH);
    p->rotation = dialog->getValue(kRot90) ? 90 : 0;
    dialog->endDialog(kCmdOK);
}

void gridSetup(CMyDialog* dialog, void* data) {
    auto* p = static_cast<GridParams*>(data);
    ASInt32 unit = getDlgUnits();
    setDlgItemFixed(dialog, kRows, p->rows, kUnitNone, 1, 256);
    setDlgItemFixed(dialog, kCols, p->cols, kUnitNone, 1, 256);
    setDlgItemFixed(dialog, kWidth, p->width, unit, mm(1), kFiveMetres);
    setDlgItemFixed(dialog, kHeight, p->height, unit, mm(1), kFiveMetres);
    setDlgItemFixed(dialog, kDeltaW, p->deltaW, unit, kMinusOneMetre, kFiveMetres);
    setDlgItemFixed(dialog, kDeltaH, p->deltaH, unit, kMinusOneMetre, kFiveMetres);
    dialog->setValue(kRot90, p->rotation == 90);
    dialog->setFocus(kRows);
    dialog->setHandler(1, gridOK, data);
}

}  // namespace

void createFrame(PDPage page, ASFixedPoint pt, const ASFixedRect& rect, ASInt32 boxNum,
                 ASInt32 rotation, ASInt32 gray) {
    {
        PageContentRef content(page);
        ASFixedRect r{pt.h, pt.v + (rect.top - rect.bottom), pt.h + (rect.right - rect.left), pt.v};
        ElementRef frame(getContainerWithRect(r));
        PDEContent fc = getContent(frame.get());
        {
            ElementRef marker(pdeContainerCreate(asAtomFromString("TrimFrame"), nullptr, false));
            pdeContentAddElem(fc, kPDEAfterLast, marker.get());
        }
        {
            PDEColorSpec color = getTrimLinesColor();
            ScopeExit freeColor([&color] { freeColorSpec(&color); });
            addTrimLinesRect(fc, &r, &color);
        }
        pdeContentAddElem(content.get(), kPDEAfterLast, frame.get());
        setBoxNum(frame.get(), boxNum);
        setFrameRotation(frame.get(), rotation);
        if (gray == 1) setGray(frame.get(), 1);
        pdPageSetPDEContent(page);
    }
    pdPageNotifyContentsDidChange(page);
}

void addFrames(PDPage page, ASInt32 rows, ASInt32 cols, ASFixed width, ASFixed deltaW,
               ASFixed height, ASFixed deltaH, ASInt32 rotation) {
    if (rotation == 90) std::swap(width, height);
    if (getAdjustMediaBox() == 1) {
        ASFixedRect media, crop;
        pdPageGetMediaBox(page, &media);
        pdPageGetCropBox(page, &crop);
        ASFixed l = media.left, b = media.bottom;
        if (l != 0) {
            media.right -= l;
            media.left = 0;
            crop.left -= l;
            crop.right -= l;
        }
        if (b != 0) {
            media.top -= b;
            media.bottom = 0;
            crop.top -= b;
            crop.bottom -= b;
        }
        if (l != 0 || b != 0) {
            pdPageSetCropBox(page, crop, false);
            gPDModelHFT->PDPageSetMediaBox(page, media);
            moveFramesBy(page, -l, -b);
        }
    }
    ASFixedRect media;
    pdPageGetMediaBox(page, &media);
    ASFixed totalW = cols * width + (cols - 1) * deltaW;
    ASFixed totalH = rows * height + (rows - 1) * deltaH;
    ASFixed x0 = (media.right - totalW) / 2;
    ASFixed y0 = (media.top - totalH) / 2;
    ASFixedRect size{0, height, width, 0};
    ASFixed y = y0;
    for (ASInt32 row = 0; row < rows; ++row, y += height + deltaH) {
        ASFixed x = x0;
        for (ASInt32 col = 0; col < cols; ++col, x += width + deltaW)
            createFrame(page, {x, y}, size, 1, rotation, 0);
    }
}

void addFrames() {
    AVPageView view = getFrontPageView();
    if (!view) return;
    GridParams p{};
    loadFrParams(&p.rows, &p.cols, &p.width, &p.deltaW, &p.height, &p.deltaH, &p.rotation);
    if (doModalDialog("ADDFRAMES", gridSetup, &p) != kCmdOK) return;
    saveFrParams(p.rows, p.cols, p.width, p.deltaW, p.height, p.deltaH, p.rotation);
    prepareUndo(view);
    PDPage page = avPageViewGetPage(view);
    setCosDoc(pdPageGetDoc(page));
    addFrames(page, p.rows, p.cols, p.width, p.deltaW, p.height, p.deltaH, p.rotation);
}
