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
std::string_view lineName(std::string_view line);

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

// The name of every line at one moment (the strip's chooser lists them), kept as one
// run of bytes; the list may change afterwards without touching it.
class ChannelNames {
  public:
    int count() const { return static_cast<int>(ends_.size()); }
    std::string_view operator[](int index) const;
    // The first name equal to `name`, byte for byte; -1 when none.
    int find(std::string_view name) const;

  private:
    friend class ChannelList;
    std::string bytes_;
    std::vector<std::size_t> ends_;
};

class ChannelList {
  public:
    // One change of the lines or of the selection. Rows count as before the change.
    struct Change {
        enum Kind {
            Reset,     // every line may differ (set, load, reload)
            Inserted,  // a line was put at `row`
            Removed,   // the line at `row` was taken out
            Moved,     // the line at `row` went to `to`, the one there took its place
            Selected,  // only the selection changed
        };
        Kind kind = Reset;
        int row = -1;
        int to = -1;
    };
    // Told just before and just after every change, so the window can follow it row by
    // row; neither may run the channel selection (selection by code runs nothing).
    std::function<void(const Change&)> changing;
    std::function<void(const Change&)> changed;

    int count() const { return static_cast<int>(spans_.size()); }
    // ListIndexError when there is no line `index`. The view lasts until the next change.
    std::string_view line(int index) const;
    // A copy of every line.
    std::vector<std::string> lines() const;

    int selectedIndex() const { return selected_; }
    // Any index is kept as given (-1 for none); selection by code runs nothing.
    void setSelectedIndex(int index);

    void setLines(const std::vector<std::string>& lines);  // keeps the selection index
    void append(std::string_view line);                    // the selection does not change
    void deleteSelected();                                 // afterwards nothing is selected
    void moveUp();
    void moveDown();

    // Load: replaces the lines with the file's (FileOpenError leaves them as they were).
    // A Save cut short is settled first; true when its old text had to be put back.
    bool load(const std::string& path);
    // Reload: load, then nothing is selected.
    bool reload(const std::string& path);
    // Writes every line to the file (FileCreateError; the old file then stays intact).
    void save(const std::string& path) const;

    // First line that begins with `name` + ","; -1 when none.
    int findByName(std::string_view name) const;
    // Lookup for the command-line argument (CP932 bytes): trimmed key + ",".
    std::optional<StartupChannel> findStartupChannel(std::string_view argument) const;
    // The name of every line, in order.
    ChannelNames names() const;

  private:
    // Where a line's bytes lie in bytes_ (12 bytes a line, whatever the file's size).
    struct Span {
        std::uint32_t offsetLow = 0;
        std::uint32_t offsetHigh = 0;
        std::uint32_t size = 0;
    };
    static Span spanAt(std::size_t offset, std::size_t size);
    // Where the lines of a file's contents lie in it.
    static std::vector<Span> spansOf(std::string_view contents);
    std::string_view text(const Span& span) const;

    template <class Mutate>
    void change(Change change, Mutate&& mutate);
    bool loadFile(const std::string& path, bool keepSelection);
    void replaceAll(std::string bytes, std::vector<Span> spans, bool keepSelection);
    void dropUnused();

    // The lines' bytes, one after another; a loaded file's line ends and deleted lines
    // stay in between until they outweigh the lines.
    std::string bytes_;
    std::vector<Span> spans_;
    std::size_t unused_ = 0;
    int selected_ = -1;
};

}  // namespace kivo
