#include "tst_wirecodec.h"

#include "sync/SyncError.h"
#include "sync/SyncWireCodec.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QtEndian>

#include <memory>

using namespace tessik;

namespace {

QByteArray prefix(quint32 length) {
    QByteArray bytes(4, Qt::Uninitialized);
    qToBigEndian(length, bytes.data());
    return bytes;
}

// A loopback pair: `peer` is a plain socket the test writes raw bytes to,
// `connection` the accepted side under test.
struct Loopback {
    QTcpServer server;
    QTcpSocket peer;
    std::unique_ptr<net::Connection> connection;

    Loopback() {
        server.listen(QHostAddress::LocalHost);
        peer.connectToHost(QHostAddress::LocalHost, server.serverPort());
        peer.waitForConnected(5000);
        server.waitForNewConnection(5000);
        connection = std::make_unique<net::Connection>(server.nextPendingConnection());
        connection->start();
    }
};

// Runs one receive and waits for its outcome.
SyncWireCodec::Received receiveOne(net::Connection& connection, int timeoutMs = 10000) {
    std::optional<SyncWireCodec::Received> outcome;
    SyncWireCodec::receive(connection, [&](const SyncWireCodec::Received& r) { outcome = r; });
    QDeadlineTimer deadline(timeoutMs);
    while (!outcome && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    return outcome.value_or(SyncWireCodec::Received{});
}

} // namespace

void TestWireCodec::healthFrameBytes() {
    const QByteArray frame = SyncWireCodec::frame(SyncMessage{SyncMessage::Health{}});
    QCOMPARE(frame, QByteArray::fromHex("0000000d") + QByteArray(R"({"health":{}})"));
    QCOMPARE(SyncWireCodec::bodyLength(QByteArray::fromHex("0000000d")), std::optional<quint32>(13));
}

void TestWireCodec::receiveOutcomes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closeAfter");
    QTest::addColumn<QString>("expected");  // case name, or the error kind
    const QByteArray health = R"({"health":{}})";
    QTest::newRow("health") << prefix(13) + health << false << "health";
    // Refused at once: nothing more arrives and the peer stays connected.
    QTest::newRow("length 0") << prefix(0) << false << "invalidFrame";
    QTest::newRow("length over 32 MiB") << prefix(33'554'433) << false << "invalidFrame";
    QTest::newRow("two prefix bytes, closed") << QByteArray::fromHex("0000") << true << "invalidFrame";
    QTest::newRow("100 announced, 60 sent, closed") << prefix(100) + QByteArray(60, 'x') << true
                                                    << "invalidFrame";
    QTest::newRow("closed before anything") << QByteArray() << true << "invalidFrame";
    QTest::newRow("invalid JSON") << prefix(5) + QByteArray("{nope") << false << "json";
    QTest::newRow("no message case") << prefix(2) + QByteArray("{}") << false << "json";
}

void TestWireCodec::receiveOutcomes() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closeAfter);
    QFETCH(QString, expected);
    Loopback loop;
    loop.peer.write(bytes);
    loop.peer.flush();
    if (closeAfter) {
        loop.peer.disconnectFromHost();
    }
    const SyncWireCodec::Received received = receiveOne(*loop.connection);
    if (expected == QLatin1String("health")) {
        QVERIFY(received.message.has_value());
        QCOMPARE(received.message->caseName(), expected);
    } else if (expected == QLatin1String("invalidFrame")) {
        const auto* error = dynamic_cast<const SyncError*>(received.error.get());
        QVERIFY(error);
        QCOMPARE(error->kind(), SyncError::Kind::invalidFrame);
        QCOMPARE(error->description(), QStringLiteral("同步协议帧无效"));
    } else {
        QVERIFY(dynamic_cast<const JsonError*>(received.error.get()));
    }
}

void TestWireCodec::largestFrameIsReadInFull() {
    // An error message padded to exactly 32 MiB of body.
    const QByteArray head = R"({"error":{"_0":")";
    const QByteArray tail = R"("}})";
    const QByteArray body = head + QByteArray(33'554'432 - head.size() - tail.size(), 'a') + tail;
    QCOMPARE(body.size(), 33'554'432);
    Loopback loop;
    loop.peer.write(prefix(body.size()) + body);
    const SyncWireCodec::Received received = receiveOne(*loop.connection, 60000);
    QVERIFY2(received.message.has_value(),
             received.error ? qPrintable(received.error->description()) : "no message");
    QCOMPARE(std::get<SyncMessage::ErrorReply>(received.message->value).message.size(),
             body.size() - head.size() - tail.size());
}

void TestWireCodec::twoFramesInOneSegment() {
    Loopback loop;
    const SyncMessage first{SyncMessage::PushResponse{true}};
    const SyncMessage second{SyncMessage::ErrorReply{QStringLiteral("未授权")}};
    loop.peer.write(SyncWireCodec::frame(first) + SyncWireCodec::frame(second));
    QCOMPARE(receiveOne(*loop.connection).message, std::optional<SyncMessage>(first));
    QCOMPARE(receiveOne(*loop.connection).message, std::optional<SyncMessage>(second));
}

void TestWireCodec::sendCompletesOverLoopback() {
    Loopback loop;
    std::optional<std::optional<net::NetworkError>> completed;
    SyncWireCodec::send(SyncMessage{SyncMessage::Health{}}, *loop.connection,
                        [&](const std::optional<net::NetworkError>& error) { completed = error; });
    QTRY_VERIFY(completed.has_value());
    QVERIFY(!completed->has_value());
    QTRY_COMPARE(loop.peer.bytesAvailable(), 17);
    QCOMPARE(loop.peer.readAll(), SyncWireCodec::frame(SyncMessage{SyncMessage::Health{}}));

    // Once the connection is gone, a send reports an error instead of vanishing.
    loop.connection->cancel();
    std::optional<std::optional<net::NetworkError>> afterCancel;
    SyncWireCodec::send(SyncMessage{SyncMessage::Health{}}, *loop.connection,
                        [&](const std::optional<net::NetworkError>& error) { afterCancel = error; });
    QVERIFY(afterCancel.has_value() && afterCancel->has_value());
}

QTEST_GUILESS_MAIN(TestWireCodec)
