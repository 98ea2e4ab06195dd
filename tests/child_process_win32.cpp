#include <windows.h>

#include <algorithm>
#include <cctype>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "handoff/programmer.h"
#include "tests/child_process.h"

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

void drain(HANDLE pipe, std::string& text) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        text.append(buffer, got);
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
    {
        std::lock_guard<std::mutex> guard(g_inheritance);
        for (HANDLE h : {in_read, out_write, err_write}) {
            SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        started = CreateProcessA(
            child.program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, environment.data(),
            child.folder.empty() ? nullptr : child.folder.c_str(), &startup, &process);
        // Only the child holds these ends now: its exit is what ends our reads.
        close_handle(in_read);
        close_handle(out_write);
        close_handle(err_write);
    }
    if (!started) {
        close_handle(in_write);
        close_handle(out_read);
        close_handle(err_read);
        return run;
    }
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
    std::thread errors([&] { drain(err_read, run.err); });
    drain(out_read, run.out);
    errors.join();
    WaitForSingleObject(process.hProcess, INFINITE);
    // A held input ends with the child; a feeder still writing then sees the pipe broken.
    feeder.join();
    close_handle(in_write);
    close_handle(out_read);
    close_handle(err_read);

    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    run.signalled = is_crash(code);
    run.status = static_cast<int>(code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}
