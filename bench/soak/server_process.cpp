#include "server_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace soak {

cServerProcess::cServerProcess(std::string program, std::vector<std::string> arguments, std::string logFile)
    : mProgram(std::move(program)), mArguments(std::move(arguments)), mLogFile(std::move(logFile)) {}

cServerProcess::~cServerProcess() { Kill(); }

bool cServerProcess::Start(std::string* error) {
    Kill();
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        *error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, mLogFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(mProgram.c_str()));
    for (std::string& argument : mArguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const int result = posix_spawn(&mPid, mProgram.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[0]);
    if (result != 0) {
        close(pipeFds[1]);
        mPid = -1;
        *error = mProgram + ": " + std::strerror(result);
        return false;
    }
    mCommandFd = pipeFds[1];
    return true;
}

void cServerProcess::Kill() {
    if (mCommandFd >= 0) close(mCommandFd);
    mCommandFd = -1;
    if (mPid <= 0) return;
    kill(mPid, SIGKILL);
    int status = 0;
    while (waitpid(mPid, &status, 0) < 0 && errno == EINTR) {
    }
    mPid = -1;
}

bool cServerProcess::Command(const std::string& line) {
    if (mCommandFd < 0) return false;
    const std::string text = line + "\n";
    return write(mCommandFd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

}  // namespace soak
