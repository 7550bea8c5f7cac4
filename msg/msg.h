// The built-in message table and message flowing.  Every user-visible text
// of the client is a numbered entry here.
#ifndef XRB_MSG_MSG_H
#define XRB_MSG_MSG_H

#include <cstdarg>

#include "msg/msgids.h"

// Number of entries of the built-in table (1-based message numbers).
constexpr int MSG_COUNT = 120;
static_assert(MSG_PROGRESS_LINE == MSG_COUNT, "every entry of the table has its name");

// The table itself: message n is entry n - 1.
extern char const* const msgdefault[MSG_COUNT];

// The variadic bodies take the number as an int: va_start wants a last
// named parameter that argument promotion leaves as it is, which no enum is.
namespace msgcore {
char* get(int n, ...);
int load(char* dest, int n, ...);
int rssLoad(char* catalog, char* dest, int n, ...);
int reLoad(char* dest, int n, ...);
} // namespace msgcore

// Formatted and flowed; static area.
template <typename... Args>
char* msgGet(MsgId n, Args... args)
{
    return msgcore::get(n, args...);
}
char* msgFormat(MsgId n); // raw format text of message n
// The five below are kept for completeness of the interface; the client does not call them.
char* msgRSSFormat(char* catalog, MsgId n);
template <typename... Args>
int msgLoad(char* dest, MsgId n, Args... args)
{
    return msgcore::load(dest, n, args...);
}
int vmsgLoad(char* dest, MsgId n, va_list args);
template <typename... Args>
int msgRSSLoad(char* catalog, char* dest, MsgId n, Args... args)
{
    return msgcore::rssLoad(catalog, dest, n, args...);
}
template <typename... Args>
int msgReLoad(char* dest, MsgId n, Args... args)
{
    return msgcore::reLoad(dest, n, args...);
}
char* msgFlow(char* text);
// True for a text that msgGet flows: 12 bytes or more, newline, 8-byte id, newline.
bool msgIsFlowCandidate(char const* text);
// The three below are kept for completeness of the interface; the client does not call them.
void msgInit();
int msgClose();
int lang2int(char const* code);

#endif
