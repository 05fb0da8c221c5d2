// The channel file: CP932 text, one channel line per line.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// Cuts file contents into lines: CR LF, lone CR and lone LF end a line (LF CR is two
// ends), the last line counts without an end, a final end adds no empty line, a NUL
// byte ends the text.
std::vector<std::string> splitFileLines(std::string_view contents);

// The folder of the channel file for a program whose file lies in `programDir`. The
// installed program, whose folder (links resolved) is `installedBinDir`, keeps it in
// the user's config folder, $XDG_CONFIG_HOME/kivo (default ~/.config/kivo); a program
// anywhere else keeps it beside itself. Ends in a separator.
std::string channelFileFolder(const std::string& programDir, const std::string& installedBinDir);

// Reads the file; FileOpenError when it cannot be opened or read.
std::vector<std::string> loadChannelFile(const std::string& path);

// Writes every line followed by CR LF, choosing the way so that Save works wherever the
// file itself may be written and a crash never leaves a torn file where it can be helped:
//  1. A link named `path` is followed: the file it points to is written.
//  2. Missing folders on the way are created (mode 0700); FileCreateError if that fails.
//  3. An existing target that is not a plain file, or that the user may not write, is
//     refused with FileCreateError; nothing is written.
//  4. Replace, where it is safe: the folder is writable for the user and the target does
//     not exist or is a plain file with one link owned by the user who saves. The lines
//     go to a new file in the same folder (unnamed where the system allows, else named
//     "<file>.tmp<pid>-<n>"), which gets the old file's mode and group, is flushed to
//     disk and then renamed over the target; the folder is flushed after the rename. A
//     new file that cannot get the old group is dropped and step 5 runs instead.
//     Before a new file is made, temporaries of that form whose process no longer
//     exists are removed, so that a crash leaves the old or the new file and nothing
//     else for longer than until the next Save.
//  5. Otherwise rewrite in place: truncate, write, flush to disk. The file keeps its
//     inode, owner, group, mode and other links (a crash here can leave it torn).
// On failure FileCreateError; before the old contents are touched the target is intact.
// `beforeReplace` runs when the new contents are ready and the old file is still
// untouched (tests stop there).
void saveChannelFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::function<void()>& beforeReplace = {});

}  // namespace kivo
