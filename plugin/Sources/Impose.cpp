#include "Sources/Impose.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>
#include <new>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/CarryOver.h"
#include "Common/ColorSpaces.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "Common/FrameFit.h"
#include "Sources/ImposeJob.h"
#include "Sources/JobInfo.h"
#include "Sources/MapSpot.h"
#include "Sources/MovingMark.h"
#include "Common/MyPath.h"
#include "Sources/NewDoc.h"
#include "settings/MyStrings.h"
#include "platform/Platform.h"
#include "Common/PageContent.h"
#include "Common/Prefs.h"
#include "platform/PlatformAPI.h"
#include "Common/ProgressMonitor.h"
#include "Sources/TemplateCheck.h"
#include "Sources/TrimLines.h"
#include "Common/Units.h"

// A sheet is a copy of its template sheet: the frame at an element's place in a fresh
// copy says what the frame at that place in the template says. The frames of each
// template sheet are read from its first copy, once per job, and the values of the
// frames of a pass are kept by element from renumbering (which gives each its page
// and creep) to placing, while the pass's contents are held.
struct JobFrames {
    struct Frame {
        long index = 0;  // in the sheet's content
        FrameValue value;
        bool ownDict = false;  // the frame dictionary is an indirect object
    };
    struct Sheet {
        ASInt32 page = -1;              // in the template
        long elements = -1;             // in the content of the copy read; -1 until read
        signed char plainColours = -1;  // see plainColours below; -1 until asked
        std::vector<Frame> frames;      // by rising index
        const Frame* find(long index) const {
            auto at = std::lower_bound(frames.begin(), frames.end(), index,
                                       [](const Frame& f, long i) { return f.index < i; });
            return at != frames.end() && at->index == index ? &*at : nullptr;
        }
    };
    using ByElement = std::unordered_map<PDEElement, FrameValue>;

    // The frames of page `page` of tmpl; null for any template but the one the job
    // read first (a second sheet is placed once).
    Sheet* sheet(PDDoc t, ASInt32 page) {
        if (!tmpl) tmpl = t;
        if (t != tmpl || page < 0) return nullptr;
        if (static_cast<size_t>(page) >= sheets.size()) sheets.resize(page + 1);
        sheets[page].page = page;
        return &sheets[page];
    }
    // The value of a frame of the pass being placed; null when it was not kept.
    const FrameValue* find(PDEElement frame) const {
        auto at = placing.find(frame);
        return at != placing.end() ? &at->second : nullptr;
    }

    PDDoc tmpl = nullptr;
    std::vector<Sheet> sheets;
    ByElement placing;
    // The template sheet (its page) of each sheet of the pass whose frames are kept.
    std::unordered_map<ASInt32, ASInt32> ofPass;
};

