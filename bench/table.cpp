#include "bench/table.h"

#include <algorithm>
#include <cstdio>

namespace bench {

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

}  // namespace

std::string ms(double milliseconds) {
    return format(milliseconds < 10 ? "%.2f ms" : "%.1f ms", milliseconds);
}
std::string us(double microseconds) {
    return format("%.2f µs", microseconds);
}
std::string mb(double megabytes) {
    return format("%.1f MB", megabytes);
}
std::string ratio(double value) {
    return format("%.2fx", value);
}
std::string number(double value) {
    return format("%.0f", value);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Table::row(std::string what, std::string baseline, std::string kivo, std::string ratio,
                std::string goal) {
    rows_.push_back(
        {std::move(what), std::move(baseline), std::move(kivo), std::move(ratio), std::move(goal)});
}

void Table::print() const {
    const std::vector<std::string> head = {"what", "baseline", "KIVO", "ratio", "goal"};
    std::vector<std::size_t> width(head.size());
    // Widths in characters: "µ" takes two bytes and one column.
    auto columns = [](const std::string& s) {
        return static_cast<std::size_t>(
            std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    };
    for (std::size_t i = 0; i < head.size(); ++i) width[i] = columns(head[i]);
    for (const auto& r : rows_)
        for (std::size_t i = 0; i < r.size(); ++i) width[i] = std::max(width[i], columns(r[i]));
    auto line = [&](const std::vector<std::string>& cells) {
        std::string out = "|";
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string pad(width[i] - columns(cells[i]), ' ');
            out += ' ' + (i == 0 ? cells[i] + pad : pad + cells[i]) + " |";
        }
        std::printf("%s\n", out.c_str());
    };
    std::printf("\n%s\n\n", title_.c_str());
    line(head);
    std::vector<std::string> rule;
    for (std::size_t w : width) rule.push_back(std::string(w, '-'));
    line(rule);
    for (const auto& r : rows_) line(r);
    std::fflush(stdout);
}

}  // namespace bench
