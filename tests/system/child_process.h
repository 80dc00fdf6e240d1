// Other programs run from a system test: a command line started with its output and errors in a
// temporary file, waited for while this thread's messages are pumped, and its exit code and output
// handed back; regsvr32 run silently on a library; and what the tests read back of the registry.
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

// Text of 8-bit characters (a path on a command line), widened byte by byte.
inline std::wstring WidenText(const char* text)
{
    std::wstring wide;
    for (; *text; ++text)
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(*text)));
    return wide;
}

// One started program and the file its output goes to; a program still running when the object
// goes is ended, and the file deleted.
class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess()
    {
        if (m_process.hProcess) {
            if (!m_bEnded) {
                TerminateProcess(m_process.hProcess, 99);
                WaitForSingleObject(m_process.hProcess, 5000);
            }
            CloseHandle(m_process.hThread);
            CloseHandle(m_process.hProcess);
        }
        if (m_path[0])
            DeleteFileW(m_path);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Start(std::wstring command)
    {
        wchar_t directory[MAX_PATH] = {};
        if (!GetTempPathW(MAX_PATH, directory) || !GetTempFileNameW(directory, L"vsk", 0, m_path))
            return false;
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        const HANDLE file = CreateFileW(m_path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = file;
        startup.hStdError = file;
        const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                            nullptr, &startup, &m_process);
        CloseHandle(file);
        if (!started)
            m_process = {};
        return started != FALSE;
    }

    // Waits up to `timeoutMs` for the program to end, dispatching this thread's messages meanwhile,
    // so that the child may send messages to windows of this thread without either waiting on the
    // other. True when it has ended.
    bool WaitPumping(DWORD timeoutMs)
    {
        const DWORD begin = GetTickCount();
        while (m_process.hProcess && !m_bEnded) {
            const DWORD elapsed = GetTickCount() - begin;
            if (elapsed >= timeoutMs)
                break;
            if (MsgWaitForMultipleObjects(1, &m_process.hProcess, FALSE, timeoutMs - elapsed, QS_ALLINPUT) ==
                WAIT_OBJECT_0) {
                m_bEnded = true;
                break;
            }
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        return m_bEnded;
    }

    // Waits up to `timeoutMs`, pumping this thread's messages, until `ready` accepts what the
    // program has written so far; false when it ended or the time ran out first.
    template <class Ready>
    bool WaitForOutput(DWORD timeoutMs, Ready ready)
    {
        constexpr DWORD kPollMilliseconds = 50;
        const DWORD begin = GetTickCount();
        while (!ready(Output())) {
            if (GetTickCount() - begin >= timeoutMs || WaitPumping(kPollMilliseconds))
                return false;
        }
        return true;
    }

    // -1 while it runs or when it never started.
    long ExitCode() const
    {
        DWORD code = 0;
        return m_bEnded && GetExitCodeProcess(m_process.hProcess, &code) ? static_cast<long>(code) : -1;
    }

    // What it has written so far.
    std::string Output() const
    {
        std::string output;
        const HANDLE reader = CreateFileW(m_path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (reader == INVALID_HANDLE_VALUE)
            return output;
        char buffer[4096];
        DWORD read = 0;
        while (ReadFile(reader, buffer, sizeof(buffer), &read, nullptr) && read > 0)
            output.append(buffer, read);
        CloseHandle(reader);
        return output;
    }

private:
    PROCESS_INFORMATION m_process = {};
    wchar_t m_path[MAX_PATH] = {};
    bool m_bEnded = false;
};

// Runs `command` and waits up to `timeoutMs` for it, pumping this thread's messages meanwhile.
inline ChildResult RunChild(std::wstring command, DWORD timeoutMs = 60000)
{
    ChildResult result;
    ChildProcess child;
    if (!child.Start(std::move(command)))
        return result;
    child.WaitPumping(timeoutMs);
    result.exitCode = child.ExitCode();
    result.output = child.Output();
    return result;
}

inline bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A string value (without a name, the key's default one), or "(missing)".
inline std::string StringValue(HKEY root, const std::wstring& path, const wchar_t* name = nullptr)
{
    wchar_t buffer[1024] = {};
    DWORD bytes = sizeof(buffer) - sizeof(wchar_t);
    if (RegGetValueW(root, path.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return "(missing)";
    return NarrowText(buffer);
}

// regsvr32 silent on `dllPath` with the given options ("" to register, "/u" to unregister); its
// exit code.
inline long RunRegsvr32(const std::wstring& dllPath, const std::wstring& options)
{
    return RunChild(L"regsvr32.exe /s " + options + L" \"" + dllPath + L"\"").exitCode;
}

}  // namespace vesk_test