namespace {

// What imposition keeps from one job to the next and while a job runs.
struct ImposeState {
    ePlacing placing = kPlaceCentered;
    bool askOnce = false;         // the next frame may ask about a trim box mismatch
    ImposeStats stats{};          // of the job running or run last
    bool buildOnly = false;       // jobs build their sheets and place nothing
    bool trimLinesLayer = false;  // jobs with an output path show their trim lines too
    bool importing = false;       // a source page is being imported
};
ImposeState gImpose;

// A source page (from 1) that could not be read.
void noteUnread(ASInt32 page) {
    std::vector<ASInt32>& u = gImpose.stats.unreadPages;
    auto at = std::lower_bound(u.begin(), u.end(), page);
    if (at == u.end() || *at != page) u.insert(at, page);
}

PDEForm importForPlacing(PDDoc src, PDDoc dst, ASInt32 index, ASFixed scale) {
    gImpose.importing = true;
    ScopeExit imported([] { gImpose.importing = false; });
    PDEForm form = getPageContent(src, dst, index, scale);
    if (!form) noteUnread(index + 1);
    return form;
}

const char* fileNameOf(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

bool maxBoxProc(CContent*, PDEElement frame, long, long data) {
    ASInt32& maxBox = *reinterpret_cast<ASInt32*>(data);
    maxBox = std::max(maxBox, getBoxNum(frame));
    return true;
}

ASInt32 maxBoxNum(PDDoc doc, long first, long last) {
    ASInt32 maxBox = 0;
    EnumForms(doc, first, last, maxBoxProc, reinterpret_cast<long>(&maxBox), false);
    return maxBox;
}

// Renumbering the frames of freshly appended sheets.
struct Renumbering {
    ImposeData* job;
    bool write;                     // the page's content must be written back
    const JobFrames::Sheet* known;  // the template sheet's frames, when read
    JobFrames::ByElement* placing;  // gets the values the placing needs, when given
};

bool renumberProc(CContent*, PDEElement frame, long index, long data) {
    auto* r = reinterpret_cast<Renumbering*>(data);
    ImposeData* job = r->job;
    const JobFrames::Frame* known = r->known ? r->known->find(index) : nullptr;
    ASInt32 b = known ? known->value.boxNum : getBoxNum(frame);
    if (b == kBoxMovingMark) {
        // A moving mark steps by its own size from one template copy to the next.
        if (job->passIndex != 0) {
            moveFlutterMark(frame, job->passIndex, getFrameRotation(frame));
            r->write = true;
        }
        return true;
    }
    if (b == kBoxEmptyFrame && known && r->placing) (*r->placing)[frame] = known->value;
    if (b < 1) return true;
    // A frame dictionary of its own (indirect) changes in place; one written into the
    // content needs the content written anew.
    if (known) {
        if (!known->ownDict) r->write = true;
    } else {
        CosObj dict;
        ASBool isInline = false;
        if (!gPDFEditReadHFT->PDEContainerGetDict(frame, &dict, &isInline) || isInline ||
            !cosObjIsIndirect(dict))
            r->write = true;
    }
    ASInt32 p = passRelativePage(job, b);
    ASInt32 n = job->pageOffset + p;
    // A page number below 1 leaves the frame without a page; it stays a page frame
    // (0 and below would make it another kind of object).
    if (n < 1) n = 0x7FFFFFFF;
    ASFixed creep = p >= 1 ? getCreep(p, job->pageCount, job->creep, job->creepOffset) : 0;
    setBoxNum(frame, n);
    setDisplacement(frame, creep);
    if (known && r->placing) {
        FrameValue v = known->value;
        v.boxNum = n;
        v.displacement = creep;
        (*r->placing)[frame] = v;
    }
    return true;
}

// Reads the frames of a fresh copy of a template sheet.
bool readSheetFrameProc(CContent*, PDEElement frame, long index, long data) {
    auto* sheet = reinterpret_cast<JobFrames::Sheet*>(data);
    JobFrames::Frame f;
    f.index = index;
    f.value = readFrame(frame);
    CosObj dict;
    ASBool isInline = false;
    f.ownDict = gPDFEditReadHFT->PDEContainerGetDict(frame, &dict, &isInline) && !isInline &&
                cosObjIsIndirect(dict);
    sheet->frames.push_back(f);
    return true;
}

// The contents of the sheets from first on, read once and held from renumbering to
// placing (the template's drawing, marks and slug lines are parsed once per sheet).
class PassContents {
  public:
    PassContents(PDDoc out, ASInt32 first) {
        ASInt32 n = pdDocGetNumPages(out);
        for (ASInt32 i = first; i < n; ++i) {
            PDPage p = pdDocAcquirePage(out, i);
            try {
                pdPageAcquirePDEContent(p);
                pages_.push_back(p);
            } catch (...) {  // the caller hears of the error; what was held goes back
                giveBackPage(p);
                release();
                throw;
            }
        }
    }
    ~PassContents() { release(); }
    PassContents(const PassContents&) = delete;
    PassContents& operator=(const PassContents&) = delete;
    void release() {
        // What cannot be let go is left to the document's closing.
        for (PDPage p : pages_) {
            logHostErrors("releasing a sheet's content", [p] { pdPageReleasePDEContent(p); });
            giveBackPage(p);
        }
        pages_.clear();
    }
    static void releaseProc(void* held) { static_cast<PassContents*>(held)->release(); }

  private:
    std::vector<PDPage> pages_;
};

// Renumbers the frames of the sheets from first on, fresh copies of the pages of tmpl
// in order. With frames, each template sheet's frames are read from its first copy
// only, and the values of the renumbered frames are kept for the placing.
void renumber(PDDoc out, long first, ImposeData* job, PDDoc tmpl, JobFrames* frames) {
    // Values kept for a pass that was never placed went with its elements.
    if (frames) {
        frames->placing.clear();
        frames->ofPass.clear();
    }
    ASInt32 n = pdDocGetNumPages(out);
    for (ASInt32 i = static_cast<ASInt32>(first); i < n; ++i) {
        CPage page(out, i);
        PDPage p = page.getPage();
        PageContentRef held(p);
        CContent level(held.get(), nullptr, nullptr);
        JobFrames::Sheet* known =
            frames ? frames->sheet(tmpl, i - static_cast<ASInt32>(first)) : nullptr;
        if (known && known->elements < 0) {
            known->elements = level.getCount();
            EnumForms(&level, readSheetFrameProc, reinterpret_cast<long>(known), true);
        }
        // A copy that differs from the first in its number of elements is read as it is.
        if (known && known->elements != level.getCount()) known = nullptr;
        if (known) frames->ofPass[i] = known->page;
        Renumbering r{job, false, known, known ? &frames->placing : nullptr};
        EnumForms(&level, renumberProc, reinterpret_cast<long>(&r), false);
        if (r.write) pdPageSetPDEContent(p);
    }
}

// Appends all pages of tmpl as one template pass and renumbers their frames.
void appendPass(PDDoc out, PDDoc tmpl, const char* tmplPath, ImposeData* job, bool labelled,
                SheetPlacer* placer) {
    ASInt32 n = pdDocGetNumPages(tmpl);
    ASInt32 first = pdDocGetNumPages(out);
    pdDocInsertPages(out, first > 0 ? first - 1 : PDBeforeFirstPage, tmpl, 0, n);
    // Layers of the template's own drawing keep their visibility too.
    carryOptionalContent(tmpl, out);
    if (labelled) {
        const char* name = fileNameOf(tmplPath);
        for (ASInt32 i = 0; i < n; ++i) {
            CPage page(out, first + i);
            setPgString(page.getPage(), "TN", name);
        }
        if (n == 1 || n == 2) {
            ASAtom decimal = asAtomFromString("D");
            for (ASInt32 i = 0; i < n; ++i) {
                const char* prefix = i == 0 ? "A" : "B";
                CosObj label =
                    gPDModelHFT->PDPageLabelNew(out, decimal, prefix, 1, job->sheetNumber);
                gPDModelHFT->PDDocSetPageLabel(out, first + i, label);
            }
        }
        job->sheetNumber += 1;
    }
    PassContents held(out, first);
    renumber(out, first, job, tmpl, placer ? placer->frames() : nullptr);
    if (placer) placer->placePass(first, first + n, PassContents::releaseProc, &held);
}

void appendSecondSheet(PDDoc out, ImposeData* job, SheetPlacer* placer) {
    if (!job->halfSheetPath[0]) return;
    PDDoc half = nullptr;
    // Without its second sheet the job lacks the middle pages: the user is told.
    if (ASErrorCode code =
            hostErrorOf([&] { half = gPDModelHFT->PDDocOpen(job->halfSheetPath, true); })) {
        reportError(("The second sheet " + std::string(job->halfSheetPath) +
                     " cannot be opened: " + hostErrorText(code))
                        .c_str());
        return;
    }
    if (!half) return;
    ScopeExit closeHalf([half, out] {
        closeDoc(half);
        restoreCosDoc(out);
    });
    if (!checkTemplateFrames(half, job->halfSheetPath)) return;
    job->passIndex += 1;
    job->lowSpan = job->lastPage;
    appendPass(out, half, job->halfSheetPath, job, true, placer);
}

// "Adjust frame": page frames resized to the source's first TrimBox.
struct AdjustedFrame {
    ASFixedRect before, after, bleed;
};

struct AdjustData {
    ASFixed w, h;
    std::vector<AdjustedFrame> frames;  // of the page at hand
};

bool adjustProc(CContent*, PDEElement frame, long, long data) {
    ASInt32 b = getBoxNum(frame);
    if (b < 1) return true;
    auto* a = reinterpret_cast<AdjustData*>(data);
    ASFixedRect r = getBBox(frame);
    ASFixedRect bl = getBleedRect(frame);
    bool odd = (b & 1) != 0;
    ASInt32 rotation = getFrameRotation(frame);
    // The trim area takes the TrimBox's size (turned with the frame) between the bleeds;
    // the frame keeps the corner the binding holds: by its rotation and whether it is a
    // left or a right page.
    bool across = rotation == 90 || rotation == 270;
    ASFixed tw = across ? a->h : a->w, th = across ? a->w : a->h;
    bool keepLeft, keepTop;
    switch (rotation) {
        case 0:
            keepLeft = odd;
            keepTop = true;
            break;
        case 90:
            keepLeft = true;
            keepTop = !odd;
            break;
        case 180:
            keepLeft = !odd;
            keepTop = false;
            break;
        case 270:
            keepLeft = false;
            keepTop = odd;
            break;
        default:
            return true;
    }
    if (keepLeft)
        r.right = r.left + bl.left + tw + bl.right;
    else
        r.left = r.right - bl.right - tw - bl.left;
    if (keepTop)
        r.bottom = r.top - bl.top - th - bl.bottom;
    else
        r.top = r.bottom + bl.bottom + th + bl.top;
    a->frames.push_back({getBBox(frame), r, bl});
    setBBox(frame, &r);
    return true;
}

// The mark (a cut or registration mark at the top level of the sheet) moves with the
// frame it was drawn for: a cut mark runs along one of the frame's trim lines beyond
// one of its edges, a registration mark sits beside one of its trim corners. The move
// is that of the trim line it runs along and the edge it lies beyond.
// gap gets how far the mark lies from that edge: of the frames a mark could belong to,
// the nearest has it.
bool markMove(const ASFixedRect& m, ASInt32 box, const AdjustedFrame& f, ASFixedPoint* move,
              ASFixed* gap) {
    const ASFixed tol = 656;  // 0.01 pt
    const ASFixedRect& o = f.before;
    const ASFixedRect& n = f.after;
    const ASFixedRect& b = f.bleed;
    ASFixed oLeft = o.left + b.left, oRight = o.right - b.right;
    ASFixed oTop = o.top - b.top, oBottom = o.bottom + b.bottom;
    ASFixed dLeft = n.left - o.left, dRight = n.right - o.right;
    ASFixed dTop = n.top - o.top, dBottom = n.bottom - o.bottom;
    auto near = [&](ASFixed a, ASFixed c) { return a - c <= tol && c - a <= tol; };
    ASFixed cx = m.left + (m.right - m.left) / 2, cy = m.bottom + (m.top - m.bottom) / 2;
    bool above = m.bottom >= o.top - tol, below = m.top <= o.bottom + tol;
    bool leftOf = m.right <= o.left + tol, rightOf = m.left >= o.right - tol;
    if (box == kBoxCutMark) {
        bool vertical = m.right - m.left <= m.top - m.bottom;
        if (vertical && (above || below) && (near(cx, oLeft) || near(cx, oRight))) {
            *move = {near(cx, oLeft) ? dLeft : dRight, above ? dTop : dBottom};
            *gap = above ? m.bottom - o.top : o.bottom - m.top;
            return true;
        }
        if (!vertical && (leftOf || rightOf) && (near(cy, oTop) || near(cy, oBottom))) {
            *move = {leftOf ? dLeft : dRight, near(cy, oTop) ? dTop : dBottom};
            *gap = leftOf ? o.left - m.right : m.left - o.right;
            return true;
        }
        return false;
    }
    // registration marks: beside the frame, level with its trim area and a little more
    const ASFixed reach = 3715426;  // 20 mm
    if (!(leftOf || rightOf) || m.top < oBottom - reach || m.bottom > oTop + reach) return false;
    if ((leftOf && o.left - m.right > reach) || (rightOf && m.left - o.right > reach)) return false;
    *move = {leftOf ? dLeft : dRight, cy >= oBottom + (oTop - oBottom) / 2 ? dTop : dBottom};
    *gap = leftOf ? o.left - m.right : m.left - o.right;
    return true;
}

// After the frames of a sheet were adjusted, its marks follow them.
void moveMarksWithFrames(PDEContent content, const std::vector<AdjustedFrame>& frames) {
    ASInt32 n = pdeContentGetNumElems(content);
    for (ASInt32 i = 0; i < n; ++i) {
        PDEElement e = pdeContentGetElem(content, i);
        if (pdeObjectGetType(e) != kPDEContainer) continue;
        ASInt32 box = getBoxNum(e);
        if (box != kBoxCutMark && box != kBoxRegMark) continue;
        ASFixedRect m = getBBox(e);
        ASFixedPoint best{0, 0};
        ASFixed bestGap = 0;
        bool found = false;
        for (const AdjustedFrame& f : frames) {
            ASFixedPoint move{0, 0};
            ASFixed gap = 0;
            if (!markMove(m, box, f, &move, &gap) || (found && gap >= bestGap)) continue;
            best = move;
            bestGap = gap;
            found = true;
        }
        if (best.h != 0 || best.v != 0) moveContainerBy(e, best.h, best.v);
    }
}

// "Adjust frame" on every page of the template, marks included.
void adjustFrames(PDDoc tmpl, ASFixed w, ASFixed h) {
    ASInt32 pages = pdDocGetNumPages(tmpl);
    for (ASInt32 i = 0; i < pages; ++i) {
        CPage page(tmpl, i);
        PageContentRef held(page.getPage());
        AdjustData a{w, h, {}};
        {
            CContent level(held.get(), nullptr, nullptr);
            EnumForms(&level, adjustProc, reinterpret_cast<long>(&a), true);
        }
        if (a.frames.empty()) continue;
        moveMarksWithFrames(held.get(), a.frames);
        pdPageSetPDEContent(held.page());
    }
}

// Drawing of a template sheet that no step of a job changes from sheet to sheet: what
// is no frame, and the frames of cut, registration and fold marks and plain drawing.
// Page frames, the slug line, moving marks, text frames and the trim-lines layer are
// the sheet's own.
bool sameOnEverySheet(PDEElement e) {
    if (pdeObjectGetType(e) != kPDEContainer) return true;
    CosObj d = pdeContainerGetDict(e);
    if (!cosObjIsDictOrStream(d) || !cosDictKnown(d, "top")) return true;
    switch (getBoxNum(e)) {
        case kBoxPlain:
        case kBoxRegMark:
        case kBoxCutMark:
        case kBoxFoldMark:
            return true;
        default:
            return false;
    }
}

// A colour space named by a placeholder letter takes a spot colour of the sheet's own
// pages, so what uses one differs from sheet to sheet.
bool usesPlaceholderColours(PDDoc doc, ASInt32 page) {
    ASInt32 count = 0;
    std::unique_ptr<CosObj[]> spaces(getColorSpaces(doc, page, page, &count));
    auto oneLetter = [](CosObj n) {
        return cosObjGetType(n) == CosName && std::strlen(asAtomGetString(cosNameValue(n))) == 1;
    };
    for (ASInt32 i = 0; i < count; ++i) {
        CosObj s = spaces[i];
        if (cosObjGetType(s) != CosArray || cosArrayLength(s) < 2) continue;
        CosObj names = cosArrayGet(s, 1);
        if (oneLetter(names)) return true;
        if (cosObjGetType(names) != CosArray) continue;
        for (ASInt32 k = 0; k < cosArrayLength(names); ++k)
            if (oneLetter(cosArrayGet(names, k))) return true;
    }
    return false;
}

// The elements [from, to) of content drawn by one form of their own.
PDEForm formOfElements(PDEContent content, ASInt32 from, ASInt32 to, const ASFixedRect& box,
                       CosDoc doc) {
    ElementRef held(pdeContentCreate());
    PDEContent part = held.get();
    for (ASInt32 i = from; i < to; ++i)
        pdeContentAddElem(part, kPDEAfterLast, pdeContentGetElem(content, i));
    PDEContentAttrs attrs{};
    attrs.flags = kPDEFormAttrsSet;
    attrs.bbox = box;
    attrs.matrix = {fixedOne, 0, 0, fixedOne, 0, 0};
    PDEFilterArray filters{};
    filters.numFilters = 1;
    filters.spec[0].name = asAtomFromString("FlateDecode");
    CosObj stream, resources;
    pdeContentToCosObj(part, kPDEContentToForm, &attrs, doc, &filters, &stream, &resources);
    return pdeFormCreateFromCosObj(&stream, &resources, &attrs.matrix);
}

// The drawing that is the same on every sheet (marks, the sheet's own artwork) is made
// a form once per job, in the template as opened for the job: the sheets copied from
// it refer to that one form, and each sheet's content keeps only what the job changes.
// Each run of such elements between the sheet's own keeps its place in the drawing
// order (a placed page's bleed may lie under or over a mark).
void shareFixedDrawing(PDDoc tmpl, ASInt32 pageIndex) {
    if (usesPlaceholderColours(tmpl, pageIndex)) return;
    CPage page(tmpl, pageIndex);
    PageContentRef held(page.getPage());
    ASFixedRect media;
    pdPageGetMediaBox(page.getPage(), &media);
    CosDoc doc = pdDocGetCosDoc(tmpl);
    bool changed = false;
    ASInt32 n = pdeContentGetNumElems(held.get());
    for (ASInt32 at = 0; at < n; ++at) {
        ASInt32 end = at;
        while (end < n && sameOnEverySheet(pdeContentGetElem(held.get(), end))) ++end;
        // A lone form is shared as it is.
        if (end == at ||
            (end == at + 1 && pdeObjectGetType(pdeContentGetElem(held.get(), at)) == kPDEForm))
            continue;
        PDEForm form = formOfElements(held.get(), at, end, media, doc);
        pdeContentAddElem(held.get(), end - 1, reinterpret_cast<PDEElement>(form));
        pdeRelease(form);
        for (ASInt32 k = at; k < end; ++k) pdeContentRemoveElem(held.get(), at);
        n = pdeContentGetNumElems(held.get());
        changed = true;
    }
    if (changed) pdPageSetPDEContent(held.page());
}

// Every template sheet's drawing shared; a sheet where that fails keeps its drawing as
// it is (the job draws it on every sheet, as it did before).
void shareFixedDrawing(PDDoc tmpl) {
    ASInt32 pages = pdDocGetNumPages(tmpl);
    for (ASInt32 i = 0; i < pages; ++i)
        logHostErrors("sharing a template sheet's drawing", [&] { shareFixedDrawing(tmpl, i); });
}

// Whether every colour space of a page's resources (its forms', patterns' and Type 3
// fonts' included) is plain: no DeviceN space and no separation but "All", "None" and
// the trim lines' own. Such colours are neither placeholders to fill, nor spot colours
// for a slug line to list, nor one-colorant DeviceN spaces to make separations.
struct PlainColours {
    char trimLines[256] = "";
    bool plain = true;
};

bool plainColourProc(CosObj space, long data) {
    auto* p = reinterpret_cast<PlainColours*>(data);
    char family[64] = "";
    ASInt32 kind = getColorSpace(space, family);
    if (kind == kDeviceN) {
        p->plain = false;
    } else if (kind == kSeparation) {
        CosObj name = cosObjGetType(space) == CosArray && cosArrayLength(space) >= 2
                          ? cosArrayGet(space, 1)
                          : CosObj();
        const char* n = cosObjGetType(name) == CosName ? asAtomGetString(cosNameValue(name)) : "";
        p->plain = std::strcmp(n, "All") == 0 || std::strcmp(n, "None") == 0 ||
                   (p->trimLines[0] && std::strcmp(n, p->trimLines) == 0);
    }
    return p->plain;
}

bool plainColours(PDDoc doc, ASInt32 page) {
    PlainColours p;
    getTrimLinesColorParams(p.trimLines, nullptr);
    EnumDocColors(doc, page, page, plainColourProc, reinterpret_cast<long>(&p));
    return p.plain;
}

// One placement context per sheet.
struct PlaceContext {
    PDDoc src = nullptr;
    ASInt32 srcPages = 0;
    PDDoc dst = nullptr;
    ASFixed scale = fixedOne;
    bool selectedOnly = false;
    // The pages imported for the sheet (a page placed again is placed from its first
    // import), by source page index.
    struct Imported {
        ASInt32 page;
        PDEForm form;
        FormBoxes boxes;
    };
    std::vector<Imported> cache;
    Imported* cached(ASInt32 page) {
        for (Imported& c : cache)
            if (c.page == page) return &c;
        return nullptr;
    }
    // The values of the sheet's frames kept since renumbering, if any.
    const JobFrames* frames = nullptr;
    // Whether the trim lines are shown, as the document placed into says.
    PDDoc shownFor = nullptr;
    bool trimShown = false;
    // Source pages (by index) whose colours are all plain (see plainColours): 1 yes,
    // 0 no, -1 not asked yet; null when not known for the job.
    std::vector<signed char>* plainPages = nullptr;
    bool sheetPlain = false;   // the template sheet's colours are plain
    bool spotsPlaced = false;  // a page placed on the sheet has other colours
    PDEColorSpec trimColor{};
    // The job's question and counts.
    ImposeState* state = &gImpose;
    // The page-level output intents of the pages placed on the sheet.
    ASInt32 placed = 0, withIntents = 0;
    CosObj intents;
    bool intentsDiffer = false;
    // The output intents of the page placed last (a page repeated on the sheet is
    // looked up once).
    ASInt32 lastPage = -1;
    CosObj lastIntents;
    // Gets the pages imported, when given.
    std::vector<std::pair<ASInt32, CosObj>>* imported = nullptr;
    PlaceContext() { trimColor = getTrimLinesColor(); }
    ~PlaceContext() {
        for (Imported& c : cache) pdeRelease(c.form);
        freeColorSpec(&trimColor);
    }
};

void askTrimBox(ImposeState* state, const FormBoxes& form, const FrameValue& frame) {
    if (state->placing == kPlaceCentered || !state->askOnce) return;
    if (!form.hasTrim) return;
    state->askOnce = false;
    if (sizesDiffer(form.trim, form.rotation, innerRect(frame), frame.rotation)) {
        // The question and its buttons in the user's language.
        if (msgBoxYesNo("trimBoxErr") == 1) state->placing = kPlaceCentered;
    }
}

// A frame's trim lines, shown or not as the current document says (asked once a sheet).
void addTrimLines(PlaceContext* ctx, PDEContent content, const ASFixedRect& inner) {
    PDDoc doc = getCosPDDoc();
    if (!ctx->shownFor || doc != ctx->shownFor) {
        ctx->trimShown = doc && getFramesVisible(doc);
        ctx->shownFor = doc;
    }
    addTrimLinesRect(content, &inner, &ctx->trimColor, ctx->trimShown);
}

void markEmpty(PlaceContext* ctx, PDEContent content, const ASFixedRect& inner) {
    PDEContainer marker = pdeContainerCreate(asAtomFromString("TrimFrame"), nullptr, true);
    pdeContentAddElem(content, kPDEAfterLast, marker);
    pdeRelease(marker);
    addTrimLines(ctx, content, inner);
    ctx->state->stats.emptyFrames += 1;
}

// Notes whether the page placed from source page i brings colours other than plain ones.
void notePageColours(PlaceContext* ctx, ASInt32 i) {
    if (!ctx->plainPages || i < 0 || static_cast<size_t>(i) >= ctx->plainPages->size()) {
        ctx->spotsPlaced = true;
        return;
    }
    signed char& known = (*ctx->plainPages)[i];
    if (known < 0) known = plainColours(ctx->src, i) ? 1 : 0;
    if (!known) ctx->spotsPlaced = true;
}

void notePageIntents(PlaceContext* ctx, ASInt32 pageIndex) {
    ctx->placed += 1;
    if (pageIndex != ctx->lastPage) {
        CPage page(ctx->src, pageIndex);
        ctx->lastIntents = pageOutputIntents(pdPageGetCosObj(page.getPage()));
        ctx->lastPage = pageIndex;
    }
    CosObj intents = ctx->lastIntents;
    if (intents.isNullHandle() || cosObjGetType(intents) != CosArray) return;
    ctx->withIntents += 1;
    if (ctx->intents.isNullHandle())
        ctx->intents = intents;
    else if (!sameOutputIntents(ctx->intents, intents))
        ctx->intentsDiffer = true;
}

bool placeFrameProc(CContent* level, PDEElement frame, long, long data) {
    auto* ctx = reinterpret_cast<PlaceContext*>(data);
    if (ctx->selectedOnly && !getSelected(frame)) return true;
    const FrameValue* kept = ctx->frames ? ctx->frames->find(frame) : nullptr;
    FrameValue f = kept ? *kept : readFrame(frame);
    ASInt32 b = f.boxNum;
    if (b < 1 && b != kBoxEmptyFrame) return true;
    PDEContent content = getContent(frame, true);
    if (!content) return true;
    level->addModified();
    ASFixedRect inner = innerRect(f);
    ASFixed s = f.scale;
    PDEForm form = nullptr;
    FormBoxes boxes;
    bool haveBoxes = false;
    ASInt32 i = b - 1;
    if (b >= 1 && i < ctx->srcPages) {
        if (s == fixedOne) {
            PlaceContext::Imported* slot = ctx->cached(i);
            if (!slot) {
                if (PDEForm f = importForPlacing(ctx->src, ctx->dst, i, ctx->scale)) {
                    ctx->cache.push_back({i, f, readFormBoxes(f)});
                    slot = &ctx->cache.back();
                    if (ctx->imported) ctx->imported->emplace_back(i, pdeFormGetCosObj(f));
                }
            }
            if (slot) {
                // A copy has the boxes of the form it was copied from.
                form = static_cast<PDEForm>(gPDFEditWriteHFT->PDEElementCopy(slot->form, 0));
                boxes = slot->boxes;
                haveBoxes = true;
            }
        } else {
            form = importForPlacing(ctx->src, ctx->dst, i, asFixedMul(ctx->scale, s));
            if (form && ctx->imported) ctx->imported->emplace_back(i, pdeFormGetCosObj(form));
        }
    }
    if (!form) {
        markEmpty(ctx, content, inner);
        return true;
    }
    if (!haveBoxes) boxes = readFormBoxes(form);
    askTrimBox(ctx->state, boxes, f);
    ePlacing placing = ctx->state->placing;
    fitIntoFrame(form, f, boxes, placing == kPlaceTrimBox || placing == kPlaceTrimBoxIfAny);
    pdeContentAddElem(content, kPDEAfterLast, form);
    pdeRelease(form);
    // The displacement is spent on the placed page; a frame renumbered without one has
    // none written already.
    if (!kept || kept->displacement != 0) setDisplacement(frame, 0);
    addTrimLines(ctx, content, inner);
    ctx->state->stats.pagesPlaced += 1;
    notePageIntents(ctx, i);
    if (ctx->sheetPlain && !ctx->spotsPlaced) notePageColours(ctx, i);
    return true;
}

// A sheet whose pages all name the same output intents of their own takes them.
void carryPageIntents(PlaceContext* ctx, PDPage sheet) {
    if (ctx->withIntents == 0) return;
    if (ctx->intentsDiffer || ctx->withIntents < ctx->placed) {
        dprintf("\twarning: sheet %d holds pages made for different output conditions\n",
                gPDModelHFT->PDPageGetNumber(sheet) + 1);
        return;
    }
    cosDictPut(pdPageGetCosObj(sheet), "OutputIntents",
               cosObjCopy(ctx->intents, pdDocGetCosDoc(ctx->dst), true));
}

// The page's content stream (null when it has none or several).
CosObj contentStream(PDPage page) {
    CosObj c = cosDictGet(pdPageGetCosObj(page), "Contents");
    return cosObjGetType(c) == CosStream ? c : CosObj();
}

void placeSheet(PlaceContext* ctx, PDPage page) {
    // The sheet's content is held by the caller; placing writes it back.
    long jobInfo = removeJobInfo(page, false);
    CosObj before = contentStream(page);
    // A sheet with a slug line whose template sheet and placed pages have plain colours
    // only is written once, with its slug line: the colour steps below find nothing to
    // change or list on it, written or not. Any other sheet is written placed, for them.
    bool once = jobInfo > 0 && ctx->sheetPlain;
    EnumForms(page, placeFrameProc, reinterpret_cast<long>(ctx), !once, true);
    if (once && ctx->spotsPlaced) {
        once = false;
        pdPageSetPDEContent(page);
    }
    if (!once) {
        // The setting leaves the caller's default in place when it is missing.
        char letters[256] = "XZABC";
        getReplaceStr(letters);
        changeColorSpaces(ctx->dst, page, letters);
    }
    carryPageIntents(ctx, page);
    if (once) {
        addJobInfo(ctx->dst, page);
        // A slug line that could not be made leaves the placed sheet to be written.
        if (cosObjEqual(contentStream(page), before)) pdPageSetPDEContent(page);
    } else if (jobInfo > 0) {
        // The colours of the slug line are those of the placed pages: the sheet is
        // written once placed and once more with its slug line. The first writing is
        // then referred to by nothing; it goes at once instead of staying in memory
        // until the document is closed.
        CosObj placed = contentStream(page);
        addJobInfo(ctx->dst, page);
        CosObj now = contentStream(page);
        if (!placed.isNullHandle() && !cosObjEqual(placed, before) && !now.isNullHandle() &&
            !cosObjEqual(placed, now) && cosObjIsIndirect(placed))
            cosObjDestroy(placed);
    }
}

}  // namespace

ePlacing setPlacing(ePlacing placing) {
    ePlacing old = gImpose.placing;
    gImpose.placing = placing;
    return old;
}

ePlacing getPlacing() {
    return gImpose.placing;
}

const ImposeStats& getImposeStats() {
    return gImpose.stats;
}

bool importingPage() {
    return gImpose.importing;
}

ImposeModeScope::ImposeModeScope(bool buildOnly, bool trimLinesLayer)
    : buildOnly_(gImpose.buildOnly), trimLinesLayer_(gImpose.trimLinesLayer) {
    gImpose.buildOnly = buildOnly;
    gImpose.trimLinesLayer = trimLinesLayer;
}

ImposeModeScope::~ImposeModeScope() {
    gImpose.buildOnly = buildOnly_;
    gImpose.trimLinesLayer = trimLinesLayer_;
}

ASInt32 passRelativePage(const ImposeData* job, ASInt32 b) {
    return b <= job->lowSpan ? b + job->firstPage - 1 : b + job->lastPage - job->framesPerPass;
}

ASFixed getCreep(ASInt32 p, ASInt32 pageCount, ASFixed creep, ASFixed creepOffset) {
    ASInt32 q = p <= pageCount / 2 ? p : pageCount + 1 - p;
    ASInt32 k = (q - 1) / 2;
    ASFixed d = k * creep;
    return (p % 2 == 0) ? d - creepOffset : creepOffset - d;
}

void makeOutputTitle(const char* srcPath, const char* suffix, char* dst, size_t size) {
    if (!dst || size == 0) return;
    std::string name = fileNameOf(srcPath ? srcPath : "");
    if (name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".pdf") == 0)
        name.resize(name.size() - 4);
    std::string suf = suffix ? suffix : "";
    if (suf.size() > size - 1) suf.resize(size - 1);
    if (name.size() + suf.size() > size - 1) name.resize(size - 1 - suf.size());
    std::snprintf(dst, size, "%s%s", name.c_str(), suf.c_str());
}

