#include "settings/MyJSON.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

class Reader {
  public:
    Reader(const char* text, std::size_t length) : p_(text), end_(text + length), begin_(text) {}

    bool read(MyJSONValue* out, std::string* error) {
        if (end_ - p_ >= 3 && std::memcmp(p_, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
        skipBlanks();
        if (!value(out, 0)) {
            *error = where() + ": " + fault_;
            return false;
        }
        skipBlanks();
        if (p_ != end_) {
            *error = where() + ": text after the end of the value";
            return false;
        }
        return true;
    }

  private:
    bool fail(const char* why) {
        if (fault_.empty()) fault_ = why;
        return false;
    }

    // "line L, column C" of the current position (columns count characters).
    std::string where() const {
        int line = 1, column = 1;
        for (const char* q = begin_; q < p_ && q < end_; ++q) {
            if (*q == '\n') {
                ++line;
                column = 1;
            } else if ((static_cast<unsigned char>(*q) & 0xC0) != 0x80) {
                ++column;
            }
        }
        char buf[64];
        std::snprintf(buf, sizeof buf, "line %d, column %d", line, column);
        return buf;
    }

    void skipBlanks() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }

    bool literal(const char* word) {
        std::size_t n = std::strlen(word);
        if (static_cast<std::size_t>(end_ - p_) < n || std::memcmp(p_, word, n) != 0)
            return fail("not a JSON value");
        p_ += n;
        return true;
    }

    bool value(MyJSONValue* v, int depth) {
        if (++values_ > kMaxJSONValues) return fail("too many values");
        if (p_ >= end_) return fail("the text ends where a value should be");
        switch (*p_) {
            case '{':
                return container(v, depth + 1, true);
            case '[':
                return container(v, depth + 1, false);
            case '"':
                v->kind = MyJSONValue::kString;
                return string(&v->text);
            case 't':
                v->kind = MyJSONValue::kBool;
                v->boolean = true;
                return literal("true");
            case 'f':
                v->kind = MyJSONValue::kBool;
                return literal("false");
            case 'n':
                v->kind = MyJSONValue::kNull;
                return literal("null");
            default:
                if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return number(v);
                return fail("not a JSON value");
        }
    }

    // An object's key and its colon; the key is kept for the value that follows.
    bool key(MyJSONValue* v) {
        if (p_ >= end_ || *p_ != '"') return fail("expected a key in double quotes");
        std::string k;
        const char* keyAt = p_;
        if (!string(&k)) return false;
        for (const std::string& known : v->keys)
            if (known == k) {
                p_ = keyAt;
                fault_ = "the key \"" + k + "\" is given twice";
                return false;
            }
        skipBlanks();
        if (p_ >= end_ || *p_ != ':') return fail("expected ':' after the key");
        ++p_;
        skipBlanks();
        v->keys.push_back(std::move(k));
        return true;
    }

    // An object (its items with keys) or an array.
    bool container(MyJSONValue* v, int depth, bool object) {
        if (depth > kMaxJSONDepth) return fail("nested too deeply");
        v->kind = object ? MyJSONValue::kObject : MyJSONValue::kArray;
        const char close = object ? '}' : ']';
        ++p_;
        skipBlanks();
        if (p_ < end_ && *p_ == close) {
            ++p_;
            return true;
        }
        for (;;) {
            skipBlanks();
            if (object && !key(v)) return false;
            v->items.emplace_back();
            if (!value(&v->items.back(), depth)) return false;
            skipBlanks();
            if (p_ < end_ && *p_ == ',') {
                ++p_;
                continue;
            }
            if (p_ < end_ && *p_ == close) {
                ++p_;
                return true;
            }
            return fail(object ? "expected ',' or '}'" : "expected ',' or ']'");
        }
    }

    static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool number(MyJSONValue* v) {
        const char* start = p_;
        if (*p_ == '-') ++p_;
        if (p_ >= end_ || !isDigit(*p_)) return fail("a number needs a digit");
        if (*p_ == '0') {
            ++p_;
            if (p_ < end_ && isDigit(*p_)) return fail("a number may not begin with 0");
        } else {
            while (p_ < end_ && isDigit(*p_)) ++p_;
        }
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (p_ >= end_ || !isDigit(*p_)) return fail("a digit must follow the point");
            while (p_ < end_ && isDigit(*p_)) ++p_;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (p_ >= end_ || !isDigit(*p_)) return fail("a digit must follow the exponent");
            while (p_ < end_ && isDigit(*p_)) ++p_;
        }
        if (p_ - start > 64) return fail("the number is too long");
        v->kind = MyJSONValue::kNumber;
        v->text.assign(start, p_);
        v->number = std::strtod(v->text.c_str(), nullptr);
        if (!std::isfinite(v->number)) return fail("the number is too large");
        return true;
    }

