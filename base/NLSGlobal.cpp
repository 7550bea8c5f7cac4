#include "base/NLSGlobal.h"

#include <syslog.h>

#include <cctype>
#include <climits>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <memory>
#include <strings.h>

#include "base/util.h"
#include "msg/msg.h"

int singleByteCP = -1;
char* tokptr = nullptr;

namespace {

// Length of the character at p: at most two bytes examined, and one byte for
// the terminator or a sequence the locale does not accept.
int step(char const* p)
{
    if (*p == '\0')
        return 1;
    int n = std::mblen(p, 2);
    return n > 0 ? n : 1;
}

bool isSpaceByte(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

bool inSet(char c, char const* set)
{
    return c != '\0' && std::strchr(set, c) != nullptr;
}

// The text as wide characters, or null when the locale cannot convert it.
std::unique_ptr<wchar_t[]> toWide(char const* text)
{
    size_t len = std::strlen(text);
    std::unique_ptr<wchar_t[]> wide(new wchar_t[len + 1]);
    if (std::mbstowcs(wide.get(), text, len + 1) == static_cast<size_t>(-1))
        return nullptr;
    wide[len] = L'\0';
    return wide;
}

// The occurrences of c in text; with noDups a doubled c counts once.
template <class Ch>
int countIn(Ch const* text, Ch c, bool noDups)
{
    int count = 0;
    bool counted = false;
    for (Ch const* p = text; *p != Ch(); ++p) {
        if (*p == c) {
            count += counted && noDups ? -1 : 1;
            counted = !counted;
        } else {
            counted = false;
        }
    }
    return count;
}

int countWide(char const* text, char c, bool noDups)
{
    char one[2] = {c, '\0'};
    wchar_t target;
    std::unique_ptr<wchar_t[]> wide = toWide(text);
    // Not convertible in this locale: bytes are counted instead.
    if (std::mbtowc(&target, one, MB_CUR_MAX) < 0 || wide == nullptr)
        return countIn(text, c, noDups);
    return countIn(wide.get(), target, noDups);
}

} // namespace

void mcinit()
{
    if (singleByteCP != -1)
        return;
    if (std::setlocale(LC_ALL, "") != nullptr) {
        singleByteCP = 0;
        return;
    }
    char* text = msgGet(XRBE_042_LOCALE_UNKNOWN, "NULL");
    openlog("MCINIT", 0, LOG_USER);
    syslog(LOG_ERR, "%s", text);
    syslog(LOG_ERR, "%s", "setLocale failed.");
    closelog();
    fhccmn_error(text);
    std::exit(101);
}

char* mbsadvance(char const* p)
{
    return const_cast<char*>(p + 1);
}

int mclen(char const* text)
{
    int n = std::mblen(text, 16);
    return n > 0 ? n : 1;
}

int mcisspace(char const* text)
{
    wchar_t wc;
    if (std::mbtowc(&wc, text, 16) < 0)
        return 0;
    return std::iswspace(static_cast<wint_t>(wc)) ? 1 : 0;
}

char* mcstrchr(char const* text, int c)
{
    return const_cast<char*>(std::strchr(text, c));
}

char* mcstrrchr(char const* text, int c)
{
    return const_cast<char*>(std::strrchr(text, c));
}

char* mcstristr(char const* text, char const* pattern)
{
    if (*pattern == '\0')
        return nullptr;
    for (char const* t = text; *t != '\0'; t += step(t)) {
        char const* i = t;
        char const* j = pattern;
        while (*j != '\0' && *i != '\0' &&
               std::toupper(static_cast<unsigned char>(*i)) == std::toupper(static_cast<unsigned char>(*j))) {
            i += step(i);
            j += step(j);
        }
        if (*j == '\0')
            return const_cast<char*>(t);
    }
    return nullptr;
}

size_t mcstrcspn(char const* text, char const* set)
{
    char const* p = text;
    while (*p != '\0' && !inSet(*p, set))
        p += step(p);
    return static_cast<size_t>(p - text);
}

size_t mcstrspn(char const* text, char const* set)
{
    char const* p = text;
    while (inSet(*p, set))
        p += step(p);
    return static_cast<size_t>(p - text);
}

char* mcstrtok(char* text, char const* delimiters)
{
    char* p = text != nullptr ? text : tokptr;
    if (p == nullptr)
        return nullptr;
    p += mcstrspn(p, delimiters);
    if (*p == '\0') {
        tokptr = p;
        return nullptr;
    }
    char* token = p;
    p += mcstrcspn(p, delimiters);
    if (*p != '\0')
        *p++ = '\0';
    tokptr = p;
    return token;
}

char* mcFindSpace(char const* text)
{
    for (char const* p = text; *p != '\0'; ++p)
        if (isSpaceByte(*p))
            return const_cast<char*>(p);
    return nullptr;
}

char* mcFindQuote(char const* text)
{
    for (char const* p = text; *p != '\0'; ++p)
        if (*p == '"')
            return const_cast<char*>(p);
    return nullptr;
}

char* mcSkipSpaces(char const* text)
{
    if (text == nullptr)
        return nullptr;
    while (isSpaceByte(*text))
        ++text;
    return const_cast<char*>(text);
}

void mcStripSpaces(char* text, unsigned char flags)
{
    if (text == nullptr)
        return;
    if ((flags & 1) && *text != '\0') {
        char* first = mcSkipSpaces(text);
        if (first != text)
            std::memmove(text, first, std::strlen(first) + 1);
    }
    if ((flags & 2) && *text != '\0') {
        char* p = text;
        for (;;) {
            char* space = mcFindSpace(p);
            if (space == nullptr)
                break;
            char* after = mcSkipSpaces(space);
            if (*after == '\0') {
                *space = '\0';
                break;
            }
            p = after;
        }
    }
}

void mcStripChars(char* text, char c, unsigned char flags)
{
    if (text == nullptr || c == '\0')
        return;
    if ((flags & 1) && *text != '\0') {
        char* p = text;
        while (*p == c)
            p += step(p);
        if (p != text)
            std::memmove(text, p, std::strlen(p) + 1);
    }
    if ((flags & 2) && *text != '\0') {
        char* runStart = nullptr;
        for (char* p = text; *p != '\0'; p += step(p)) {
            if (*p == c) {
                if (runStart == nullptr)
                    runStart = p;
            } else {
                runStart = nullptr;
            }
        }
        if (runStart != nullptr)
            *runStart = '\0';
    }
}

int mcstrch(char const* a, char const* b)
{
    if (singleByteCP != 0)
        return a[0] == b[0] ? 1 : 0;
    wchar_t wa, wb;
    if (std::mbtowc(&wa, a, 16) < 0 || std::mbtowc(&wb, b, 16) < 0)
        return a[0] == b[0] ? 1 : 0;
    return wa == wb ? 1 : 0;
}

int mcstrcmp(char const* a, char const* b)
{
    if (singleByteCP != 0)
        return std::strcmp(a, b);
    std::unique_ptr<wchar_t[]> wa = toWide(a);
    std::unique_ptr<wchar_t[]> wb = toWide(b);
    if (wa == nullptr || wb == nullptr)
        return std::strcmp(a, b);
    return std::wcscmp(wa.get(), wb.get());
}

int mcstricmp(char const* a, char const* b)
{
    if (singleByteCP != 0)
        return strcasecmp(a, b);
    std::unique_ptr<wchar_t[]> wa = toWide(a);
    std::unique_ptr<wchar_t[]> wb = toWide(b);
    if (wa == nullptr || wb == nullptr)
        return strcasecmp(a, b);
    for (wchar_t* w = wa.get(); *w != L'\0'; ++w)
        *w = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(*w)));
    for (wchar_t* w = wb.get(); *w != L'\0'; ++w)
        *w = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(*w)));
    return std::wcscmp(wa.get(), wb.get());
}