PageViewOperation::PageViewOperation() {
    AVDoc front = avAppGetActiveDoc();
    view_ = front ? avDocGetPageView(front) : nullptr;
    if (view_) gAcroViewHFT->AVPageViewBeginOperation(view_);
}

PageViewOperation::~PageViewOperation() {
    if (view_) gAcroViewHFT->AVPageViewEndOperation(view_);
}

SheetPlacer::SheetPlacer(PDDoc dst, PDDoc src, ImposeData* job, ASInt32 sheets)
    : dst_(dst), src_(src), job_(job), frames_(std::make_unique<JobFrames>()) {
    char buf[512];
    for (const char* key : {"Title", "Author", "Keywords", "AN"}) {
        buf[0] = 0;
        if (gPDModelHFT->PDDocGetInfo(src, key, buf, sizeof buf) < 0) buf[0] = 0;
        buf[sizeof buf - 1] = 0;
        gPDModelHFT->PDDocSetInfo(dst, key, buf, static_cast<ASInt32>(std::strlen(buf)));
    }
    // "FN": the source's file name, from the job or, when placing without one (the
    // Place flow), from the source document itself.
    char srcPath[1024] = "";
    if (job && job->srcPath[0])
        std::snprintf(srcPath, sizeof srcPath, "%s", job->srcPath);
    else if (gPDModelHFT->PDDocGetPath(src, srcPath, sizeof srcPath) < 0)
        srcPath[0] = 0;
    if (srcPath[0]) {
        const char* fn = fileNameOf(srcPath);
        gPDModelHFT->PDDocSetInfo(dst, "FN", fn, static_cast<ASInt32>(std::strlen(fn)));
    }
    gImpose.stats = ImposeStats{};
    gImpose.stats.sheets = sheets;
    progress_.setDuration(sheets, "kPlacePages");
    gImpose.askOnce = job ? job->askTrimMismatch != 0 : true;
    srcPages_ = pdDocGetNumPages(src);
    // An interactive job shows its trim lines: the sheets get them drawn in the
    // trim-lines colour as they are placed, and their trim-lines layer rebuilt on the
    // way, so that each sheet is read and written once. Sheets not placed (Escape, a
    // host error) get the whole treatment afterwards.
    trimLines_ = job && (!job->outPath[0] || gImpose.trimLinesLayer);
}