    static int hexValue(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    bool hex4(unsigned* out) {
        if (end_ - p_ < 4) return fail("\\u needs four hexadecimal digits");
        unsigned v = 0;
        for (int i = 0; i < 4; ++i) {
            int h = hexValue(p_[i]);
            if (h < 0) return fail("\\u needs four hexadecimal digits");
            v = v * 16 + static_cast<unsigned>(h);
        }
        p_ += 4;
        *out = v;
        return true;
    }

    static void putUTF8(std::string* s, unsigned c) {
        if (c < 0x80) {
            *s += static_cast<char>(c);
        } else if (c < 0x800) {
            *s += static_cast<char>(0xC0 | (c >> 6));
            *s += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *s += static_cast<char>(0xE0 | (c >> 12));
            *s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *s += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            *s += static_cast<char>(0xF0 | (c >> 18));
            *s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            *s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            *s += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // One UTF-8 sequence of the text, checked (no overlong forms, no surrogates).
    bool utf8(std::string* s) {
        auto b = [&](int i) { return static_cast<unsigned char>(p_[i]); };
        unsigned c = b(0);
        int n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        if (n == 0 || c > 0xF4 || end_ - p_ < n) return fail("the text is not valid UTF-8");
        for (int i = 1; i < n; ++i)
            if ((b(i) & 0xC0) != 0x80) return fail("the text is not valid UTF-8");
        unsigned cp = n == 2   ? ((c & 0x1F) << 6) | (b(1) & 0x3F)
                      : n == 3 ? ((c & 0x0F) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3F)
                               : ((c & 0x07) << 18) | ((b(1) & 0x3Fu) << 12) |
                                     ((b(2) & 0x3Fu) << 6) | (b(3) & 0x3F);
        unsigned least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return fail("the text is not valid UTF-8");
        s->append(p_, static_cast<std::size_t>(n));
        p_ += n;
        return true;
    }

    bool string(std::string* s) {
        ++p_;  // the opening quote
        for (;;) {
            if (s->size() > kMaxJSONString) return fail("the string is too long");
            if (p_ >= end_) return fail("the string has no closing quote");
            unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20)
                return fail("a control character in a string (write it as \\n, \\t, ...)");
            if (c >= 0x80) {
                if (!utf8(s)) return false;
                continue;
            }
            if (c != '\\') {
                *s += static_cast<char>(c);
                ++p_;
                continue;
            }
            ++p_;
            if (p_ >= end_) return fail("the string has no closing quote");
            char e = *p_++;
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    *s += e;
                    break;
                case 'b':
                    *s += '\b';
                    break;
                case 'f':
                    *s += '\f';
                    break;
                case 'n':
                    *s += '\n';
                    break;
                case 'r':
                    *s += '\r';
                    break;
                case 't':
                    *s += '\t';
                    break;
                case 'u': {
                    unsigned cp = 0;
                    if (!hex4(&cp)) return false;
                    if (cp >= 0xDC00 && cp <= 0xDFFF) return fail("a lone low surrogate");
                    if (cp >= 0xD800 && cp <= 0xDBFF) {
                        unsigned low = 0;
                        if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u')
                            return fail("a high surrogate without its low one");
                        p_ += 2;
                        if (!hex4(&low)) return false;
                        if (low < 0xDC00 || low > 0xDFFF)
                            return fail("a high surrogate without its low one");
                        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    }
                    putUTF8(s, cp);
                    break;
                }
                default:
                    --p_;
                    return fail("an unknown escape in a string");
            }
        }
    }

    const char* p_;
    const char* end_;
    const char* begin_;
    int values_ = 0;
    std::string fault_;
};

}  // namespace

const MyJSONValue* MyJSONValue::find(const char* key) const {
    if (kind != kObject) return nullptr;
    for (std::size_t i = 0; i < keys.size() && i < items.size(); ++i)
        if (keys[i] == key) return &items[i];
    return nullptr;
}

bool parseJSON(const char* text, std::size_t length, MyJSONValue* out, std::string* error) {
    std::string ignored;
    if (!error) error = &ignored;
    *out = MyJSONValue();
    if (!text) length = 0;
    if (length > kMaxJSONSize) {
        *error = "the text is larger than " + std::to_string(kMaxJSONSize / 1024) + " KB";
        return false;
    }
    MyJSONValue v;
    Reader r(text ? text : "", length);
    if (!r.read(&v, error)) return false;
    *out = std::move(v);
    return true;
}

const char* jsonKindName(MyJSONValue::Kind kind) {
    switch (kind) {
        case MyJSONValue::kNull:
            return "null";
        case MyJSONValue::kBool:
            return "true or false";
        case MyJSONValue::kNumber:
            return "a number";
        case MyJSONValue::kString:
            return "a string";
        case MyJSONValue::kArray:
            return "an array";
        case MyJSONValue::kObject:
            return "an object";
    }
    return "a value";
}
