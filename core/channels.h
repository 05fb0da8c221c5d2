// Channel lines ("name,band,frequency,volume,port", CP932 bytes) and the list of them
// that the main window shows.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kivo {

// Cuts a line into items: blanks (0x01..0x20) and commas separate, double quotes group
// (a doubled quote stands for one), "a," gives a trailing empty item, "" gives none.
std::vector<std::string> Split(std::string_view line);

// Field `index` of split fields; ListIndexError when the line has no such field.
const std::string& fieldAt(const std::vector<std::string>& fields, int index);

// Strict 32-bit integer conversion: leading 0x20 blanks, then a signed decimal number
// or a hex number after "$", "x", "X", "0x" or "0X" (32 bits, two's complement);
// nothing after. nullopt on failure.
std::optional<std::int32_t> parseInteger(std::string_view text);

// The bytes before the first comma; empty for a line without one.
std::string lineName(std::string_view line);

// The line Add appends: the name with bytes <= 0x20 trimmed at both ends and every ","
// and space replaced by "_", then ",AM," or ",FM,", the frequency as typed, the volume
// in decimal and the port text as it is. All texts are CP932 bytes.
std::string buildChannelLine(std::string_view name, bool am, std::string_view frequency, int volume,
                             std::string_view port);

// Trims bytes <= 0x20 from both ends.
std::string trimBlanks(std::string_view text);

// A channel given on the command line: the line that begins with the name + "," and
// the port named in it ("COM" and what follows up to the next comma or the line end).
struct StartupChannel {
    int index = -1;
    std::string port;  // empty when the line names no ",COM" port
};

class ChannelList {
  public:
    // Called after every change of the lines or of the selection, so the window can
    // redraw; it must not run the channel selection (selection by code runs nothing).
    std::function<void()> changed;

    const std::vector<std::string>& lines() const { return lines_; }
    int count() const { return static_cast<int>(lines_.size()); }
    // ListIndexError when there is no line `index`.
    const std::string& line(int index) const;

    int selectedIndex() const { return selected_; }
    // Any index is kept as given (-1 for none); selection by code runs nothing.
    void setSelectedIndex(int index);

    void setLines(std::vector<std::string> lines);  // keeps the selection index
    void append(std::string line);                  // the selection does not change
    void deleteSelected();                          // afterwards nothing is selected
    void moveUp();
    void moveDown();

    // Load: replaces the lines with the file's (FileOpenError leaves them as they were).
    void load(const std::string& path);
    // Reload: load, then nothing is selected.
    void reload(const std::string& path);
    // Writes every line to the file (FileCreateError; the old file then stays intact).
    void save(const std::string& path) const;

    // First line that begins with `name` + ","; -1 when none.
    int findByName(std::string_view name) const;
    // Lookup for the command-line argument (CP932 bytes): trimmed key + ",".
    std::optional<StartupChannel> findStartupChannel(std::string_view argument) const;
    // The name of every line, in order.
    std::vector<std::string> names() const;

  private:
    void notify();
    std::vector<std::string> lines_;
    int selected_ = -1;
};

}  // namespace kivo
