#include "Sources/ImposeJob.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "Common/BoxDesc.h"
#include "Common/ColorSupport.h"
#include "Common/ErrorHandling.h"
#include "Sources/Impose.h"
#include "Sources/ImposeDlg.h"
#include "Sources/JobInfo.h"
#include "Sources/MapSpot.h"
#include "settings/MyStrings.h"
#include "settings/MyUnits.h"
#include "Common/PageContent.h"
#include "platform/FileOps.h"
#include "platform/PathProblems.h"
#include "platform/Platform.h"
#include "Common/Prefs.h"
#include "Common/Scopes.h"

namespace {

// Sizes compared as the engine compares them: in millimetres, 0.5 mm apart at most.
struct Size {
    double w = 0, h = 0;
};

double toMM(ASFixed v) {
    return v * 25.4 / 4718592.0;
}

bool sameSize(const Size& a, const Size& b) {
    return std::fabs(a.w - b.w) <= 0.5 && std::fabs(a.h - b.h) <= 0.5;
}

// The size of a box as it is seen upright: turned by 90 or 270 degrees, width and
// height change places.
Size uprightSize(const ASFixedRect& r, ASInt32 rotation) {
    Size s{toMM(r.right - r.left), toMM(r.top - r.bottom)};
    rotation = ((rotation % 360) + 360) % 360;
    if (rotation == 90 || rotation == 270) std::swap(s.w, s.h);
    return s;
}

std::string number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    std::string s = buf;
    if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
    return s;
}

std::string sizeText(const Size& s) {
    return number(s.w) + " x " + number(s.h) + " mm";
}

// "3", "3-5", "3-5, 9, 12 and 4 more".
std::string pagesText(const std::vector<ASInt32>& pages) {
    std::string text;
    std::size_t shown = 0, i = 0;
    while (i < pages.size()) {
        std::size_t j = i;
        while (j + 1 < pages.size() && pages[j + 1] == pages[j] + 1) ++j;
        if (shown == 6) {
            text += " and " + std::to_string(pages.size() - i) + " more";
            break;
        }
        text += std::string(text.empty() ? "" : ", ") + std::to_string(pages[i]);
        if (j > i) text += "-" + std::to_string(pages[j]);
        ++shown;
        i = j + 1;
    }
    return text;
}

// Why a file could not be opened, after the host said code.
std::string openProblem(ASErrorCode code) {
    if (code == pdErrNotPDF) return "is not a PDF file";
    if (code == pdErrDamaged) return "is damaged and cannot be repaired (a file cut short?)";
    if (code == pdErrEncrypted)
        return "is encrypted (it opens only with a password or certificate)";
    return "cannot be opened: " + hostErrorText(code);
}

// A document the check opens and closes again.
class CheckedDoc {
  public:
    CheckedDoc(const char* path, const char* option, const std::string& what, JobReport& report) {
        std::string problem = fileReadProblem(path);
        if (!problem.empty()) {
            // A name that was meant for the library, and is not in it either.
            std::string name = std::strrchr(path, '/') ? std::strrchr(path, '/') + 1 : path;
            if (problem == "does not exist" && name.find('.') == std::string::npos)
                problem += ", nor is there a template of that name in the library";
            report.error(option, what + " " + path + " " + problem);
            return;
        }
        ASErrorCode code = hostErrorOf([&] { doc_ = gPDModelHFT->PDDocOpen(path, true); });
        if (code != genErrNoError) doc_ = nullptr;
        if (!doc_) report.error(option, what + " " + path + " " + openProblem(code));
    }
    ~CheckedDoc() {
        if (doc_) closeDoc(doc_);
    }
    CheckedDoc(const CheckedDoc&) = delete;
    CheckedDoc& operator=(const CheckedDoc&) = delete;
    PDDoc doc() const { return doc_; }
    // The document stays open: the caller closes it.
    PDDoc release() {
        PDDoc d = doc_;
        doc_ = nullptr;
        return d;
    }

  private:
    PDDoc doc_ = nullptr;
};

// What the check needs to know of a template's sheets.
struct SheetsInfo {
    ASInt32 maxBox = 0;
    std::vector<ASInt32> boxes;             // the number of every page frame, sheet by sheet
    std::vector<Size> frameSizes;           // the page frames' trim areas, upright, distinct
    std::vector<std::string> placeholders;  // the placeholder colours it uses ("X", "Z")
};

bool frameInfoProc(CContent*, PDEElement frame, long, long data) {
    auto* info = reinterpret_cast<SheetsInfo*>(data);
    FrameValue f = readFrame(frame);
    ASInt32 b = f.boxNum;
    if (b < 1) return true;
    if (b > info->maxBox) info->maxBox = b;
    info->boxes.push_back(b);
    Size s = uprightSize(innerRect(f), f.rotation);
    for (const Size& known : info->frameSizes)
        if (sameSize(known, s)) return true;
    if (info->frameSizes.size() < 16) info->frameSizes.push_back(s);
    return true;
}

