#pragma once

// Child processes and a private JACK server on the dummy driver (no sound card needed), for the
// tests that talk to a real server and real clients. POSIX only.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace velomire::testing {

// Whether `tool` is an executable file in one of PATH's directories.
inline bool OnPath(const std::string& tool) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && access((dir + "/" + tool).c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// A child process with its output in a log file; stopped by its pid and reaped when it goes.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& args, const std::filesystem::path& log) {
        Spawn(args, log);
    }
    ~ChildProcess() { Stop(SIGTERM); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Stops the process (if it runs) and starts it again with other arguments.
    void Restart(const std::vector<std::string>& args, const std::filesystem::path& log) {
        Stop(SIGTERM);
        Spawn(args, log);
    }

    // False once the process has ended; it is reaped then.
    bool Running() {
        if (pid > 0 && waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
        }
        return pid > 0;
    }
    bool ExitedCleanly() const {
        return pid == -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    void Signal(int signal) const {
        if (pid > 0) {
            kill(pid, signal);
        }
    }
    // Sends `signal` (to a stopped process too), waits up to 10 s for the end, then kills it,
    // saying so. A JACK server killed in the middle of its shutdown can leave JACK's metadata
    // database (/dev/shm/jack_db-UID, one for all servers of the user) locked, and every JACK
    // server or client started after it then waits at its start: the grace is long enough for a
    // server on a loaded machine, after it was frozen too.
    void Stop(int signal) {
        if (!Running()) {
            return;
        }
        kill(pid, SIGCONT);
        kill(pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (Running() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (Running()) {
            std::fprintf(stderr, "process %d did not end within 10 s of signal %d: killed\n",
                         static_cast<int>(pid), signal);
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            pid = -1;
        }
    }

private:
    void Spawn(const std::vector<std::string>& args, const std::filesystem::path& log) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }

    pid_t pid = -1;
    int status = 0;
};

// A JACK server on the dummy driver, made the default server of this process's JACK clients and
// of its children. Give it a fixed name: JACK keeps at most 8 server names and frees a dead
// server's entry only when a server of the same name starts again (the test programs that start
// one never run together: CTest's "jack" lock; the end-to-end scripts have names of their own).
// When it goes it is stopped, and the semaphores and shared memory a server ended under its
// clients leaves behind are removed.
class JackServer {
public:
    // Real-time scheduling (-R) where the machine allows it, which makes xruns rare but not
    // absent; WaitUntilUp falls back to -r when a server so started does not come up.
    JackServer(const std::string& name, const std::vector<std::string>& dummyOptions,
               const std::filesystem::path& log)
        : name(name), dummyOptions(dummyOptions), log(log),
          process(Arguments(name, "-R", dummyOptions), log) {}
    ~JackServer() {
        process.Stop(SIGTERM);
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ignored)) {
            if (entry.path().filename().string().find("_" + name + "_") != std::string::npos) {
                std::filesystem::remove(entry.path(), ignored);
            }
        }
    }
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;

    // Whether the server answers its clients within `limit`.
    bool WaitUntilUp(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        bool fellBack = false;
        // jack_lsp itself is bounded: a server stuck in its start (a lock left by a killed server)
        // would hold it, and the test with it, forever.
        while (std::system("timeout 5 jack_lsp > /dev/null 2>&1") != 0) {
            if (!fellBack && !process.Running()) {
                fellBack = true;
                process.Restart(Arguments(name, "-r", dummyOptions), log);
            }
            if (!process.Running() || std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

    const std::string name;
    const std::vector<std::string> dummyOptions;
    const std::filesystem::path log;
    ChildProcess process;

private:
    static std::vector<std::string> Arguments(const std::string& name, const char* scheduling,
                                              const std::vector<std::string>& dummyOptions) {
        setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
        std::vector<std::string> args = {"jackd", "-n", name, scheduling, "-d", "dummy"};
        args.insert(args.end(), dummyOptions.begin(), dummyOptions.end());
        return args;
    }
};

} // namespace velomire::testing
