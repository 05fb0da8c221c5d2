#include "core/savefiles.h"

#include <charconv>
#include <random>
#include <vector>

#include "core/apptitle.h"
#include "core/channelfile.h"
#include "core/errors.h"

namespace kivo {

namespace {

constexpr std::string_view kTemporaryMark = ".kivo-";
constexpr std::string_view kRollbackSuffix = ".kivo-rollback";
constexpr std::string_view kRecordMagic = "KIVO rollback copy 1\n";

std::string hex(std::uint64_t value, int digits) {
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4)
        out[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 15];
    return out;
}

std::optional<std::uint64_t> parseNumber(std::string_view text, int base = 10) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// The check digits of a temporary's random token.
std::string temporaryCheck(std::string_view stem, std::string_view pid, std::string_view token) {
    std::string keyed(stem);
    keyed.append("/").append(pid).append("/").append(token);
    return hex(checksum(keyed), 8);
}

// Where a rollback copy of `target` may lie: beside it, or in the state folder under a
// name that holds a checksum of its whole path (the record names the file in full).
std::vector<std::string> rollbackCopyNames(const std::string& target, bool makeStateFolder) {
    std::vector<std::string> names{target + std::string(kRollbackSuffix)};
    if (std::string state = stateFolder(makeStateFolder); !state.empty())
        names.push_back(state + fileNameOf(target) + "." + hex(checksum(target), 16) +
                        std::string(kRollbackSuffix));
    return names;
}

struct FoundCopy {
    std::string name;
    RollbackCopy record;
};

std::vector<FoundCopy> rollbackCopiesOf(const std::string& target) {
    std::vector<FoundCopy> found;
    for (std::string& name : rollbackCopyNames(target, false)) {
        auto bytes = readPlainFile(name, false);
        if (!bytes) continue;
        if (auto record = parseRollbackRecord(*bytes))
            found.push_back({std::move(name), std::move(*record)});
    }
    return found;
}

// Puts the copy down where the first place takes a new file, never over a file of
// someone else's that happens to bear the name. Returns where; empty when nowhere.
std::string placeRollbackCopy(const std::string& target, const std::string& record) {
    for (const std::string& name : rollbackCopyNames(target, true)) {
        const bool taken = fileIdentity(name).has_value();
        if (taken) {
            auto bytes = readPlainFile(name, false);
            if (!bytes || !parseRollbackRecord(*bytes)) continue;
        }
        if (placeNewFile(name, record)) return name;
    }
    return {};
}

// Settles one copy of `target`'s; true when its old text had to be put back.
bool settle(const std::string& shown, const std::string& target, const FoundCopy& copy) {
    const RollbackCopy& r = copy.record;
    const std::optional<std::uint64_t> identity = fileIdentity(target);
    if (!identity || *identity != r.identity) {
        if (r.file != target) return false;  // another file's (moved, or named alike)
        if (identity) {
            removeFile(copy.name);  // the file was replaced whole since: the copy is stale
            return false;
        }
        // Gone since: the copy is all that is left of the list.
        try {
            saveChannelText(target, r.oldText);
        } catch (const FileCreateError&) {
            throw FileOpenError(shown);
        }
        removeFile(copy.name);
        return true;
    }
    const std::optional<std::string> now = readPlainFile(target, false);
    if (!now) throw FileOpenError(shown);
    const bool finished = now->size() == r.newSize && checksum(*now) == r.newChecksum;
    if (!finished && *now != r.oldText) {
        if (!rewriteFile(target, r.oldText)) throw FileOpenError(shown);
        removeFile(copy.name);  // only once the old text is flushed
        return true;
    }
    removeFile(copy.name);
    return false;
}

}  // namespace

std::uint64_t checksum(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
    return h;
}

std::string temporaryName(std::string_view stem, unsigned long pid) {
    static thread_local std::mt19937_64 random{std::random_device{}()};
    const std::string digits = std::to_string(pid);
    const std::string token = hex(random(), 8);
    return std::string(stem) + std::string(kTemporaryMark) + digits + "-" + token +
           temporaryCheck(stem, digits, token);
}

