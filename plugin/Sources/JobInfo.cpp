#include "Sources/JobInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/ColorSpaces.h"
#include "Common/ColorSupport.h"
#include "Sources/Container.h"
#include "Common/ErrorHandling.h"
#include "settings/MyDialog.h"
#include "settings/MyStrings.h"
#include "Sources/NewDoc.h"
#include "Common/PDEText.h"
#include "Common/ProcessColors.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"

namespace {

// The slug lines of one imposition share one font dictionary (see SlugFontScope).
struct FontCache {
    int scopes = 0;
    PDDoc doc = nullptr;
    std::string name;
    PDEFont font = nullptr;
};

// What the slug lines of a job share.
struct SlugState {
    std::vector<std::string> mapNames;  // spot name, process name, ...
    FontCache fonts;
};
SlugState gSlug;

ASBool copyFontEntryProc(CosObj key, CosObj value, ASClientData data) {
    cosDictPut(*static_cast<CosObj*>(data), cosNameValue(key), value);
    return true;
}

// A font for the slug line that the caller releases; within a scope, the same
// indirect font of the document every time.
PDEFont slugFont(PDDoc doc, const char* name) {
    FontCache& c = gSlug.fonts;
    if (c.scopes > 0 && c.font && c.doc == doc && c.name == name) {
        pdeAcquire(reinterpret_cast<PDEObject>(c.font));
        return c.font;
    }
    PDEFont font = getFontFromName(name);
    if (!font || c.scopes == 0 || !doc) return font;
    PDEFont shared = nullptr;
    // Without an indirect copy each slug line keeps a font of its own.
    logHostErrors("sharing the slug line's font", [&] {
        CosObj direct = gPDFEditReadHFT->PDEFontGetCosObj(font);
        CosObj dict = cosNewDict(pdDocGetCosDoc(doc), true, 0);
        cosObjEnum(direct, copyFontEntryProc, &dict);
        shared = gPDFEditWriteHFT->PDEFontCreateFromCosObj(&dict);
    });
    if (!shared) return font;
    pdeRelease(font);
    if (c.font) pdeRelease(c.font);
    c.doc = doc;
    c.name = name;
    c.font = shared;
    pdeAcquire(reinterpret_cast<PDEObject>(shared));
    return shared;
}

bool jobInfoFrameProc(CContent* level, PDEElement frame, long index, long data) {
    (void)index;
    if (getBoxNum(frame) != kBoxJobInfo) return true;
    getContent(frame, true);
    level->addModified();
    ++*reinterpret_cast<long*>(data);
    return true;
}

struct Sheet {
    PDDoc doc;
    ASInt32 pageIndex;
    ASUns8 cmyk[4];
    char label[32];
    std::vector<ASInt32> pages;  // page numbers of the page frames
    ASInt32 written;
};

// One walk for what the slug line tells of the sheet: the page frames present and the
// process colours their pages use.
bool pagesAndColorsProc(CContent* level, PDEElement frame, long index, long data) {
    (void)level;
    (void)index;
    auto* s = reinterpret_cast<Sheet*>(data);
    ASInt32 n = getBoxNum(frame);
    if (n < 1) return true;
    if (n != 0x7FFFFFFF) s->pages.push_back(n);  // the number of a frame left without a page
    if (isAllColors(s->cmyk)) return true;
    PDEContent c = getContent(frame);
    if (!c || pdeContentGetNumElems(c) < 1) return true;
    PDEElement first = pdeContentGetElem(c, 0);
    if (pdeObjectGetType(first) != kPDEForm) return true;
    ASUns8 used[4] = {0, 0, 0, 0};
    getCMYKUsage(reinterpret_cast<PDEForm>(first), used);
    for (int i = 0; i < 4; ++i)
        if (used[i]) s->cmyk[i] = 1;
    return true;
}

// A label is kept when it is "A" or "B" followed by a number above 0.
bool keptLabel(const char* label) {
    if (label[0] != 'A' && label[0] != 'B') return false;
    return std::atol(label + 1) > 0;
}

// The sheet text must take exactly a number and then a text: anything else (a missing
// table entry, a translation with other directives) falls back to the English one.
bool sheetFormatOK(const char* f) {
    const char* d = std::strstr(f, "%d");
    if (!d) return false;
    const char* s = std::strstr(d + 2, "%s");
    if (!s) return false;
    for (const char* p = f; *p; ++p)
        if (*p == '%' && p != d && p != s) {
            if (p[1] != '%') return false;
            ++p;
        }
    return true;
}

void append(std::string& s, const char* text) {
    s += text;
}

bool composeFrameProc(CContent* level, PDEElement frame, long index, long data) {
    (void)index;
    auto* s = reinterpret_cast<Sheet*>(data);
    if (getBoxNum(frame) != kBoxJobInfo) return true;
    char a[256], b[256], desc[256];
    getJobInfoStr(frame, "A", a, "A");
    getJobInfoStr(frame, "B", b, "B");
    getJobInfoStr(frame, "desc", desc, "sntdc");
    PDEContent content = getContent(frame, true);
    level->addModified();
    if (!content) return true;

    SlugInput in{s->doc, s->pageIndex, s->label, a, b, desc, &s->pages};
    char text[1024];
    composeSlugText(in, text, sizeof text);

    char fontName[256];
    getJobInfoFontName(fontName);
    ElementRef font(slugFont(s->doc, fontName));
    if (!font) return true;
    ASFixed size = ASInt32ToFixed(getJobInfoFontSize(10));
    bool colors = std::strchr(desc, 'c') != nullptr;
    ASFixed length = addSlugline(s->doc, s->pageIndex, font.get(), size, content, 0, 0, text,
                                 colors ? s->cmyk : nullptr, colors, getGray(frame) == 1);
    ASFixedRect r = getBBox(frame);
    ASFixed w = r.right - r.left, h = r.top - r.bottom;
    ASInt32 n = pdeContentGetNumElems(content);
    for (ASInt32 i = 0; i < n; ++i) {
        PDEElement e = pdeContentGetElem(content, i);
        ASFixedMatrix m;
        pdeGetMatrix(e, &m);
        if (w >= h) {
            m.h += r.left;
            m.v += r.bottom + ASInt32ToFixed(4);
        } else {
            ASFixedMatrix u{0, m.a, -m.d, 0, r.left + w - ASInt32ToFixed(4), r.bottom + m.h};
            m = u;
        }
        pdeSetMatrix(e, &m);
    }
    if (length != 0) {
        if (w >= h)
            r.right = r.left + length;
        else
            r.top = r.bottom + length;
        setBBox(frame, &r);
    }
    ++s->written;
    return true;
}

// Lists the sheet's spot colours after the names already on the line (listed).
void appendSpots(PDDoc doc, ASInt32 pageIndex, PDEText text, std::vector<std::string> listed) {
    ASInt32 count = 0;
    std::unique_ptr<CosObj[]> held(getColorSpaces(doc, pageIndex, pageIndex, &count));
    if (!held) return;
    CosObj* spaces = held.get();
    // The trim lines' own separation marks the cut for the finisher: no plate prints it,
    // so the slug line does not list it as a colour of the sheet.
    char trimLines[256] = "";
    getTrimLinesColorParams(trimLines, nullptr);
    for (ASInt32 i = 0; i < count; ++i) {
        char family[64] = "";
        if (getColorSpace(spaces[i], family) != kSeparation) continue;
        if (cosObjGetType(spaces[i]) != CosArray || cosArrayLength(spaces[i]) < 2) continue;
        CosObj nameObj = cosArrayGet(spaces[i], 1);
        if (cosObjGetType(nameObj) != CosName) continue;
        std::string name = asAtomGetString(cosNameValue(nameObj));
        if (name.empty() || name == "None" || name == "All" || name[0] == '_') continue;
        // A placeholder (one letter) that found no spot colour to take is no colour of
        // the sheet.
        if (name.size() == 1) continue;
        if (trimLines[0] && name == trimLines) continue;
        // A spot colour mapped to a process plate is named by its spot name.
        for (size_t k = 0; k + 1 < gSlug.mapNames.size(); k += 2)
            if (gSlug.mapNames[k + 1] == name) {
                name = gSlug.mapNames[k];
                break;
            }
        bool seen = false;
        for (const auto& l : listed) seen = seen || l == name;
        if (seen) continue;
        listed.push_back(name);
        PDEColorSpec spec{};
        spec.space = pdeColorSpaceCreateFromCosObj(&spaces[i]);
        spec.value.color[0] = fixedOne;
        appendString(text, name.c_str(), &spec, true);
    }
}

}  // namespace