// The colorant names of the document's one-colorant spaces.
bool colorantProc(CosObj space, long data) {
    auto* names = reinterpret_cast<std::vector<std::string>*>(data);
    if (cosObjGetType(space) != CosArray || cosArrayLength(space) < 2) return true;
    CosObj family = cosArrayGet(space, 0);
    if (cosObjGetType(family) != CosName) return true;
    std::string f = asAtomGetString(cosNameValue(family));
    CosObj n = cosArrayGet(space, 1);
    if (f == "DeviceN" && cosObjGetType(n) == CosArray && cosArrayLength(n) == 1)
        n = cosArrayGet(n, 0);
    else if (f != "Separation")
        return true;
    if (cosObjGetType(n) == CosName) names->push_back(asAtomGetString(cosNameValue(n)));
    return true;
}

// Reads the sheets' frames and placeholder colours; false (reported) when the file's
// content cannot be read.
bool inspectSheets(PDDoc doc, const char* path, const char* option, const std::string& what,
                   SheetsInfo& info, JobReport& report) {
    PDDoc current = getCosPDDoc();
    ASErrorCode code = hostErrorOf([&] {
        setCosDoc(doc);
        EnumForms(doc, 0, PDLastPage, frameInfoProc, reinterpret_cast<long>(&info), false);
        std::vector<std::string> names;
        EnumDocColors(doc, colorantProc, reinterpret_cast<long>(&names));
        char letters[256] = "XZABC";
        getReplaceStr(letters);
        for (const char* l = letters; *l; ++l) {
            std::string letter(1, *l);
            if (std::find(names.begin(), names.end(), letter) != names.end() &&
                std::find(info.placeholders.begin(), info.placeholders.end(), letter) ==
                    info.placeholders.end())
                info.placeholders.push_back(letter);
        }
    });
    restoreCosDoc(current);
    bool ok = code == genErrNoError;
    if (!ok) report.error(option, what + " " + path + " cannot be read: " + hostErrorText(code));
    return ok;
}

// The pages a job places, from 1: its range, or for an envelope the first two and the
// last two.
std::vector<ASInt32> jobPages(const ImposeData& d, ASInt32 n) {
    std::vector<ASInt32> pages;
    if (d.binding == kBindEnvelope) {
        for (ASInt32 p : {1, 2, n - 1, n})
            if (p >= 1 && p <= n && std::find(pages.begin(), pages.end(), p) == pages.end())
                pages.push_back(p);
        std::sort(pages.begin(), pages.end());
        return pages;
    }
    ASInt32 first = d.firstPage > 0 ? d.firstPage : 1;
    ASInt32 last = d.lastPage > 0 ? std::min(d.lastPage, n) : n;
    for (ASInt32 p = first; p <= last; ++p) pages.push_back(p);
    return pages;
}

// The source pages' sizes (the TrimBox where a page has one, else its CropBox).
struct PageSizes {
    std::vector<std::pair<Size, std::vector<ASInt32>>> groups;  // size and its pages
    ASInt32 withTrimBox = 0;
    bool haveTrim = false;
    Size firstTrim;  // the TrimBox of the first page that has one
};

void measurePages(PDDoc src, const std::vector<ASInt32>& pages, PageSizes& sizes) {
    for (ASInt32 p : pages) {
        CPage page(src, p - 1);
        ASFixedRect tb;
        bool has = page.getTrimBox(&tb);
        Size s = uprightSize(has ? tb : page.getCropBox(), getPgRotation(page.getPage()));
        if (has) {
            ++sizes.withTrimBox;
            if (!sizes.haveTrim) {
                sizes.haveTrim = true;
                sizes.firstTrim = s;
            }
        }
        bool placed = false;
        for (auto& g : sizes.groups)
            if (sameSize(g.first, s)) {
                g.second.push_back(p);
                placed = true;
                break;
            }
        if (!placed && sizes.groups.size() < 8) sizes.groups.push_back({s, {p}});
    }
}

