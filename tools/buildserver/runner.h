// Running one build script and judging its return code.
#ifndef XRB_BUILDSERVER_RUNNER_H
#define XRB_BUILDSERVER_RUNNER_H

#include <string>
#include <vector>

struct BuildRun {
    std::string script;            // executable to run
    std::string folder;            // its working folder
    std::vector<std::string> args; // its arguments, after its own name
    std::vector<std::string> env;  // NAME=value, set in this order
    std::string stdoutPath;
    std::string stderrPath;
    int timeLimitSeconds = 0; // 0: no limit
    int clientSocket = -1;    // watched: a client that leaves stops the build
};

struct RunResult {
    int rc = -1;    // exit code; -1 when it did not exit
    int signal = 0; // the signal that ended it
    bool timedOut = false;
    bool clientLeft = false;
    bool started = true;
};

// Runs the script in a process group of its own and waits for it.  When it
// ends, whatever it left running in its group is ended too.
RunResult runBuild(BuildRun const& run);

// The builder message for a result judged against goodRc with cond, one
// line per finding, "XRBBLDS: " in front of each; missing names the output
// files that were not produced.  good is set to the verdict.
std::string verdictText(RunResult const& result, int goodRc, std::string const& cond,
                        std::vector<std::string> const& missing, bool& good);

// True when the return code passes the condition; unknown conditions fail.
bool judge(int rc, int goodRc, std::string const& cond);

// A script name without folders.
bool isPlainName(std::string const& name);

// The path, relative to the work folder, of a travelling name: suffix
// dropped, "%20" as blanks, backslashes as slashes, leading slashes
// dropped.  False when it would leave the folder.
bool workPath(std::string const& wireName, std::string& local);

// "%20" as blanks.
std::string decodeBlanks(std::string text);

// Ends the process group of the running script at once; safe in a signal
// handler.
void stopRunningScript();

#endif
