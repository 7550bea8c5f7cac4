// The trace facility.  Every unit traces in one form:
//   XRB_TRACE_AT("unitname", "format %s", value);
// which tests TRACEFLAG, sets TRACELINE and TRACEFILENAME, then calls FHGTRACE.
#ifndef XRB_TRACE_FHGTRACE_H
#define XRB_TRACE_FHGTRACE_H

extern int TRACEFLAG; // 2 before initialisation, then 1 (on) or 0 (off)
extern int TRACELINE;
extern char* TRACEFILENAME;

void FHGTRACE(char const* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Kept for completeness of the interface; the client does not call it.
void setTrace(void const* p);
void traceInit();

// 1 when records of the unit are selected by XRB_TRACE, else 0.
int checkTrace(char const* unit);
// 0 when the unit name (after its last '/') matches the pattern, else 1.
int checkFileSpecMatch(char const* name, char const* pattern);

#define XRB_TRACE_AT(unit, ...)                                                                                        \
    do {                                                                                                               \
        if (TRACEFLAG) {                                                                                               \
            TRACELINE = __LINE__;                                                                                      \
            TRACEFILENAME = const_cast<char*>(unit);                                                                   \
            FHGTRACE(__VA_ARGS__);                                                                                     \
        }                                                                                                              \
    } while (0)

#endif
