// Text primitives: fonts by name, text matrices, runs appended to text objects and
// single lines written into content lists.
#pragma once

#include "Common/PIUtils.h"

#include <string>

// A font for a standard font name; null when none can be made. Release it.
PDEFont getFontFromName(const char* name);

// Text (UTF-8) as the codes of the font: Windows-1252 for a font in WinAnsiEncoding
// (the standard Latin fonts), each character it lacks written as "?"; other fonts take
// the bytes as they are. decodeForFont is the way back.
std::string encodeForFont(PDEFont font, const char* utf8);
std::string decodeForFont(PDEFont font, const std::string& codes);
// The same for WinAnsiEncoding itself.
std::string utf8ToWinAnsi(const std::string& utf8);
std::string winAnsiToUtf8(const std::string& codes);
// Appends the character c to out as UTF-8.
void appendUtf8(std::string& out, char32_t c);
// [size 0 0 size x y]
ASFixedMatrix getTextMatrix(ASFixed size, ASFixed x, ASFixed y);
// Adds one run of UTF-8 text with font, graphics state, colour and matrix (in the
// font's codes, see encodeForFont), then advances the matrix's x by the run's width.
void addText(PDEText text, const char* str, PDEFont font, PDEGraphicState* gs,
             const PDEColorSpec* color, ASFixedMatrix* matrix);
// Adds a run 2 mm right of the text's current right edge with the font, graphics state
// and matrix of its last run, in color (released when release is true).
void appendString(PDEText text, const char* str, PDEColorSpec* color, bool release);
// One run in the "All" colour at (x, y) appended to the content; returns the text's
// width (0 when nothing was written).
ASFixed addTextToContent(PDEContent content, PDEFont font, ASFixed size, ASFixed x, ASFixed y,
                         const char* str);
// The text of the first run of a text element as UTF-8 (at most size - 1 bytes, not
// cutting a character); false for other elements.
bool getFirstRunText(PDEElement elem, char* dst, ASInt32 size);