void setMapColorNames(const char* const* pairs, ASInt32 count) {
    gSlug.mapNames.clear();
    if (!pairs) return;
    for (ASInt32 i = 0; i < 2 * count; ++i) gSlug.mapNames.emplace_back(pairs[i] ? pairs[i] : "");
}

long removeJobInfo(PDPage page, bool write) {
    long n = 0;
    EnumForms(page, jobInfoFrameProc, reinterpret_cast<long>(&n), write, true);
    return n;
}

std::string formatSlugDate(const std::tm& t) {
    // Day, month and year as people write them; the time as clocks show it (01:04).
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d.%d.%d  %02d:%02d", t.tm_mday, t.tm_mon + 1, t.tm_year + 1900,
                  t.tm_hour, t.tm_min);
    return buf;
}

void composeSlugText(const SlugInput& in, char* text, ASInt32 size) {
    std::string s;
    char buf[600];
    const char* desc = in.desc ? in.desc : "";
    if (std::strchr(desc, 's')) {
        char format[256];
        getString("sheet", format);
        if (!sheetFormatOK(format)) std::strcpy(format, "Sheet %d%s");
        int number;
        const char* suffix;
        if (getDocInfoInt32(in.doc, "Pagina") == 1) {
            number = in.pageIndex + 1;
            suffix = " ";
        } else if (in.label && keptLabel(in.label)) {
            number = static_cast<int>(std::atol(in.label + 1));
            suffix = in.label[0] == 'A' ? in.a : in.b;
        } else {
            number = (in.pageIndex + 2) / 2;
            suffix = (in.pageIndex % 2 == 0) ? in.a : in.b;
        }
        std::snprintf(buf, sizeof buf, format, number, suffix);
        append(s, buf);
        append(s, "  ");
    }
    char info[256];
    auto docItem = [&](char letter, const char* key, const char* format) {
        if (!std::strchr(desc, letter)) return;
        info[0] = 0;
        if (gPDModelHFT->PDDocGetInfo(in.doc, key, info, sizeof info) <= 0 || !info[0]) return;
        std::snprintf(buf, sizeof buf, format, info);
        append(s, buf);
    };
    docItem('n', "AN", "AN=%s  ");
    docItem('t', "Title", "%s  ");
    docItem('f', "FN", "%s  ");
    if (std::strchr(desc, 'v')) {
        char tn[256] = "";
        CPage page(in.doc, in.pageIndex);
        if (getPgString(page.getPage(), "TN", tn) && tn[0]) {
            append(s, tn);
            append(s, "  ");
        }
    }
    if (std::strchr(desc, 'd')) {
        std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        append(s, formatSlugDate(t).c_str());
        append(s, "  ");
    }
    if (std::strchr(desc, 'p') && in.pages) {
        std::string p;
        for (ASInt32 i : *in.pages) {
            std::snprintf(buf, sizeof buf, "%d,", i);
            p += buf;
        }
        if (!p.empty()) p.pop_back();
        s += p;
        s += "  ";
    }
    if (s.size() > 1023) s.resize(1023);
    std::snprintf(text, static_cast<size_t>(size), "%s", s.c_str());
}

