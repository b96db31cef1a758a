#pragma once

// The main window as data: every control with its place in twips, measured from the top-left
// corner of the client area (which is also the tab control's corner, tab strip included).
// main_window.cpp builds the window from these tables and converts twips in one place.

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <string_view>

namespace quorvel::mainlayout {

inline constexpr int clientWidth = 6000;
inline constexpr int clientHeight = 4560;
// One pixel wider and higher than the client area, so its right and bottom edges are cut off.
inline constexpr int tabControlWidth = 6015;
inline constexpr int tabControlHeight = 4575;
inline constexpr int tabStripHeight = 520;

enum Page { GeneralStuff, BotInfo, ChannelSettings, Servers, Scripts, Finish, pageCount };

inline constexpr std::array<const char*, pageCount> pageCaptions{
    "General Stuff", "Bot Info", "Channel Settings", "Servers", "Scripts", "Finish"};

enum class Kind { Label, LineEdit, PlainTextEdit, CheckBox, PushButton };

// Fonts, colours and alignments of their own; Plain controls use the window's font.
// TopAligned: the "#" stands 50 twips below its box's top, where its text lines up with the
// box's text only when drawn from the label's top.
enum class Look { Plain, TopAligned, SectionRow, Marker, Banner, WriteButton };

struct Control {
    Kind kind;
    int number; // the N of LabelN, TextN, CheckN, CommandN
    Page page;
    int left, top, width, height;
    // Labels and buttons: the caption. Inputs: the name a screen reader announces, which tells
    // the inputs apart (one label serves both nick boxes) and names a box that switches a field
    // on after what it does. Channel check boxes leave it empty and take the flag's name.
    const char* text = nullptr;
    Look look = Look::Plain;
    const char* toolTip = nullptr;
};

constexpr Control label(int n, Page p, int l, int t, int w, int h, const char* caption,
                        Look look = Look::Plain, const char* toolTip = nullptr) {
    return {Kind::Label, n, p, l, t, w, h, caption, look, toolTip};
}
constexpr Control textBox(int n, Page p, int l, int t, int w, int h, const char* name) {
    return {Kind::LineEdit, n, p, l, t, w, h, name};
}
constexpr Control checkBox(int n, Page p, int l, int t, int w, int h, const char* name = nullptr) {
    return {Kind::CheckBox, n, p, l, t, w, h, name};
}

// Channel Settings: three columns of eight, all 255 high, rows 360 apart from 1020.
constexpr Control flagBox(int n, int column, int row, int width) {
    constexpr std::array<int, 3> columnLefts{360, 2160, 3840};
    return checkBox(n, ChannelSettings, columnLefts[column], 1020 + 360 * row, width, 255);
}

inline constexpr const char* usernameTip = "Nazwa uzytkownika, NIE NAZWA BOTA. Np. \"Keldo\"";
inline constexpr const char* adminTip =
    "Informacje o administratorze bota. Np. \"Keldo <email: keldo@example.org>\"";

// The "#" in front of the box is drawn, not typed; a screen reader says "#" as "number" or not
// at all, so the name says it in words.
inline constexpr const char* channelName = "channel to use, typed without the hash sign";

inline constexpr Control controls[] = {
    label(2, GeneralStuff, 960, 1620, 975, 255, "username:", Look::Plain, usernameTip),
    textBox(1, GeneralStuff, 2160, 1620, 2415, 285, "username"),
    label(3, GeneralStuff, 960, 1980, 975, 255, "admin:", Look::Plain, adminTip),
    textBox(2, GeneralStuff, 2160, 1980, 2415, 285, "admin"),
    label(4, GeneralStuff, 960, 2340, 975, 255, "network:"),
    textBox(3, GeneralStuff, 2160, 2340, 2415, 285, "network"),
    label(5, GeneralStuff, 960, 2700, 975, 255, "my-hostname:"),
    checkBox(1, GeneralStuff, 2160, 2700, 255, 255, "use my-hostname"),
    textBox(4, GeneralStuff, 2400, 2700, 2175, 285, "my-hostname"),
    label(6, GeneralStuff, 960, 3060, 975, 255, "my-ip:"),
    checkBox(2, GeneralStuff, 2160, 3060, 255, 255, "use my-ip"),
    textBox(5, GeneralStuff, 2400, 3060, 2175, 285, "my-ip"),

    label(8, BotInfo, 960, 1500, 1095, 255, "bot's name:"),
    textBox(6, BotInfo, 2160, 1500, 2415, 285, "bot's name"),
    label(9, BotInfo, 960, 1860, 855, 255, "whois-info:"),
    textBox(7, BotInfo, 2160, 1860, 2415, 285, "whois-info"),
    label(10, BotInfo, 960, 2220, 855, 255, "telnet port:"),
    textBox(8, BotInfo, 2160, 2220, 2415, 285, "telnet port"),
    label(11, BotInfo, 960, 2580, 975, 255, "egg path:"),
    textBox(9, BotInfo, 2160, 2580, 2415, 285, "egg path"),
    label(12, BotInfo, 960, 2940, 1095, 255, "bot's nicks:"),
    textBox(10, BotInfo, 2160, 2940, 1215, 285, "bot's nick"),
    textBox(16, BotInfo, 3480, 2940, 1095, 285, "bot's alternative nick"),
    label(26, BotInfo, 960, 3300, 1215, 255, "channel to use:"),
    label(25, BotInfo, 2280, 3350, 135, 255, "#", Look::TopAligned),
    textBox(17, BotInfo, 2400, 3300, 2175, 285, channelName),

    // clang-format off
    // Row by row: left, middle and right column.
    flagBox(7, 0, 0, 1455),  flagBox(14, 1, 0, 1575), flagBox(4, 2, 0, 1815),
    flagBox(10, 0, 1, 1335), flagBox(12, 1, 1, 1575), flagBox(5, 2, 1, 1575),
    flagBox(9, 0, 2, 1455),  flagBox(16, 1, 2, 1455), flagBox(6, 2, 2, 1815),
    flagBox(13, 0, 3, 1215), flagBox(18, 1, 3, 1455), flagBox(3, 2, 3, 1455),
    flagBox(11, 0, 4, 1455), flagBox(25, 1, 4, 1455), flagBox(21, 2, 4, 1815),
    flagBox(15, 0, 5, 1455), flagBox(26, 1, 5, 1335), flagBox(19, 2, 5, 1815),
    flagBox(8, 0, 6, 1215),  flagBox(23, 1, 6, 1215), flagBox(22, 2, 6, 1695),
    flagBox(17, 0, 7, 1455), flagBox(24, 1, 7, 1215), flagBox(20, 2, 7, 1695),
    // clang-format on

    label(14, Servers, 1080, 1740, 1095, 255, "server-1:"),
    textBox(12, Servers, 2280, 1740, 2415, 285, "server-1"),
    label(15, Servers, 1080, 2100, 975, 255, "server-2:"),
    checkBox(27, Servers, 1920, 2100, 255, 255, "use server-2"),
    textBox(11, Servers, 2280, 2100, 2415, 285, "server-2"),
    label(17, Servers, 1080, 2460, 855, 255, "server-3:"),
    checkBox(28, Servers, 1920, 2460, 255, 255, "use server-3"),
    textBox(13, Servers, 2280, 2460, 2415, 285, "server-3"),

    {Kind::PlainTextEdit, 14, Scripts, 1200, 1080, 3495, 2655, "scripts"},

    textBox(15, Finish, 1680, 840, 2655, 285, "output file name"),
    {Kind::PushButton, 1, Finish, 1680, 1200, 2655, 525, "WRITE OUT", Look::WriteButton},
    label(1, Finish, 1680, 2040, 1935, 255, "General Stuff...", Look::SectionRow),
    label(19, Finish, 3600, 2040, 735, 255, "[ OK ]", Look::Marker),
    label(7, Finish, 1680, 2400, 1935, 255, "Bot Info...", Look::SectionRow),
    label(20, Finish, 3600, 2400, 735, 255, "[ OK ]", Look::Marker),
    label(16, Finish, 1680, 2760, 1935, 255, "Channel Settings...", Look::SectionRow),
    label(21, Finish, 3600, 2760, 735, 255, "[ OK ]", Look::Marker),
    label(13, Finish, 1680, 3120, 1935, 255, "Servers...", Look::SectionRow),
    label(22, Finish, 3600, 3120, 735, 255, "[ OK ]", Look::Marker),
    label(18, Finish, 1680, 3480, 1935, 255, "Scripts...", Look::SectionRow),
    label(23, Finish, 3600, 3480, 735, 255, "[ OK ]", Look::Marker),
    label(24, Finish, 360, 3960, 5295, 255, "[ WRITTEN SUCCESFULLY ]", Look::Banner),
};

// The "[ OK ]" markers of the write stages GeneralStuff to Scripts, then the result banner.
inline constexpr std::array<int, 6> markerLabels{19, 20, 21, 22, 23, 24};

// The highest N of the controls of a kind; the window keeps them in arrays indexed by N.
constexpr int highestNumber(Kind kind) {
    int highest = 0;
    for (const Control& c : controls)
        highest = c.kind == kind && c.number > highest ? c.number : highest;
    return highest;
}

// Whether the table has the control; TextN is a line edit or, for the scripts, a plain text edit.
constexpr bool hasControl(Kind kind, int number) {
    for (const Control& c : controls) {
        if (c.kind == kind && c.number == number)
            return true;
    }
    return false;
}

// No two controls of a name, and every N from 1 up.
constexpr bool numbersAreDistinct() {
    const auto family = [](Kind kind) {
        return kind == Kind::PlainTextEdit ? Kind::LineEdit : kind;
    };
    for (const Control& a : controls) {
        if (a.number < 1)
            return false;
        for (const Control& b : controls) {
            if (&a != &b && family(a.kind) == family(b.kind) && a.number == b.number)
                return false;
        }
    }
    return true;
}
static_assert(numbersAreDistinct());

static_assert(std::all_of(markerLabels.begin(), markerLabels.end(),
                          [](int n) { return hasControl(Kind::Label, n); }));

struct ControlRef {
    Kind kind;
    int number;
};
constexpr ControlRef text(int n) {
    return {n == 14 ? Kind::PlainTextEdit : Kind::LineEdit, n};
}
constexpr ControlRef check(int n) {
    return {Kind::CheckBox, n};
}
constexpr ControlRef command(int n) {
    return {Kind::PushButton, n};
}

// Keyboard focus after the tab control, page by page: from the bottom of each page to the top.
// clang-format off
inline constexpr ControlRef focusOrder[] = {
    text(5), text(4), check(2), check(1), text(3), text(2), text(1),
    text(17), text(16), text(10), text(9), text(8), text(7), text(6),
    check(26), check(25), check(24), check(23), check(22), check(21), check(20), check(19),
    check(18), check(17), check(16), check(15), check(14), check(13), check(12), check(11),
    check(10), check(9), check(8), check(7), check(6), check(5), check(4), check(3),
    text(13), text(11), check(28), check(27), text(12),
    text(14),
    command(1), text(15),
};
// clang-format on
static_assert(std::all_of(std::begin(focusOrder), std::end(focusOrder),
                          [](ControlRef r) { return hasControl(r.kind, r.number); }));

struct MenuEntry {
    const char* menu;
    const char* menuCaption;
    const char* name;
    const char* caption; // "-" is a separator line
    bool enabled;
};

// Menu bar, left to right. No access keys, no shortcuts, no check marks.
inline constexpr MenuEntry menuEntries[] = {
    {"file", "File", "import", "Import Bot Configuration", false},
    {"file", "File", "s", "-", true},
    {"file", "File", "exit", "Exit", true},
    {"templates", "Templates", "load", "Load saved template", true},
    {"templates", "Templates", "save", "Save current configuration as template", true},
    {"create", "Create", "write", "Write-Out Your Config File", true},
    {"help", "Help", "help2", "Need Help?", true},
    {"help", "Help", "about", "About...", true},
};

// The index of a menu item in menuEntries; a name not in the table does not compile.
consteval std::size_t menuItem(std::string_view name) {
    for (std::size_t i = 0; i < std::size(menuEntries); ++i) {
        if (name == menuEntries[i].name)
            return i;
    }
    throw "no such menu item";
}

} // namespace quorvel::mainlayout
