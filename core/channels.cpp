#include "channels.h"

#include <utility>

#include "channelfile.h"
#include "errors.h"

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

std::string lineName(std::string_view line) {
    std::size_t comma = line.find(',');
    return comma == std::string_view::npos ? std::string() : std::string(line.substr(0, comma));
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

const std::string& ChannelList::line(int index) const {
    if (index < 0 || index >= count()) throw ListIndexError(index);
    return lines_[static_cast<std::size_t>(index)];
}

void ChannelList::setSelectedIndex(int index) {
    if (index == selected_) return;
    selected_ = index;
    notify();
}

void ChannelList::setLines(std::vector<std::string> lines) {
    lines_ = std::move(lines);
    notify();
}

void ChannelList::append(std::string line) {
    lines_.push_back(std::move(line));
    notify();
}

void ChannelList::deleteSelected() {
    if (selected_ < 0 || selected_ >= count()) return;
    lines_.erase(lines_.begin() + selected_);
    selected_ = -1;
    notify();
}

void ChannelList::moveUp() {
    if (selected_ <= 0 || selected_ >= count()) return;
    std::swap(lines_[static_cast<std::size_t>(selected_)],
              lines_[static_cast<std::size_t>(selected_ - 1)]);
    --selected_;
    notify();
}

void ChannelList::moveDown() {
    if (selected_ < 0 || selected_ >= count() - 1) return;
    std::swap(lines_[static_cast<std::size_t>(selected_)],
              lines_[static_cast<std::size_t>(selected_ + 1)]);
    ++selected_;
    notify();
}

void ChannelList::load(const std::string& path) {
    setLines(loadChannelFile(path));
}

void ChannelList::reload(const std::string& path) {
    lines_ = loadChannelFile(path);
    selected_ = -1;
    notify();
}

void ChannelList::save(const std::string& path) const {
    saveChannelFile(path, lines_);
}

int ChannelList::findByName(std::string_view name) const {
    std::string key(name);
    key += ',';
    for (int i = 0; i < count(); ++i)
        if (lines_[static_cast<std::size_t>(i)].starts_with(key)) return i;
    return -1;
}

std::optional<StartupChannel> ChannelList::findStartupChannel(std::string_view argument) const {
    int index = findByName(trimBlanks(argument));
    if (index < 0) return std::nullopt;
    StartupChannel found;
    found.index = index;
    const std::string& l = lines_[static_cast<std::size_t>(index)];
    std::size_t at = l.find(",COM");
    if (at != std::string::npos) {
        std::size_t end = l.find(',', at + 1);
        found.port = l.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
    }
    return found;
}

std::vector<std::string> ChannelList::names() const {
    std::vector<std::string> out;
    out.reserve(lines_.size());
    for (const std::string& l : lines_) out.push_back(lineName(l));
    return out;
}

void ChannelList::notify() {
    if (changed) changed();
}

}  // namespace kivo
