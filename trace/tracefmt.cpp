#include "trace/tracefmt.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

constexpr int MAX_ARGS = 50;

struct Sink {
    char* buf;
    size_t cap;
    size_t len;

    size_t room() const { return cap - len; }

    void put(char const* s, size_t n)
    {
        if (room() <= 1)
            return;
        if (n > room() - 1)
            n = room() - 1;
        std::memcpy(buf + len, s, n);
        len += n;
        buf[len] = '\0';
    }

    void advance(int written)
    {
        if (written < 0)
            return;
        size_t n = static_cast<size_t>(written);
        len += n < room() ? n : room() - 1;
    }
};

enum class Len { none, hh, h, l, ll, L, j, z, t };

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif

template <typename T>
void emit(Sink& out, char const* directive, T value)
{
    if (out.room() > 1)
        out.advance(std::snprintf(out.buf + out.len, out.room(), directive, value));
}

#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

// Steps over a width or a precision: "*" (true) or a run of digits (false).
bool skipAmount(char const*& q)
{
    if (*q == '*') {
        ++q;
        return true;
    }
    while (*q >= '0' && *q <= '9')
        ++q;
    return false;
}

} // namespace

size_t traceFormatChecked(char* buffer, size_t cap, char const* format, va_list args)
{
    if (cap == 0)
        return 0;
    Sink out{buffer, cap, 0};
    buffer[0] = '\0';
    int taken = 0;
    char const* p = format;
    while (*p != '\0') {
        char const* pct = std::strchr(p, '%');
        if (pct == nullptr) {
            out.put(p, std::strlen(p));
            break;
        }
        out.put(p, static_cast<size_t>(pct - p));
        char const* q = pct + 1;
        if (*q == '%') {
            out.put("%", 1);
            p = q + 1;
            continue;
        }

        // Split the directive; '*' widths are filled in with their values.
        char const* flagsStart = q;
        while (*q != '\0' && std::strchr("-+ #0'", *q) != nullptr)
            ++q;
        size_t flagsLen = static_cast<size_t>(q - flagsStart);
        bool starWidth = false, starPrec = false, hasPrec = false;
        char const* widthStart = q;
        starWidth = skipAmount(q);
        size_t widthLen = static_cast<size_t>(q - widthStart);
        char const* precStart = q;
        if (*q == '.') {
            hasPrec = true;
            ++q;
            starPrec = skipAmount(q);
        }
        size_t precLen = static_cast<size_t>(q - precStart);
        Len len = Len::none;
        char const* lenStart = q;
        if (q[0] == 'h' && q[1] == 'h') {
            len = Len::hh;
            q += 2;
        } else if (q[0] == 'l' && q[1] == 'l') {
            len = Len::ll;
            q += 2;
        } else if (*q == 'h') {
            len = Len::h;
            ++q;
        } else if (*q == 'l') {
            len = Len::l;
            ++q;
        } else if (*q == 'q') {
            len = Len::ll;
            ++q;
        } else if (*q == 'L') {
            len = Len::L;
            ++q;
        } else if (*q == 'j') {
            len = Len::j;
            ++q;
        } else if (*q == 'z') {
            len = Len::z;
            ++q;
        } else if (*q == 't') {
            len = Len::t;
            ++q;
        }
        size_t lenLen = static_cast<size_t>(q - lenStart);
        char conv = *q;
        char const* end = conv != '\0' ? q + 1 : q;
        bool known = conv != '\0' && std::strchr("sdiouxXcpnfeEgGaA", conv) != nullptr;
        int needed = (starWidth ? 1 : 0) + (starPrec ? 1 : 0) + 1;
        if (!known || taken + needed > MAX_ARGS || flagsLen + widthLen + precLen + lenLen > 40) {
            // Nothing is fetched for a directive that is not understood.
            out.put(pct, static_cast<size_t>(end - pct));
            p = end;
            continue;
        }
        taken += needed;

        char directive[80];
        size_t sl = 0;
        directive[sl++] = '%';
        std::memcpy(directive + sl, flagsStart, flagsLen);
        sl += flagsLen;
        if (starWidth)
            sl += static_cast<size_t>(std::snprintf(directive + sl, 16, "%d", va_arg(args, int)));
        else {
            std::memcpy(directive + sl, widthStart, widthLen);
            sl += widthLen;
        }
        if (hasPrec) {
            if (starPrec) {
                int prec = va_arg(args, int);
                sl += static_cast<size_t>(std::snprintf(directive + sl, 16, ".%d", prec < 0 ? 0 : prec));
            } else {
                std::memcpy(directive + sl, precStart, precLen);
                sl += precLen;
            }
        }
        char* lenAt = directive + sl;
        std::memcpy(directive + sl, lenStart, lenLen);
        sl += lenLen;
        directive[sl++] = conv;
        directive[sl] = '\0';

        switch (conv) {
        case 'f':
        case 'e':
        case 'E':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (len == Len::L)
                (void)va_arg(args, long double);
            else
                (void)va_arg(args, double);
            out.put("%", 1);
            break;
        case 's':
            if (len == Len::l) {
                wchar_t const* ws = va_arg(args, wchar_t const*);
                if (ws == nullptr) {
                    std::memmove(lenAt, lenAt + 1, std::strlen(lenAt));
                    emit(out, directive, "<bad pointer>");
                } else {
                    emit(out, directive, ws);
                }
            } else {
                char const* s = va_arg(args, char const*);
                emit(out, directive, s != nullptr ? s : "<bad pointer>");
            }
            break;
        case 'd':
        case 'i':
            switch (len) {
            case Len::l: emit(out, directive, va_arg(args, long)); break;
            case Len::ll: emit(out, directive, va_arg(args, long long)); break;
            case Len::j: emit(out, directive, va_arg(args, intmax_t)); break;
            case Len::z: emit(out, directive, va_arg(args, ptrdiff_t)); break;
            case Len::t: emit(out, directive, va_arg(args, ptrdiff_t)); break;
            default: emit(out, directive, va_arg(args, int)); break;
            }
            break;
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            switch (len) {
            case Len::l: emit(out, directive, va_arg(args, unsigned long)); break;
            case Len::ll: emit(out, directive, va_arg(args, unsigned long long)); break;
            case Len::j: emit(out, directive, va_arg(args, uintmax_t)); break;
            case Len::z: emit(out, directive, va_arg(args, size_t)); break;
            case Len::t: emit(out, directive, va_arg(args, size_t)); break;
            default: emit(out, directive, va_arg(args, unsigned int)); break;
            }
            break;
        case 'c':
            if (len == Len::l)
                emit(out, directive, static_cast<wint_t>(va_arg(args, unsigned int)));
            else
                emit(out, directive, va_arg(args, int));
            break;
        case 'p': emit(out, directive, va_arg(args, void*)); break;
        case 'n':
            (void)va_arg(args, void*); // never written through
            break;
        default: break;
        }
        p = end;
    }
    return out.len;
}
