// The channel file: CP932 text, one channel line per line.
#pragma once

#include <cstddef>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// Calls line(offset, size) for each line of `contents`, in order: CR LF, lone CR and
// lone LF end a line (LF CR is two ends), the last line counts without an end, a final
// end adds no empty line, a NUL byte ends the text.
template <class OnLine>
void forEachFileLine(std::string_view contents, OnLine&& line) {
    const std::size_t end = contents.find('\0');
    const char* const text = contents.data();
    const char* const stop = text + (end == std::string_view::npos ? contents.size() : end);
    if (stop == text) return;
    // The next CR and the next LF, each searched for (memchr) only once passed: a big
    // file is cut at the speed of the search, not a byte at a time.
    auto next = [stop](const char* from, char c) {
        const void* at = std::memchr(from, c, static_cast<std::size_t>(stop - from));
        return at ? static_cast<const char*>(at) : stop;
    };
    const char* start = text;
    const char* cr = next(start, '\r');
    const char* lf = next(start, '\n');
    while (start < stop) {
        if (cr < start) cr = next(start, '\r');
        if (lf < start) lf = next(start, '\n');
        const char* at = cr < lf ? cr : lf;
        if (at == stop) break;
        line(static_cast<std::size_t>(start - text), static_cast<std::size_t>(at - start));
        // CR LF is one end; LF CR is two.
        start = at + ((at == cr && at + 1 < stop && at[1] == '\n') ? 2 : 1);
    }
    if (start < stop)
        line(static_cast<std::size_t>(start - text), static_cast<std::size_t>(stop - start));
}

// Gathers a file's text as it is read piece by piece: up to its first NUL, after which
// nothing more of the file is wanted (or, with `toFirstNul` false, all of it).
class FileText {
  public:
    // `fileSize`: what the file claims to hold, so that its text needs one allocation.
    explicit FileText(std::size_t fileSize, bool toFirstNul = true)
        : fileSize_(fileSize), toFirstNul_(toFirstNul) {}
    // Takes the next piece; false once a NUL has ended the text.
    bool take(const char* bytes, std::size_t count);
    // The text, holding little more room than it needs.
    std::string finish();

  private:
    std::size_t fileSize_;
    bool toFirstNul_;
    std::string text_;
};

// The lines of `contents`, cut as forEachFileLine does.
std::vector<std::string> splitFileLines(std::string_view contents);

// The folder of the channel file for a program whose file lies in `programDir`. The
// installed program, whose folder (links resolved) is `installedBinDir`, keeps it in
// the user's config folder (configfolder.h: $XDG_CONFIG_HOME/kivo, default ~/.config/kivo,
// on Windows %APPDATA%\KIVO); a program anywhere else keeps it beside itself. Ends in a
// separator.
std::string channelFileFolder(const std::string& programDir, const std::string& installedBinDir);

// The file's bytes up to its first NUL; what follows a NUL is never read.
// FileOpenError when it cannot be opened or read, or is no plain file.
std::string readChannelFile(const std::string& path);

// Writes every line followed by CR LF, choosing the way so that Save works wherever the
// file itself may be written and a Save cut short never leaves a torn file:
//  1. A link named `path` is followed: the file it points to is written, and the link
//     stays. A link that loops, or whose target's folder does not exist, is refused with
//     FileCreateError.
//  2. Missing folders on the way to `path` itself are created (mode 0700); FileCreateError
//     if that fails.
//  3. An existing target that is not a plain file, or that the user may not write, is
//     refused with FileCreateError; nothing is written.
//  4. Replace, where it is safe: the folder is writable for the user and the target does
//     not exist or is a plain file with one link owned by the user who saves. The lines
//     go to a new file in the same folder (unnamed where the system allows, else under a
//     temporary name no person would choose), which gets the old file's mode and group,
//     is flushed to disk and then renamed over the target; the folder is flushed after
//     the rename. A new file that cannot get the old group is dropped and step 5 runs
//     instead. Before a new file is made, temporaries of this kind whose process no
//     longer exists are removed; nothing else is.
//  5. Otherwise rewrite in place (rewriteInPlace): the file keeps its inode, owner,
//     group, mode and other links, and a rollback copy of the old text lies beside it (or
//     in the user's state folder) until the new text is flushed.
// On failure FileCreateError; the target then holds its old text.
// `beforeReplace` runs when the new contents are ready and the old file is still
// untouched (tests stop there).
void saveChannelFile(const std::string& path, const std::vector<std::string>& lines,
                     const std::function<void()>& beforeReplace = {});
// The same with the file's text ready: every line followed by CR LF.
void saveChannelText(const std::string& path, const std::string& text,
                     const std::function<void()>& beforeReplace = {});

// Settles a rewrite in place that was cut short (its rollback copy is still there): the
// old text is put back and flushed before the copy goes. True when it had to be put
// back (the file held neither the old nor the new text, or was gone); FileOpenError
// when it could not be, the copy then kept for the next try. Load runs it first.
bool recoverChannelFile(const std::string& path);

}  // namespace kivo
