#pragma once
// Helpers of the benchmark programs: running a peer program (or one of
// ours) to completion, where tamboro-cli was built, and a scratch folder for
// the files a benchmark reads and writes.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/TempFiles.h"

extern char** environ;

namespace tamboro::bench {

// Runs `args` (args[0] searched on PATH) with stdout and stderr on
// /dev/null and waits for it. Returns its exit status, or -1 when it could
// not be started or did not exit normally.
inline int Spawn(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// CPU seconds (user and system) used so far by the finished children of
// this process: a spawned peer's own work, which the benchmark's CPU time
// does not count. On a loaded machine it compares better than real time.
inline double ChildCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// tamboro-cli of the build tree this benchmark program belongs to.
inline std::string CliPath() {
    const auto self = std::filesystem::read_symlink("/proc/self/exe");
    return (self.parent_path().parent_path() / "cli" / "tamboro-cli").string();
}

// A folder `name` in the temporary folder, made by the constructor and
// removed with its content by the destructor.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name)
        : m_path(tamboro::platform::TempFolder() + "/" + name) {
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

}  // namespace tamboro::bench
