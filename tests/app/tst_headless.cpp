// build/bin/tessik --headless end to end: a private Xvfb, xclip as the
// program that copies, tessik-cli reading the history back, and the stop by
// SIGTERM or SIGINT. Every process started here is stopped by its PID.
#include "XvfbServer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

XvfbServer* g_server = nullptr;

QString binary(const char* name) {
    return qEnvironmentVariable("TESSIK_BIN_DIR") + QLatin1Char('/') + QString::fromLatin1(name);
}

QByteArray pngBytes() {
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestHeadless : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home;
    QList<QProcess*> m_processes;

    // Own data, config and runtime folders, and no display unless given.
    QProcessEnvironment environment(const QString& display = QString()) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QString::fromLatin1(name));
        }
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home->filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home->filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home->filePath(QStringLiteral("runtime")));
        if (!display.isEmpty()) {
            env.insert(QStringLiteral("DISPLAY"), display);
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        }
        return env;
    }

    QProcess* start(const QString& program, const QStringList& args, const QProcessEnvironment& env) {
        auto* process = new QProcess(this);
        process->setProcessEnvironment(env);
        process->start(program, args);
        m_processes.append(process);
        return process;
    }

    // xclip takes the clipboard over and serves `bytes` until the next copy.
    void copyWithXclip(const QByteArray& bytes, const QString& type = QString()) {
        QStringList args{QStringLiteral("-quiet"), QStringLiteral("-selection"),
                         QStringLiteral("clipboard")};
        if (!type.isEmpty()) {
            args << QStringLiteral("-t") << type;
        }
        QProcess* xclip = start(QStringLiteral("xclip"), args, environment(g_server->display()));
        xclip->setStandardOutputFile(QProcess::nullDevice());
        QVERIFY(xclip->waitForStarted());
        xclip->write(bytes);
        xclip->closeWriteChannel();
    }

    // (exit code, standard error) of a run that ends by itself.
    std::pair<int, QString> runToEnd(const QString& program, const QStringList& args,
                                     const QProcessEnvironment& env, QByteArray* output = nullptr) {
        QProcess* process = start(program, args, env);
        if (!process->waitForFinished(30000)) {
            return {-1, QStringLiteral("did not finish")};
        }
        if (output) {
            *output = process->readAllStandardOutput();
        }
        return {process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -1,
                QString::fromUtf8(process->readAllStandardError())};
    }

