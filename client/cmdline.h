// The command line: a state machine over the arguments that fills the
// client settings.
#ifndef XRB_CLIENT_CMDLINE_H
#define XRB_CLIENT_CMDLINE_H

int processCmdLine(int argc, char** argv);
int ValidateFlag(char const* arg);
void dumpVars();

#endif
