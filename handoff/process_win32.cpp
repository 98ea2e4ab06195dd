#include "handoff/process.h"

#include <windows.h>

#include <string>
#include <vector>

#include "handoff/command_line.h"
#include "handoff/handle_list_win32.h"
#include "handoff/program_search.h"

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

// The program's file: a bare name is looked up in trusted folders only, with ".exe" added when
// it has no extension; a name with a folder is taken as it is. Empty when not found.
std::string program_file(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return "";
    }
    const std::string& program = argv[0];
    if (program.find_first_of("\\/:") != std::string::npos) {
        return program;
    }
    return find_trusted_file(program.find('.') == std::string::npos ? program + ".exe" : program);
}

// The exit code of an ended process; false when it cannot be learnt.
bool exit_code(HANDLE process, int& code) {
    DWORD raw = 0;
    if (!GetExitCodeProcess(process, &raw)) {
        return false;
    }
    code = signed_exit_code(raw);
    return true;
}

}  // namespace

ProcessResult run_process(const ProcessCommand& command, int timeout_ms, const ChildSetup& setup) {
    ProcessResult result;
    const std::string program = program_file(command.argv);
    if (program.empty()) {
        return result;
    }
    // CreateProcessA may write into the command line, so it gets a private copy.
    std::vector<char> buffer(command.line.begin(), command.line.end());
    buffer.push_back('\0');

    // CreateProcess wants the folder as a full path.
    std::string folder;
    if (!setup.folder.empty()) {
        char full[MAX_PATH * 4] = {};
        const DWORD length = GetFullPathNameA(setup.folder.c_str(), sizeof full, full, nullptr);
        if (length == 0 || length >= sizeof full) {
            return result;
        }
        folder = full;
    }
    STARTUPINFOEXA startup{};
    startup.StartupInfo.cb = sizeof(startup);
    std::vector<HANDLE> inherited;
    for (std::intptr_t handle : setup.inherited) {
        inherited.push_back(reinterpret_cast<HANDLE>(handle));
    }
    // The listed handles, and no other, reach the programmer: the locks it must hold while it
    // lives.
    std::vector<char> attributes;
    if (!inherited.empty()) {
        if (!list_inherited_handles(inherited, startup, attributes)) {
            return result;
        }
    }
    const DWORD flags = inherited.empty() ? 0 : EXTENDED_STARTUPINFO_PRESENT;
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that nothing it starts can escape the job.
    const BOOL started =
        CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr,
                       inherited.empty() ? FALSE : TRUE, CREATE_SUSPENDED | flags, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &startup.StartupInfo, &process);
    if (startup.lpAttributeList != nullptr) {
        DeleteProcThreadAttributeList(startup.lpAttributeList);
    }
    if (!started) {
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
    DWORD waited = WaitForSingleObject(process.hProcess, limit);
    if (waited == WAIT_OBJECT_0) {
        result.outcome = exit_code(process.hProcess, result.exit_status)
                             ? ProcessOutcome::kFinished
                             : ProcessOutcome::kWaitFailed;
    } else if (waited == WAIT_TIMEOUT) {
        if (job == nullptr || !TerminateJobObject(job, 1)) {
            TerminateProcess(process.hProcess, 1);
        }
        result.outcome = WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0
                             ? ProcessOutcome::kTimedOut
                             : ProcessOutcome::kWaitFailed;
    } else {
        // Not known to have ended: it must not run on unwatched into the switch back.
        if (job == nullptr || !TerminateJobObject(job, 1)) {
            TerminateProcess(process.hProcess, 1);
        }
        result.outcome = ProcessOutcome::kWaitFailed;
    }
    close_if_open(job);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
