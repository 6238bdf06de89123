#include "tst_syncmessages.h"

#include "capture/ClipItemJson.h"
#include "capture/ContentHasher.h"
#include "platform/Uuid.h"
#include "sync/PairedDeviceRecord.h"
#include "sync/SyncClipPayload.h"
#include "sync/SyncConstants.h"
#include "sync/SyncError.h"
#include "sync/SyncMessage.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace tessik;

Q_DECLARE_METATYPE(tessik::SyncMessage)

namespace {

ClipItem clip(const std::optional<QString>& text, ContentType type = ContentType::plainText) {
    return ClipItem{QUuid::createUuid(), 1'733'918'400.123456, QStringLiteral("DEVICE-A"), type,
                    text, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                    false, ContentHasher::hash(text.value_or(QString())), 5};
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

const QByteArray kItemJson =
    R"({"id":"6f9619ff-8b86-d011-b42d-00c04fc964ff","createdAt":0,"deviceId":"D","contentType":"plainText","isPinned":false,"contentHash":"h","byteSize":1})";

} // namespace

void TestSyncMessages::goldenTexts_data() {
    QTest::addColumn<SyncMessage>("message");
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("health") << SyncMessage{SyncMessage::Health{}} << QByteArray(R"({"health":{}})");
    QTest::newRow("error") << SyncMessage{SyncMessage::ErrorReply{QStringLiteral("未授权")}}
                           << QByteArray(R"({"error":{"_0":"未授权"}})");
    QTest::newRow("refused pairing")
        << SyncMessage{SyncMessage::PairResponse{std::nullopt, QStringLiteral("配对码无效或已过期")}}
        << QByteArray(R"({"pairResponse":{"error":"配对码无效或已过期"}})");
    QTest::newRow("granted pairing")
        << SyncMessage{SyncMessage::PairResponse{QStringLiteral("T"), std::nullopt}}
        << QByteArray(R"({"pairResponse":{"token":"T"}})");
    QTest::newRow("pull since 0") << SyncMessage{SyncMessage::PullRequest{0, QStringLiteral("t")}}
                                  << QByteArray(R"({"pullRequest":{"since":0,"token":"t"}})");
}
void TestSyncMessages::goldenTexts() {
    QFETCH(SyncMessage, message);
    QFETCH(QByteArray, json);
    QCOMPARE(message.encode(), json);
    QCOMPARE(SyncMessage::decode(json), message);
}

void TestSyncMessages::everyCaseRoundTrips_data() {
    QTest::addColumn<SyncMessage>("message");
    QTest::addColumn<QString>("caseName");
    ClipItem full = clip(QStringLiteral("路径 a/b \"引号\" \\ 🙂"), ContentType::richText);
    full.richTextPath = QStringLiteral("R.rtf");
    full.imagePath = QStringLiteral("I.png");
    full.sourceAppName = QStringLiteral("编辑器");
    full.isPinned = true;
    const SyncClipPayload payload{full, QByteArray("rtf data"), QByteArray::fromHex("89504e4700ff"),
                                  std::nullopt};
    QTest::newRow("health") << SyncMessage{SyncMessage::Health{}} << "health";
    QTest::newRow("healthResponse")
        << SyncMessage{SyncMessage::HealthResponse{true, QStringLiteral("书房"), QStringLiteral("ID")}}
        << "healthResponse";
    QTest::newRow("pairRequest")
        << SyncMessage{SyncMessage::PairRequest{QStringLiteral("012345"), QStringLiteral("ID"),
                                                QStringLiteral("名字")}}
        << "pairRequest";
    QTest::newRow("pairResponse empty") << SyncMessage{SyncMessage::PairResponse{}} << "pairResponse";
    QTest::newRow("pullRequest")
        << SyncMessage{SyncMessage::PullRequest{1'733'918'400.5, QStringLiteral("tok")}} << "pullRequest";
    QTest::newRow("pullResponse")
        << SyncMessage{SyncMessage::PullResponse{{payload, SyncClipPayload{clip(QStringLiteral("x")), {}, {}, {}}}}}
        << "pullResponse";
    QTest::newRow("pullResponse empty") << SyncMessage{SyncMessage::PullResponse{}} << "pullResponse";
    QTest::newRow("pushRequest") << SyncMessage{SyncMessage::PushRequest{payload, QStringLiteral("tok")}}
                                 << "pushRequest";
    QTest::newRow("pushResponse") << SyncMessage{SyncMessage::PushResponse{true}} << "pushResponse";
    QTest::newRow("deleteRequest")
        << SyncMessage{SyncMessage::DeleteRequest{uuidText(full.id), QStringLiteral("tok")}}
        << "deleteRequest";
    QTest::newRow("deleteResponse") << SyncMessage{SyncMessage::DeleteResponse{false}} << "deleteResponse";
    QTest::newRow("error") << SyncMessage{SyncMessage::ErrorReply{QStringLiteral("x")}} << "error";
}
void TestSyncMessages::everyCaseRoundTrips() {
    QFETCH(SyncMessage, message);
    QFETCH(QString, caseName);
    const QByteArray json = message.encode();
    QCOMPARE(message.caseName(), caseName);
    const QJsonObject top = QJsonDocument::fromJson(json).object();
    QCOMPARE(top.keys(), QStringList{caseName});
    const SyncMessage back = SyncMessage::decode(json);
    // Times pass through seconds since 2001; compare them within rounding.
    if (const auto* push = std::get_if<SyncMessage::PushRequest>(&back.value)) {
        const auto& sent = std::get<SyncMessage::PushRequest>(message.value);
        QVERIFY(qAbs(push->clip.item.createdAt - sent.clip.item.createdAt) < 1e-6);
        SyncMessage fixed = back;
        std::get<SyncMessage::PushRequest>(fixed.value).clip.item.createdAt = sent.clip.item.createdAt;
        QCOMPARE(fixed, message);
    } else if (const auto* pull = std::get_if<SyncMessage::PullResponse>(&back.value)) {
        const auto& sent = std::get<SyncMessage::PullResponse>(message.value);
        QCOMPARE(pull->clips.size(), sent.clips.size());
        SyncMessage fixed = back;
        auto& clips = std::get<SyncMessage::PullResponse>(fixed.value).clips;
        for (qsizetype i = 0; i < clips.size(); ++i) {
            QVERIFY(qAbs(clips[i].item.createdAt - sent.clips[i].item.createdAt) < 1e-6);
            clips[i].item.createdAt = sent.clips[i].item.createdAt;
        }
        QCOMPARE(fixed, message);
    } else {
        QCOMPARE(back, message);
    }
}

void TestSyncMessages::readableOddities() {
    QCOMPARE(SyncMessage::decode(R"({"health":{"anything":[1,2]},"nonsense":1})"),
             SyncMessage{SyncMessage::Health{}});
    QCOMPARE(SyncMessage::decode(R"({"pairResponse":{"token":null}})"),
             SyncMessage{SyncMessage::PairResponse{}});
    // createdAt 0 is 2001-01-01 UTC; since counts from 1970.
    const SyncMessage push = SyncMessage::decode(
        R"({"pushRequest":{"token":"t","clip":{"item":)" + kItemJson + R"(,"imageData":null}}})");
    const auto& request = std::get<SyncMessage::PushRequest>(push.value);
    QCOMPARE(request.clip.item.createdAt, 978'307'200.0);
    QCOMPARE(request.clip.imageData, std::nullopt);
    QCOMPARE(uuidText(request.clip.item.id), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
    QCOMPARE(std::get<SyncMessage::PullRequest>(
                 SyncMessage::decode(R"({"pullRequest":{"since":1700000000.25,"token":"t"}})").value)
                 .since,
             1'700'000'000.25);
}

void TestSyncMessages::unreadableDocuments_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");
    const QString keys = QStringLiteral("Invalid number of keys found, expected one.");
    QTest::newRow("malformed") << QByteArray(R"({"health":{})") << "malformed JSON";
    QTest::newRow("not an object") << QByteArray(R"([{"health":{}}])") << "not an object";
    QTest::newRow("empty object") << QByteArray("{}") << keys;
    QTest::newRow("two cases") << QByteArray(R"({"health":{},"pushResponse":{"ok":true}})") << keys;
    QTest::newRow("only unknown keys") << QByteArray(R"({"hello":{}})") << keys;
    QTest::newRow("case not an object") << QByteArray(R"({"health":true})") << "not an object";
    QTest::newRow("missing member") << QByteArray(R"({"pushResponse":{}})") << "missing value";
    QTest::newRow("wrong type") << QByteArray(R"({"pushResponse":{"ok":"yes"}})") << "not a boolean";
    QTest::newRow("since as text") << QByteArray(R"({"pullRequest":{"since":"0","token":"t"}})")
                                   << "not a number";
    QTest::newRow("clips not array") << QByteArray(R"({"pullResponse":{"clips":{}}})") << "not an array";
    QTest::newRow("unknown contentType")
        << QByteArray(R"({"pullResponse":{"clips":[{"item":)" + QByteArray(kItemJson).replace("plainText", "movie") + "}]}}")
        << "unknown content type";
    QTest::newRow("bad Base64")
        << QByteArray(R"({"pushRequest":{"token":"t","clip":{"item":)" + kItemJson + R"(,"imageData":"**=="}}})")
        << "not Base64";
    QTest::newRow("Base64 without padding")
        << QByteArray(R"({"pushRequest":{"token":"t","clip":{"item":)" + kItemJson + R"(,"imageData":"YWI"}}})")
        << "not Base64";
    QTest::newRow("id not a UUID")
        << QByteArray(R"({"pullResponse":{"clips":[{"item":)" + QByteArray(kItemJson).replace("6f9619ff-", "6f9619ff") + "}]}}")
        << "not a UUID";
    QTest::newRow("payload without item") << QByteArray(R"({"pullResponse":{"clips":[{}]}})")
                                          << "missing value for key \"item\"";
}
void TestSyncMessages::unreadableDocuments() {
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    try {
        SyncMessage::decode(json);
        QFAIL("decoded an unreadable document");
    } catch (const JsonError& error) {
        QVERIFY2(error.description().contains(reason), qPrintable(error.description()));
    }
}

void TestSyncMessages::pairedDeviceRecords() {
    const PairedDeviceRecord bare{QStringLiteral("DEV"), QStringLiteral("手机"), QStringLiteral("TOKEN"),
                                  978'307'201.5, std::nullopt, std::nullopt};
    const QJsonObject json = bare.toJson();
    QCOMPARE(json.keys(), (QStringList{"deviceId", "deviceName", "pairedAt", "token"}));
    QCOMPARE(json.value(QStringLiteral("pairedAt")).toDouble(), 1.5);
    QCOMPARE(PairedDeviceRecord::fromJson(json), bare);

    PairedDeviceRecord full = bare;
    full.lastSeenAt = 978'307'210.0;
    full.endpointDescription = QStringLiteral("手机@192.0.2.1:7000");
    QCOMPARE(PairedDeviceRecord::fromJson(full.toJson()), full);
    QVERIFY_THROWS_EXCEPTION(JsonError, PairedDeviceRecord::fromJson(
                                            QJsonObject{{QStringLiteral("deviceId"), QStringLiteral("x")}}));
}

void TestSyncMessages::constantsAndErrors() {
    QCOMPARE(SyncConstants::serviceType, QStringLiteral("_tessik._tcp"));
    QCOMPARE(SyncConstants::serviceDomain, QStringLiteral("local."));
    QCOMPARE(SyncConstants::lanTrustToken, QStringLiteral("zorbi.kelpy.wandle"));
    QCOMPARE(SyncConstants::autoSyncDebounce, 20.0);
    QCOMPARE(SyncError::invalidFrame().description(), QStringLiteral("同步协议帧无效"));
    QCOMPARE(SyncError::unauthorized().description(), QStringLiteral("未授权的设备"));
    QCOMPARE(SyncError::connectionFailed().description(), QStringLiteral("连接失败"));
    QCOMPARE(SyncError::pairingFailed(QStringLiteral("配对超时")).description(), QStringLiteral("配对超时"));
    QCOMPARE(SyncError::connectionFailed().kind(), SyncError::Kind::connectionFailed);
}

void TestSyncMessages::payloadCarriesAttachmentBytes() {
    QTemporaryDir folder;
    ClipItem image = clip(std::nullopt, ContentType::image);
    image.imagePath = QStringLiteral("IMG.png");
    image.thumbnailPath = QStringLiteral("IMG_thumb.jpg");
    writeFile(folder.filePath(QStringLiteral("IMG.png")), "png bytes");
    // The thumbnail file is missing: left out, the path kept.
    const SyncClipPayload payload = SyncClipPayload::encode(image, folder.path());
    QCOMPARE(payload.item, image);
    QCOMPARE(payload.imageData, std::optional<QByteArray>("png bytes"));
    QCOMPARE(payload.thumbnailData, std::nullopt);
    QCOMPARE(payload.toJson().keys(), (QStringList{"imageData", "item"}));
    QCOMPARE(SyncClipPayload::encode(clip(QStringLiteral("t")), folder.path()).toJson().keys(),
             QStringList{"item"});

    QTemporaryDir receiver;
    const ClipItem stored = payload.materializeAttachments(receiver.path());
    const QString stem = uuidText(image.id);
    QCOMPARE(stored.imagePath, std::optional<QString>(stem + QStringLiteral(".png")));
    QCOMPARE(stored.thumbnailPath, image.thumbnailPath);  // no bytes: the sender's name
    QCOMPARE(stored.richTextPath, std::nullopt);
    QFile written(receiver.filePath(stem + QStringLiteral(".png")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("png bytes"));

    SyncClipPayload all = payload;
    all.richTextData = QByteArray("{\\rtf1 x}");
    all.thumbnailData = QByteArray("jpeg");
    const ClipItem every = all.materializeAttachments(receiver.path());
    QCOMPARE(every.richTextPath, std::optional<QString>(stem + QStringLiteral(".rtf")));
    QCOMPARE(every.thumbnailPath, std::optional<QString>(stem + QStringLiteral("_thumb.jpg")));
    QCOMPARE(every.plainText, image.plainText);
    QCOMPARE(every.createdAt, image.createdAt);
}

// A peer or a stored snapshot must never make this device read, send or
// keep a path outside its attachments folder.
void TestSyncMessages::hostileAttachmentNames_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("parent traversal") << "../../.ssh/id_rsa";
    QTest::newRow("absolute") << "/etc/passwd";
    QTest::newRow("subfolder") << "sub/file.png";
    QTest::newRow("backslash") << "..\\secret";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("dot") << ".";
    QTest::newRow("empty") << "";
    QTest::newRow("dots inside") << "a..b";
    QTest::newRow("NUL") << QStringLiteral("a.png") + QChar(0) + QStringLiteral("x");
}
void TestSyncMessages::hostileAttachmentNames() {
    QFETCH(QString, name);
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("attachments/sub"));
    const QString folder = root.filePath(QStringLiteral("attachments"));
    writeFile(root.filePath(QStringLiteral("outside.png")), "secret");
    writeFile(folder + QStringLiteral("/sub/file.png"), "secret");

    ClipItem item = clip(std::nullopt, ContentType::image);
    item.imagePath = name;
    item.richTextPath = name;
    QCOMPARE(SyncClipPayload::encode(item, folder).imageData, std::nullopt);

    QJsonObject itemJson = ClipItemJson::encode(item);
    const SyncClipPayload received =
        SyncClipPayload::fromJson(QJsonObject{{QStringLiteral("item"), itemJson}});
    QCOMPARE(received.item.imagePath, std::nullopt);
    QCOMPARE(received.item.richTextPath, std::nullopt);
    SyncClipPayload unchecked{item, {}, {}, {}};  // built here, not read: materialising still drops it
    QCOMPARE(unchecked.materializeAttachments(folder).imagePath, std::nullopt);
}

void TestSyncMessages::symlinksOutOfTheFolderAreNotFollowed() {
    QTemporaryDir root;
    QDir(root.path()).mkpath(QStringLiteral("attachments"));
    const QString folder = root.filePath(QStringLiteral("attachments"));
    writeFile(root.filePath(QStringLiteral("secret.txt")), "secret");
    QVERIFY(QFile::link(root.filePath(QStringLiteral("secret.txt")), folder + QStringLiteral("/link.png")));
    writeFile(folder + QStringLiteral("/real.png"), "image");
    QVERIFY(QFile::link(folder + QStringLiteral("/real.png"), folder + QStringLiteral("/inside.png")));
    ClipItem item = clip(std::nullopt, ContentType::image);
    item.imagePath = QStringLiteral("link.png");
    QCOMPARE(SyncClipPayload::encode(item, folder).imageData, std::nullopt);
    item.imagePath = QStringLiteral("inside.png");
    QCOMPARE(SyncClipPayload::encode(item, folder).imageData, std::optional<QByteArray>("image"));
}

void TestSyncMessages::snapshotBlobForm() {
    ClipItem item = clip(QStringLiteral("https://example.com/a/b 中文 🙂 \"q\" \\"), ContentType::url);
    item.createdAt = 978'307'201.5;  // 1.5 s after 2001-01-01 UTC
    const SyncClipPayload payload{item, std::nullopt, QByteArray(300, char(0xfb)), std::nullopt};
    const QByteArray blob = payload.snapshotData();
    QVERIFY(blob.contains(R"("createdAt":1.5)"));
    QVERIFY(blob.contains(R"(https:\/\/example.com\/a\/b)"));
    QVERIFY(blob.contains(R"("imageData":")" + QByteArray(300, char(0xfb)).toBase64().replace("/", "\\/")));
    QVERIFY(!blob.contains("\"/") && blob.count('/') == blob.count("\\/"));
    QCOMPARE(SyncClipPayload::fromSnapshotData(blob), payload);

    // Another writer's key order and unescaped slashes read the same.
    const QByteArray reordered =
        R"({"imageData":")" + QByteArray(300, char(0xfb)).toBase64() + R"(","item":{"byteSize":5,"contentHash":")" +
        item.contentHash.toUtf8() + R"(","isPinned":false,"plainText":"https://example.com/a/b 中文 🙂 \"q\" \\","contentType":"url","deviceId":"DEVICE-A","createdAt":1.5,"id":")" +
        uuidText(item.id).toUtf8() + R"("}})";
    QCOMPARE(SyncClipPayload::fromSnapshotData(reordered), payload);
    QVERIFY_THROWS_EXCEPTION(JsonError, SyncClipPayload::fromSnapshotData("not json"));
}

