// Running one build script and judging its return code.
#ifndef XRB_BUILDSERVER_RUNNER_H
#define XRB_BUILDSERVER_RUNNER_H

#include <string>
#include <vector>

struct BuildRun {
    std::string script;                  // executable to run
    std::string folder;                  // its working folder
    std::string parameters;              // blank-separated arguments
    std::vector<std::string> variables;  // name=value, blanks written as %20
    std::string stdoutPath;
    std::string stderrPath;
    int timeLimitSeconds = 0;            // 0: no limit
};

// Runs the script and judges its return code against goodRc with cond
// ("EQ", "NE", "GE", "LE", "LT", "GT").  verdict gets the builder message.
bool runBuild(BuildRun const& run, int goodRc, std::string const& cond, std::string& verdict);

// True when the return code passes the condition; unknown conditions fail.
bool judge(int rc, int goodRc, std::string const& cond);

// A script name without folders.
bool isPlainName(std::string const& name);

// The path, relative to the work folder, of a travelling name: suffix
// dropped, "%20" as blanks, backslashes as slashes.  False when it would
// leave the folder.
bool workPath(std::string const& wireName, std::string& local);

#endif
