#include "ImageDisplaySource.h"

namespace tessik {

QString ImageDisplaySource::resolvedPath(const QString& attachmentsDirectory) const {
    if (m_kind == Kind::file) {
        return m_path;
    }
    return attachmentsDirectory + QLatin1Char('/') + m_path;
}

} // namespace tessik
