// CMySettings keeps one INI-style file entirely in memory and answers lookups by
// section and key directly on that text: every read scans, every write splices, and
// save writes the text back. All line ends are held as CR in memory; the file's own
// convention ("\r", "\n" or "\r\n") is detected on load and restored on save.
// MySection binds one section name to a store.
#pragma once

#include <cstdint>

#include "ASTypes.h"

class CMySettings {
  public:
    // Called for each key line of a section in file order until it returns false.
    typedef bool (*EnumSectionProc)(const char* key, const char* value, void* clientData);

    CMySettings();
    explicit CMySettings(ASInt32 size);
    ~CMySettings();
    CMySettings(const CMySettings&) = delete;
    CMySettings& operator=(const CMySettings&) = delete;

    // A zeroed buffer of size bytes (4096 for 0). 0, or -108 when memory runs out.
    ASInt32 setup(ASInt32 size);
    // A copy of text in a buffer of capacity bytes (length bytes when 0).
    ASInt32 setup(const char* text, ASInt32 length, ASInt32 capacity);
    // Loads the file (its extension becomes ".ini"); a missing file gives the default
    // settings text "Prefs" of the resources, or an empty store.
    ASInt32 setupWithPath(const char* path);
    // "<config folder>/Orvanta[/subFolder]/<module name>.ini", folders created; when
    // that file is missing and oldPath (with its extension replaced by ".ini") exists,
    // the old file is moved there first.
    ASInt32 setupWithinAppSupport(const char* oldPath, const char* subFolder = nullptr);

    // True when the file on disk changed since it was last read or written.
    bool shallReload() const;
    // Re-reads the file when it changed on disk (unsaved changes are lost).
    void reload();

    // Copies the value (at most capacity - 1 bytes, terminated); its length, or -1
    // when the store is empty or the section or key is missing (value untouched).
    ASInt32 get(const char* section, const char* key, char* value, ASInt32 capacity) const;
    // Decimal integer; def when missing or empty.
    ASInt32 get(const char* section, const char* key, ASInt32 def) const;
    float getfloat(const char* section, const char* key, float def) const;

    // 0, or -108 when the buffer cannot grow (the text is then unchanged).
    ASInt32 set(const char* section, const char* key, const char* value);
    ASInt32 set(const char* section, const char* key, ASInt32 value);  // "%d"

    void remove(const char* section);
    void remove(const char* section, const char* key);
    void removeLine(ASInt32 pos);

    void enumSection(const char* section, EnumSectionProc proc, void* clientData) const;

    // Writes the text back to the path when it changed since it was read or written;
    // always 0 (an unwritable file writes nothing, and neither does a file that could not
    // be read whole: over 16 MB, a read error, or a zero byte, after which nothing is
    // text).
    ASInt32 save();
    void cleanup();
    void reset();

    const char* getPath() const { return path_; }
    // The in-memory text (line ends as CR), or null.
    const char* getText() const { return text_; }
    ASInt32 getUsed() const { return used_; }
    ASInt32 getCapacity() const { return capacity_; }
    const char* getLineEnd() const { return lineEnd_; }
    // Why the file was not read whole, "" when it was. Such a file is kept as it is:
    // the store runs on what it read and never writes it.
    const char* unreadReason() const { return unread_; }

  private:
    ASInt32 load();
    ASInt32 findSection(const char* section, ASInt32* end) const;
    ASInt32 findKey(const char* section, const char* key) const;
    ASInt32 getLineLen(ASInt32 pos, bool withEnd) const;
    bool checkBuffer(ASInt32 lineLen);
    void cut(ASInt32 pos, ASInt32 len);
    void insert(ASInt32 pos, const char* bytes, ASInt32 len);
    void setupCR();
    void replaceCR();
    void restoreCR();
    int64_t fileDate() const;

    char path_[512];
    int64_t loadedDate_;  // modification time in nanoseconds, 0 when none
    char* text_;
    ASInt32 used_;
    ASInt32 capacity_;
    const char* lineEnd_;
    ASInt32 lineEndLen_;
    bool readOnly_;  // the file was not read whole: never overwrite it
    bool changed_;   // the text differs from what was last read or written
    char unread_[96];
};

// A section of a store. Keys come as a plain string, as prefix and index ("Path" and
// 3 give "Path3"), or as a four-character code ('Ab12' gives "Ab12").
class MySection {
  public:
    MySection();
    MySection(CMySettings* settings, const char* section);
    void setup(CMySettings* settings, const char* section);

    ASInt32 stringForKey(const char* key, char* value, ASInt32 capacity) const;
    ASInt32 stringForKey(const char* prefix, ASInt32 index, char* value, ASInt32 capacity) const;
    ASInt32 stringForKey(ASUns32 code, char* value, ASInt32 capacity) const;
    ASInt32 integerForKey(const char* key, ASInt32 def) const;
    ASInt32 integerForKey(const char* prefix, ASInt32 index, ASInt32 def) const;
    ASInt32 integerForKey(ASUns32 code, ASInt32 def) const;
    ASInt32 setStringForKey(const char* key, const char* value);
    ASInt32 setStringForKey(const char* prefix, ASInt32 index, const char* value);
    ASInt32 setStringForKey(ASUns32 code, const char* value);
    ASInt32 setIntegerForKey(const char* key, ASInt32 value);
    ASInt32 setIntegerForKey(const char* prefix, ASInt32 index, ASInt32 value);
    ASInt32 setIntegerForKey(ASUns32 code, ASInt32 value);

    CMySettings* settings() const { return settings_; }
    const char* name() const { return name_; }

  private:
    CMySettings* settings_;
    char name_[64];
};

// The four characters of a code, most significant byte first, terminated.
void getOSTypeKey(ASUns32 code, char key[5]);

// The preferences store.
extern CMySettings gPrefs;