// Counts the frames of a job's sheets from the numbers of the template's frames, pass by
// pass as the engine numbers them when it adds the sheets (see imposeDocWithData), so
// that the check need not build the sheets. n is the source's page count.
JobFrameCount countFrames(const ImposeData& job, ASInt32 n, const SheetsInfo& sheets,
                          const SheetsInfo* second) {
    JobFrameCount c;
    ImposeData d = job;
    auto pass = [&](const SheetsInfo& s) {
        for (ASInt32 b : s.boxes) {
            ASInt32 page = d.pageOffset + passRelativePage(&d, b);
            if (page < 1 || page > n) page = 0;
            ++c.frames;
            if (page == 0) ++c.empty;
            c.highest = std::max(c.highest, page);
        }
    };
    ASInt32 M = sheets.maxBox;
    if (M < 1) return c;
    ASInt32 F = d.firstPage > 0 ? d.firstPage : 1;
    ASInt32 L = d.lastPage > 0 ? d.lastPage : n;
    if (d.binding == kBindEnvelope) {
        d.framesPerPass = 4;
        d.lowSpan = 2;
        d.firstPage = 1;
        d.lastPage = n;
        pass(sheets);
        return c;
    }
    ASInt32 C = L - F + 1, P = C / M;
    if (P * M < C) {
        if (!second) {
            P += 1;
            C = P * M;
        } else if (d.binding == kBindPerfect) {
            P -= 1;
        }
    }
    // Saddle stitch takes pages from both ends of the range, perfect binding from the front.
    bool saddle = d.binding == kBindSaddleStitch;
    d.firstPage = 1;
    d.lastPage = C;
    d.framesPerPass = M;
    d.lowSpan = saddle ? M / 2 : M;
    d.pageOffset = F - 1;
    for (ASInt32 i = 0; i < P; ++i) {
        pass(sheets);
        d.firstPage += saddle ? M / 2 : M;
        if (saddle) d.lastPage -= M / 2;
    }
    if (second && d.firstPage < d.lastPage) {
        d.lowSpan = d.lastPage;
        pass(*second);
    }
    if (!saddle && d.firstPage < d.lastPage) {
        d.firstPage = C - M + 1;
        pass(sheets);
    }
    return c;
}

// The sheet map of one output sheet.
struct PlanWalk {
    VexaPlanProc proc;
    void* data;
    VexaPlannedFrame frame;
    ASInt32 sourcePages;
};

bool planFrameProc(CContent*, PDEElement frame, long, long data) {
    auto* w = reinterpret_cast<PlanWalk*>(data);
    FrameValue f = readFrame(frame);
    ASInt32 b = f.boxNum;
    if (b < 1) return true;
    w->frame.frame += 1;
    w->frame.page = b <= w->sourcePages ? b : 0;
    w->frame.rotation = ((f.rotation % 360) + 360) % 360;
    w->frame.trim = innerRect(f);
    w->frame.creep = f.displacement;
    w->proc(&w->frame, w->data);
    return true;
}

std::string bindingName(ASInt32 b) {
    return b == 1 ? "saddle stitch" : b == 2 ? "perfect binding" : "envelope";
}

// The template the last check found sound: what it read of its sheets, and the
// document as it was opened, kept for the job that follows the check, so that a check
// and its job open the template once (and a job checked twice, by the caller and
// before it runs, reads it once). A file changed or saved anew since is opened anew.
struct CheckedTemplate {
    std::string path;
    FileIdentity stamp;
    SheetsInfo info;
    PDDoc doc = nullptr;  // open, until a job takes it or another check replaces it
    std::unique_ptr<DocContentHold> held;  // its sheets' content, read by the check

    void forgetDoc() {
        held.reset();
        if (doc) closeDoc(doc);
        doc = nullptr;
    }
    bool holds(const char* p) const {
        return !path.empty() && path == p && stamp == fileIdentity(p);
    }
};
// Not destroyed with the process's statics: what it holds belongs to the host, which
// may be gone by then; forgetCheckedTemplate, at the plug-in's unloading, lets go of it
// while the host lives.
CheckedTemplate* gCheckedTemplate = nullptr;
CheckedTemplate& checkedTemplate() {
    if (!gCheckedTemplate) gCheckedTemplate = new CheckedTemplate;
    return *gCheckedTemplate;
}

// Checks one template file (the job's template or its second sheet).
bool checkSheetsFile(const char* path, bool second, SheetsInfo& info, JobReport& report) {
    CheckedTemplate& kept = checkedTemplate();
    if (!second && kept.holds(path)) {
        info = kept.info;
        return true;
    }
    const char* option = second ? "second-sheet" : "template";
    std::string what = second ? "the second sheet" : "the template";
    FileIdentity stamp = fileIdentity(path);
    CheckedDoc t(path, option, what, report);
    if (!t.doc()) return false;
    // The check's walks, and the job's, read each sheet once.
    auto held = std::make_unique<DocContentHold>(t.doc());
    if (!inspectSheets(t.doc(), path, option, what, info, report)) return false;
    if (!second && !docIsTemplate(t.doc())) {
        char fmt[256] = "noTemplateStr", msg[512];
        getString("noTemplateStr", fmt);
        std::snprintf(msg, sizeof msg, "%s", fmt);
        std::string text = msg;
        std::size_t at = text.find("%s");
        if (at != std::string::npos) text.replace(at, 2, gModuleName);
        report.error(option,
                     std::string(path) + ": " + text + " (its first sheet has no page frames)");
        return false;
    }
    if (second && info.maxBox < 1) {
        report.error(option, what + " " + path + " has no page frames");
        return false;
    }
    if (!second && stamp.known) {
        kept.forgetDoc();
        kept.path = path;
        kept.stamp = stamp;
        kept.info = info;
        kept.held = std::move(held);
        kept.doc = t.release();
    }
    return true;
}

