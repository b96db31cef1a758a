#include "config/replacement_file.h"

#include "config/config_writer.h"
#include "config/file_calls.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <string>
#include <utility>

namespace quorvel {

namespace {

std::wstring native(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// The system's own words for an error, in the user's language, without the full stop that
// Windows ends them with (the reason is set into a sentence of ours).
QString systemReason(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
    QString reason = length ? QString::fromWCharArray(text, int(length)).trimmed()
                            : QStringLiteral("Windows error %1").arg(error);
    LocalFree(text);
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return reason;
}

// Names that Windows takes for a device in every folder, whatever follows the first dot:
// "nul.conf" is the null device too.
bool isDeviceName(const QString& fileName) {
    static const QStringList devices{
        QStringLiteral("CON"),       QStringLiteral("PRN"),       QStringLiteral("AUX"),
        QStringLiteral("NUL"),       QStringLiteral("CONIN$"),    QStringLiteral("CONOUT$"),
        QStringLiteral("COM\u00B9"), QStringLiteral("COM\u00B2"), QStringLiteral("COM\u00B3"),
        QStringLiteral("LPT\u00B9"), QStringLiteral("LPT\u00B2"), QStringLiteral("LPT\u00B3"),
    };
    QString stem = fileName.section(QLatin1Char('.'), 0, 0);
    while (stem.endsWith(QLatin1Char(' ')))
        stem.chop(1);
    stem = stem.toUpper();
    if (stem.size() == 4 &&
        (stem.startsWith(QLatin1String("COM")) || stem.startsWith(QLatin1String("LPT"))))
        return stem[3] >= QLatin1Char('1') && stem[3] <= QLatin1Char('9');
    return devices.contains(stem);
}

// What a replace carries from the old file to the new one.
constexpr DWORD keptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

QString uniqueSuffix() {
    return QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate(), 36);
}

} // namespace

class ReplacementFile::Impl {
public:
    explicit Impl(const QString& path) : path_(path) {}
    ~Impl();

    void open();
    void write(QByteArrayView bytes);
    void commit();

private:
    void checkTarget();
    void replace();
    [[noreturn]] void fail(const QString& reason);
    [[noreturn]] void failWithLastError() { fail(systemReason(GetLastError())); }

    QString path_;
    bool earlierFile_ = false; // a file of that name was there before
    std::wstring target_;      // the name replaced: where a symbolic link leads, if it is one
    QString stem_;             // the target's folder and name, with a dot before the name
    std::wstring newName_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool committed_ = false;
};

ReplacementFile::Impl::~Impl() {
    if (handle_ != INVALID_HANDLE_VALUE)
        CloseHandle(handle_);
    if (!committed_ && !newName_.empty())
        DeleteFileW(newName_.c_str());
}

void ReplacementFile::Impl::open() {
    checkTarget();
    const QString canonical = earlierFile_ ? QFileInfo(path_).canonicalFilePath() : QString();
    const QFileInfo target(canonical.isEmpty() ? path_ : canonical);
    target_ = native(target.filePath());
    // Beside the target, so that the replace never crosses volumes.
    stem_ = target.absolutePath() + QStringLiteral("/.") + target.fileName();
    for (int attempt = 0; handle_ == INVALID_HANDLE_VALUE; ++attempt) {
        newName_ = native(stem_ + uniqueSuffix());
        // Others may read it meanwhile (a virus scanner may want to), but not change it.
        handle_ = fileCalls.createFile(newName_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ != INVALID_HANDLE_VALUE)
            break;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS && attempt < 100)
            continue;
        newName_.clear();
        // Where the folder refuses the new file, the folder is what refused, however writable
        // the old file: writing into it in place could leave it half written.
        if (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) {
            throw ConfigWriteError(
                path_,
                replacement::folderRefuses(QDir::toNativeSeparators(target.absolutePath()),
                                           systemReason(error)),
                earlierFile_);
        }
        fail(systemReason(error));
    }
}

// Only a file is ever replaced. A read-only file, or one that another program holds open
// without letting others replace it, is refused now, before anything is written.
void ReplacementFile::Impl::checkTarget() {
    if (isDeviceName(QFileInfo(path_).fileName()))
        throw ConfigWriteError(path_, replacement::isADevice());
    const std::wstring name = native(path_);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return; // nothing there yet
        throw ConfigWriteError(path_, systemReason(error));
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        throw ConfigWriteError(path_, QStringLiteral("It is a folder, not a file"));
    if (attributes & FILE_ATTRIBUTE_DEVICE)
        throw ConfigWriteError(path_, replacement::isADevice());
    earlierFile_ = true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        fail(systemReason(ERROR_ACCESS_DENIED));
    // The rights a replace needs, asked for without changing the file; the sharing flags let
    // every other program go on using it meanwhile.
    const HANDLE probe = CreateFileW(name.c_str(), GENERIC_WRITE | DELETE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        failWithLastError();
    CloseHandle(probe);
}

void ReplacementFile::Impl::write(QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handle_, bytes.data() + done, chunk, &written, nullptr))
            failWithLastError();
        if (written == 0)
            fail(QString());
        done += written;
    }
}

void ReplacementFile::Impl::commit() {
    // The data must be on disk before the new file replaces the old one.
    if (!fileCalls.flushFileBuffers(handle_))
        failWithLastError();
    const HANDLE handle = std::exchange(handle_, INVALID_HANDLE_VALUE);
    if (!CloseHandle(handle))
        failWithLastError();
    if (earlierFile_) {
        replace();
    } else if (!fileCalls.moveFileEx(newName_.c_str(), target_.c_str(), MOVEFILE_WRITE_THROUGH)) {
        failWithLastError();
    }
    committed_ = true;
}

// The system's replace keeps the old file's attributes and security on the new one. It is
// given a name for the old file to go to meanwhile: where the new one cannot follow, the old
// one is then still there to be put back.
void ReplacementFile::Impl::replace() {
    // Given to the new file beforehand too, for the replaces that do not carry them (Wine's).
    const DWORD attributes = GetFileAttributesW(target_.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(newName_.c_str(), attributes & keptAttributes);
    const std::wstring aside = native(stem_ + uniqueSuffix() + QStringLiteral(".old"));
    if (fileCalls.replaceFile(target_.c_str(), newName_.c_str(), aside.c_str(), 0, nullptr,
                              nullptr)) {
        DeleteFileW(aside.c_str());
        return;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 &&
        !MoveFileExW(aside.c_str(), target_.c_str(), 0)) {
        throw ConfigWriteError(
            path_, QStringLiteral("%1. The old file could not be put back and is now \"%2\"")
                       .arg(systemReason(error), QString::fromStdWString(aside)));
    }
    fail(systemReason(error));
}

void ReplacementFile::Impl::fail(const QString& reason) {
    // The unfinished file goes with this object, which is never committed.
    throw ConfigWriteError(path_, replacement::writeFailed(reason), earlierFile_);
}

ReplacementFile::ReplacementFile(const QString& path) : impl_(std::make_unique<Impl>(path)) {}
ReplacementFile::~ReplacementFile() = default;
void ReplacementFile::open() {
    impl_->open();
}
void ReplacementFile::write(QByteArrayView bytes) {
    impl_->write(bytes);
}
void ReplacementFile::commit() {
    impl_->commit();
}

} // namespace quorvel