SheetPlacer::~SheetPlacer() {
    gImpose.askOnce = false;
}

void SheetPlacer::place(ASInt32 from, ASInt32 to) {
    std::vector<ASInt32> unplaced;
    for (ASInt32 s = from; s < to; ++s) {
        if (gImpose.stats.stopped || progress_.setValue(s + 1)) {
            // Escape: the sheets from here on keep their empty frames.
            gImpose.stats.stopped = true;
            unplaced.push_back(s);
            continue;
        }
        bool placed = false;
        reportHostErrors(s + 1, [&] { placed = placeOne(s); });
        if (!placed) unplaced.push_back(s);
    }
    if (trimLines_)
        for (ASInt32 s : unplaced) showTrimLines(dst_, s, s);
}

bool SheetPlacer::placeOne(ASInt32 s) {
    PageRef page(dst_, s);
    // The sheet's content is read once and held while the sheet is placed: the
    // job-information, placing and colour steps all work on the same tree.
    PageContentRef content(page.get());
    if (trimLines_) rebuildTrimLinesLayer(dst_, s);
    std::unique_ptr<PlaceContext> ctx(new (std::nothrow) PlaceContext);
    if (!ctx) return false;
    ctx->frames = frames_.get();
    ctx->imported = importing_;
    ctx->src = src_;
    ctx->srcPages = srcPages_;
    ctx->dst = dst_;
    ctx->scale = job_ && job_->scale ? job_->scale : fixedOne;
    if (frames_) {
        auto known = frames_->ofPass.find(s);
        if (known != frames_->ofPass.end()) {
            JobFrames::Sheet& t = frames_->sheets[known->second];
            if (t.plainColours < 0) t.plainColours = plainColours(frames_->tmpl, t.page) ? 1 : 0;
            ctx->sheetPlain = t.plainColours == 1;
            if (plainPages_.size() != static_cast<size_t>(srcPages_))
                plainPages_.assign(srcPages_, -1);
            ctx->plainPages = &plainPages_;
        }
    }
    placeSheet(ctx.get(), page.get());
    return true;
}