namespace {

// Changes the first byte of every character; returns the end of the text.
char* changeEachCharacter(char* text, int (*change)(int))
{
    char* p = text;
    while (*p != '\0') {
        int n = step(p);
        *p = static_cast<char>(change(static_cast<unsigned char>(*p)));
        p += n;
    }
    return p;
}

} // namespace

char* allUpper(char* text)
{
    return changeEachCharacter(text, [](int c) { return std::toupper(c); });
}

char* allLower(char* text)
{
    return changeEachCharacter(text, [](int c) { return std::tolower(c); });
}

size_t mcwidth(char const* text)
{
    return std::strlen(text);
}

char* mcstrcat(char* dest, char const* src)
{
    return std::strcat(dest, src);
}

char* mcstrcpy(char* dest, char const* src)
{
    return std::strcpy(dest, src);
}

int countInstancesOfCharacter(char const* text, char c)
{
    return countWide(text, c, false);
}

int countInstancesOfCharacterNoDups(char const* text, char c)
{
    return countWide(text, c, true);
}

void donttouch() {}

extern "C" int wcwidth(wchar_t wc) noexcept
{
    char buf[MB_LEN_MAX];
    if (std::wctomb(buf, wc) < 0)
        return -1;
    int n = std::mblen(buf, MB_CUR_MAX);
    return n < 0 ? -1 : n;
}

extern "C" int wcswidth(wchar_t const* ws, size_t n) noexcept
{
    int total = 0;
    for (size_t i = 0; i < n && ws[i] != L'\0'; ++i) {
        int w = wcwidth(ws[i]);
        if (w < 0)
            return -1;
        total += w;
    }
    return total;
}