// The alignment's effect on pages whose TrimBox differs from their frames.
std::string alignmentEffect(ePlacing placing) {
    if (placing == kPlaceCentered)
        return "each page is centred on its frame's trim area and cut off at the frame's bleed";
    return "each page is placed by its TrimBox from the lower left corner of its frame's "
           "trim area (as the frame is turned) and cut off at the frame's bleed";
}

}  // namespace

PDDoc takeCheckedTemplate(const char* path, std::unique_ptr<DocContentHold>* held) {
    CheckedTemplate& kept = checkedTemplate();
    if (!path || !kept.doc || !kept.holds(path)) return nullptr;
    PDDoc doc = kept.doc;
    kept.doc = nullptr;
    if (held) *held = std::move(kept.held);
    kept.held.reset();
    return doc;
}

void forgetCheckedTemplate() {
    if (!gCheckedTemplate) return;
    gCheckedTemplate->forgetDoc();
    delete gCheckedTemplate;
    gCheckedTemplate = nullptr;
}

void initImposeJob(VexaJob* job, PDDoc src) {
    if (!job) return;
    std::memset(job, 0, sizeof *job);
    job->size = sizeof *job;
    ImposeData& d = job->data;
    d.srcDoc = src;
    d.binding = 1;
    d.placing = kPlaceTrimBoxIfAny;
    d.scale = fixedOne;
    d.firstPage = 1;
    // A source that cannot be read is the check's to report.
    if (src)
        logHostErrors("reading the source's page count and path", [&] {
            d.lastPage = pdDocGetNumPages(src);
            if (gPDModelHFT->PDDocGetPath(src, d.srcPath, sizeof d.srcPath) >=
                static_cast<ASInt32>(sizeof d.srcPath))
                d.srcPath[0] = 0;
        });
    char buf[512] = "";
    getImposeTemplate(buf);
    buf[255] = 0;
    if (fileExists(std::string(buf)))
        std::snprintf(d.templatePath, sizeof d.templatePath, "%s", buf);
    job->spotBlack = getMapSpotToBlack() == 1 ? 1 : 0;
    job->dlgUnits = getDlgUnits();
    job->flags = kVexaJobTrimLinesLayer;
}

ASInt32 checkPageRange(ASInt32 first, ASInt32 last, ASInt32 pageCount, std::string* why) {
    std::string ignored;
    if (!why) why = &ignored;
    std::string range = std::to_string(first) + "-" + std::to_string(last);
    std::string pages =
        "the source has " + std::to_string(pageCount) + (pageCount == 1 ? " page" : " pages");
    if (first < 1) {
        *why = "pages are numbered from 1";
        return 1;
    }
    if (first > pageCount) {
        *why = "the range " + range + " begins after the last page: " + pages;
        return 1;
    }
    if (first > last) {
        *why = "the range " + range + " runs backwards";
        return 2;
    }
    if (last > pageCount) {
        *why = "the range " + range + " ends after the last page: " + pages;
        return 2;
    }
    return 0;
}

