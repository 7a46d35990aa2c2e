#include "ChildProcesses.h"

#include <array>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <windows.h>

namespace xlt::cli {

namespace {

/// The arguments came in the system's code page (main's argv); they go back the same way.
std::wstring widened(const std::string &text)
{
    if (text.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring wide(std::size_t(size), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), int(text.size()), wide.data(), size);
    return wide;
}

std::wstring thisProgram()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (size < path.size()) {
            path.resize(size);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

/// What a reader thread hands over: some output of one run, or (empty, `closed`) its end.
struct Chunk
{
    std::size_t child = 0;
    int stream = 0;
    std::string data;
    bool closed = false;
};

/// The chunks of every run, in the order they came, from the reader threads to the caller's.
class Chunks
{
public:
    void push(Chunk chunk)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_chunks.push_back(std::move(chunk));
        }
        m_ready.notify_one();
    }
    Chunk pop()
    {
        std::unique_lock lock(m_mutex);
        m_ready.wait(lock, [this] { return !m_chunks.empty(); });
        Chunk chunk = std::move(m_chunks.front());
        m_chunks.pop_front();
        return chunk;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Chunk> m_chunks;
};

/// Reads one pipe to its end, then closes it.
void readPipe(HANDLE pipe, std::size_t child, int stream, Chunks &chunks)
{
    std::array<char, 4096> buffer{};
    DWORD got = 0;
    while (::ReadFile(pipe, buffer.data(), DWORD(buffer.size()), &got, nullptr) && got > 0)
        chunks.push({child, stream, std::string(buffer.data(), got), false});
    ::CloseHandle(pipe);
    chunks.push({child, stream, {}, true});
}

/// A started run: its process and the read ends of its two pipes.
struct Started
{
    HANDLE process = nullptr;
    std::array<HANDLE, 2> reads{nullptr, nullptr};
};

/// Starts one run with its outputs on two new pipes. The pipes' write ends are the only
/// handles it inherits: they are made inheritable one run at a time and closed here once it
/// has started, so no run holds another's pipe open.
bool startChild(const std::wstring &program, const Args &argv, Started &started)
{
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    std::array<HANDLE, 2> writes{nullptr, nullptr};
    bool ok = true;
    for (std::size_t stream = 0; stream < 2 && ok; ++stream) {
        ok = ::CreatePipe(&started.reads[stream], &writes[stream], &inheritable, 0) &&
             ::SetHandleInformation(started.reads[stream], HANDLE_FLAG_INHERIT, 0);
    }
    const HANDLE empty = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &inheritable, OPEN_EXISTING, 0, nullptr);
    ok = ok && empty != INVALID_HANDLE_VALUE;
    PROCESS_INFORMATION info{};
    if (ok) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = empty;
        startup.hStdOutput = writes[0];
        startup.hStdError = writes[1];
        std::wstring line = widened(windowsCommandLine(argv));
        ok = ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                              nullptr, &startup, &info);
    }
    if (empty != INVALID_HANDLE_VALUE)
        ::CloseHandle(empty);
    for (HANDLE write : writes) {
        if (write)
            ::CloseHandle(write);
    }
    if (!ok) {
        for (HANDLE &read : started.reads) {
            if (read)
                ::CloseHandle(read);
            read = nullptr;
        }
        return false;
    }
    ::CloseHandle(info.hThread);
    started.process = info.hProcess;
    return true;
}

} // namespace

std::vector<int> runChildren(const std::vector<Args> &argvs,
                             const std::function<void(std::size_t, int, std::string_view)> &output,
                             const std::function<void(std::size_t)> &ended)
{
    const std::wstring program = thisProgram();
    std::vector<Started> runs(argvs.size());
    std::vector<int> open(argvs.size(), 0);
    Chunks chunks;
    std::vector<std::thread> readers;
    int openPipes = 0;
    for (std::size_t i = 0; i < argvs.size(); ++i) {
        if (!startChild(program, argvs[i], runs[i]))
            continue;
        for (int stream = 0; stream < 2; ++stream) {
            readers.emplace_back(readPipe, runs[i].reads[std::size_t(stream)], i, stream,
                                 std::ref(chunks));
        }
        open[i] = 2;
        openPipes += 2;
    }
    while (openPipes > 0) {
        const Chunk chunk = chunks.pop();
        if (!chunk.closed) {
            output(chunk.child, chunk.stream, chunk.data);
            continue;
        }
        --openPipes;
        if (--open[chunk.child] == 0)
            ended(chunk.child);
    }
    for (std::thread &reader : readers)
        reader.join();
    std::vector<int> codes(argvs.size(), kNotStarted);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (!runs[i].process)
            continue;
        ::WaitForSingleObject(runs[i].process, INFINITE);
        DWORD code = 0;
        ::GetExitCodeProcess(runs[i].process, &code);
        ::CloseHandle(runs[i].process);
        // A crash ends a process with an exception's status (0xC0000005 and the like).
        codes[i] = code >= 0xC0000000 ? -1 : int(code);
    }
    return codes;
}

} // namespace xlt::cli