void SheetPlacer::placePass(ASInt32 from, ASInt32 to, void (*placed)(void*), void* data) {
    if (before_) {
        void (*proc)(void*) = before_;
        before_ = nullptr;
        proc(beforeData_);
    }
    importing_ = &thisPass_;
    ScopeExit notImporting([this] { importing_ = nullptr; });
    place(from, to);
    // The kept values go with the elements they were kept for.
    frames_->placing.clear();
    frames_->ofPass.clear();
    if (placed) placed(data);
    writeAhead(to);
    releaseImported();
}

void SheetPlacer::releaseImported() {
    // A job's passes take their pages in runs that do not come back: a page the pass
    // just placed did not place again is not placed later. Should one come back all the
    // same, its import finds the page's form written and imports it anew.
    auto byPage = [](const std::pair<ASInt32, CosObj>& a, const std::pair<ASInt32, CosObj>& b) {
        return a.first < b.first;
    };
    std::sort(thisPass_.begin(), thisPass_.end(), byPage);
    if (!writeFailed_ && HFT_HAS(gPDModelHFT, PDDocWriteObjAhead)) {
        for (const auto& imported : lastPass_) {
            if (std::binary_search(thisPass_.begin(), thisPass_.end(), imported, byPage)) continue;
            CosObj form = imported.second;
            if (!reportHostErrors(imported.first + 1,
                                  [&] { gPDModelHFT->PDDocWriteObjAhead(dst_, form); })) {
                writeFailed_ = true;
                break;
            }
        }
    }
    lastPass_.swap(thisPass_);
    thisPass_.clear();
}

