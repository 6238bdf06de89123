#include "ContentHasher.h"

#include <QCryptographicHash>

namespace tessik::ContentHasher {

QString hash(const QString& text) {
    return hash(text.toUtf8());
}

QString hash(const QByteArray& data) {
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex());
}

} // namespace tessik::ContentHasher