unsigned long temporaryOwner(std::string_view name, std::string_view stem) {
    if (!name.starts_with(stem) || !name.substr(stem.size()).starts_with(kTemporaryMark)) return 0;
    name.remove_prefix(stem.size() + kTemporaryMark.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || dash > 10 || name.size() != dash + 17) return 0;
    const std::string_view pid = name.substr(0, dash), token = name.substr(dash + 1, 8);
    const auto value = parseNumber(pid);
    if (!value || !parseNumber(token, 16) ||
        name.substr(dash + 9) != temporaryCheck(stem, pid, token))
        return 0;
    return static_cast<unsigned long>(*value);
}

std::string rollbackRecord(const RollbackCopy& copy) {
    std::string out(kRecordMagic);
    out += std::to_string(copy.identity) + " " + std::to_string(copy.oldText.size()) + " " +
           std::to_string(copy.newSize) + " " + hex(copy.newChecksum, 16) + " " +
           std::to_string(copy.file.size()) + "\n";
    out += copy.file + "\n";
    out += copy.oldText;
    out += hex(checksum(out), 16) + "\n";
    return out;
}

std::optional<RollbackCopy> parseRollbackRecord(std::string_view bytes) {
    constexpr std::size_t kSumSize = 17;  // 16 hex digits and a line end
    if (!bytes.starts_with(kRecordMagic) || bytes.size() < kRecordMagic.size() + kSumSize ||
        bytes.back() != '\n')
        return std::nullopt;
    const std::string_view body = bytes.substr(0, bytes.size() - kSumSize);
    const auto sum = parseNumber(bytes.substr(body.size(), 16), 16);
    if (!sum || *sum != checksum(body)) return std::nullopt;

    std::string_view rest = body.substr(kRecordMagic.size());
    const std::size_t lineEnd = rest.find('\n');
    if (lineEnd == std::string_view::npos) return std::nullopt;
    std::uint64_t fields[5] = {};
    std::string_view line = rest.substr(0, lineEnd);
    for (int i = 0; i < 5; ++i) {
        const std::size_t space = i < 4 ? line.find(' ') : line.size();
        if (space == std::string_view::npos) return std::nullopt;
        const auto value = parseNumber(line.substr(0, space), i == 3 ? 16 : 10);
        if (!value) return std::nullopt;
        fields[i] = *value;
        line.remove_prefix(i < 4 ? space + 1 : space);
    }
    rest.remove_prefix(lineEnd + 1);
    const std::uint64_t fileSize = fields[4], oldSize = fields[1];
    if (fileSize >= rest.size() || rest[fileSize] != '\n' || rest.size() - fileSize - 1 != oldSize)
        return std::nullopt;
    RollbackCopy copy;
    copy.identity = fields[0];
    copy.newSize = fields[2];
    copy.newChecksum = fields[3];
    copy.file = rest.substr(0, fileSize);
    copy.oldText = rest.substr(fileSize + 1);
    return copy;
}

void rewriteInPlace(const std::string& shown, const std::string& target, const std::string& data,
                    const std::function<void()>& beforeReplace) {
    std::optional<std::string> old = readPlainFile(target, false);
    const std::optional<std::uint64_t> identity = fileIdentity(target);
    if (!old || !identity) throw FileCreateError(shown);
    const std::string copy = placeRollbackCopy(
        target, rollbackRecord({target, *identity, *old, data.size(), checksum(data)}));
    if (copy.empty()) throw FileCreateError(shown);
    if (beforeReplace) beforeReplace();
    if (!rewriteFile(target, data)) {
        // The old text fits where it lay: a failed write leaves the file as it was.
        if (rewriteFile(target, *old)) removeFile(copy);
        throw FileCreateError(shown);
    }
    removeFile(copy);
}

void dropRollbackCopies(const std::string& target) {
    for (const FoundCopy& copy : rollbackCopiesOf(target))
        if (copy.record.file == target) removeFile(copy.name);
}

bool recoverChannelFile(const std::string& path) {
    const std::string target = channelFileTarget(path);
    if (target.empty()) return false;  // a link that loops: reading it fails on its own
    bool restored = false;
    for (const FoundCopy& copy : rollbackCopiesOf(target))
        restored = settle(path, target, copy) || restored;
    return restored;
}

}  // namespace kivo
