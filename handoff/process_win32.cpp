#include "handoff/process.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

// Exit codes such as 0xC0000005 read as the negative numbers users look up.
int signed_exit_code(DWORD code) {
    if (code > 0x7FFFFFFFu) {
        return -static_cast<int>(~code) - 1;
    }
    return static_cast<int>(code);
}

void close_if_open(HANDLE handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
    }
}

}  // namespace

ProcessResult run_process(const std::string& command_line, int timeout_ms) {
    ProcessResult result;
    // CreateProcessA may write into the command line, so it gets a private copy.
    std::vector<char> buffer(command_line.begin(), command_line.end());
    buffer.push_back('\0');

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    if (!CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process)) {
        return result;
    }
    // Without a job (an enclosing job may forbid nesting on old systems) only the programmer
    // itself can be stopped.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(process.hThread);

    DWORD limit = timeout_ms > 0 ? static_cast<DWORD>(timeout_ms) : 0;
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.outcome = ProcessOutcome::kFinished;
        result.exit_status = signed_exit_code(code);
    } else {
        if (job == nullptr || !TerminateJobObject(job, 1)) {
            TerminateProcess(process.hProcess, 1);
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.outcome = ProcessOutcome::kTimedOut;
        result.exit_status = signed_exit_code(code);
    }
    close_if_open(job);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
