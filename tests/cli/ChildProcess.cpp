#include "tests/cli/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <dirent.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace tamboro::cli::test {

const std::string& CliPath() {
    static const std::string path = std::string(TAMBORO_BINARY_DIR) + "/cli/tamboro-cli";
    return path;
}

pid_t Start(const ChildOptions& options) {
    // Everything the child needs is made before fork.
    std::vector<std::string> args = {CliPath()};
    args.insert(args.end(), options.args.begin(), options.args.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& mine : options.env)
            replaced = replaced || mine.substr(0, mine.find('=')) == name;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), options.env.begin(), options.env.end());
    std::vector<char*> envp;
    for (auto& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Child.
    if (!options.workDir.empty() && ::chdir(options.workDir.c_str()) != 0) ::_exit(126);
    const int in = options.stdinFd >= 0 ? options.stdinFd : ::open("/dev/null", O_RDONLY);
    const int out = options.stdoutFd >= 0
                        ? options.stdoutFd
                        : ::open(options.outFile.empty() ? "/dev/null" : options.outFile.c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(options.errFile.empty() ? "/dev/null" : options.errFile.c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (options.beforeExec) options.beforeExec();
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
}

ChildEnd Wait(pid_t pid, double seconds) {
    ChildEnd end;
    const int steps = static_cast<int>(seconds * 200);
    for (int i = 0; i <= steps; ++i) {
        int status = 0;
        const pid_t got = ::waitpid(pid, &status, WNOHANG | WUNTRACED);
        if (got == pid) {
            if (WIFSTOPPED(status)) {
                end.stopped = true;
                end.status = WSTOPSIG(status);
            } else if (WIFEXITED(status)) {
                end.exited = true;
                end.status = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                end.signaled = true;
                end.status = WTERMSIG(status);
            }
            return end;
        }
        const timespec pause{0, 5000000};
        ::nanosleep(&pause, nullptr);
    }
    Kill(pid);
    end.signaled = true;
    end.status = SIGKILL;
    return end;
}

void Kill(pid_t pid) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

int Run(const ChildOptions& options, double seconds) {
    const pid_t pid = Start(options);
    if (pid < 0) return -1;
    const ChildEnd end = Wait(pid, seconds);
    if (end.stopped) {
        Kill(pid);
        return -1;
    }
    return end.exited ? end.status : -1;
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tamboro::cli::test
