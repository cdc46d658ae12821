// Why a file cannot be read or written, in the user's terms, for messages that name
// the file and the reason: "does not exist", "is a folder", "no permission to read it",
// "the folder /a/b does not exist", "the folder /a/b is on a read-only file system",
// "the name is too long". An empty text means nothing was found in the way.
#pragma once

#include <string>

// For reading the file at path.
std::string fileReadProblem(const std::string& path);
// For writing a file at path (saved beside it and renamed into place): the folder must
// exist and take new files, the name must fit.
std::string fileWriteProblem(const std::string& path);
// The path with every symbolic link, "." and ".." resolved; for a file that does not
// exist yet, its folder's real path and its name. The path itself when even the folder
// cannot be resolved.
std::string realPathOf(const std::string& path);
