#pragma once

#include <QString>

namespace tessik {

// Which image file a screen shows for a clip: an attachment, named relative
// to the attachments folder, or a file anywhere, by its absolute path.
class ImageDisplaySource {
public:
    enum class Kind { attachment, file };

    static ImageDisplaySource attachment(const QString& relativePath) {
        return ImageDisplaySource(Kind::attachment, relativePath);
    }
    static ImageDisplaySource file(const QString& absolutePath) {
        return ImageDisplaySource(Kind::file, absolutePath);
    }

    Kind kind() const { return m_kind; }
    // The file name inside the attachments folder (attachment), or the full
    // path (file), as given.
    const QString& path() const { return m_path; }
    // The full path of the file: attachments are resolved in
    // `attachmentsDirectory`, file paths are used unchanged.
    QString resolvedPath(const QString& attachmentsDirectory) const;

    bool operator==(const ImageDisplaySource&) const = default;

private:
    ImageDisplaySource(Kind kind, QString path) : m_kind(kind), m_path(std::move(path)) {}

    Kind m_kind;
    QString m_path;
};

} // namespace tessik
