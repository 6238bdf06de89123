#include "AttachmentFiles.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace tessik::AttachmentFiles {

namespace {

QString pathOf(const QString& directory, const QString& name) {
    return directory + QLatin1Char('/') + name;
}

} // namespace

bool isBareName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

bool write(const QString& directory, const QString& name, const QByteArray& bytes) {
    if (!isBareName(name)) {
        return false;
    }
    QSaveFile file(pathOf(directory, name));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

std::optional<QByteArray> read(const QString& directory, const QString& name) {
    if (!isBareName(name)) {
        return std::nullopt;
    }
    QFile file(pathOf(directory, name));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

void remove(const QString& directory, const QStringList& names) {
    for (const QString& name : names) {
        if (isBareName(name)) {
            QFile::remove(pathOf(directory, name));
        }
    }
}

} // namespace tessik::AttachmentFiles
