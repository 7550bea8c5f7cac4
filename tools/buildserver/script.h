// The test script of the scripted mode: one command a line, words and
// key=value options, values optionally in double quotes with C escapes
// (\n \t \r \f \\ \" \0 \xHH); "#" starts a comment.
#ifndef XRB_BUILDSERVER_SCRIPT_H
#define XRB_BUILDSERVER_SCRIPT_H

#include <map>
#include <string>
#include <vector>

struct Command {
    int line = 0;
    std::vector<std::string> words;
    std::map<std::string, std::string> opts;

    bool has(std::string const& key) const { return opts.count(key) != 0; }
    std::string get(std::string const& key, std::string const& def = "") const;
    long long num(std::string const& key, long long def) const;
    std::string word(size_t i) const { return i < words.size() ? words[i] : std::string(); }
};

// Empty result on success, else the reason with its line number.
std::string loadScript(std::string const& path, std::vector<Command>& out);
std::string parseScriptText(std::string const& text, std::vector<Command>& out);

// Shows a text with the same escapes, for the record.
std::string quoted(std::string const& text);

#endif
