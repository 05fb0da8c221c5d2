// The folder, environment and process helpers on Windows.
#include "tests/support/testenv.h"

#define WIN32_LEAN_AND_MEAN
#include <process.h>
#include <stdlib.h>
#include <windows.h>

#include <atomic>
#include <clocale>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace testenv {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate =
            base / ("kivo-test-" + std::to_string(_getpid()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files left by a test would stop the removal.
    for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ec))
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name.c_str())) {
        had_ = true;
        old_ = old;
    }
    _putenv_s(name.c_str(), value.c_str());
}

ScopedEnv::~ScopedEnv() {
    // An empty value removes the variable.
    _putenv_s(name_.c_str(), had_ ? old_.c_str() : "");
}

DecimalCommaLocale::DecimalCommaLocale() : available_(true) {
    active_ = std::setlocale(LC_ALL, "German_Germany.1252") != nullptr;
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::setlocale(LC_ALL, "C");
}

bool underWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string heldResources() {
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return std::to_string(count) + " handles";
}

}  // namespace testenv
