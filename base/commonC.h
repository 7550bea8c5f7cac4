// Plain-function wrappers of comSystem (kind 8) for callers that want no object.
#ifndef XRB_BASE_COMMONC_H
#define XRB_BASE_COMMONC_H

#include "base/common.h"

void tcTime(tcTime_t* stamp);
double tcDifftime(tcTime_t first, tcTime_t second);
// These two are kept for completeness of the interface; the client does not call them.
int tcRemoveDirectory(char const* path);
void tcAppendMsg(char* dest, char const* src);

#endif
