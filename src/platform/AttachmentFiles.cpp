#include "AttachmentFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tessik::AttachmentFiles {

bool isSafeName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) &&
           !name.contains(QLatin1Char('\\')) && !name.contains(QLatin1String("..")) &&
           name != QLatin1String(".") && !name.contains(QChar(0));
}

std::optional<QString> safeName(const std::optional<QString>& name) {
    if (name && isSafeName(*name)) {
        return name;
    }
    return std::nullopt;
}

std::optional<QByteArray> read(const QString& folder, const QString& name) {
    if (!isSafeName(name)) {
        return std::nullopt;
    }
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QFileInfo file(QDir(folder).filePath(name));
    const QString canonicalFile = file.canonicalFilePath();  // resolves symbolic links
    if (canonicalFolder.isEmpty() || canonicalFile.isEmpty() ||
        QFileInfo(canonicalFile).path() != canonicalFolder || !QFileInfo(canonicalFile).isFile()) {
        return std::nullopt;
    }
    QFile input(canonicalFile);
    if (!input.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return input.readAll();
}

bool write(const QString& folder, const QString& name, const QByteArray& bytes) {
    if (!isSafeName(name)) {
        return false;
    }
    QSaveFile output(QDir(folder).filePath(name));
    if (!output.open(QIODevice::WriteOnly)) {
        return false;
    }
    output.write(bytes);
    return output.commit();
}

void remove(const QString& folder, const QStringList& names) {
    for (const QString& name : names) {
        if (isSafeName(name)) {
            QFile::remove(QDir(folder).filePath(name));
        }
    }
}

} // namespace tessik::AttachmentFiles
