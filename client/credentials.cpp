// Stores the build password in the security manager, or fetches the stored
// one, keyed by user id and build server host.
#include "client/credentials.h"

#include "base/tcexp.h"
#include "base/tcstring.h"
#include "client/settings.h"
#include "security/xrbsec.h"
#include "trace/fhgtrace.h"

namespace {

const char kGuestUser[] = "GuestUser";

// A manager we cannot talk to never makes the command line fail.
bool askManager(TCString const& request, TCString& reply)
{
    XRB_TRACE_AT("xrbbldc", "$$$ calling sec manager");
    try {
        reply = securityMgrCall(request);
        return true;
    } catch (TCException* e) {
        Error("%s", e->getMessage());
        delete e;
        return false;
    }
}

} // namespace

void processCredentials()
{
    XRB_TRACE_AT("xrbbldc", "$$$ calling sec manager? ");
    if (buildUserid == kGuestUser)
        return;

    TCString reply;
    if (buildPassword.length() > 0) {
        TCString store = TCString("ADDUSER ") + buildUserid + " " + serverHostName + " " + buildPassword;
        askManager(store, reply);
        return;
    }

    TCString fetch = TCString("GETUSER ") + buildUserid + " " + serverHostName;
    if (askManager(fetch, reply) && reply.word(1) == "1")
        buildPassword = reply.word(2);
}