private Q_SLOTS:
    void init() {
        m_home = std::make_unique<QTemporaryDir>();
        QDir(m_home->path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(m_home->filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void cleanup() {
        for (QProcess* process : std::as_const(m_processes)) {
            if (process->state() != QProcess::NotRunning) {
                process->kill();  // by its PID
                process->waitForFinished();
            }
            delete process;
        }
        m_processes.clear();
        m_home.reset();
    }

    void usage_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("says");
        QTest::newRow("no window yet") << QStringList() << 2 << "run \"tessik --headless\"";
        QTest::newRow("unknown argument") << QStringList({"--window"}) << 2 << "unknown argument";
        QTest::newRow("help") << QStringList({"--help"}) << 0 << "";
    }

    void usage() {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, says);
        const auto [exitCode, error] = runToEnd(binary("tessik"), args, environment());
        QCOMPARE(exitCode, code);
        QVERIFY2(error.contains(says), qPrintable(error));
    }

    void refusesWithoutAClipboard_data() {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("says");
        QTest::newRow("no display named") << "" << "" << "neither DISPLAY nor WAYLAND_DISPLAY";
        QTest::newRow("an X11 display nobody serves") << "DISPLAY" << ":4711" << "does not answer";
        QTest::newRow("xcb without a display") << "QT_QPA_PLATFORM" << "xcb" << "DISPLAY is not set";
        QTest::newRow("a Wayland socket that is not there")
            << "WAYLAND_DISPLAY" << "wayland-none" << "does not answer";
    }

    void refusesWithoutAClipboard() {
        QFETCH(QString, variable);
        QFETCH(QString, value);
        QFETCH(QString, says);
        QProcessEnvironment env = environment();
        if (!variable.isEmpty()) {
            env.insert(variable, value);
        }
        const auto [exitCode, error] = runToEnd(binary("tessik"), {QStringLiteral("--headless")}, env);
        QCOMPARE(exitCode, 1);
        QVERIFY2(error.startsWith(QStringLiteral("tessik: no clipboard can be reached: ")), qPrintable(error));
        QVERIFY2(error.contains(says), qPrintable(error));
        QCOMPARE(error.count(QLatin1Char('\n')), 1);
        QVERIFY(!QDir(m_home->filePath(QStringLiteral("data/tessik"))).exists(QStringLiteral("clips.sqlite")));
    }

    // A compositor that answers, with no X11 server beside it: Qt would try
    // X11 and abort unless its Wayland plugin is there.
    void waylandOnlyNeedsQtsWaylandPlugin() {
        const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
        if (!platforms.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty()) {
            QSKIP("Qt's Wayland plugin is installed: tessik would speak Wayland to the test's socket");
        }
        QLocalServer compositor;
        QVERIFY(compositor.listen(m_home->filePath(QStringLiteral("runtime/wayland-test"))));
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-test"));
        const auto [exitCode, error] = runToEnd(binary("tessik"), {QStringLiteral("--headless")}, env);
        QCOMPARE(exitCode, 1);
        QVERIFY2(error.contains(QStringLiteral("Wayland platform plugin is not installed")), qPrintable(error));
    }

    // Everything copied while it runs is in the history after the stop, and
    // the process ends cleanly.
    void recordsUntilStopped_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
    }

    void recordsUntilStopped() {
        QFETCH(int, signal);
        if (!g_server) {
            QSKIP("Xvfb is not installed (scripts/setup installs it)");
        }
        if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) {
            QSKIP("xclip is not installed (scripts/setup installs it)");
        }
        const QProcessEnvironment env = environment(g_server->display());
        QProcess* tessik = start(binary("tessik"), {QStringLiteral("--headless")}, env);
        QString log;
        const auto logged = [&](const QString& text) {
            log += QString::fromUtf8(tessik->readAllStandardError());
            return log.count(text);
        };
        QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("recording the clipboard")) == 1, qPrintable(log),
                                  15000);

        const QStringList texts{QStringLiteral("first copy"), QStringLiteral("第二 copy"),
                                QStringLiteral("third\nwith a line break"), QStringLiteral("fourth")};
        for (const QString& text : texts) {
            copyWithXclip(text.toUtf8());
            const int expected = static_cast<int>(texts.indexOf(text)) + 1;
            QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("Recorded ")) == expected, qPrintable(log), 10000);
        }
        const QByteArray png = pngBytes();
        copyWithXclip(png, QStringLiteral("image/png"));
        QTRY_VERIFY2_WITH_TIMEOUT(logged(QStringLiteral("Recorded image clip")) == 1, qPrintable(log), 10000);
        QVERIFY2(!log.contains(QStringLiteral("first copy")), "clip contents stay out of the log");

        QCOMPARE(::kill(static_cast<pid_t>(tessik->processId()), signal), 0);
        QVERIFY(tessik->waitForFinished(10000));
        logged(QString());
        QCOMPARE(tessik->exitStatus(), QProcess::NormalExit);
        QVERIFY2(tessik->exitCode() == 0, qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("stopped")), qPrintable(log));

        QByteArray listed;
        const auto [exitCode, error] =
            runToEnd(binary("tessik-cli"), {QStringLiteral("--json"), QStringLiteral("list")}, environment(),
                     &listed);
        QVERIFY2(exitCode == 0, qPrintable(error));
        const QJsonArray clips = QJsonDocument::fromJson(listed).array();
        QCOMPARE(clips.size(), texts.size() + 1);
        const QJsonObject image = clips.at(0).toObject();
        QCOMPARE(image.value(QStringLiteral("contentType")).toString(), QStringLiteral("image"));
        QFile imageFile(m_home->filePath(QStringLiteral("data/tessik/attachments/")) +
                        image.value(QStringLiteral("imagePath")).toString());
        QVERIFY(imageFile.open(QIODevice::ReadOnly));
        QCOMPARE(imageFile.readAll(), png);
        for (qsizetype i = 0; i < texts.size(); ++i) {
            QCOMPARE(clips.at(texts.size() - i).toObject().value(QStringLiteral("plainText")).toString(),
                     texts.at(i));
        }
    }
};

int main(int argc, char* argv[]) {
    XvfbServer server;
    if (server.start()) {
        g_server = &server;
    }
    int result = 0;
    {
        QCoreApplication app(argc, argv);
        TestHeadless test;
        result = QTest::qExec(&test, argc, argv);
    }
    server.stop();
    return result;
}

#include "tst_headless.moc"
