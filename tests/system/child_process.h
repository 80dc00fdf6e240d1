// Other programs run from a system test: a command line started with its output and errors in a
// temporary file, waited for while this thread's messages are pumped, and its exit code and output
// handed back; and regsvr32 run silently on a library.
#pragma once

#include "platform/win32.h"

#include <string>

namespace vesk_test {

struct ChildResult {
    long exitCode = -1;  // -1 when the program could not be started or did not end in time
    std::string output;  // output and errors together, as the program wrote them
};

inline std::string NarrowText(const std::wstring& text)
{
    std::string out;
    for (wchar_t w : text)
        out.push_back(w < 0x80 ? static_cast<char>(w) : '?');
    return out;
}

// Runs `command` and waits up to `timeoutMs`, dispatching this thread's messages meanwhile, so that
// the child may send messages to windows of this thread without either waiting on the other.
inline ChildResult RunChild(std::wstring command, DWORD timeoutMs = 60000)
{
    ChildResult result;
    wchar_t directory[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    if (!GetTempPathW(MAX_PATH, directory) || !GetTempFileNameW(directory, L"vsk", 0, path))
        return result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return result;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    CloseHandle(file);
    if (started) {
        const DWORD begin = GetTickCount();
        bool ended = false;
        for (;;) {
            const DWORD elapsed = GetTickCount() - begin;
            if (elapsed >= timeoutMs)
                break;
            const DWORD wait = MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
            if (wait == WAIT_OBJECT_0) {
                ended = true;
                break;
            }
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (ended) {
            DWORD code = 0;
            GetExitCodeProcess(process.hProcess, &code);
            result.exitCode = static_cast<long>(code);
        } else {
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    const HANDLE reader = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (reader != INVALID_HANDLE_VALUE) {
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(reader, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            result.output.append(buffer, read);
        CloseHandle(reader);
    }
    DeleteFileW(path);
    return result;
}

// regsvr32 silent on `dllPath` with the given options ("" to register, "/u" to unregister); its
// exit code.
inline long RunRegsvr32(const std::wstring& dllPath, const std::wstring& options)
{
    return RunChild(L"regsvr32.exe /s " + options + L" \"" + dllPath + L"\"").exitCode;
}

}  // namespace vesk_test
