#include "script.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

std::string Command::get(std::string const& key, std::string const& def) const
{
    auto it = opts.find(key);
    return it == opts.end() ? def : it->second;
}

long long Command::num(std::string const& key, long long def) const
{
    auto it = opts.find(key);
    return it == opts.end() ? def : std::strtoll(it->second.c_str(), nullptr, 0);
}

static int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

static std::string parseLine(std::string const& line, Command& cmd)
{
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string token;
        size_t equals = std::string::npos;
        bool quotedSeen = false;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            char c = line[i++];
            if (c == '=' && !quotedSeen && equals == std::string::npos) {
                equals = token.size();
                token.push_back(c);
                continue;
            }
            if (c != '"') {
                token.push_back(c);
                continue;
            }
            quotedSeen = true;
            while (true) {
                if (i >= line.size())
                    return "unterminated quote";
                c = line[i++];
                if (c == '"')
                    break;
                if (c != '\\') {
                    token.push_back(c);
                    continue;
                }
                if (i >= line.size())
                    return "escape at the end of the line";
                c = line[i++];
                switch (c) {
                case 'n': token.push_back('\n'); break;
                case 't': token.push_back('\t'); break;
                case 'r': token.push_back('\r'); break;
                case 'f': token.push_back('\f'); break;
                case '0': token.push_back('\0'); break;
                case 'x': {
                    int h = i < line.size() ? hexValue(line[i]) : -1;
                    int l = i + 1 < line.size() ? hexValue(line[i + 1]) : -1;
                    if (h < 0 || l < 0)
                        return "bad \\x escape";
                    token.push_back(static_cast<char>(h * 16 + l));
                    i += 2;
                    break;
                }
                default: token.push_back(c); break;
                }
            }
        }
        if (equals != std::string::npos && equals > 0)
            cmd.opts[token.substr(0, equals)] = token.substr(equals + 1);
        else
            cmd.words.push_back(token);
    }
    return std::string();
}

std::string parseScriptText(std::string const& text, std::vector<Command>& out)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        Command cmd;
        cmd.line = number;
        std::string why = parseLine(line, cmd);
        if (!why.empty())
            return "line " + std::to_string(number) + ": " + why;
        if (!cmd.words.empty())
            out.push_back(cmd);
        else if (!cmd.opts.empty())
            return "line " + std::to_string(number) + ": options without a command";
    }
    return std::string();
}

std::string loadScript(std::string const& path, std::vector<Command>& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot read " + path;
    std::ostringstream all;
    all << in.rdbuf();
    return parseScriptText(all.str(), out);
}

std::string quoted(std::string const& text)
{
    std::string out = "\"";
    static char const hex[] = "0123456789abcdef";
    for (unsigned char c : text) {
        switch (c) {
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case '\f': out += "\\f"; break;
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        default:
            if (c < 32 || c >= 127) {
                out += "\\x";
                out.push_back(hex[c >> 4]);
                out.push_back(hex[c & 15]);
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out + "\"";
}
