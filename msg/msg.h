// The built-in message table and message flowing.  Every user-visible text
// of the client is a numbered entry here.
#ifndef XRB_MSG_MSG_H
#define XRB_MSG_MSG_H

#include <cstdarg>

// Number of entries of the built-in table (1-based message numbers).
constexpr int MSG_COUNT = 120;

// The table itself: message n is entry n - 1.
extern char const* const msgdefault[MSG_COUNT];

char* msgGet(int n, ...);               // formatted and flowed; static area
char* msgFormat(int n);                 // raw format text of message n
// The five below are kept for completeness of the interface; the client does not call them.
char* msgRSSFormat(char* catalog, int n);
int msgLoad(char* dest, int n, ...);
int vmsgLoad(char* dest, int n, va_list args);
int msgRSSLoad(char* catalog, char* dest, int n, ...);
int msgReLoad(char* dest, int n, ...);
char* msgFlow(char* text);
// True for a text that msgGet flows: 12 bytes or more, newline, 8-byte id, newline.
bool msgIsFlowCandidate(char const* text);
// The three below are kept for completeness of the interface; the client does not call them.
void msgInit();
int msgClose();
int lang2int(const char* code);

#endif