ASFixed addSlugline(PDDoc doc, ASInt32 pageIndex, PDEFont font, ASFixed size, PDEContent content,
                    ASFixed x, ASFixed y, const char* text, const ASUns8* cmyk, bool listSpots,
                    bool gray) {
    ElementRef held(gPDFEditWriteHFT->PDETextCreate());
    PDEText t = held.get();
    PDEColorSpec color = gray ? getGrayColor(0.0f) : getAllColor(1.0f);
    ScopeExit freeColor([&color] { freeColorSpec(&color); });
    PDEGraphicState gs;
    gPDFEditWriteHFT->PDEDefaultGState(&gs, sizeof gs);
    ASFixedMatrix m = getTextMatrix(size, x, y);
    addText(t, text && *text ? text : " ", font, &gs, &color, &m);
    static const char* const kNames[4] = {"Cyan", "Magenta", "Yellow", "Black"};
    std::vector<std::string> listed;
    if (cmyk)
        for (int i = 0; i < 4; ++i) {
            if (!cmyk[i]) continue;
            float v[4] = {0, 0, 0, 0};
            v[i] = 1.0f;
            PDEColorSpec c = getCMYKColor(v[0], v[1], v[2], v[3]);
            appendString(t, kNames[i], &c, true);
            listed.emplace_back(kNames[i]);
        }
    if (listSpots) appendSpots(doc, pageIndex, t, listed);
    ASInt32 runs = pdeTextGetNumRuns(t);
    ASFixedMatrix last;
    pdeTextRunGetMatrix(t, runs - 1, &last);
    ASFixedPoint d{0, 0};
    gPDFEditReadHFT->PDETextGetAdvanceWidth(t, kPDETextRunFlag, runs - 1, &d);
    pdeContentAddElem(content, kPDEAfterLast, t);
    return last.h + d.h;
}

