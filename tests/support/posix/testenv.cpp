#include "tests/support/testenv.h"

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace testenv {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "kivo-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::system_error(errno, std::generic_category(), "mkdtemp");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name.c_str())) {
        had_ = true;
        old_ = old;
    }
    setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

// A German locale built into a private folder: the system need not have it installed.
DecimalCommaLocale::DecimalCommaLocale() {
    const std::string build =
        "localedef -i de_DE -f UTF-8 " + dir_.file("de_DE.UTF-8") + " 2>/dev/null";
    available_ = std::system(build.c_str()) == 0;
    if (!available_) return;
    ScopedEnv path("LOCPATH", dir_.path());
    active_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
}

DecimalCommaLocale::~DecimalCommaLocale() {
    std::setlocale(LC_ALL, "C");
}

bool underWine() {
    return false;
}

std::string heldResources() {
    auto entries = [](const char* folder) {
        int n = 0;
        if (DIR* d = opendir(folder)) {
            while (readdir(d)) ++n;
            closedir(d);
        }
        return std::to_string(n);
    };
    return entries("/proc/self/fd") + " files, " + entries("/proc/self/task") + " threads";
}

}  // namespace testenv
