#pragma once

#include <QString>

#include <exception>
#include <string>

namespace tessik {

// Base of every error value the stores and codecs throw. The description is
// what callers log after their fixed prefix; it is meant to be read by people.
class Error : public std::exception {
public:
    explicit Error(QString description);

    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_utf8.c_str(); }

private:
    QString m_description;
    std::string m_utf8;
};

} // namespace tessik
