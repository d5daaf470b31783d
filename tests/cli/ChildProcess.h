#pragma once
// Runs tamboro-cli as a child process with exact control over its
// environment, its standard streams and the moment it dies: what the crash
// and full-disk tests need and a shell command line cannot give.
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tamboro::cli::test {

const std::string& CliPath();

struct ChildOptions {
    std::vector<std::string> args;  // after the program name
    std::vector<std::string> env;   // NAME=value added to (or replacing in) ours
    std::string workDir;            // empty: ours
    int stdinFd = -1;               // -1: /dev/null
    int stdoutFd = -1;              // -1: a file `outFile`, else this descriptor
    std::string outFile;            // standard output's file when stdoutFd is -1
    std::string errFile;            // standard error goes here
    // Runs in the child after fork, before exec (limits, signals).
    std::function<void()> beforeExec;
};

// Starts the child; returns its pid (or -1).
pid_t Start(const ChildOptions& options);

struct ChildEnd {
    bool exited = false;   // exit status in `status`
    bool stopped = false;  // stopped itself (SIGSTOP): the caller kills it
    bool signaled = false;
    int status = -1;  // exit status or signal number
};

// Waits for the child to exit, die or stop, at most `seconds` seconds (then
// it is killed and reported as signaled with SIGKILL).
ChildEnd Wait(pid_t pid, double seconds = 30.0);

// Kills a stopped or running child with SIGKILL and reaps it.
void Kill(pid_t pid);

// Runs to the end: exit status, or -1 when it did not exit normally.
int Run(const ChildOptions& options, double seconds = 30.0);

// The names in a folder (hidden ones too), sorted.
std::vector<std::string> ListFolder(const std::string& path);

}  // namespace tamboro::cli::test
