// A child program that can never outlive this process. Windows: the child is created
// suspended, put into a job object that kills its processes when its last handle
// closes, and then resumed; the job is kept across relaunches. Linux: the child asks
// the kernel for SIGKILL when the thread that started it ends, and Terminate/Close
// kill and reap it. Start, watch and relaunch a child from one thread.
#pragma once

#include <cstdint>
#include <string>

namespace halvex::platform {

class cChildProcess {
public:
    // The step of Launch that failed.
    enum class eFailure { None, CreateJob, Spawn, AssignToJob, SetJobLimits, Resume };

    cChildProcess() = default;
    ~cChildProcess() { Close(); }
    cChildProcess(const cChildProcess&) = delete;
    cChildProcess& operator=(const cChildProcess&) = delete;

    // The command line a launch uses: the executable's path, quoted where the system
    // would otherwise split it at a space.
    static std::string CommandLineFor(const std::string& executablePath);

    // Starts `executablePath` without arguments, inheriting environment and working
    // folder but no handles. On failure a child that was created is terminated.
    bool Launch(const std::string& executablePath);
    // Non-blocking: true once the child has ended (and was reaped), or when none runs.
    bool HasEnded();
    // Ends the running child and reaps it; the job (Windows) stays for the next launch.
    void Terminate();
    // Ends the child and releases everything, the job included.
    void Close();

    bool Running() const { return mRunning; }
    int64_t ProcessId() const { return mProcessId; }
    eFailure LastFailure() const { return mFailure; }
    int LastError() const { return mError; }

private:
    bool Fail(eFailure failure, int error);

    bool mRunning = false;
    int64_t mProcessId = 0;
    eFailure mFailure = eFailure::None;
    int mError = 0;
#if defined(_WIN32)
    void* mJob = nullptr;
    void* mProcess = nullptr;
#endif
};

// The file name of a program on this platform ("name.exe" on Windows).
std::string ExecutableFileName(const std::string& baseName);

}  // namespace halvex::platform