void TestSyncMessages::snapshotTimesKeepTheirFraction() {
    ClipItem item = clip(QStringLiteral("t"));
    for (const double t : {978'307'200.0, 1'733'918'400.123456, 1'733'918'400.999999, 0.25}) {
        item.createdAt = t;
        const double back =
            SyncClipPayload::fromSnapshotData(SyncClipPayload{item, {}, {}, {}}.snapshotData()).item.createdAt;
        QVERIFY2(qAbs(back - t) < 1e-6, qPrintable(QString::number(back - t)));
    }
}

// Attachment bytes are cut out of and spliced into the JSON text directly;
// whatever the text around them looks like, the result must be what a plain
// JSON reader and writer would give.
void TestSyncMessages::attachmentBytesBesideTheTree_data() {
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QString>("text");
    const QByteArray head = R"({"pushRequest":{"token":"t","clip":{"item":)";
    const QByteArray item = kItemJson;
    const QByteArray withText = QByteArray(kItemJson).replace(
        R"("byteSize":1)", R"("byteSize":1,"plainText":"say \"imageData\":\"QUJD\" \\\\")");
    QTest::newRow("escaped slashes") << head + item + R"(,"imageData":"\/\/8="}}})"
                                     << QByteArray::fromHex("ffff") << QString();
    QTest::newRow("spaces around the colon") << head + item + R"(, "imageData" :  "QUJD" }}})"
                                             << QByteArray("ABC") << QString();
    QTest::newRow("key text inside a string value")
        << head + withText + R"(,"imageData":"QUJD"}}})" << QByteArray("ABC")
        << QStringLiteral(R"(say "imageData":"QUJD" \\)");
    QTest::newRow("same key in an unknown object")
        << head + item + R"(,"extra":{"imageData":"WFla"},"imageData":"QUJD"}}})" << QByteArray("ABC")
        << QString();
    QTest::newRow("empty bytes") << head + item + R"(,"imageData":""}}})" << QByteArray("") << QString();
}

void TestSyncMessages::attachmentBytesBesideTheTree() {
    QFETCH(QByteArray, json);
    QFETCH(QByteArray, image);
    QFETCH(QString, text);
    const SyncMessage message = SyncMessage::decode(json);
    const auto& clip = std::get<SyncMessage::PushRequest>(message.value).clip;
    QCOMPARE(clip.imageData, std::optional<QByteArray>(image));
    QCOMPARE(clip.item.plainText.value_or(QString()), text);
    // Written again, the text is what Qt's writer would produce with the
    // bytes inline, slashes escaped.
    QJsonObject inner = QJsonDocument::fromJson(message.encode()).object();
    QCOMPARE(SyncMessage::decode(message.encode()), message);
    QCOMPARE(inner.value(QStringLiteral("pushRequest")).toObject().value(QStringLiteral("clip")).toObject()
                 .value(QStringLiteral("imageData")).toString(),
             QString::fromLatin1(image.toBase64()));
}

QTEST_GUILESS_MAIN(TestSyncMessages)