void addJobInfo(PDDoc doc, PDPage page) {
    if (!doc) doc = getCosPDDoc();
    if (!doc || !page) return;
    Sheet s{};
    s.doc = doc;
    reportHostErrors(0, [&] {
        s.pageIndex = gPDModelHFT->PDPageGetNumber(page);
        char label[256] = "";
        gPDModelHFT->PDDocGetLabelForPageNum(doc, s.pageIndex, label, sizeof label);
        label[31] = 0;
        std::memcpy(s.label, keptLabel(label) ? label : "", keptLabel(label) ? 32 : 1);
        EnumForms(page, pagesAndColorsProc, reinterpret_cast<long>(&s), false, true);
        std::sort(s.pages.begin(), s.pages.end());
        s.pages.erase(std::unique(s.pages.begin(), s.pages.end()), s.pages.end());
        EnumForms(page, composeFrameProc, reinterpret_cast<long>(&s), true, true);
    });
}

namespace {

// Check boxes 5..12 and their letters; the description is rebuilt in the order
// s, n, t, d, c, f, p, v.
const struct {
    ASInt32 id;
    char letter;
} kItems[8] = {{5, 's'}, {6, 'n'}, {7, 't'}, {8, 'd'}, {9, 'c'}, {10, 'f'}, {11, 'p'}, {12, 'v'}};

struct JobInfoDlg {
    char a[256], b[256], desc[256];
    ASInt32 gray;
};

void readJobInfoDlg(CMyDialog* dialog, JobInfoDlg* d) {
    dialog->getText(3, d->a, sizeof d->a);
    dialog->getText(4, d->b, sizeof d->b);
    int n = 0;
    for (const auto& item : kItems)
        if (dialog->getValue(item.id)) d->desc[n++] = item.letter;
    d->desc[n] = 0;
    d->gray = dialog->getValue(13);
}

void jobInfoDefault(CMyDialog* dialog, ASInt32, void* data) {
    auto* d = static_cast<JobInfoDlg*>(data);
    readJobInfoDlg(dialog, d);
    ::setJobInfoStr("A", d->a);
    ::setJobInfoStr("B", d->b);
    ::setJobInfoStr("desc", d->desc);
    savePrefs();
}

void jobInfoOK(CMyDialog* dialog, ASInt32, void* data) {
    readJobInfoDlg(dialog, static_cast<JobInfoDlg*>(data));
    dialog->endDialog(kCmdOK);
}

void jobInfoSetup(CMyDialog* dialog, void* data) {
    auto* d = static_cast<JobInfoDlg*>(data);
    dialog->setText(3, d->a);
    dialog->setText(4, d->b);
    for (const auto& item : kItems)
        dialog->setValue(item.id, std::strchr(d->desc, item.letter) != nullptr);
    dialog->setValue(13, d->gray);
    dialog->selectText(3);
    dialog->setHandler(1, jobInfoOK, data);
    dialog->setHandler(20, jobInfoDefault, data);
}

struct TextDlg {
    char text[256];
};
void textFrameOK(CMyDialog* dialog, ASInt32, void* data) {
    auto* t = static_cast<TextDlg*>(data);
    dialog->getText(4, t->text, sizeof t->text);
    dialog->endDialog(kCmdOK);
}
void textFrameSetup(CMyDialog* dialog, void* data) {
    dialog->setText(4, static_cast<TextDlg*>(data)->text);
    dialog->selectText(4);
    dialog->setHandler(1, textFrameOK, data);
}

}  // namespace

