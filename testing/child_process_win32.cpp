#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "handoff/programmer.h"
#include "testing/child_process.h"

const char kProgramSuffix[] = ".exe";
const char kPathListSeparator = ';';
const char kConsoleLineEnd[] = "\r\n";
const int kCrashExitStatus = 3;

namespace {

// Exit codes of this form are NTSTATUS errors: an exception nobody handled, such as 0xC0000005.
bool is_crash(DWORD code) {
    return (code & 0xF0000000u) == 0xC0000000u;
}

std::string upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

// The name of a NAME=value entry; entries such as "=C:=C:\x" keep their leading '='.
std::string entry_name(const std::string& entry) {
    return entry.substr(0, entry.find('=', 1));
}

// This process's environment with child's variables set on top, as a CreateProcess block: sorted
// by name ignoring case, each entry ending in a zero, the block in one more.
std::vector<char> environment_block(const ChildSpec& child) {
    std::vector<std::string> entries;
    if (char* strings = GetEnvironmentStringsA()) {
        for (const char* p = strings; *p != '\0'; p += entries.back().size() + 1) {
            entries.emplace_back(p);
        }
        FreeEnvironmentStringsA(strings);
    }
    for (const auto& [key, value] : child.env) {
        const std::string name = upper(key);
        entries.erase(
            std::remove_if(entries.begin(), entries.end(),
                           [&](const std::string& e) { return upper(entry_name(e)) == name; }),
            entries.end());
        entries.push_back(key + "=" + value);
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const std::string& a, const std::string& b) {
                         return upper(entry_name(a)) < upper(entry_name(b));
                     });
    std::vector<char> block;
    for (const std::string& entry : entries) {
        block.insert(block.end(), entry.begin(), entry.end());
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

// Tests may start children from several threads: a handle made inheritable for one child must
// not leak into another, or that one's exit would no longer end the first one's reads.
std::mutex g_inheritance;

void close_handle(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

std::string system_failure(const char* what) {
    return std::string(what) + " failed with error " + std::to_string(GetLastError());
}

using Clock = std::chrono::steady_clock;

DWORD milliseconds_until(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<DWORD>(left.count()) : 0;
}

// The two outputs of one child as they arrive, and the one call of before_interrupt once either
// shows interrupt_when.
struct Outputs {
    const ChildSpec& child;
    ChildRun& run;
    std::mutex lock;
    bool acted;

    void take(std::string ChildRun::*text, const char* bytes, DWORD size) {
        std::lock_guard<std::mutex> guard(lock);
        (run.*text).append(bytes, size);
        if (!acted && (run.out.find(child.interrupt_when) != std::string::npos ||
                       run.err.find(child.interrupt_when) != std::string::npos)) {
            acted = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(child.interrupt_delay_ms));
            child.before_interrupt();
        }
    }
};

void drain(HANDLE pipe, Outputs& outputs, std::string ChildRun::*text) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        outputs.take(text, buffer, got);
    }
}

}  // namespace

ChildRun run_child(const ChildSpec& child) {
    ChildRun run;
    HANDLE in_read = nullptr, in_write = nullptr;
    HANDLE out_read = nullptr, out_write = nullptr;
    HANDLE err_read = nullptr, err_write = nullptr;
    if (!CreatePipe(&in_read, &in_write, nullptr, 0) ||
        !CreatePipe(&out_read, &out_write, nullptr, 0) ||
        !CreatePipe(&err_read, &err_write, nullptr, 0)) {
        run.failure = system_failure("CreatePipe");
        for (HANDLE* h : {&in_read, &in_write, &out_read, &out_write, &err_read, &err_write}) {
            close_handle(*h);
        }
        return run;
    }

    std::string command_line = quote_argument(child.program);
    for (const std::string& arg : child.args) {
        command_line += " " + quote_argument(arg);
    }
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    std::vector<char> environment = environment_block(child);

    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in_read;
    startup.hStdOutput = out_write;
    startup.hStdError = err_write;
    PROCESS_INFORMATION process{};
    BOOL started = FALSE;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(child.deadline_ms);
    {
        std::lock_guard<std::mutex> guard(g_inheritance);
        for (HANDLE h : {in_read, out_write, err_write}) {
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        // Suspended until it is in the job, so that nothing it starts escapes the deadline.
        started = CreateProcessA(child.program.c_str(), line.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED, environment.data(),
                                 child.folder.empty() ? nullptr : child.folder.c_str(), &startup,
                                 &process);
        // Only the child holds these ends now: its exit is what ends our reads.
        close_handle(in_read);
        close_handle(out_write);
        close_handle(err_write);
    }
    if (!started) {
        run.failure = system_failure("CreateProcess");
        close_handle(in_write);
        close_handle(out_read);
        close_handle(err_read);
        return run;
    }
    // Without a job (a system that refuses nested jobs) only the child itself can be stopped.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    if (job != nullptr && !AssignProcessToJobObject(job, process.hProcess)) {
        close_handle(job);
    }
    ResumeThread(process.hThread);
    run.started = true;

    // Separate threads, so that a child blocked on one full pipe never stalls the others.
    std::thread feeder([&] {
        DWORD put = 0;
        std::size_t fed = 0;
        while (fed < child.input.size() &&
               WriteFile(in_write, child.input.data() + fed,
                         static_cast<DWORD>(child.input.size() - fed), &put, nullptr)) {
            fed += put;
        }
        if (!child.hold_input_open) {
            close_handle(in_write);
        }
    });
    Outputs outputs{child, run, {}, child.interrupt_when.empty() || !child.before_interrupt};
    std::future<void> errors =
        std::async(std::launch::async, [&] { drain(err_read, outputs, &ChildRun::err); });
    std::future<void> output =
        std::async(std::launch::async, [&] { drain(out_read, outputs, &ChildRun::out); });
    // The reads end when every process holding the pipes has ended, which may be after the
    // child itself: one it started may go on.
    bool ended =
        WaitForSingleObject(process.hProcess, milliseconds_until(deadline)) == WAIT_OBJECT_0 &&
        output.wait_until(deadline) == std::future_status::ready &&
        errors.wait_until(deadline) == std::future_status::ready;
    if (!ended) {
        run.failure = "killed after its deadline of " + std::to_string(child.deadline_ms) + " ms";
        if (job == nullptr || !TerminateJobObject(job, 1)) {
            TerminateProcess(process.hProcess, 1);
        }
    }
    output.wait();
    errors.wait();
    WaitForSingleObject(process.hProcess, INFINITE);
    // A held input ends with the child; a feeder still writing then sees the pipe broken.
    feeder.join();
    close_handle(in_write);
    close_handle(out_read);
    close_handle(err_read);
    close_handle(job);

    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.signalled = is_crash(code);
    run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}