void SheetPlacer::writeAhead(ASInt32 to) {
    if (to < 1 || writeFailed_) return;
    // The save reports it again and writes nothing.
    if (!reportHostErrors(to, [&] { gPDModelHFT->PDDocWritePagesAhead(dst_, to - 1); }))
        writeFailed_ = true;
}

void imposeDoc(PDDoc dst, PDDoc src, ImposeData* job) {
    if (!dst || !src) return;
    ASInt32 sheets = pdDocGetNumPages(dst);
    SlugFontScope slugFont;
    SharedResourcesScope sharedResources;
    SheetPlacer placer(dst, src, job, sheets);
    placer.place(0, sheets);
}

bool imposeDoc(PDDoc dst, PDPage page, PDDoc src, long scale, bool ask) {
    if (!dst || !page || !src) return false;
    std::unique_ptr<PlaceContext> ctx(new (std::nothrow) PlaceContext);
    if (!ctx) return false;
    ctx->src = src;
    ctx->srcPages = pdDocGetNumPages(src);
    ctx->dst = dst;
    ctx->scale = scale ? scale : fixedOne;
    ctx->selectedOnly = true;
    gImpose.stats = ImposeStats{};
    gImpose.stats.sheets = 1;
    gImpose.askOnce = ask;
    SharedResourcesScope sharedResources;
    CProgressMonitor progress;
    progress.setDuration(1, "kPlacePages");
    reportHostErrors(0, [&] { placeSheet(ctx.get(), page); });
    progress.setValue(1);
    ctx.reset();
    gImpose.askOnce = false;
    return true;
}

