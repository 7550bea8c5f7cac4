// Storing or fetching the build password through the security manager,
// the last step of the command line.
#ifndef XRB_CLIENT_CREDENTIALS_H
#define XRB_CLIENT_CREDENTIALS_H

void processCredentials();

// Says at -V that a password given with -ap was not stored, because no
// manager could be started or reached.  Called once the build's log has
// been cleared, so that the warning stays in it.
void warnIfPasswordNotStored();

// Overwrites a password argument in place with asterisks, so that the
// process list, which every local user can read, no longer shows it.
void hideArgument(char* value);

#endif