void setJobInfo(PDEElement frame, const char* a, const char* b, const char* desc, bool gray) {
    ::setJobInfoStr(frame, "A", a);
    ::setJobInfoStr(frame, "B", b);
    ::setJobInfoStr(frame, "desc", desc);
    setGray(frame, gray ? 1 : 0);
    setBoxNum(frame, kBoxJobInfo);
}

void doJobInfo(PDEElement frame) {
    if (!frame) return;
    JobInfoDlg d{};
    getJobInfoStr(frame, "A", d.a, "A");
    getJobInfoStr(frame, "B", d.b, "B");
    getJobInfoStr(frame, "desc", d.desc, "sntdc");
    d.gray = getGray(frame);
    if (doModalDialog("JOBINFO", jobInfoSetup, &d) != kCmdOK) return;
    setJobInfo(frame, d.a, d.b, d.desc, d.gray != 0);
}

bool selectJobInfoProc(CContent*, PDEElement frame, long, long) {
    if (getBoxNum(frame) != kBoxJobInfo) return true;
    setSelected(frame, true);
    return false;
}

void writeTextFrame(PDEElement frame, const char* text, ASFixedPoint pt) {
    char fontName[256];
    getJobInfoFontName(fontName);
    ElementRef font(getFontFromName(fontName));
    if (!font) return;
    ASInt32 size = getJobInfoFontSize(10);
    PDEContent content = getContent(frame, true);
    ASFixed width = addTextToContent(content, font.get(), ASInt32ToFixed(size), 0, 0, text);
    ASFixedRect r{0, ASInt32ToFixed(size), ASInt32ToFixed(ASFixedRoundToInt32(width)), 0};
    setBBox(frame, &r);
    moveContainerBy(frame, pt.h, pt.v);
}

void addTextFrame(PDPage page, ASFixedPoint& pt, const char* text) {
    setCosDoc(pdPageGetDoc(page));
    {
        PageContentRef content(page);
        ElementRef frame(getContainerWithBoxNum(kBoxTextFrame));
        writeTextFrame(frame.get(), text, pt);
        pdeContentAddElem(content.get(), kPDEAfterLast, frame.get());
        pdPageSetPDEContent(page);
    }
    pdPageNotifyContentsDidChange(page);
}

void addTextFrame(PDPage page, ASFixedPoint& pt) {
    TextDlg t{};
    if (doModalDialog("TEXTFRAME", textFrameSetup, &t) != kCmdOK) return;
    addTextFrame(page, pt, t.text);
}

void doTextFrame(PDPage page, PDEElement frame) {
    if (!frame) return;
    TextDlg t{};
    PDEContent c = getContent(frame);
    if (c && pdeContentGetNumElems(c) > 0)
        getFirstRunText(pdeContentGetElem(c, 0), t.text, sizeof t.text);
    if (doModalDialog("TEXTFRAME", textFrameSetup, &t) != kCmdOK) return;
    {
        PageContentRef content(page);
        ASFixedRect r = getBBox(frame);
        writeTextFrame(frame, t.text, ASFixedPoint{r.left, r.bottom});
        pdPageSetPDEContent(page);
    }
    pdPageNotifyContentsDidChange(page);
}

SlugFontScope::SlugFontScope() {
    ++gSlug.fonts.scopes;
}

SlugFontScope::~SlugFontScope() {
    if (--gSlug.fonts.scopes > 0) return;
    if (gSlug.fonts.font) pdeRelease(gSlug.fonts.font);
    gSlug.fonts = FontCache{};
}