namespace {

// The number of pages of the file at path; 0 when it cannot be opened.
ASInt32 pagesOfFile(const char* path, PDDoc current) {
    PDDoc doc = nullptr;
    ASInt32 n = 0;
    // The job reports the second sheet when it comes to it.
    logHostErrors("counting the second sheet's pages", [&] {
        doc = gPDModelHFT->PDDocOpen(path, true);
        n = pdDocGetNumPages(doc);
    });
    if (doc) {
        closeDoc(doc);
        setCosDoc(current);
    }
    return n;
}

// Shows the new document of an interactive job (a job with an output path is only
// saved), once.
struct ShownResult {
    PDDoc out = nullptr;
    ImposeData* data = nullptr;
    AVDoc view = nullptr;
    bool done = false;
};

void showResult(void* p) {
    auto* r = static_cast<ShownResult*>(p);
    if (r->done) return;
    r->done = true;
    ImposeData* data = r->data;
    if (data->outPath[0]) return;
    char title[256], suffix[256] = "_M.pdf";
    getSuffix(suffix);
    makeOutputTitle(data->srcPath, suffix, title, sizeof title);
    if (getSaveNewDoc() == 1) {
        std::string tmp = getTempFolder() + "/" + title;
        gPDModelHFT->PDDocSave(r->out, PDSaveFull, tmp.c_str());
    }
    r->view = gAcroViewHFT->AVDocOpenFromPDDoc(r->out, title);
    { PageViewOperation op; }
}

}  // namespace

namespace {

// A job's sheets as they are built: the template, the output and what places the
// passes of an output written as it is made.
struct SheetBuild {
    ImposeData* data;
    PDDoc tmpl;
    PDDoc out = nullptr;
    // Escape while the sheets are added (or, written ahead, placed): no further sheet.
    bool stopped = false;
    ShownResult shown;
    // A document the host writes as it is made is placed pass by pass (see SheetPlacer).
    bool ahead = false;
    std::optional<SlugFontScope> slugFont;
    std::optional<SharedResourcesScope> sharedResources;
    std::optional<SheetPlacer> placer;
    // Frames a template sheet (the highest box number), source pages, the job's first
    // and last page, template sheets, and whether a second sheet takes the middle.
    ASInt32 M = 0, N = 0, F = 0, L = 0, T = 0;
    bool half = false;

    SheetBuild(ImposeData* d, PDDoc t) : data(d), tmpl(t) { shown.data = d; }
    SheetPlacer* passPlacer() { return placer ? &*placer : nullptr; }
    void startPlacing(ASInt32 sheets) {
        if (!ahead) return;
        slugFont.emplace();
        sharedResources.emplace();
        placer.emplace(out, data->srcDoc, data, sheets);
        placer->setBeforeFirstPass(showResult, &shown);
    }
    // Adds one pass of the template after another; `advance` moves the job's range on
    // after a pass. The progress bar counts them unless the passes are placed as they
    // come. False after Escape.
    template <class Advance>
    bool addPasses(ASInt32 passes, CProgressMonitor& progress, Advance advance) {
        if (!ahead && !gImpose.buildOnly) progress.setDuration(passes, "kAddPages");
        for (ASInt32 i = 0; i < passes; ++i) {
            data->passIndex = i;
            appendPass(out, tmpl, data->templatePath, data, true, passPlacer());
            advance();
            if ((stopped = ahead ? gImpose.stats.stopped
                                 : !gImpose.buildOnly && progress.setValue(i + 1)))
                return false;
        }
        return true;
    }
};

// Saddle stitch: each pass takes pages from both ends of the range towards the middle;
// the second sheet, if any, takes what the passes leave.
void addSaddleStitchSheets(SheetBuild& b) {
    ImposeData* data = b.data;
    const ASInt32 M = b.M;
    ASInt32 C = b.L - b.F + 1, P = C / M;
    if (P * M < C && !b.half) {
        P += 1;
        C = P * M;
    }
    if (b.ahead) {
        bool second = b.half && 1 + P * (M / 2) < C - P * (M / 2);
        b.startPlacing(P * b.T + (second ? pagesOfFile(data->halfSheetPath, b.out) : 0));
    }
    data->creepOffset = data->creep < 0 ? (b.L / 4 - 1) * data->creep : 0;
    data->firstPage = 1;
    data->lastPage = C;
    data->pageCount = C;
    data->framesPerPass = M;
    data->lowSpan = M / 2;
    data->pageOffset = b.F - 1;
    data->sheetNumber = 1;
    CProgressMonitor progress;
    b.addPasses(P, progress, [&] {
        data->firstPage += M / 2;
        data->lastPage -= M / 2;
    });
    if (!b.stopped && data->firstPage < data->lastPage)
        appendSecondSheet(b.out, data, b.passPlacer());
}

// Perfect binding: each pass takes the next run of pages; the second sheet, if any,
// and a last pass take the rest.
void addPerfectBindingSheets(SheetBuild& b) {
    ImposeData* data = b.data;
    const ASInt32 M = b.M;
    ASInt32 C = b.L - b.F + 1, P = C / M;
    if (P * M < C) {
        if (!b.half) {
            P += 1;
            C = P * M;
        } else {
            P -= 1;
        }
    }
    if (b.ahead) {
        bool rest = 1 + P * M < C;
        b.startPlacing(P * b.T + (rest ? b.T : 0) +
                       (rest && b.half ? pagesOfFile(data->halfSheetPath, b.out) : 0));
    }
    data->firstPage = 1;
    data->lastPage = C;
    data->pageCount = C;
    data->framesPerPass = M;
    data->lowSpan = M;
    data->pageOffset = b.F - 1;
    data->sheetNumber = 1;
    CProgressMonitor progress;
    b.addPasses(P, progress, [&] { data->firstPage += M; });
    if (!b.stopped && data->firstPage < data->lastPage)
        appendSecondSheet(b.out, data, b.passPlacer());
    if (!b.stopped && data->firstPage < data->lastPage) {
        data->firstPage = C - M + 1;
        data->passIndex += 1;
        appendPass(b.out, b.tmpl, data->templatePath, data, true, b.passPlacer());
    }
}

// Envelope: the template's sheets once, their frames numbered for the whole source.
void addEnvelopeSheets(SheetBuild& b) {
    ImposeData* data = b.data;
    b.startPlacing(b.T);
    pdDocInsertPages(b.out, PDBeforeFirstPage, b.tmpl, 0, b.T);
    carryOptionalContent(b.tmpl, b.out);
    data->framesPerPass = 4;
    data->lowSpan = 2;
    data->firstPage = 1;
    data->lastPage = b.N;
    data->pageCount = b.N;
    PassContents held(b.out, 0);
    renumber(b.out, 0, data, b.tmpl, b.placer ? b.placer->frames() : nullptr);
    if (b.placer) b.placer->placePass(0, b.T, PassContents::releaseProc, &held);
}

// Makes the output and adds its sheets by the job's binding; false when the template
// has no page frames. A host error propagates.
bool buildSheets(SheetBuild& b) {
    ImposeData* data = b.data;
    PDDoc tmpl = b.tmpl;
    setCosDoc(tmpl);
    if (data->placing == kPlaceAdjustFrame) {
        CPage first(data->srcDoc, 0);
        ASFixedRect tb;
        if (first.getTrimBox(&tb)) adjustFrames(tmpl, tb.right - tb.left, tb.top - tb.bottom);
    }
    getPaperRect(tmpl, data->paperRect);
    setPlacing(data->placing);
    b.M = maxBoxNum(tmpl, 0, PDLastPage);
    b.N = pdDocGetNumPages(data->srcDoc);
    b.F = data->firstPage > 0 ? data->firstPage : 1;
    b.L = data->lastPage > 0 ? data->lastPage : b.N;
    b.T = pdDocGetNumPages(tmpl);
    b.half = data->halfSheetPath[0] != 0;
    if (b.M < 1) return false;
    if (data->binding < kBindSaddleStitch || data->binding > kBindEnvelope) {
        beep();
        return true;
    }
    b.out = pdDocCreate();
    b.shown.out = b.out;
    setCosDoc(b.out);
    b.ahead =
        !gImpose.buildOnly && gPDModelHFT->PDDocWritePagesAhead(b.out, PDBeforeFirstPage) != 0;
    // A job written to a file as it is made shares the drawing every sheet has; sheets
    // that stay open for editing keep their marks as frames of their own.
    if (b.ahead && data->outPath[0]) {
        setCosDoc(tmpl);
        shareFixedDrawing(tmpl);
        setCosDoc(b.out);
    }
    if (data->binding == kBindSaddleStitch)
        addSaddleStitchSheets(b);
    else if (data->binding == kBindPerfect)
        addPerfectBindingSheets(b);
    else
        addEnvelopeSheets(b);
    return true;
}

// Lets go of a result that failed: its window, or the document.
void discardSheets(SheetBuild& b) {
    b.placer.reset();
    if (b.shown.view) {
        // The document went with its window.
        gAcroViewHFT->AVDocClose(b.shown.view, true);
    } else if (b.out) {
        setCosDoc(b.out);
        pdDocClose(b.out);
    }
    b.out = nullptr;
}

// Shows the result and places the pages into sheets that were not placed as they came.
void placeSheets(SheetBuild& b) {
    ImposeData* data = b.data;
    PDDoc out = b.out;
    if (b.placer) {
        // Placed as the passes came; a job without any sheet shows its empty result.
        showResult(&b.shown);
        gImpose.stats.sheets = pdDocGetNumPages(out);
        b.placer.reset();
    } else if (b.stopped) {
        // Escape while the sheets were added: the job ends there, nothing is placed.
        showResult(&b.shown);
        gImpose.stats = ImposeStats{};
        gImpose.stats.sheets = pdDocGetNumPages(out);
        gImpose.stats.stopped = true;
        if (!data->outPath[0]) showTrimLines(out, 0, -1);
    } else {
        showResult(&b.shown);
        // Shows the trim lines of an interactive job too.
        imposeDoc(out, data->srcDoc, data);
    }
    dprintf("imposed: %d sheets, %d pages placed, %d empty frames%s\n", gImpose.stats.sheets,
            gImpose.stats.pagesPlaced, gImpose.stats.emptyFrames,
            gImpose.stats.stopped ? ", stopped" : "");
}

}  // namespace

