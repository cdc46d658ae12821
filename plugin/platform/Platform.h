// The Linux platform layer of the plug-in: its own path and module name, the user's
// folders (XDG), and small file utilities. Paths are UTF-8, the host encoding.
#pragma once

#include <cstdint>
#include <string>

#include "ASTypes.h"

// The plug-in file's path and its base name without extension ("Vexa").
extern char gPIPath[1024];
extern char gModuleName[64];

// Stores the plug-in's path and derives the module name from it.
void setPIPath(const char* path);

// The user's configuration folder: $XDG_CONFIG_HOME, else ~/.config.
std::string getConfigFolder();
// The user's Documents folder: $XDG_DOCUMENTS_DIR, else ~/Documents.
std::string getDocumentsFolder();
// $TMPDIR, else /tmp.
std::string getTempFolder();
// The plug-in's resource folder: the folder named after the module beside the plug-in
// file. $VEXA_RESOURCES overrides it (tests and development runs).
std::string getResourceFolder();

// Creates the folder and its parents when missing; true when it exists afterwards.
bool ensureFolder(const std::string& path);
bool fileExists(const std::string& path);
bool folderExists(const std::string& path);
// Size in bytes, or -1 when the file does not exist.
int64_t getFileSize(const std::string& path);
// Modification time in nanoseconds since the epoch, or 0 when the file does not exist.
int64_t getFileModDate(const std::string& path);
// Moves (renames, or copies and deletes across file systems) with replace.
bool moveFile(const std::string& from, const std::string& to);
bool deleteFile(const std::string& path);
// The whole file as a new zero-terminated buffer (two spare zero bytes), freed with
// std::free; null when it cannot be read. *size receives the data length when given.
char* readWholeFile(const std::string& path, ASInt32* size = nullptr);
// The path with its extension replaced by ext (".ini"); appended when it has none.
std::string replaceExtension(const std::string& path, const char* ext);
std::string getFileName(const std::string& path);
std::string getParentFolder(const std::string& path);
