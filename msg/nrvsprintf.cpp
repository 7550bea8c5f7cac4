#include "msg/nrvsprintf.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

// The format is read twice with the same parser: once to learn which
// argument each directive takes and with which type, then, after every
// argument has been fetched in order with its own type, once more to write
// each directive through the platform's printf.  No argument is ever read
// with a type other than the one its conversion names.

namespace {

constexpr int MAX_SLOTS = 100; // directives plus '*' values
constexpr int MAX_ARG = 100;

enum class Kind : unsigned char { None, Int, Long, LongLong, IntMax, Size, PtrDiff, Ptr, Double, LongDouble };

struct Directive {
    char flags[8];
    int nflags;
    int pos; // positional argument number, 0 when sequential
    bool widthStar;
    int widthPos; // "*m$" width, 0 when sequential
    char width[12];
    bool hasPrec;
    bool precStar;
    int precPos;
    char prec[12];
    char len[3];
    char conv;
    // Assigned argument numbers, 0 when none.
    int widthArg;
    int precArg;
    int valueArg;
};

struct Numbering {
    int sequential = 0;
    int slots = 0;
};

struct Value {
    Kind kind = Kind::None;
    intmax_t i = 0;
    double d = 0;
    long double ld = 0;
    void const* p = nullptr;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads up to max decimal digits into dst; false when there are more.
bool takeDigits(char const*& p, char* dst, int max)
{
    int n = 0;
    while (isDigit(*p)) {
        if (n == max)
            return false;
        dst[n++] = *p++;
    }
    dst[n] = '\0';
    return true;
}

// "m$" behind a '%' or '*': the argument number, or 0 when p has none, -1
// when it names a number outside 1 to 100.
int takePosition(char const*& p)
{
    char const* q = p;
    int v = 0;
    int n = 0;
    while (isDigit(*q)) {
        if (++n > 3)
            v = 1000;
        else
            v = v * 10 + (*q - '0');
        ++q;
    }
    if (n == 0 || *q != '$')
        return 0;
    p = q + 1;
    return (v >= 1 && v <= MAX_ARG) ? v : -1;
}

// A width or a precision: "*" with an optional "m$" position (star set,
// pos the position), or up to 9 digits into digits.  False when malformed.
bool takeAmount(char const*& p, bool& star, int& pos, char* digits)
{
    if (*p != '*')
        return takeDigits(p, digits, 9);
    ++p;
    star = true;
    pos = takePosition(p);
    return pos >= 0;
}

// Parses the directive whose '%' is just before p.  Returns the character
// behind it, or nullptr when the text is not a directive we accept.
char const* parseDirective(char const* p, Directive& s)
{
    std::memset(&s, 0, sizeof s);
    s.pos = takePosition(p);
    if (s.pos < 0)
        return nullptr;
    while (*p && std::strchr("-+ #0'", *p)) {
        if (!std::memchr(s.flags, *p, static_cast<std::size_t>(s.nflags)))
            s.flags[s.nflags++] = *p;
        ++p;
    }
    if (!takeAmount(p, s.widthStar, s.widthPos, s.width))
        return nullptr;
    if (*p == '.') {
        ++p;
        s.hasPrec = true;
        if (!takeAmount(p, s.precStar, s.precPos, s.prec))
            return nullptr;
    }
    if ((p[0] == 'h' && p[1] == 'h') || (p[0] == 'l' && p[1] == 'l')) {
        s.len[0] = p[0];
        s.len[1] = p[1];
        p += 2;
    } else if (*p && std::strchr("hlLqjzZt", *p)) {
        s.len[0] = *p++;
    }
    if (!*p || !std::strchr("diouxXcCsSpneEfFgGaAm", *p))
        return nullptr;
    s.conv = *p++;
    return p;
}

bool takesValue(Directive const& s)
{
    return s.conv != 'm';
}

// The type the caller passed for the directive's value.
Kind valueKind(Directive const& s)
{
    switch (s.conv) {
    case 's':
    case 'S':
    case 'p':
    case 'n': return Kind::Ptr;
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
    case 'a':
    case 'A': return s.len[0] == 'L' ? Kind::LongDouble : Kind::Double;
    case 'c':
    case 'C': return Kind::Int;
    default: break;
    }
    switch (s.len[0]) {
    case 'l': return s.len[1] == 'l' ? Kind::LongLong : Kind::Long;
    case 'L':
    case 'q': return Kind::LongLong;
    case 'j': return Kind::IntMax;
    case 'z':
    case 'Z': return Kind::Size;
    case 't': return Kind::PtrDiff;
    default: return Kind::Int;
    }
}

// Gives the directive its argument numbers; false when it would pass the
// bounds, in which case it is written as plain text and takes nothing.
bool assign(Directive& s, Numbering& n)
{
    int seq = n.sequential;
    int slots = n.slots + (takesValue(s) ? 1 : 0) + (s.widthStar ? 1 : 0) + (s.precStar ? 1 : 0);
    if (s.widthStar)
        s.widthArg = s.widthPos ? s.widthPos : ++seq;
    if (s.precStar)
        s.precArg = s.precPos ? s.precPos : ++seq;
    if (takesValue(s))
        s.valueArg = s.pos ? s.pos : ++seq;
    if (slots > MAX_SLOTS || seq > MAX_ARG)
        return false;
    n.sequential = seq;
    n.slots = slots;
    return true;
}

void noteKind(Kind* kinds, int arg, Kind k)
{
    Kind& cur = kinds[arg];
    // A position used both as a string and as a number was passed as a pointer.
    if (cur == Kind::None || (k == Kind::Ptr && cur != Kind::Double && cur != Kind::LongDouble))
        cur = k;
}

Value fetch(Kind k, va_list& ap)
{
    Value v;
    v.kind = k;
    switch (k) {
    case Kind::None:
    case Kind::Int:
        v.i = va_arg(ap, int);
        v.kind = Kind::Int;
        break;
    case Kind::Long: v.i = va_arg(ap, long); break;
    case Kind::LongLong: v.i = va_arg(ap, long long); break;
    case Kind::IntMax: v.i = va_arg(ap, intmax_t); break;
    case Kind::Size: v.i = static_cast<intmax_t>(va_arg(ap, std::size_t)); break;
    case Kind::PtrDiff: v.i = va_arg(ap, ptrdiff_t); break;
    case Kind::Ptr: v.p = va_arg(ap, void*); break;
    case Kind::Double: v.d = va_arg(ap, double); break;
    case Kind::LongDouble: v.ld = va_arg(ap, long double); break;
    }
    return v;
}

intmax_t asInteger(Value const& v)
{
    switch (v.kind) {
    case Kind::Ptr: return static_cast<intmax_t>(reinterpret_cast<intptr_t>(v.p));
    case Kind::Double: return static_cast<intmax_t>(v.d);
    case Kind::LongDouble: return static_cast<intmax_t>(v.ld);
    default: return v.i;
    }
}

long double asFloating(Value const& v)
{
    switch (v.kind) {
    case Kind::Double: return v.d;
    case Kind::LongDouble: return v.ld;
    case Kind::Ptr: return 0;
    default: return static_cast<long double>(v.i);
    }
}

// Where the text goes: a bounded area, or the caller's area taken as large enough.
struct Out {
    char* buf;
    std::size_t cap;
    bool bounded;
    std::size_t pos = 0;