PDDoc imposeDocWithData(ImposeData* data) {
    if (!data || !data->srcDoc) return nullptr;
    data->resultDoc = nullptr;
    gImpose.stats = ImposeStats{};
    // The template as the job's check opened it, or opened here. Reported, so that a
    // job without its template never counts as done.
    std::unique_ptr<DocContentHold> held;
    PDDoc tmpl = takeCheckedTemplate(data->templatePath, &held);
    if (!tmpl && (!reportHostErrors(0, [&] {
            tmpl = gPDModelHFT->PDDocOpen(data->templatePath, true);
        }) || !tmpl))
        return nullptr;
    // The template's sheets are read once for the checks, the frame count and the
    // drawing made a form.
    if (!held) held = std::make_unique<DocContentHold>(tmpl);
    if (!checkTemplateFrames(tmpl, data->templatePath)) {
        held.reset();
        setCosDoc(tmpl);
        gPDModelHFT->PDDocClose(tmpl);
        return nullptr;
    }

    SheetBuild b(data, tmpl);
    bool noFrames = false;
    if (!reportHostErrors(0, [&] { noFrames = !buildSheets(b); })) discardSheets(b);
    held.reset();
    setCosDoc(tmpl);
    gPDModelHFT->PDDocClose(tmpl);
    PDDoc out = b.out;
    setCosDoc(out);
    if (noFrames) {
        // A template without page frames has nothing to fill.
        dprintf("\t####\t%s\n", "The template has no page frames.");
        doExceptionError(0, genErrBadParm);
        return nullptr;
    }
    if (!out) return nullptr;
    if (gImpose.buildOnly) {
        // The sheets and their numbered frames only: nothing is shown or placed.
        data->resultDoc = out;
        return out;
    }
    reportHostErrors(0, [&] { placeSheets(b); });
    reportHostErrors(0, [&] { writeImposedMetadata(out, data->srcDoc); });
    data->resultDoc = out;
    return out;
}

void imposeTemplate(PDDoc doc) {
    if (!doc) return;
    char path[1024] = {0};
    if (!puiChooseFile(nullptr, "*.pdf", nullptr, 0, path, sizeof path)) return;
    dprintf("srcDoc: %s\n", path);
    bool shift = (gAcroViewHFT->AVSysGetModifiers() & AV_SHIFT) != 0;
    setPlacing(shift ? kPlaceCentered : kPlaceTrimBoxIfAny);
    PDDoc src = nullptr;
    // A file that is no PDF (or cannot be read) is said, not passed over.
    if (!reportHostErrors(0, [&] { src = gPDModelHFT->PDDocOpen(path, true); }) || !src) return;
    {
        PageViewOperation op;
        AVDoc front = avAppGetActiveDoc();
        AVPageView view = front ? avDocGetPageView(front) : nullptr;
        PDPage page = view ? avPageViewGetPage(view) : nullptr;
        ASInt32 selected = 0;
        if (page)
            EnumForms(
                page,
                [](CContent*, PDEElement frame, long, long data) {
                    if (getSelected(frame)) *reinterpret_cast<ASInt32*>(data) += 1;
                    return true;
                },
                reinterpret_cast<long>(&selected), false, true);
        if (selected == 0) {
            std::vector<std::string> names;
            if (mapSpotColors(src, names)) {
                makeMapCurrent(names);
                setCosDoc(doc);
                imposeDoc(doc, src, nullptr);
                setMapColorNames(nullptr, 0);
            }
        } else {
            setCosDoc(doc);
            imposeDoc(doc, page, src, fixedOne, true);
        }
    }
    gPDModelHFT->PDDocClose(src);
    setCosDoc(doc);
}
