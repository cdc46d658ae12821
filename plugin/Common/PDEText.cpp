#include "Common/PDEText.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "Common/ColorSupport.h"
#include "Common/Scopes.h"

PDEFont getFontFromName(const char* name) {
    if (!name || !*name || !gPDSysFontHFT) return nullptr;
    PDEFont font = nullptr;
    // A font the system cannot give is no font: the caller draws no text.
    logHostErrors("finding a system font", [&] {
        PDSysFont sys = gPDSysFontHFT->PDFindSysFontForName(name);
        if (sys) font = gPDFEditWriteHFT->PDEFontCreateFromSysFont(sys, 0);
    });
    return font;
}

namespace {

// Windows-1252 at 0x80 to 0x9F (0 where it has no character).
const char16_t kWin80[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                             0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                             0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                             0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

const char kReplacement = '?';

char winAnsiCode(char32_t c) {
    if (c == '\t') return ' ';
    if (c >= 0x20 && c < 0x7F) return static_cast<char>(c);
    if (c >= 0xA0 && c <= 0xFF) return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (kWin80[i] && kWin80[i] == c) return static_cast<char>(0x80 + i);
    return kReplacement;
}

bool isWinAnsi(PDEFont font) {
    if (!font) return false;
    CosObj dict = gPDFEditReadHFT->PDEFontGetCosObj(font);
    if (!cosObjIsDictOrStream(dict)) return false;
    CosObj enc = cosDictGet(dict, "Encoding");
    if (cosObjGetType(enc) == CosDict) enc = cosDictGet(enc, "BaseEncoding");
    return cosObjGetType(enc) == CosName &&
           cosNameValue(enc) == asAtomFromString("WinAnsiEncoding");
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf8ToWinAnsi(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        int n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        bool ok = n > 0 && i + n <= s.size();
        for (int k = 1; ok && k < n; ++k) {
            auto t = static_cast<unsigned char>(s[i + k]);
            ok = (t & 0xC0) == 0x80;
            c = (c << 6) | (t & 0x3F);
        }
        // Not UTF-8: one replacement per byte that starts nothing.
        if (!ok) {
            out += kReplacement;
            ++i;
            continue;
        }
        out += winAnsiCode(c);
        i += n;
    }
    return out;
}

std::string winAnsiToUtf8(const std::string& codes) {
    std::string out;
    for (char ch : codes) {
        auto b = static_cast<unsigned char>(ch);
        char32_t c = b >= 0x80 && b < 0xA0 ? kWin80[b - 0x80] : b;
        if (c) appendUtf8(out, c);
    }
    return out;
}

std::string encodeForFont(PDEFont font, const char* utf8) {
    std::string s = utf8 ? utf8 : "";
    return isWinAnsi(font) ? utf8ToWinAnsi(s) : s;
}

std::string decodeForFont(PDEFont font, const std::string& codes) {
    return isWinAnsi(font) ? winAnsiToUtf8(codes) : codes;
}

ASFixedMatrix getTextMatrix(ASFixed size, ASFixed x, ASFixed y) {
    return ASFixedMatrix{size, 0, 0, size, x, y};
}

namespace {
ASFixed runAdvance(PDEText text, ASInt32 run) {
    ASFixedPoint d{0, 0};
    gPDFEditReadHFT->PDETextGetAdvanceWidth(text, kPDETextRunFlag, run, &d);
    return d.h;
}
}  // namespace

void addText(PDEText text, const char* str, PDEFont font, PDEGraphicState* gs,
             const PDEColorSpec* color, ASFixedMatrix* matrix) {
    PDEGraphicState state = *gs;
    if (color) state.fillColorSpec = *color;
    ASInt32 runs = pdeTextGetNumRuns(text);
    PDETextState ts;
    std::memset(&ts, 0, sizeof ts);
    ts.hScale = fixedOne;
    std::string codes = encodeForFont(font, str);
    gPDFEditWriteHFT->PDETextAdd(text, kPDETextRunFlag, runs - 1,
                                 reinterpret_cast<const ASUns8*>(codes.data()),
                                 static_cast<ASInt32>(codes.size()), font, &state, sizeof state,
                                 &ts, sizeof ts, matrix, nullptr);
    matrix->h += runAdvance(text, runs);
}

void appendString(PDEText text, const char* str, PDEColorSpec* color, bool release) {
    ASInt32 runs = pdeTextGetNumRuns(text);
    if (runs > 0 && str && *str) {
        ASFixedMatrix m;
        pdeTextRunGetMatrix(text, runs - 1, &m);
        PDEGraphicState gs;
        pdeTextRunGetGState(text, runs - 1, &gs);
        PDEFont font = gPDFEditReadHFT->PDETextRunGetFont(text, runs - 1);
        // the run's own advance is the right edge for text of one line
        m.h = m.h + runAdvance(text, runs - 1) + 371542;
        addText(text, str, font, &gs, color, &m);
    }
    if (release && color) freeColorSpec(color);
}

ASFixed addTextToContent(PDEContent content, PDEFont font, ASFixed size, ASFixed x, ASFixed y,
                         const char* str) {
    if (!font || !str) return 0;
    ElementRef text(gPDFEditWriteHFT->PDETextCreate());
    PDEColorSpec color = getAllColor(1.0f);
    ScopeExit freeColor([&color] { freeColorSpec(&color); });
    PDEGraphicState gs;
    gPDFEditWriteHFT->PDEDefaultGState(&gs, sizeof gs);
    ASFixedMatrix m = getTextMatrix(size, x, y);
    addText(text.get(), str, font, &gs, &color, &m);
    pdeContentAddElem(content, kPDEAfterLast, text.get());
    return m.h - x;
}

bool getFirstRunText(PDEElement elem, char* dst, ASInt32 size) {
    if (size < 1) return false;
    dst[0] = 0;
    if (!elem || pdeObjectGetType(elem) != kPDEText) return false;
    PDEText text = reinterpret_cast<PDEText>(elem);
    if (pdeTextGetNumRuns(text) < 1) return false;
    ASInt32 n = gPDFEditReadHFT->PDETextGetText(text, kPDETextRunFlag, 0, nullptr);
    if (n < 0) return false;
    std::string buf(static_cast<size_t>(n), '\0');
    if (n > 0)
        gPDFEditReadHFT->PDETextGetText(text, kPDETextRunFlag, 0,
                                        reinterpret_cast<ASUns8*>(buf.data()));
    buf = decodeForFont(gPDFEditReadHFT->PDETextRunGetFont(text, 0), buf);
    size_t len = std::min<size_t>(buf.size(), static_cast<size_t>(size - 1));
    // never half a character
    while (len > 0 && len < buf.size() && (static_cast<unsigned char>(buf[len]) & 0xC0) == 0x80)
        --len;
    std::memcpy(dst, buf.data(), len);
    dst[len] = 0;
    return true;
}