namespace {

// The source's page count; -1 when it cannot be read, 0 when there is no source.
ASInt32 checkSource(PDDoc src, const std::string& srcName, JobReport& report) {
    ASInt32 n = 0;
    if (!src) {
        report.error("source", "no source document");
        return 0;
    }
    if (ASErrorCode code = hostErrorOf([&] { n = pdDocGetNumPages(src); })) {
        report.error("source", srcName + " cannot be read: " + hostErrorText(code));
        n = -1;
    }
    if (n == 0) report.error("source", srcName + " has no pages");
    return n;
}

// The binding, alignment, scale, creep and page range.
void checkChoices(const VexaJob& job, ASInt32 n, JobReport& report) {
    const ImposeData& d = job.data;
    const bool knownBinding = d.binding >= kBindSaddleStitch && d.binding <= kBindEnvelope;
    if (!knownBinding)
        report.error("binding", "unknown binding " + std::to_string(d.binding) +
                                    " (saddle stitch 1, perfect binding 2, envelope 3)");
    if (d.placing < kPlaceTrimBoxIfAny || d.placing > kPlaceAdjustFrame)
        report.error("align", "unknown alignment " + std::to_string(d.placing));
    if (d.scale < kMinScale || d.scale > kMaxScale)
        report.error("scale", "the scale " + number(d.scale * 100.0 / fixedOne) +
                                  "% lies outside 10% to 1000%");
    if (job.given & kVexaGivenCreep) {
        if (d.binding != kBindSaddleStitch && d.creep != 0 && knownBinding)
            report.error("creep", "creep is for saddle stitch only; this job is bound by " +
                                      bindingName(d.binding));
        if (d.creep < 0 || d.creep > kMaxCreep)
            report.error("creep", "the creep " + lengthText(d.creep, job.dlgUnits) +
                                      " lies outside 0 to 5 mm");
    }
    if (n > 0 && d.binding != kBindEnvelope) {
        std::string why;
        if (checkPageRange(d.firstPage, d.lastPage, n, &why)) report.error("pages", why);
    }
}

// The output can be written and is none of the job's inputs.
void checkOutput(const ImposeData& d, JobReport& report) {
    if (!d.outPath[0]) return;
    std::string problem = fileWriteProblem(d.outPath);
    if (!problem.empty())
        report.error("output",
                     "the output " + std::string(d.outPath) + " cannot be written: " + problem);
    std::string out = realPathOf(d.outPath);
    const std::pair<const char*, const char*> inputs[] = {{d.srcPath, "the source"},
                                                          {d.templatePath, "the template"},
                                                          {d.halfSheetPath, "the second sheet"}};
    for (const auto& [path, what] : inputs)
        if (path[0] && realPathOf(path) == out) {
            report.error("output", "the output " + std::string(d.outPath) + " is " + what +
                                       " itself: choose another output file");
            break;
        }
}

// Spot colours: every choice must name a colour of the source. The source's colours
// and what becomes of them go to the facts.
void checkSpots(const VexaJob& job, const std::string& srcName, VexaJobFacts& f,
                JobReport& report) {
    std::vector<VexaSpotOutcome> spots;
    bool fold = job.spotBlack < 0 ? getMapSpotToBlack() == 1 : job.spotBlack == 1;
    if (ASErrorCode code = hostErrorOf([&] {
            spots = mapSpotColorsWith(job.data.srcDoc, fold, job.spots, job.spotCount, nullptr);
        })) {
        report.warning("map-spot", "the colours of " + srcName + " cannot be read (" +
                                       hostErrorText(code) + "): its spot colours are not checked");
        return;
    }
    std::string all;
    for (const VexaSpotOutcome& o : spots) all += std::string(all.empty() ? "" : ", ") + o.name;
    for (ASInt32 i = 0; i < job.spotCount && i < kVexaMaxSpots; ++i) {
        bool found = false;
        for (const VexaSpotOutcome& o : spots)
            found = found || std::strcmp(o.name, job.spots[i].name) == 0;
        if (!found)
            report.error("map-spot",
                         srcName + " has no spot colour \"" + job.spots[i].name + "\"" +
                             (all.empty() ? " (it has none)" : " (it has " + all + ")"));
    }
    for (const VexaSpotOutcome& o : spots)
        if (f.spotCount < kVexaMaxSpots) f.spots[f.spotCount++] = o;
}

// The pages' TrimBox, at the job's scale, against the frames' trim sizes.
void warnTrimSize(const ImposeData& d, const PageSizes& sizes, const SheetsInfo& sheets,
                  const SheetsInfo& second, JobReport& report) {
    double s = static_cast<double>(d.scale) / fixedOne;
    Size placed{sizes.firstTrim.w * s, sizes.firstTrim.h * s};
    std::vector<Size> frameSizes = sheets.frameSizes;
    for (const Size& fs : second.frameSizes) frameSizes.push_back(fs);
    std::string differ;
    for (const Size& fs : frameSizes)
        if (!sameSize(placed, fs) && differ.find(sizeText(fs)) == std::string::npos)
            differ += std::string(differ.empty() ? "" : ", ") + sizeText(fs);
    if (!differ.empty())
        report.warning("align", "the pages' TrimBox (" + sizeText(placed) +
                                    (s != 1.0 ? " at " + number(s * 100) + "%" : "") +
                                    ") differs from the frames' trim size (" + differ +
                                    ") by more than 0.5 mm: " + alignmentEffect(d.placing));
}

// More kept spot colours than the template has placeholder colours for.
void warnPlaceholders(const VexaJobFacts& f, const SheetsInfo& sheets, JobReport& report) {
    ASInt32 keptSpots = 0;
    std::string keptNames;
    for (ASInt32 i = 0; i < f.spotCount; ++i)
        if (f.spots[i].how == kVexaSpotKept) {
            ++keptSpots;
            keptNames += std::string(keptNames.empty() ? "" : ", ") + f.spots[i].name;
        }
    ASInt32 holders = static_cast<ASInt32>(sheets.placeholders.size());
    if (holders <= 0 || keptSpots <= holders) return;
    std::string letters;
    for (const std::string& l : sheets.placeholders)
        letters += std::string(letters.empty() ? "" : ", ") + l;
    report.warning("map-spot", "the template has placeholder colours for " +
                                   std::to_string(holders) + " spot colour" +
                                   (holders == 1 ? "" : "s") + " (" + letters +
                                   "), the source has " + std::to_string(keptSpots) + " (" +
                                   keptNames + "): " + std::to_string(keptSpots - holders) +
                                   " will not be shown by the template's marks");
}

// Frames the job leaves empty, and pages beyond the range that it places.
void warnFrames(const ImposeData& d, ASInt32 n, const SheetsInfo& sheets, const SheetsInfo& second,
                JobReport& report) {
    JobFrameCount count = countFrames(d, n, sheets, d.halfSheetPath[0] ? &second : nullptr);
    if (count.empty > 0)
        report.warning(
            "pages", std::to_string(count.empty) + " of " + std::to_string(count.frames) +
                         " frames stay empty: the template takes " + std::to_string(sheets.maxBox) +
                         " pages per pass and the source ends at page " + std::to_string(n));
    if (d.binding != kBindEnvelope && count.highest > d.lastPage)
        report.warning("pages", "pages " + std::to_string(d.lastPage + 1) + "-" +
                                    std::to_string(count.highest) + " beyond the range " +
                                    std::to_string(d.firstPage) + "-" + std::to_string(d.lastPage) +
                                    " are placed too: the template takes " +
                                    std::to_string(sheets.maxBox) + " pages per pass");
}

}  // namespace

