#pragma once

#include <cstdio>
#include <sys/types.h>
#include <unistd.h>

namespace quorvel {

// The system calls by which the writer makes its new file durable and puts it in place of the
// old one, on POSIX systems. They go through this one table so that tests can make each of them
// fail; the program never changes it.
struct FileCalls {
    int (*fsync)(int fd);
    int (*fchown)(int fd, uid_t owner, gid_t group);
    int (*rename)(const char* from, const char* to);
    int (*fsyncDirectory)(int fd);
};

inline FileCalls fileCalls{::fsync, ::fchown, ::rename, ::fsync};

} // namespace quorvel
