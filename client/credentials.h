// Storing or fetching the build password through the security manager,
// the last step of the command line.
#ifndef XRB_CLIENT_CREDENTIALS_H
#define XRB_CLIENT_CREDENTIALS_H

void processCredentials();

#endif
