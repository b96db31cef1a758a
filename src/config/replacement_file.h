#pragma once

#include <QByteArrayView>
#include <QString>

#include <memory>

namespace quorvel {

// The new file that takes the place of a configuration file: made beside the old one, written,
// made durable and put in its place in one step by the system's own replace. Each system has
// its own implementation (replacement_file_posix.cpp, replacement_file_windows.cpp). Every
// failure throws ConfigWriteError naming the file; until commit() has succeeded the old file is
// exactly as it was, and the new one goes with this object.
class ReplacementFile {
public:
    // `path` is absolute.
    explicit ReplacementFile(const QString& path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    // Refuses what a plain file must not replace; creates the new file.
    void open();
    void write(QByteArrayView bytes);
    // Puts the complete file in place of the old one.
    void commit();

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

namespace replacement {

// The reasons both systems give in the same words.
inline QString writeFailed(const QString& reason) {
    return reason.isEmpty() ? QStringLiteral("The data could not be written") : reason;
}

inline QString folderRefuses(const QString& folder, const QString& reason) {
    return QStringLiteral("The folder \"%1\" does not allow a new file in it: %2. The file is "
                          "replaced only by a complete new one made in the same folder, so "
                          "that a failed write never leaves it damaged.")
        .arg(folder, reason);
}

inline QString isADevice() {
    return QStringLiteral("It is a device, not a regular file");
}

} // namespace replacement

} // namespace quorvel
