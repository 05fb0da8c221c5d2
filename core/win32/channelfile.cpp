// The channel file on disk through the Win32 file calls. Paths are UTF-8 and become
// wide strings only here, at the calls.
#define WIN32_LEAN_AND_MEAN
#include "core/channelfile.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwchar>

#include "core/errors.h"
#include "core/savefiles.h"
#include "core/win32/widechar.h"

namespace kivo {

namespace {

// A path as the wide calls take it; empty for one that would name another file.
std::wstring widePath(const std::string& utf8) {
    std::wstring wide = widen(utf8);
    if (wide.find(L'\0') != std::wstring::npos) return {};
    return wide;
}

// A handle closed at the end of its scope.
class File {
  public:
    explicit File(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~File() { close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File& operator=(HANDLE h) {
        close();
        h_ = h;
        return *this;
    }
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool close() {
        if (!ok()) return true;
        bool closed = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE h_;
};

bool writeAll(HANDLE h, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - off, 1 << 20));
        DWORD written = 0;
        if (!WriteFile(h, data.data() + off, chunk, &written, nullptr) || written == 0)
            return false;
        off += written;
    }
    return FlushFileBuffers(h) != 0;
}

std::wstring folderOf(const std::wstring& path) {
    std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// The file a link (or the name as given) finally stands for.
std::wstring finalPath(HANDLE h, const std::wstring& given) {
    DWORD n = GetFinalPathNameByHandleW(h, nullptr, 0, FILE_NAME_NORMALIZED);
    if (n == 0) return given;
    std::wstring path(n, L'\0');
    n = GetFinalPathNameByHandleW(h, path.data(), n, FILE_NAME_NORMALIZED);
    if (n == 0 || n >= path.size()) return given;
    path.resize(n);
    return path;
}

bool processGone(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(p, &code) && code != STILL_ACTIVE;
    CloseHandle(p);
    return ended;
}

// What a save that was killed before its rename left behind: only names this program
// makes, checked, of processes that have ended. A file that merely looks alike stays.
void removeDeadTemporaries(const std::wstring& folder, const std::string& stem) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + widen(stem) + L".kivo-*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const DWORD pid = static_cast<DWORD>(temporaryOwner(narrow(found.cFileName), stem));
        if (pid != 0 && pid != GetCurrentProcessId() && processGone(pid) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// A new file in `folder` under a checked temporary name of `stem`'s.
HANDLE createTemporary(const std::wstring& folder, const std::string& stem, std::wstring& name) {
    removeDeadTemporaries(folder, stem);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + widen(temporaryName(stem, GetCurrentProcessId()));
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            SetLastError(error);
            break;
        }
    }
    return INVALID_HANDLE_VALUE;
}

std::string nameIn(const std::wstring& path, const std::wstring& folder) {
    return narrow(path.substr(folder.size()));
}

}  // namespace

std::optional<std::string> readPlainFile(const std::string& path, bool toFirstNul) {
    const std::wstring wide = widePath(path);
    if (wide.empty()) return std::nullopt;
    File file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    // Only a file on disk: a device or a pipe named so could read without end.
    if (!file.ok() || GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) size.QuadPart = 0;
    FileText text(static_cast<std::size_t>(size.QuadPart), toFirstNul);
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) return std::nullopt;
        if (n == 0 || !text.take(buf, n)) break;
    }
    return text.finish();
}

std::string readChannelFile(const std::string& path) {
    std::optional<std::string> text = readPlainFile(path, true);
    if (!text) throw FileOpenError(path);
    return std::move(*text);
}

std::string channelFileTarget(const std::string& path) {
    const std::wstring wide = widePath(path);
    if (wide.empty()) return {};
    File file(CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (file.ok()) return narrow(finalPath(file.get(), wide));
    // Nothing there at all, or a link that leads nowhere or loops: that is never replaced.
    const DWORD error = GetLastError();
    const bool nothing = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) &&
                         GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES;
    return nothing ? path : std::string();
}

