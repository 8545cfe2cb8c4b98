// Path texts: the relative test, joining and lexical canonicalisation that
// the rest of the system uses to send absolute, canonical paths.
// All functions are pure text operations (no file system access) except
// currentDirectory(), setCurrentDirectory() and executablePath(). Thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Longest path, in bytes and including the terminating NUL, that the system
// hands to the file system.
#if defined(_WIN32)
inline constexpr std::size_t kMaxPath = 260;  // MAX_PATH
#else
inline constexpr std::size_t kMaxPath = 4096;
#endif

// Returns true iff the path does not begin with '/' (on Windows: with a
// separator or a drive and a separator; "C:foo", taken from the drive's
// current directory, is relative).
bool isRelativePath(std::string_view path);

// Joins a directory and a path with exactly one '/' between them. An absolute
// `path` is returned unchanged; an empty `directory` yields `path`. On
// Windows a drive-relative `path` ("C:foo") is resolved by the system
// against its drive's current directory instead.
std::string joinPath(std::string_view directory, std::string_view path);

// Lexical canonical form: repeated '/' collapsed, "." parts dropped, ".."
// resolved against the preceding component and never above the root. No link
// is resolved. A relative path stays relative (leading ".." parts are kept).
// Returns nullopt when the result, with its NUL, would not fit kMaxPath.
std::optional<std::string> canonicalizePath(std::string_view path);

// The absolute, lexically canonical form of a path (a relative one is
// taken from the current directory); nullopt when it is too long or the
// current directory cannot be read.
std::optional<std::string> absolutePath(std::string_view path);

// The directory part of a path, without its trailing '/': "a/b/c" -> "a/b",
// "/c" -> "/", "c" -> "".
std::string directoryName(std::string_view path);

// The last component of a path, after its last separator: "a/b/c" -> "c",
// "c" -> "c", "a/" -> "". On Windows '\' separates too, and "C:c" -> "c".
std::string baseName(std::string_view path);

// The last component without its last extension: "a/gateway.ini" ->
// "gateway", "a/b.c.ini" -> "b.c"; a leading dot starts no extension
// (".ini" -> ".ini").
std::string stemName(std::string_view path);

// True for a character that separates path components: '/', and on
// Windows '\' as well.
bool isPathSeparator(char c);

// The directory part of a path, up to and including its last separator:
// "a/b/c" -> "a/b/", "c" -> "". On Windows '\' separates too, and a drive
// ends it ("C:c" -> "C:"). The path is directoryPrefix(path) + baseName(path).
std::string directoryPrefix(std::string_view path);

// The length of an absolute path's root, with its separator: 1 for "/"; on
// Windows 3 for "C:\", the length of "\\server\share\" for a UNC path
// and 1 for "\". 0 for a relative path.
std::size_t rootLength(std::string_view path);

// Appends '/' unless the text is empty or already ends with '/' or '\'.
std::string withTrailingSeparator(std::string_view directory);

// The process's current directory, or nullopt (errno set) when it cannot be
// read.
std::optional<std::string> currentDirectory();

// Makes `directory` the process's current directory; 0 or the errno.
int setCurrentDirectory(const std::string& directory);

// Full path of the running program, or nullopt.
std::optional<std::string> executablePath();

}  // namespace platform