ASInt32 checkImposeJob(const VexaJob* job, VexaJobFacts* facts, JobReport& report, bool warnings) {
    VexaJobFacts local{};
    VexaJobFacts& f = facts ? *facts : local;
    std::memset(&f, 0, sizeof f);
    f.size = sizeof f;
    ASInt32 before = report.errors, warningsBefore = report.warnings;
    auto done = [&] {
        f.errors = report.errors - before;
        f.warnings = report.warnings - warningsBefore;
        return f.errors;
    };
    if (!job) {
        report.error("", "no job");
        return done();
    }
    const ImposeData& d = job->data;
    std::string srcName = d.srcPath[0] ? d.srcPath : "the source";
    ASInt32 n = checkSource(d.srcDoc, srcName, report);
    f.sourcePages = n > 0 ? n : 0;

    // Template and second sheet.
    SheetsInfo sheets, second;
    bool templateOK = false, secondOK = true;
    if (!d.templatePath[0])
        report.error("template", "no template given");
    else
        templateOK = checkSheetsFile(d.templatePath, false, sheets, report);
    if (d.halfSheetPath[0]) secondOK = checkSheetsFile(d.halfSheetPath, true, second, report);
    f.framesPerPass = sheets.maxBox;

    checkChoices(*job, n, report);
    checkOutput(d, report);
    if (n > 0) checkSpots(*job, srcName, f, report);

    // The pages the job places.
    PageSizes sizes;
    std::vector<ASInt32> pages;
    if (n > 0 && report.errors == before) {
        pages = jobPages(d, n);
        // The sizes serve the warnings and the facts; a check for errors only skips them.
        if (warnings)
            logHostErrors("measuring the source's pages",
                          [&] { measurePages(d.srcDoc, pages, sizes); });
    }
    f.jobPages = static_cast<ASInt32>(pages.size());
    f.trimBoxPages = sizes.withTrimBox;
    if (report.errors != before || !templateOK || !secondOK || !warnings) return done();

    if (sizes.groups.size() > 1) {
        std::string text;
        for (const auto& g : sizes.groups)
            text += std::string(text.empty() ? "" : "; ") + sizeText(g.first) +
                    (g.second.size() == 1 ? " (page " : " (pages ") + pagesText(g.second) + ")";
        report.warning("source", "the source's pages are not all of one size: " + text);
    }
    if (sizes.haveTrim && d.placing != kPlaceAdjustFrame)
        warnTrimSize(d, sizes, sheets, second, report);
    warnPlaceholders(f, sheets, report);
    warnFrames(d, n, sheets, second, report);
    return done();
}

JobFrameCount countJobFrames(const VexaJob* job) {
    if (!job || !job->data.srcDoc || !job->data.templatePath[0]) return {};
    JobReport quiet;
    SheetsInfo sheets, second;
    const ImposeData& d = job->data;
    if (!checkSheetsFile(d.templatePath, false, sheets, quiet)) return {};
    if (d.halfSheetPath[0] && !checkSheetsFile(d.halfSheetPath, true, second, quiet)) return {};
    return countFrames(d, pdDocGetNumPages(d.srcDoc), sheets,
                       d.halfSheetPath[0] ? &second : nullptr);
}

