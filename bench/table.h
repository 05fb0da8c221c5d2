// The table every benchmark prints: one row per figure, its baseline measured in the
// same run, the ratio of the two and the goal.
#pragma once

#include <string>
#include <vector>

namespace bench {

std::string ms(double milliseconds);
std::string us(double microseconds);
std::string mb(double megabytes);
std::string ratio(double value);
std::string number(double value);  // a count

// The middle value (0 for none).
double median(std::vector<double> values);

class Table {
  public:
    explicit Table(std::string title) : title_(std::move(title)) {}
    void row(std::string what, std::string baseline, std::string kivo, std::string ratio,
             std::string goal);
    // As a Markdown table, so that a run can go into the README as it is.
    void print() const;

  private:
    std::string title_;
    std::vector<std::vector<std::string>> rows_;
};

}  // namespace bench
