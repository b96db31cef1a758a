#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel {

// The system calls by which the writer makes its new file durable and puts it in place of the
// old one, on Windows. They go through this one table so that tests can make each of them fail;
// the program never changes it.
struct FileCalls {
    BOOL(WINAPI* flushFileBuffers)(HANDLE file);
    BOOL(WINAPI* replaceFile)
    (LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
     LPVOID reserved);
    BOOL(WINAPI* moveFileEx)(LPCWSTR from, LPCWSTR to, DWORD flags);
};

inline FileCalls fileCalls{::FlushFileBuffers, ::ReplaceFileW, ::MoveFileExW};

} // namespace quorvel
