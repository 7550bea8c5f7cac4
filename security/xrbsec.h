// Client of the local security manager, which keeps build passwords
// between runs.
#ifndef XRB_SECURITY_XRBSEC_H
#define XRB_SECURITY_XRBSEC_H

#include "base/tcstring.h"

// One request, one reply; "0" when the manager cannot be reached.
TCString securityMgrCall(TCString request);

// The manager's port text: XRBSEC_PORT, or "22825" when unset or empty.
TCString securityMgrPort();

#endif
