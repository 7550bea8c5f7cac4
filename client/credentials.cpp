// Stores the build password in the security manager, or fetches the stored
// one, keyed by user id and build server host.
#include "client/credentials.h"

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "client/settings.h"
#include "msg/msg.h"
#include "security/xrbsec.h"
#include "trace/fhgtrace.h"

namespace {

char const GUEST_USER[] = "GuestUser";
bool passwordNotStored = false;

// A manager we cannot talk to never makes the command line fail.  Returns
// false after a failure already reported; answered tells whether the
// manager replied.
bool askManager(TCString const& request, TCString& reply, bool& answered)
{
    XRB_TRACE_AT("xrbbldc", "$$$ calling sec manager");
    try {
        reply = securityMgrCall(request, &answered);
        return true;
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
        return false;
    }
}

} // namespace

void hideArgument(char* value)
{
    for (char* p = value; *p != '\0'; ++p)
        *p = '*';
}

void warnIfPasswordNotStored()
{
    if (passwordNotStored && verbosity != 0)
        _talk("%s", msgGet(XRBW_007_PASSWORD_NOT_STORED, buildUserid.getdata()));
    passwordNotStored = false;
}

void processCredentials()
{
    XRB_TRACE_AT("xrbbldc", "$$$ calling sec manager? ");
    if (buildUserid == GUEST_USER)
        return;

    TCString reply;
    bool answered = false;
    if (buildPassword.length() > 0) {
        TCString store = TCString("ADDUSER ") + buildUserid + " " + serverHostName + " " + buildPassword;
        // The user expects the password kept for later runs: say so when it
        // was not, once the build's log has been started.
        passwordNotStored = askManager(store, reply, answered) && !answered;
        return;
    }

    TCString fetch = TCString("GETUSER ") + buildUserid + " " + serverHostName;
    if (askManager(fetch, reply, answered) && reply.word(1) == "1")
        buildPassword = reply.word(2);
}
