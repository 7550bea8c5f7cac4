// The command line: a state machine over the arguments that fills the
// client settings.
#ifndef XRB_CLIENT_CMDLINE_H
#define XRB_CLIENT_CMDLINE_H

// Returns 0 when the command line is usable, 1 after any error (reported,
// followed by the usage text).  For -version it ends the process with 0.
int processCmdLine(int argc, char** argv);

// Code of one flag (0 for anything unknown); sets the build option bits of
// the -l forms.
int ValidateFlag(char const* arg);

// The settings dump of the highest verbosity, on standard output only.
void dumpVars();

// Parser state, process-wide: 1 flag expected, 2 the one value expected,
// 3 the first list value expected, 4 inside a list, 0 after an error.
extern int state;
extern int nextflag;
extern char* nextarg;
extern char* prevarg;

// Puts the parser back to its start-up state, for a second parse.
void resetCmdLine();

#endif
