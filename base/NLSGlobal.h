// Scanning, comparing, trimming and counting texts in the locale's multibyte
// encoding, stepping over whole characters where it matters.
#ifndef XRB_BASE_NLSGLOBAL_H
#define XRB_BASE_NLSGLOBAL_H

#include <cwchar>

// Non-zero: single-byte mode (byte compares).  -1 until mcinit has run.
extern int singleByteCP;
// Where mcstrtok resumes.
extern char* tokptr;

// Kept for completeness of the interface; the client does not call it.
// Sets the locale from the environment; a locale that cannot be set ends the
// process with status 101 after logging XRBE-042.
void mcinit();

// Kept for completeness of the interface: of the functions from here to
// donttouch the client calls only mcisspace, mcstrchr and mcstrrchr.
char* mbsadvance(char const* p);
int mclen(char const* text);
int mcisspace(char const* text);
char* mcstrchr(char const* text, int c);
char* mcstrrchr(char const* text, int c);
char* mcstristr(char const* text, char const* pattern);
char* mcstrtok(char* text, char const* delimiters);
size_t mcstrcspn(char const* text, char const* set);
size_t mcstrspn(char const* text, char const* set);
char* mcFindSpace(char const* text);
char* mcFindQuote(char const* text);
char* mcSkipSpaces(char const* text);
void mcStripSpaces(char* text, unsigned char flags);
void mcStripChars(char* text, char c, unsigned char flags);
int mcstrch(char const* a, char const* b);
int mcstrcmp(char const* a, char const* b);
int mcstricmp(char const* a, char const* b);
char* allUpper(char* text);
char* allLower(char* text);
size_t mcwidth(char const* text);
char* mcstrcat(char* dest, char const* src);
char* mcstrcpy(char* dest, char const* src);
int countInstancesOfCharacter(char const* text, char c);
int countInstancesOfCharacterNoDups(char const* text, char c);
void donttouch();

// Within this program these measure the bytes of a wide character's
// multibyte form, not display columns.
extern "C" int wcwidth(wchar_t wc) noexcept;
extern "C" int wcswidth(wchar_t const* ws, size_t n) noexcept;

#endif
