#include "platform/child_process.h"

#include "utf8_win32.h"

#include <windows.h>

#include <vector>

namespace halvex::platform {

std::string ExecutableFileName(const std::string& baseName) { return baseName + ".exe"; }

std::string cChildProcess::CommandLineFor(const std::string& executablePath) {
    // Unquoted, "C:\Program Files\..." would be taken as the program "C:\Program".
    return "\"" + executablePath + "\"";
}

bool cChildProcess::Fail(eFailure failure, int error) {
    mFailure = failure;
    mError = error;
    return false;
}

bool cChildProcess::Launch(const std::string& executablePath) {
    Terminate();
    if (!mJob) {
        mJob = CreateJobObjectW(nullptr, nullptr);
        if (!mJob) return Fail(eFailure::CreateJob, static_cast<int>(GetLastError()));
    }
    std::wstring commandLine = WideFromUtf8(CommandLineFor(executablePath));
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &info))
        return Fail(eFailure::Spawn, static_cast<int>(GetLastError()));
    mProcess = info.hProcess;
    mProcessId = info.dwProcessId;
    mRunning = true;
    eFailure failure = eFailure::None;
    if (!AssignProcessToJobObject(mJob, mProcess)) {
        failure = eFailure::AssignToJob;
    } else {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(mJob, JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
            failure = eFailure::SetJobLimits;
        else if (ResumeThread(info.hThread) != 1)
            failure = eFailure::Resume;
    }
    const int error = static_cast<int>(GetLastError());
    CloseHandle(info.hThread);
    if (failure != eFailure::None) {
        Terminate();
        return Fail(failure, error);
    }
    mFailure = eFailure::None;
    mError = 0;
    return true;
}

bool cChildProcess::HasEnded() {
    if (!mRunning) return true;
    if (WaitForSingleObject(mProcess, 0) == WAIT_TIMEOUT) return false;
    CloseHandle(mProcess);
    mProcess = nullptr;
    mRunning = false;
    return true;
}

void cChildProcess::Terminate() {
    if (!mRunning) return;
    TerminateProcess(mProcess, 1);
    WaitForSingleObject(mProcess, 5000);
    CloseHandle(mProcess);
    mProcess = nullptr;
    mRunning = false;
}

void cChildProcess::Close() {
    Terminate();
    // Closing the job's last handle ends whatever still runs in it.
    if (mJob) CloseHandle(mJob);
    mJob = nullptr;
}

}  // namespace halvex::platform
