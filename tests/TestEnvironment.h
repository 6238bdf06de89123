#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

// Gives a test process its own XDG data and config folders before anything
// reads them, so tests never touch the user's history or settings. Create one
// at the start of initTestCase(), before any AppPaths or preference call.
class TestEnvironment {
public:
    TestEnvironment() {
        Q_ASSERT(m_root.isValid());
        QDir(m_root.path()).mkpath(QStringLiteral("data"));
        QDir(m_root.path()).mkpath(QStringLiteral("config"));
        qputenv("XDG_DATA_HOME", dataHome().toUtf8());
        qputenv("XDG_CONFIG_HOME", configHome().toUtf8());
        // Programs with a GUI platform (tessik-cli copy) want a private runtime folder.
        const QString runtime = m_root.path() + QStringLiteral("/runtime");
        QDir(m_root.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }

    QString root() const { return m_root.path(); }
    QString dataHome() const { return m_root.path() + QStringLiteral("/data"); }
    QString configHome() const { return m_root.path() + QStringLiteral("/config"); }

private:
    QTemporaryDir m_root;
};
