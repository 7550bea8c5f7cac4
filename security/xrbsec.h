// Client of the local security manager, which keeps build passwords
// between runs.
#ifndef XRB_SECURITY_XRBSEC_H
#define XRB_SECURITY_XRBSEC_H

#include "base/tcstring.h"

// One request, one reply; "0" when no manager of this user can be reached or
// its whole reply does not arrive within 10 seconds.  answered, when given,
// tells whether the reply came from the manager.
TCString securityMgrCall(TCString request, bool* answered = nullptr);

// The manager's port text: XRBSEC_PORT, or "22825" when unset or empty.
TCString securityMgrPort();

// The shell command that starts the manager in the background and prints
// its process id; empty when CLASSPATH is unset and no trusted jar is found.
TCString securityMgrStartCommand();

#endif
