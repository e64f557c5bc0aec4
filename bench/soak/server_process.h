// corvane_sim as a child process: started, told faults through its standard
// input, and killed by its process id, as a soak needs it. POSIX only.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace soak {

class cServerProcess {
public:
    cServerProcess(std::string program, std::vector<std::string> arguments, std::string logFile);
    ~cServerProcess();  // kills a running child
    cServerProcess(const cServerProcess&) = delete;
    cServerProcess& operator=(const cServerProcess&) = delete;

    // False with a reason when the child cannot be started.
    bool Start(std::string* error);
    // SIGKILL by process id, then reaps it.
    void Kill();
    bool Running() const { return mPid > 0; }
    // One fault command line (corvane_sim --control-stdin).
    bool Command(const std::string& line);

private:
    std::string mProgram;
    std::vector<std::string> mArguments;
    std::string mLogFile;
    pid_t mPid = -1;
    int mCommandFd = -1;
};

}  // namespace soak
