// The files a Save keeps on disk for a while, so that one cut short loses nothing:
// temporaries whose names no person would choose, and the rollback copy that a rewrite
// in place puts down before it touches the file. The disk calls at the end are the
// platform's (channelfile_posix.cpp, channelfile_win32.cpp); the rest is shared.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kivo {

// FNV-1a, 64 bits: enough to tell a torn or foreign file from a whole one.
std::uint64_t checksum(std::string_view bytes);

// A temporary of the file `stem` (a name without folder) made by process `pid`:
// "<stem>.kivo-<pid>-<8 random hex digits><8 hex digits checking the rest>".
std::string temporaryName(std::string_view stem, unsigned long pid);
// The pid in such a name of `stem`'s whose check holds; 0 for any other name.
unsigned long temporaryOwner(std::string_view name, std::string_view stem);

// What a rewrite in place needs to undo itself: the file's text before, and enough of
// the text after to tell a finished rewrite from one cut short.
struct RollbackCopy {
    std::string file;          // the channel file's path, links resolved
    std::uint64_t identity{};  // that file's inode (file index) when the copy was made
    std::string oldText;       // the whole file, NUL bytes and all
    std::uint64_t newSize{};
    std::uint64_t newChecksum{};
};
// The copy's bytes on disk: a header, the old text, and a checksum of all of it.
std::string rollbackRecord(const RollbackCopy& copy);
// nullopt for bytes that are not a whole record (torn, or someone else's file).
std::optional<RollbackCopy> parseRollbackRecord(std::string_view bytes);

// Rewrites the existing plain file `target` with `data`, keeping its identity (owner,
// group, mode, other links). A rollback copy is flushed first, beside the file or else in
// the user's state folder; killed at any point, the file holds the old or the new text
// once recoverChannelFile has run. FileCreateError (shown as `shown`) on failure, the
// old text then back in place. `beforeReplace` runs once the copy is down.
void rewriteInPlace(const std::string& shown, const std::string& target, const std::string& data,
                    const std::function<void()>& beforeReplace);
// Removes the rollback copies of `target` (only whole records naming it): a Save that
// replaced the file leaves none of an earlier one behind.
void dropRollbackCopies(const std::string& target);

// The platform's disk calls. Paths are UTF-8.

// The file `path` stands for, links followed; empty when they loop or go nowhere.
std::string channelFileTarget(const std::string& path);
// A plain file's bytes, all of them or up to the first NUL; nullopt when it cannot be
// opened or read, or is no plain file.
std::optional<std::string> readPlainFile(const std::string& path, bool toFirstNul);
// The inode (file index) of the file named `path`; nullopt when there is none.
std::optional<std::uint64_t> fileIdentity(const std::string& path);
// Writes `text` over the existing plain file `path`, cuts it to that length and flushes.
bool rewriteFile(const std::string& path, const std::string& text);
// Puts `text` under `path`, private to the user, through a flushed temporary that is
// renamed over it: `path` holds the old or the new bytes, never a part.
bool placeNewFile(const std::string& path, const std::string& text);
// Removes `path` and makes the removal durable.
bool removeFile(const std::string& path);
// KIVO's folder in the user's state folder, ending in a separator (made first when
// `make` says so); empty when there is none to be had.
std::string stateFolder(bool make);

}  // namespace kivo