std::optional<std::uint64_t> fileIdentity(const std::string& path) {
    const std::wstring wide = widePath(path);
    if (wide.empty()) return std::nullopt;
    File file(CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.ok() || !GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

bool rewriteFile(const std::string& path, const std::string& text) {
    const std::wstring wide = widePath(path);
    if (wide.empty()) return false;
    File file(CreateFileW(wide.c_str(), GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    // writeAll flushes; the end is cut after, and flushed again.
    return file.ok() && GetFileType(file.get()) == FILE_TYPE_DISK && writeAll(file.get(), text) &&
           SetEndOfFile(file.get()) && FlushFileBuffers(file.get()) && file.close();
}

bool placeNewFile(const std::string& path, const std::string& text) {
    const std::wstring target = widePath(path);
    if (target.empty()) return false;
    const std::wstring folder = folderOf(target);
    std::wstring temporaryPath;
    File temporary(createTemporary(folder, nameIn(target, folder), temporaryPath));
    if (!temporary.ok()) return false;
    bool ok = writeAll(temporary.get(), text);
    ok = temporary.close() && ok;
    if (!ok || !MoveFileExW(temporaryPath.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temporaryPath.c_str());
        return false;
    }
    return true;
}

bool removeFile(const std::string& path) {
    const std::wstring wide = widePath(path);
    return !wide.empty() && (DeleteFileW(wide.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
}

std::string stateFolder(bool make) {
    const wchar_t* local = _wgetenv(L"LOCALAPPDATA");
    if (!local || !*local) return {};
    const std::wstring folder = std::wstring(local) + L"\\kivo";
    if (make && !CreateDirectoryW(folder.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        return {};
    return narrow(folder) + "\\";
}

void saveChannelText(const std::string& path, const std::string& data,
                     const std::function<void()>& beforeReplace) {
    if (widePath(path).empty()) throw FileCreateError(path);
    // A link to the channel file stays a link: the file it points to is written. One that
    // leads nowhere or loops is refused, never replaced by a file.
    const std::string resolved = channelFileTarget(path);
    const std::wstring target = widePath(resolved);
    if (target.empty()) throw FileCreateError(path);

    // The file as it is: one the user may not write (read-only, refused by its access
    // list, held by another program) is not replaced behind their back.
    File existing(CreateFileW(target.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const bool exists = existing.ok();
    if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) throw FileCreateError(path);
    bool inPlace = false;
    DWORD attributes = 0;
    if (exists) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileType(existing.get()) != FILE_TYPE_DISK ||
            !GetFileInformationByHandle(existing.get(), &info))
            throw FileCreateError(path);
        attributes = info.dwFileAttributes;
        // Read-only whoever asks (a privileged process may be let through the open).
        if (attributes & FILE_ATTRIBUTE_READONLY) throw FileCreateError(path);
        // A rename would part the file from its other names.
        inPlace = info.nNumberOfLinks > 1;
    }

    File temp;
    std::wstring tempPath;
    if (!inPlace) {
        const std::wstring folder = folderOf(target);
        temp = createTemporary(folder, nameIn(target, folder), tempPath);
        if (!temp.ok()) {
            // A folder that takes no new file, while the file itself may be written.
            if (exists && GetLastError() == ERROR_ACCESS_DENIED)
                inPlace = true;
            else
                throw FileCreateError(path);
        }
    }

    existing.close();  // a file held open can be neither read here nor renamed over
    if (inPlace) {
        rewriteInPlace(path, resolved, data, beforeReplace);
        return;
    }

    bool ok = writeAll(temp.get(), data);
    ok = temp.close() && ok;
    constexpr DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                           FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (ok && (attributes & kept)) SetFileAttributesW(tempPath.c_str(), attributes & kept);
    if (ok && beforeReplace) beforeReplace();
    if (!ok || !MoveFileExW(tempPath.c_str(), target.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        SetFileAttributesW(tempPath.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(tempPath.c_str());
        throw FileCreateError(path);
    }
    dropRollbackCopies(resolved);
}

}  // namespace kivo
