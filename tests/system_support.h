#pragma once

// What differs between the systems the tests run on, in this one place.
#include <QDir>
#include <QString>
#include <QTemporaryDir>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

namespace quorvel::test {

#ifdef _WIN32
// The system's own words, as FormatMessage gives them, without the closing full stop.
inline QString systemReason(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString reason = QString::fromWCharArray(text, int(n)).trimmed();
    LocalFree(text);
    return reason.endsWith(QLatin1Char('.')) ? reason.chopped(1) : reason;
}
inline constexpr unsigned long noSuchFolder = ERROR_PATH_NOT_FOUND;
// Why a file in the folder "<b>missing</b>" cannot be written: '<' and '>' are not allowed.
inline constexpr unsigned long markupFolderError = ERROR_INVALID_NAME;

// A device's name, which Windows takes as such in every folder.
inline QString notAFile(const QTemporaryDir& dir) {
    return dir.filePath(QStringLiteral("nul.conf"));
}

// Windows has no limit on the size of the files a process writes.
struct FileSizeLimit {
    explicit FileSizeLimit(qint64) {}
};
#else
inline QString systemReason(int code) {
    return qt_error_string(code);
}
inline constexpr int noSuchFolder = ENOENT;
// Why a file in the folder "<b>missing</b>" cannot be written: there is no such folder.
inline constexpr int markupFolderError = ENOENT;

// A named pipe, made in `dir`.
inline QString notAFile(const QTemporaryDir& dir) {
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    mkfifo(QFile::encodeName(pipe).constData(), 0600);
    return pipe;
}

// Files this process writes are cut short after `bytes` while it lives; the write then fails
// with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
        getrlimit(RLIMIT_FSIZE, &old_);
        rlimit small = old_;
        small.rlim_cur = rlim_t(bytes);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*oldHandler_)(int);
};
#endif

} // namespace quorvel::test
