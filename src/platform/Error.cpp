#include "Error.h"

namespace tessik {

Error::Error(QString description)
    : m_description(std::move(description)), m_utf8(m_description.toStdString()) {}

} // namespace tessik
