#pragma once

// The one place where the writer's system calls differ between systems: each header declares
// FileCalls, the table of them that tests may make fail, and fileCalls.
#ifdef _WIN32
#include "config/file_calls_windows.h"
#else
#include "config/file_calls_posix.h"
#endif
