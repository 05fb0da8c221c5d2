#include "core/channels.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <utility>

#include "core/channelfile.h"
#include "core/errors.h"

namespace kivo {

namespace {

bool isBlank(char c) {
    auto u = static_cast<unsigned char>(c);
    return u >= 0x01 && u <= 0x20;
}

// A NUL byte ends the text, as it would for a C string.
bool atEnd(std::string_view s, std::size_t i) {
    return i >= s.size() || s[i] == '\0';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::vector<std::string> Split(std::string_view line) {
    std::vector<std::string> items;
    std::size_t i = 0;
    while (!atEnd(line, i) && isBlank(line[i])) ++i;
    while (!atEnd(line, i)) {
        std::string item;
        if (line[i] == '"') {
            std::size_t start = ++i;
            bool closed = false;
            while (!atEnd(line, i)) {
                if (line[i] == '"') {
                    if (!atEnd(line, i + 1) && line[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                item += line[i++];
            }
            if (!closed) {
                // The rest after the opening quote, less its last byte; nothing follows.
                std::string_view rest = line.substr(start, i - start);
                items.emplace_back(rest.substr(0, rest.empty() ? 0 : rest.size() - 1));
                break;
            }
        } else {
            while (!atEnd(line, i) && line[i] != ',' && static_cast<unsigned char>(line[i]) > 0x20)
                item += line[i++];
        }
        items.push_back(std::move(item));

        while (!atEnd(line, i) && isBlank(line[i])) ++i;
        if (!atEnd(line, i) && line[i] == ',') {
            if (atEnd(line, i + 1)) items.emplace_back();
            ++i;
            while (!atEnd(line, i) && isBlank(line[i])) ++i;
        }
    }
    return items;
}

const std::string& fieldAt(const std::vector<std::string>& fields, int index) {
    if (index < 0 || index >= static_cast<int>(fields.size())) throw ListIndexError(index);
    return fields[static_cast<std::size_t>(index)];
}

std::optional<std::int32_t> parseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    std::string_view s = text.substr(i);
    if (s.empty()) return std::nullopt;

    std::size_t prefix = 0;
    if (s[0] == '$' || s[0] == 'x' || s[0] == 'X')
        prefix = 1;
    else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
        prefix = 2;
    if (prefix > 0) {
        std::string_view digits = s.substr(prefix);
        if (digits.empty()) return std::nullopt;
        std::uint64_t value = 0;
        for (char c : digits) {
            int d = hexValue(c);
            if (d < 0) return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFu) return std::nullopt;
        }
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    }

    bool negative = false;
    if (s[0] == '+' || s[0] == '-') {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string_view lineName(std::string_view line) {
    std::size_t comma = line.find(',');
    return comma == std::string_view::npos ? std::string_view() : line.substr(0, comma);
}

std::string trimBlanks(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20) --e;
    return std::string(text.substr(b, e - b));
}

std::string buildChannelLine(std::string_view name, bool am, std::string_view frequency, int volume,
                             std::string_view port) {
    std::string line = trimBlanks(name);
    for (char& c : line)
        if (c == ',' || c == ' ') c = '_';
    line += am ? ",AM," : ",FM,";
    line += frequency;
    line += "," + std::to_string(volume) + ",";
    line += port;
    return line;
}

std::string_view ChannelNames::operator[](int index) const {
    const auto i = static_cast<std::size_t>(index);
    const std::size_t begin = i == 0 ? 0 : ends_[i - 1];
    return std::string_view(bytes_).substr(begin, ends_[i] - begin);
}

int ChannelNames::find(std::string_view name) const {
    for (int i = 0; i < count(); ++i)
        if ((*this)[i] == name) return i;
    return -1;
}

ChannelList::Span ChannelList::spanAt(std::size_t offset, std::size_t size) {
    if (size > UINT32_MAX) throw std::length_error("channel line too long");
    Span span;
    span.offsetLow = static_cast<std::uint32_t>(offset);
    span.offsetHigh = static_cast<std::uint32_t>(static_cast<std::uint64_t>(offset) >> 32);
    span.size = static_cast<std::uint32_t>(size);
    return span;
}

std::string_view ChannelList::text(const Span& span) const {
    const std::uint64_t offset = (std::uint64_t(span.offsetHigh) << 32) | span.offsetLow;
    return std::string_view(bytes_).substr(static_cast<std::size_t>(offset), span.size);
}

template <class Mutate>
void ChannelList::change(Change what, Mutate&& mutate) {
    if (changing) changing(what);
    mutate();
    if (changed) changed(what);
}

std::string_view ChannelList::line(int index) const {
    if (index < 0 || index >= count()) throw ListIndexError(index);
    return text(spans_[static_cast<std::size_t>(index)]);
}

std::vector<std::string> ChannelList::lines() const {
    std::vector<std::string> out;
    out.reserve(spans_.size());
    for (const Span& span : spans_) out.emplace_back(text(span));
    return out;
}

void ChannelList::setSelectedIndex(int index) {
    if (index == selected_) return;
    change({Change::Selected}, [&] { selected_ = index; });
}

void ChannelList::replaceAll(std::string bytes, std::vector<Span> spans, bool keepSelection) {
    std::size_t used = 0;
    for (const Span& span : spans) used += span.size;
    change({Change::Reset}, [&] {
        bytes_ = std::move(bytes);
        spans_ = std::move(spans);
        unused_ = bytes_.size() - used;
        if (!keepSelection) selected_ = -1;
    });
}

void ChannelList::setLines(const std::vector<std::string>& lines) {
    std::string bytes;
    std::vector<Span> spans;
    spans.reserve(lines.size());
    for (const std::string& l : lines) {
        spans.push_back(spanAt(bytes.size(), l.size()));
        bytes += l;
    }
    replaceAll(std::move(bytes), std::move(spans), true);
}

namespace {

// Room for `extra` more. Growing by half, not doubling: the lines of a big file are
// not to be held twice over for one more line.
template <class Container>
void makeRoom(Container& c, std::size_t extra) {
    if (c.capacity() - c.size() < extra)
        c.reserve(std::max(c.size() + extra, c.capacity() + c.capacity() / 2 + 64));
}

}  // namespace

void ChannelList::append(std::string_view line) {
    const Span span = spanAt(bytes_.size(), line.size());
    // Nothing may fail once the change is told.
    makeRoom(bytes_, line.size());
    makeRoom(spans_, 1);
    change({Change::Inserted, count()}, [&] {
        bytes_ += line;
        spans_.push_back(span);
    });
}

void ChannelList::deleteSelected() {
    if (selected_ < 0 || selected_ >= count()) return;
    change({Change::Removed, selected_}, [&] {
        const auto at = spans_.begin() + selected_;
        unused_ += at->size;
        spans_.erase(at);
        selected_ = -1;
    });
    dropUnused();
}

// Deleted lines leave their bytes behind; once those outweigh the lines, the lines are
// packed again. The lines themselves stay as they are: nobody is told.
void ChannelList::dropUnused() {
    if (unused_ < 65536 || unused_ < bytes_.size() / 2) return;
    std::string packed;
    packed.reserve(bytes_.size() - unused_);
    std::vector<Span> spans(spans_.size());
    for (std::size_t i = 0; i < spans_.size(); ++i) {
        spans[i] = spanAt(packed.size(), spans_[i].size);
        packed += text(spans_[i]);
    }
    bytes_ = std::move(packed);
    spans_ = std::move(spans);
    unused_ = 0;
}

void ChannelList::moveUp() {
    if (selected_ <= 0 || selected_ >= count()) return;
    change({Change::Moved, selected_, selected_ - 1}, [&] {
        std::swap(spans_[static_cast<std::size_t>(selected_)],
                  spans_[static_cast<std::size_t>(selected_ - 1)]);
        --selected_;
    });
}

void ChannelList::moveDown() {
    if (selected_ < 0 || selected_ >= count() - 1) return;
    change({Change::Moved, selected_, selected_ + 1}, [&] {
        std::swap(spans_[static_cast<std::size_t>(selected_)],
                  spans_[static_cast<std::size_t>(selected_ + 1)]);
        ++selected_;
    });
}

// Counted first, so that the list of them takes no more room than it needs, and a
// little for the lines Add appends.
std::vector<ChannelList::Span> ChannelList::spansOf(std::string_view contents) {
    std::size_t lines = 0;
    forEachFileLine(contents, [&](std::size_t, std::size_t) { ++lines; });
    std::vector<Span> spans;
    spans.reserve(lines + lines / 8 + 16);
    forEachFileLine(contents, [&](std::size_t offset, std::size_t size) {
        spans.push_back(spanAt(offset, size));
    });
    return spans;
}

bool ChannelList::loadFile(const std::string& path, bool keepSelection) {
    const bool restored = recoverChannelFile(path);
    std::string contents = readChannelFile(path);
    std::vector<Span> spans = spansOf(contents);
    replaceAll(std::move(contents), std::move(spans), keepSelection);
    return restored;
}

bool ChannelList::load(const std::string& path) {
    return loadFile(path, true);
}

bool ChannelList::reload(const std::string& path) {
    return loadFile(path, false);
}

void ChannelList::save(const std::string& path) const {
    std::size_t size = 0;
    for (const Span& span : spans_) size += span.size + 2;
    std::string contents;
    contents.reserve(size);
    for (const Span& span : spans_) {
        contents += text(span);
        contents += "\r\n";
    }
    saveChannelText(path, contents);
}

int ChannelList::findByName(std::string_view name) const {
    std::string key(name);
    key += ',';
    for (int i = 0; i < count(); ++i)
        if (text(spans_[static_cast<std::size_t>(i)]).starts_with(key)) return i;
    return -1;
}

std::optional<StartupChannel> ChannelList::findStartupChannel(std::string_view argument) const {
    int index = findByName(trimBlanks(argument));
    if (index < 0) return std::nullopt;
    StartupChannel found;
    found.index = index;
    const std::string_view l = line(index);
    std::size_t at = l.find(",COM");
    if (at != std::string_view::npos) {
        std::size_t end = l.find(',', at + 1);
        found.port =
            l.substr(at + 1, end == std::string_view::npos ? std::string_view::npos : end - at - 1);
    }
    return found;
}

ChannelNames ChannelList::names() const {
    ChannelNames out;
    out.ends_.reserve(spans_.size());
    for (const Span& span : spans_) {
        out.bytes_ += lineName(text(span));
        out.ends_.push_back(out.bytes_.size());
    }
    return out;
}

}  // namespace kivo
