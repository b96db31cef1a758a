#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace quorvel {

// The system calls by which the writer makes its new file, makes it durable and puts it in place
// of the old one, on Windows. They go through this one table so that tests can make each of them
// fail; the program never changes it.
struct FileCalls {
    decltype(&::CreateFileW) createFile;
    decltype(&::FlushFileBuffers) flushFileBuffers;
    decltype(&::ReplaceFileW) replaceFile;
    decltype(&::MoveFileExW) moveFileEx;
};

inline FileCalls fileCalls{::CreateFileW, ::FlushFileBuffers, ::ReplaceFileW, ::MoveFileExW};

} // namespace quorvel