    void text(char const* s, std::size_t n)
    {
        if (!bounded) {
            std::memcpy(buf + pos, s, n);
        } else if (pos < cap) {
            std::size_t room = cap - pos;
            std::memcpy(buf + pos, s, n < room ? n : room);
        }
        pos += n;
    }

    template <class T>
    void print(char const* piece, T value)
    {
        int n;
        if (!bounded)
            n = std::sprintf(buf + pos, piece, value);
        else if (pos < cap)
            n = std::snprintf(buf + pos, cap - pos, piece, value);
        else
            n = std::snprintf(nullptr, 0, piece, value);
        if (n > 0)
            pos += static_cast<std::size_t>(n);
    }

    void finish()
    {
        if (!bounded)
            buf[pos] = '\0';
        else if (cap > 0)
            buf[pos < cap ? pos : cap - 1] = '\0';
    }
};

void appendText(char*& q, char const* s)
{
    while (*s)
        *q++ = *s++;
}

void appendNumber(char*& q, long v)
{
    char num[24];
    std::snprintf(num, sizeof num, "%ld", v);
    appendText(q, num);
}

// Writes one directive: the plain directive is rebuilt with the '*' values
// put in as digits, then printed with the value in the type it names.
void writeDirective(Out& out, Directive const& s, Value const* args, char const* errorText)
{
    char piece[64];
    char* q = piece;
    *q++ = '%';
    for (int i = 0; i < s.nflags; ++i)
        *q++ = s.flags[i];
    if (s.widthStar) {
        long w = static_cast<long>(asInteger(args[s.widthArg]));
        if (w < 0) {
            *q++ = '-';
            w = -w;
        }
        if (w > 999999999)
            w = 999999999;
        appendNumber(q, w);
    } else {
        appendText(q, s.width);
    }
    if (s.hasPrec) {
        if (s.precStar) {
            long pr = static_cast<long>(asInteger(args[s.precArg]));
            if (pr >= 0) {
                *q++ = '.';
                appendNumber(q, pr > 999999999 ? 999999999 : pr);
            }
        } else {
            *q++ = '.';
            appendText(q, s.prec);
        }
    }
    char* lenAt = q;
    appendText(q, s.len);
    *q++ = s.conv;
    *q = '\0';

    Value const& v = args[s.valueArg];
    Kind want = valueKind(s);
    switch (s.conv) {
    case 'm':
        lenAt[0] = 's';
        lenAt[1] = '\0';
        out.print(piece, errorText);
        return;
    case 'n': return; // never write through a caller's pointer
    case 's':
        if (s.len[0] == 'l') {
            wchar_t const* w = v.kind == Kind::Ptr ? static_cast<wchar_t const*>(v.p) : nullptr;
            out.print(piece, w ? w : L"");
        } else {
            char const* str = v.kind == Kind::Ptr ? static_cast<char const*>(v.p) : nullptr;
            out.print(piece, str ? str : "");
        }
        return;
    case 'S': {
        wchar_t const* w = v.kind == Kind::Ptr ? static_cast<wchar_t const*>(v.p) : nullptr;
        out.print(piece, w ? w : L"");
        return;
    }
    case 'p':
        out.print(piece,
                  v.kind == Kind::Ptr ? v.p : reinterpret_cast<void const*>(static_cast<intptr_t>(asInteger(v))));
        return;
    default: break;
    }
    bool isUnsigned = std::strchr("ouxX", s.conv) != nullptr;
    switch (want) {
    case Kind::Double: out.print(piece, static_cast<double>(asFloating(v))); return;
    case Kind::LongDouble: out.print(piece, asFloating(v)); return;
    case Kind::Long:
        if (isUnsigned)
            out.print(piece, static_cast<unsigned long>(asInteger(v)));
        else
            out.print(piece, static_cast<long>(asInteger(v)));
        return;
    case Kind::LongLong:
        if (isUnsigned)
            out.print(piece, static_cast<unsigned long long>(asInteger(v)));
        else
            out.print(piece, static_cast<long long>(asInteger(v)));
        return;
    case Kind::IntMax:
        if (isUnsigned)
            out.print(piece, static_cast<uintmax_t>(asInteger(v)));
        else
            out.print(piece, asInteger(v));
        return;
    case Kind::Size: out.print(piece, static_cast<std::size_t>(asInteger(v))); return;
    case Kind::PtrDiff: out.print(piece, static_cast<ptrdiff_t>(asInteger(v))); return;
    default:
        if (isUnsigned)
            out.print(piece, static_cast<unsigned int>(asInteger(v)));
        else
            out.print(piece, static_cast<int>(asInteger(v)));
        return;
    }
}

int format(Out& out, char const* fmt, va_list ap)
{
    char const* errorText = std::strerror(errno);
    if (!fmt)
        fmt = "";

    Kind kinds[MAX_ARG + 1] = {};
    int highest = 0;
    Numbering num;
    for (char const* p = fmt; *p;) {
        if (*p++ != '%')
            continue;
        if (*p == '%') {
            ++p;
            continue;
        }
        Directive s;
        char const* end = parseDirective(p, s);
        if (!end || !assign(s, num))
            continue;
        if (s.widthArg)
            noteKind(kinds, s.widthArg, Kind::Int);
        if (s.precArg)
            noteKind(kinds, s.precArg, Kind::Int);
        if (s.valueArg)
            noteKind(kinds, s.valueArg, valueKind(s));
        int top = s.valueArg > s.widthArg ? s.valueArg : s.widthArg;
        if (s.precArg > top)
            top = s.precArg;
        if (top > highest)
            highest = top;
        p = end;
    }

    // An argument the format never names is taken as an int, the commonest
    // type, so that the ones behind it are still reached.
    Value args[MAX_ARG + 1];
    va_list cp;
    va_copy(cp, ap);
    for (int a = 1; a <= highest; ++a)
        args[a] = fetch(kinds[a], cp);
    va_end(cp);

    num = Numbering();
    char const* text = fmt;
    char const* p = fmt;
    while (*p) {
        if (*p != '%') {
            ++p;
            continue;
        }
        out.text(text, static_cast<std::size_t>(p - text));
        ++p;
        if (*p == '%') {
            out.text("%", 1);
            text = ++p;
            continue;
        }
        Directive s;
        char const* end = parseDirective(p, s);
        if (!end || !assign(s, num)) {
            text = p - 1; // written as it stands
            continue;
        }
        writeDirective(out, s, args, errorText);
        text = p = end;
    }
    out.text(text, static_cast<std::size_t>(p - text));
    out.finish();
    return static_cast<int>(out.pos);
}

} // namespace

int nrvvsprintf(char* out, char const* format, va_list args)
{
    Out o{out, 0, false};
    return ::format(o, format, args);
}

int nrvsprintf(char* out, char const* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = nrvvsprintf(out, format, ap);
    va_end(ap);
    return n;
}

int nrvvsnprintf(char* out, std::size_t size, char const* format, va_list args)
{
    Out o{out, size, true};
    return ::format(o, format, args);
}

int nrvsnprintf(char* out, std::size_t size, char const* format, ...)
{
    va_list ap;
    va_start(ap, format);
    int n = nrvvsnprintf(out, size, format, ap);
    va_end(ap);
    return n;
}
