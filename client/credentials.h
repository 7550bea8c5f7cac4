// Storing or fetching the build password through the security manager,
// the last step of the command line.
#ifndef XRB_CLIENT_CREDENTIALS_H
#define XRB_CLIENT_CREDENTIALS_H

void processCredentials();

// Overwrites a password argument in place with asterisks, so that the
// process list, which every local user can read, no longer shows it.
void hideArgument(char* value);

#endif
