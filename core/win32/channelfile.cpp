// The channel file on disk through the Win32 file calls. Paths are UTF-8 and become
// wide strings only here, at the calls.
#define WIN32_LEAN_AND_MEAN
#include "core/channelfile.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>

#include "core/errors.h"

namespace kivo {

namespace {

std::wstring widen(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int size = static_cast<int>(utf8.size());
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), n);
    if (wide.find(L'\0') != std::wstring::npos) return {};  // would name another file
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

// Temporary files are named <file>.tmp<process id>-<n>.
const wchar_t* const kTempMark = L".tmp";

bool processGone(DWORD pid) {
    HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!p) return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    DWORD code = 0;
    const bool ended = GetExitCodeProcess(p, &code) && code != STILL_ACTIVE;
    CloseHandle(p);
    return ended;
}

// What a save that was killed before its rename left behind.
void removeDeadTemporaries(const std::wstring& target) {
    const std::wstring folder = folderOf(target);
    const std::wstring name = target.substr(folder.size()) + kTempMark;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((target + kTempMark + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring file = found.cFileName;
        if (file.size() <= name.size() || _wcsnicmp(file.c_str(), name.c_str(), name.size()) != 0)
            continue;
        wchar_t* end = nullptr;
        const unsigned long pid = std::wcstoul(file.c_str() + name.size(), &end, 10);
        if (end == file.c_str() + name.size() || *end != L'-') continue;
        if (pid != GetCurrentProcessId() && processGone(static_cast<DWORD>(pid)))
            DeleteFileW((folder + file).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

}  // namespace

std::string readChannelFile(const std::string& path) {
    const std::wstring wide = widen(path);
    if (wide.empty()) throw FileOpenError(path);
    File file(CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    // Only a file on disk: a device or a pipe named so could read without end.
    if (!file.ok() || GetFileType(file.get()) != FILE_TYPE_DISK) throw FileOpenError(path);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) size.QuadPart = 0;
    FileText text(static_cast<std::size_t>(size.QuadPart));
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) throw FileOpenError(path);
        if (n == 0 || !text.take(buf, n)) break;
    }
    return text.finish();
}

void saveChannelText(const std::string& path, const std::string& data,
                     const std::function<void()>& beforeReplace) {
    std::wstring target = widen(path);
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
        // A link to the channel file stays a link: the file it points to is replaced.
        target = finalPath(existing.get(), target);
    }

    File temp;
    std::wstring tempPath;
    if (!inPlace) {
        removeDeadTemporaries(target);
        const std::wstring stem =
            target + kTempMark + std::to_wstring(GetCurrentProcessId()) + L"-";
        DWORD error = ERROR_SUCCESS;
        for (int attempt = 0; attempt < 100 && !temp.ok(); ++attempt) {
            tempPath = stem + std::to_wstring(attempt);
            temp = CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            error = temp.ok() ? ERROR_SUCCESS : GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
        }
        if (!temp.ok()) {
            // A folder that takes no new file, while the file itself may be written.
            if (exists && error == ERROR_ACCESS_DENIED)
                inPlace = true;
            else
                throw FileCreateError(path);
        }
    }

    if (inPlace) {
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(existing.get(), start, nullptr, FILE_BEGIN) ||
            !SetEndOfFile(existing.get()) || !writeAll(existing.get(), data) || !existing.close())
            throw FileCreateError(path);
        return;
    }

    existing.close();  // a file held open cannot be renamed over
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
}

}  // namespace kivo
