// A small XML reader that finds elements by plain text search: no parser, no tree, no
// entities. An element is the text from "<name>" to the first following "</name>",
// both searched without regard to letter case; a name with attributes after a blank
// pairs with the plain closing tag. Names are at most 64 characters.
//
// Buffers handed out ("new buffer") are zero-terminated and freed with std::free.
#pragma once

#include "ASTypes.h"

// Called for each element found, with the element including its tags; false stops.
typedef bool (*EnumXMLProc)(const char* data, ASInt32 length, void* clientData);

// The content of the first element name, at most 250 bytes, into out (251 bytes);
// the length, or 0 with out untouched when not found.
ASInt32 getXMLString(const char* text, const char* name, char* out);
// The content of the first element name as a new buffer; null when not found.
char* getXMLData(const char* text, const char* name);
// "true" 1, "false" 0, else a decimal integer; def when missing or empty.
ASInt32 getXMLValue(const char* text, const char* name, ASInt32 def);
// The first four bytes of the content, first byte most significant; 0 when missing.
ASUns32 getXMLOSType(const char* text, const char* name);
// Each element name in text order (tags included).
void EnumXMLData(const char* text, const char* name, EnumXMLProc proc, void* clientData);
// The same within the content of the first element outer.
void EnumXMLData(const char* text, const char* outer, const char* name, EnumXMLProc proc,
                 void* clientData);
// The content of child inside the index-th (from 0) element name, at most 250 bytes;
// out is empty when there is none. Returns the length of out.
ASInt32 getXMLString(const char* text, const char* name, const char* child, ASInt32 index,
                     char* out);
ASInt32 getXMLStringByIndex(const char* text, const char* name, ASInt32 index, const char* child,
                            char* out);
ASInt32 getXMLValue(const char* text, const char* name, const char* child, ASInt32 index,
                    ASInt32 def);
// The first element name whose child keyName has exactly the content keyValue, as a
// new buffer including its tags; null when none.
char* getXMLData(const char* text, const char* name, const char* keyName, const char* keyValue);

// The extent of the first element name at or after from: *begin at its content, *end
// at its closing tag, *next just after its opening tag (where a further search
// starts). False when not found.
bool findXMLElement(const char* text, const char* name, const char* from, const char** begin,
                    const char** end, const char** next);
