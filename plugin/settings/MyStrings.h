// The string tables and resources: every user-visible text is a key looked up in the
// XML string table of the user-interface language; a missing key shows as itself.
#pragma once

#include <cstdarg>
#include <string>

#include "ASTypes.h"

// Language codes: 0 English, 1 French, 3 German, 5 Dutch.
enum { kLangEnglish = 0, kLangFrench = 1, kLangGerman = 3, kLangDutch = 5 };
extern ASInt32 gLanguage;

// "DEU" 3, "FRA" 1, "NLD" 5, anything else 0 (exact, case-sensitive).
ASInt32 languageFromCode(const char* code);
// The resource suffix of a language: "_E", "_F", "_D", "_N".
const char* getLanguageSuffix(ASInt32 language);

// A resource of the plug-in as a new zero-terminated buffer (freed with std::free):
// the base name without suffix, then with the language's suffix, then with "_E";
// type is the extension ("xml", "ini"). Names compare without regard to case.
char* getResourceData(const char* name, const char* type, ASInt32 language);

// Loads "MyStrings" for gLanguage (any table loaded before is freed): 0, or -1 when
// none was found. The texts of the keys the plug-in formats with arguments are
// checked against the English table: a text whose printf conversions differ in number
// or kind from the English text's is replaced by the English text (and by the key
// itself when the English text does not match what the plug-in passes either).
ASInt32 setupMyStrings();
// Uses the given text as the table (setupMyStrings gives it the resource's, tests
// their own); a copy is kept and checked the same way.
void setupMyStringsFromText(const char* text);
void cleanupMyStrings();

// The text of key, at most 250 bytes, into out (at least 251 bytes); the key itself
// when missing. Returns out.
char* getString(const char* key, char* out);
// The whole text of key (or the key) as a new buffer, freed with std::free.
char* getStringData(const char* key);

// The text of key formatted with the arguments (at most 8191 bytes). A text of the
// table is a format only for the keys the plug-in formats, and only when its
// conversions are the ones the key takes; any other text of the table is taken as it
// stands. A key missing from the table is the caller's own format.
std::string formatStringWithKey(const char* key, ...);
std::string vformatStringWithKey(const char* key, va_list args);

// The printf conversions of a format as one letter each ('i' integer, 'l' long
// integer, 'f' floating point, 's' string), "%%" left out; false for a format with
// anything else (%n, %p, "*", positions, wide strings).
bool printfConversions(const char* format, std::string* kinds);
// The text of key (2048 bytes at most), with "…" when asked, as a host text object
// the caller destroys.
ASText stringWithKey(const char* key, bool withEllipsis);
// Appends "…" (E2 80 A6); the caller's buffer must have room. Returns text.
char* addEllipsisToString(char* text);
// The host encoding is UTF-8: both leave the text as it is (kept for callers).
void UTF8ToHost(char* text, ASInt32 size);
