// A small, strict JSON reader (RFC 8259) for job tickets: the whole text becomes one
// tree of values, or is refused with the line and column of the first fault. It is
// bounded in every direction, so that no input can make it run long or hold much:
// texts up to kMaxJSONSize bytes, nesting up to kMaxJSONDepth, kMaxJSONValues values,
// strings up to kMaxJSONString bytes. Strings must be valid UTF-8 and come back as
// UTF-8; an object may not name a key twice. A leading UTF-8 byte-order mark is
// skipped.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

constexpr std::size_t kMaxJSONSize = std::size_t{64} * 1024;
constexpr int kMaxJSONDepth = 16;
constexpr int kMaxJSONValues = 4096;
constexpr std::size_t kMaxJSONString = 4096;

struct MyJSONValue {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject };
    Kind kind = kNull;
    bool boolean = false;
    double number = 0;
    std::string text;                // a string's value; a number as it was written
    std::vector<MyJSONValue> items;  // an array's values; an object's, in order
    std::vector<std::string> keys;   // an object's keys, one per item

    // The member of an object named key, or null.
    const MyJSONValue* find(const char* key) const;
};

// Reads text (length bytes). False with *error set ("line 2, column 7: ...") when the
// text is no JSON value or exceeds a bound; out is then left empty.
bool parseJSON(const char* text, std::size_t length, MyJSONValue* out, std::string* error);

// "a string", "a number", "an array", ... for messages.
const char* jsonKindName(MyJSONValue::Kind kind);