bool planImposeJob(const VexaJob* job, VexaPlanProc plan, void* planData, JobReport& report) {
    if (!job || !job->data.srcDoc) return false;
    // The engine counts on the record: a copy keeps the caller's as it was.
    ImposeData d = job->data;
    if (!d.outPath[0]) std::snprintf(d.outPath, sizeof d.outPath, "%s", "plan");
    PDDoc current = getCosPDDoc();
    ePlacing placing = getPlacing();
    PDDoc out = nullptr;
    {
        // Building the sheets counts no error of the caller's job.
        ErrorModeScope errorMode(kEHLog);
        ImposeModeScope mode(true, false);
        if (ASErrorCode code = hostErrorOf([&] { out = imposeDocWithData(&d); })) {
            report.error("", "the sheets cannot be built: " + hostErrorText(code));
            out = nullptr;
        }
    }
    setPlacing(placing);
    if (!out) {
        restoreCosDoc(current);
        if (report.errors == 0) report.error("", "the sheets cannot be built");
        return false;
    }
    ASErrorCode code = hostErrorOf([&] {
        ASInt32 sheets = pdDocGetNumPages(out);
        ASInt32 n = pdDocGetNumPages(job->data.srcDoc);
        for (ASInt32 i = 0; i < sheets; ++i) {
            char label[64] = "";
            CosObj range = gPDModelHFT->PDDocGetPageLabel(out, i, nullptr);
            if (!range.isNullHandle() && cosObjGetType(range) != CosNull)
                gPDModelHFT->PDDocGetLabelForPageNum(out, i, label, sizeof label);
            PlanWalk w{plan, planData, VexaPlannedFrame{}, n};
            w.frame.sheet = i;
            w.frame.side = label;
            CPage page(out, i);
            EnumForms(page.getPage(), planFrameProc, reinterpret_cast<long>(&w), false, true);
        }
    });
    if (code != genErrNoError)
        report.error("", "the sheets cannot be read back: " + hostErrorText(code));
    closeDoc(out);
    restoreCosDoc(current);
    return code == genErrNoError;
}

namespace {

// The errors a running job counts, as they are logged.
struct JobErrors {
    ASInt32 count = 0;
    std::string firstUnreadText;     // why the first unreadable page could not be read
    std::vector<std::string> lines;  // the other errors, the first kShown of them
    ASInt32 more = 0;
    static constexpr std::size_t kShown = 10;
};

void collectJobError(ASInt32 page, const char* text, void* data) {
    auto* e = static_cast<JobErrors*>(data);
    ++e->count;
    if (importingPage()) {
        if (e->firstUnreadText.empty()) e->firstUnreadText = text ? text : "";
        return;
    }
    if (e->lines.size() >= JobErrors::kShown) {
        ++e->more;
        return;
    }
    std::string line = page > 0 ? "sheet " + std::to_string(page) + ": " : "";
    e->lines.push_back(line + (text ? text : ""));
}

}  // namespace

void logJobProblem(const VexaProblem* p, void*) {
    if (!p) return;
    if (p->severity == kVexaError)
        reportError(0, p->text);
    else
        dprintf("\twarning: %s\n", p->text);
}

PDDoc runImposeJob(VexaJob* job, VexaJobResult* result, JobReport& report, bool sayRunErrors,
                   bool warnings) {
    VexaJobResult local{};
    VexaJobResult& r = result ? *result : local;
    std::memset(&r, 0, sizeof r);
    r.size = sizeof r;
    if (!job) return nullptr;
    VexaJobFacts facts{};
    if (checkImposeJob(job, &facts, report, warnings) > 0) return nullptr;
    ImposeData& d = job->data;
    if (!d.srcPath[0]) gPDModelHFT->PDDocGetPath(d.srcDoc, d.srcPath, sizeof d.srcPath);

    JobErrors errors;
    ErrorObserver previous = setErrorObserver({collectJobError, &errors});
    bool fold = job->spotBlack < 0 ? getMapSpotToBlack() == 1 : job->spotBlack == 1;
    std::vector<std::string> pairs;
    reportHostErrors(
        0, [&] { mapSpotColorsWith(d.srcDoc, fold, job->spots, job->spotCount, &pairs); });
    dprintf("srcDoc: %s\n", d.srcPath);
    makeMapCurrent(pairs);
    PDDoc out = nullptr;
    {
        ImposeModeScope mode(false, (job->flags & kVexaJobTrimLinesLayer) != 0);
        if (!reportHostErrors(0, [&] { out = imposeDocWithData(&d); })) out = nullptr;
    }
    setMapColorNames(nullptr, 0);
    setErrorObserver(previous);

    const ImposeStats& stats = getImposeStats();
    r.sheets = stats.sheets;
    r.pagesPlaced = stats.pagesPlaced;
    r.emptyFrames = stats.emptyFrames;
    r.stopped = stats.stopped;
    r.unreadPages = static_cast<ASInt32>(stats.unreadPages.size());
    r.errors = errors.count;
    std::string srcName = d.srcPath;
    std::string unread;
    if (r.unreadPages > 0)
        unread = std::to_string(r.unreadPages) + " of the job's " + std::to_string(facts.jobPages) +
                 " pages of " + srcName + " could not be read (" +
                 (r.unreadPages == 1 ? "page " : "pages ") + pagesText(stats.unreadPages) + "): " +
                 (errors.firstUnreadText.empty() ? "the file is damaged" : errors.firstUnreadText);
    if (!sayRunErrors) {
        // Each of them is in the log already; the count of unread pages is added.
        if (!unread.empty()) dprintf("\t%s\n", unread.c_str());
    } else {
        if (!unread.empty()) report.error("source", unread);
        for (const std::string& line : errors.lines) report.error("", line);
        if (errors.more > 0)
            report.error("", "and " + std::to_string(errors.more) + " more errors (the log " +
                                 getDumpPath() + " lists them all)");
    }
    if (out && d.outPath[0] && r.unreadPages * 2 > facts.jobPages) {
        // Mostly empty frames are no imposition: nothing is handed on.
        report.error("source", "nothing was imposed: most pages of " + srcName + " cannot be read");
        closeDoc(out);
        out = nullptr;
        d.resultDoc = nullptr;
    }
    if (!out && r.errors == 0 && report.errors == 0) report.error("", "nothing was imposed");
    r.doc = out;
    return out;
}

