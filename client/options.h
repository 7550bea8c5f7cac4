// The command-line flags as one table: a row a flag, saying what the flag
// is called, how many values it takes and where they go.  The parser
// (client/cmdline.cpp) walks the arguments and asks this table what each
// one means; adding a flag is adding a row (and, for a flag that does more
// than store its value, a small named function).
#ifndef XRB_CLIENT_OPTIONS_H
#define XRB_CLIENT_OPTIONS_H

#include <cstddef>
#include <string>

#include "base/tcstring.h"

// No value; exactly one; or a list of one or more, which ends at the next
// argument that looks like a flag.
enum class Arity { None, One, List };

struct Option;

// Run when the flag itself is read.
using OnFlag = void (*)(Option const& option);
// Run for each value of the flag in place of the plain store; echo is the
// command-line echo.  Returns 1 after an error it has reported, else 0.
using OnValue = int (*)(Option const& option, char* value, std::string& echo);

// Where the values of a flag go: a setting that holds the one value, or a
// list gathered during the parse (see startLists).
struct Fills {
    constexpr Fills() = default;
    constexpr Fills(TCString* s) : setting(s) {}
    constexpr Fills(std::string* l) : list(l) {}
    TCString* setting = nullptr;
    std::string* list = nullptr;
};

struct Option {
    char const* text; // the whole argument, compared case-sensitively
    int code;         // what ValidateFlag answers; forms of one flag share it
    Arity arity;
    Fills fills;
    char const* tag; // file lists: the type tag after every entry
    int bits;        // build option bits the flag adds to buildOpts
    OnFlag onFlag;   // none: nothing happens when the flag is read
    OnValue onValue; // none: the value replaces the setting, or joins the
                     // list as an entry (blanks as "%20", then the tag)
};

// The table, in the order of the codes.
extern Option const options[];
extern std::size_t const optionCount;

// The row of a flag, or nullptr for anything not in the table.
Option const* findOption(char const* arg);

// Stores or adds one value of the flag; returns 1 after a reported error.
int takeValue(Option const& option, char* value, std::string& echo);

// The lists (-p, -i, -o, -d, -v) grow one value at a time, and a TCString
// copies itself whole on every append; so a parse gathers them in plain
// strings, taken from the settings when it starts and stored back when it
// ends.
void startLists();
void storeLists();

#endif