// The job table.
namespace {

bool sameVersion(const VexaJob* job, JobReport& report) {
    if (job && job->size == sizeof(VexaJob)) return true;
    report.error("", "the job record is of another version of the job table");
    return false;
}

void tableJobInit(VexaJob* job, PDDoc src) {
    logHostErrors("preparing a job", [&] { initImposeJob(job, src); });
}

ASBool tableJobSetOption(VexaJob* job, const char* key, const char* value, const char* baseFolder,
                         VexaProblemProc proc, void* clientData) {
    JobReport report{proc, clientData};
    return sameVersion(job, report) && setJobOption(job, key, value, baseFolder, report);
}

ASBool tableJobReadTicket(VexaJob* job, const char* text, ASInt32 length, const char* ticketPath,
                          VexaProblemProc proc, void* clientData) {
    JobReport report{proc, clientData};
    if (!sameVersion(job, report)) return false;
    return readJobTicket(job, text, length > 0 ? static_cast<std::size_t>(length) : 0, ticketPath,
                         report);
}

ASInt32 tableJobCheck(const VexaJob* job, VexaJobFacts* facts, VexaProblemProc proc,
                      void* clientData) {
    JobReport report{proc, clientData};
    if (!sameVersion(job, report)) return 1;
    ErrorModeScope errorMode(kEHLog);
    ASInt32 errors = 1;
    if (ASErrorCode code = hostErrorOf([&] { errors = checkImposeJob(job, facts, report, true); }))
        report.error("", "the job cannot be checked: " + hostErrorText(code));
    return errors;
}

ASBool tableJobPlan(const VexaJob* job, VexaPlanProc plan, void* planData, VexaProblemProc proc,
                    void* clientData) {
    JobReport report{proc, clientData};
    if (!sameVersion(job, report) || !plan) return false;
    return planImposeJob(job, plan, planData, report);
}

PDDoc tableJobImpose(VexaJob* job, VexaJobResult* result, VexaProblemProc proc, void* clientData) {
    JobReport report{proc, clientData};
    if (result) {
        std::memset(result, 0, sizeof *result);
        result->size = sizeof *result;
    }
    if (!sameVersion(job, report)) return nullptr;
    // The job's errors are counted and reported, not shown in alerts.
    ErrorModeScope errorMode(kEHLog);
    PDDoc out = nullptr;
    // The warnings are JobCheck's: the check before the work says errors only.
    if (ASErrorCode code =
            hostErrorOf([&] { out = runImposeJob(job, result, report, true, false); })) {
        report.error("", hostErrorText(code));
        out = nullptr;
    }
    return out;
}

const VexaJobHFT kJobTable = {
    {kVexaJobHFTName, kVexaJobHFTVersion, sizeof(VexaJobHFT)},
    tableJobInit,
    tableJobSetOption,
    tableJobReadTicket,
    tableJobCheck,
    tableJobPlan,
    tableJobImpose,
};

}  // namespace

bool exportJobTable() {
    if (!HFT_HAS(gCoreHFT, ASExtensionMgrRegisterHFT)) return false;
    return gCoreHFT->ASExtensionMgrRegisterHFT(&kJobTable.hdr) != 0;
}
