#include "capture/CapturedClip.h"
#include "capture/ClipItem.h"
#include "capture/ClipItemJson.h"
#include "capture/ContentHasher.h"
#include "capture/ContentType.h"
#include "capture/ImageFormatHelper.h"

#include <QJsonDocument>
#include <QLocale>
#include <QTest>
#include <QTextBoundaryFinder>

using namespace tessik;

Q_DECLARE_METATYPE(tessik::ContentType)
Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<tessik::ImageDisplaySource>)

namespace {

ClipItem textClip(const std::optional<QString>& text, ContentType type = ContentType::plainText) {
    return ClipItem{QUuid::createUuid(), 1'700'000'000.25, QStringLiteral("DEVICE"), type, text,
                    std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, false,
                    ContentHasher::hash(text.value_or(QString())), 10};
}

// The preview cut the slow, obvious way, as reference for the bounded one.
QString referenceShortPreview(const ClipItem& item) {
    const QString preview = item.previewText();
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, preview);
    int clusters = 0;
    qsizetype cut = -1;
    for (qsizetype pos = finder.toNextBoundary(); pos != -1; pos = finder.toNextBoundary()) {
        if (++clusters == 120) {
            cut = pos;
        }
    }
    return clusters <= 120 ? preview : preview.left(cut) + QStringLiteral("…");
}

QString repeated(const QString& piece, int times) {
    QString text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

} // namespace

class TestClipModel : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void contentTypeNames_data() {
        QTest::addColumn<ContentType>("type");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("plainText") << ContentType::plainText << "plainText" << "文本" << "text.alignleft";
        QTest::newRow("richText") << ContentType::richText << "richText" << "富文本" << "textformat";
        QTest::newRow("image") << ContentType::image << "image" << "图片" << "photo";
        QTest::newRow("url") << ContentType::url << "url" << "链接" << "link";
        QTest::newRow("file") << ContentType::file << "file" << "文件" << "doc";
    }
    void contentTypeNames() {
        QFETCH(ContentType, type);
        QFETCH(QString, raw);
        QFETCH(QString, display);
        QFETCH(QString, symbol);
        QCOMPARE(ContentTypes::rawValue(type), raw);
        QCOMPARE(ContentTypes::fromRawValue(raw), std::optional<ContentType>(type));
        QCOMPARE(ContentTypes::displayName(type), display);
        QCOMPARE(ContentTypes::systemImage(type), symbol);
        QCOMPARE(ContentTypes::fromRawValue(raw.toUpper()), std::nullopt);
    }

    void contentTypeOrder() {
        QCOMPARE(ContentTypes::allCases(),
                 (QList<ContentType>{ContentType::plainText, ContentType::richText,
                                     ContentType::image, ContentType::url, ContentType::file}));
        QCOMPARE(ContentTypes::fromRawValue(QStringLiteral("video")), std::nullopt);
    }

    void hasherMatchesSha256_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("digest");
        QTest::newRow("empty") << QString()
                               << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
        QTest::newRow("abc") << "abc"
                             << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        QTest::newRow("chinese") << "你好"
                                 << "670d9743542cae3ea7ebe36af56bd53648b0a1126162e78d81a32934a711302e";
    }
    void hasherMatchesSha256() {
        QFETCH(QString, text);
        QFETCH(QString, digest);
        QCOMPARE(ContentHasher::hash(text), digest);
        QCOMPARE(ContentHasher::hash(text.toUtf8()), digest);
    }

    void capturedClipRules_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("withRich");
        QTest::addColumn<ContentType>("type");
        const QString https = QStringLiteral("https://example.com/path?q=1");
        const QString address2047 =
            QStringLiteral("https://example.com/") + QString(2047 - 20, QLatin1Char('a'));
        QTest::newRow("text") << "hello 世界" << false << ContentType::plainText;
        QTest::newRow("text + rich") << "hello" << true << ContentType::richText;
        QTest::newRow("https") << https << false << ContentType::url;
        QTest::newRow("http") << "http://example.com" << false << ContentType::url;
        QTest::newRow("https + rich is still url") << https << true << ContentType::url;
        QTest::newRow("ftp") << "ftp://example.com/file" << false << ContentType::plainText;
        QTest::newRow("mailto") << "mailto:a@example.com" << false << ContentType::plainText;
        QTest::newRow("address in a sentence") << "see https://example.com" << false
                                               << ContentType::plainText;
        QTest::newRow("2047 characters") << address2047 << false << ContentType::url;
        QTest::newRow("2048 characters") << address2047 + QLatin1Char('a') << false
                                         << ContentType::plainText;
        QTest::newRow("2048 characters + rich") << address2047 + QLatin1Char('a') << true
                                                << ContentType::richText;
    }
    void capturedClipRules() {
        QFETCH(QString, text);
        QFETCH(bool, withRich);
        QFETCH(ContentType, type);
        const QByteArray rich = QByteArrayLiteral("{\\rtf1 hello}");
        const CapturedClip clip = withRich ? CapturedClip::fromText(text, rich)
                                           : CapturedClip::fromText(text);
        QCOMPARE(clip.contentType, type);
        QCOMPARE(clip.plainText, std::optional<QString>(text));
        QCOMPARE(clip.imageData, std::nullopt);
        QVERIFY(clip.fileURLs.isEmpty());
        QCOMPARE(clip.sourceAppName, std::nullopt);
        if (withRich) {
            QCOMPARE(clip.richTextData, std::optional<QByteArray>(rich));
            QCOMPARE(clip.contentHash,
                     ContentHasher::hash(text + ContentHasher::hash(rich)));
            QCOMPARE(clip.byteSize, rich.size() + text.toUtf8().size());
            QVERIFY(clip.contentHash != CapturedClip::fromText(text).contentHash);
        } else {
            QCOMPARE(clip.richTextData, std::nullopt);
            QCOMPARE(clip.contentHash, ContentHasher::hash(text));
            QCOMPARE(clip.byteSize, text.toUtf8().size());
        }
    }

    void capturedFilesImagesAndAddresses() {
        const QList<QUrl> urls{QUrl::fromLocalFile(QStringLiteral("/home/me/报告.pdf")),
                               QUrl::fromLocalFile(QStringLiteral("/tmp/a b.txt"))};
        const CapturedClip files = CapturedClip::fromFileURLs(urls);
        const QString joined = QStringLiteral("/home/me/报告.pdf\n/tmp/a b.txt");
        QCOMPARE(files.contentType, ContentType::file);
        QCOMPARE(files.plainText, std::optional<QString>(joined));
        QCOMPARE(files.fileURLs, urls);
        QCOMPARE(files.contentHash, ContentHasher::hash(joined));
        QCOMPARE(files.byteSize, joined.toUtf8().size());

        const QByteArray png = QByteArrayLiteral("\x89PNG\r\n\x1a\nrest");
        const CapturedClip image = CapturedClip::fromImageData(png);
        QCOMPARE(image.contentType, ContentType::image);
        QCOMPARE(image.plainText, std::nullopt);
        QCOMPARE(image.imageData, std::optional<QByteArray>(png));
        QCOMPARE(image.contentHash, ContentHasher::hash(png));
        QCOMPARE(image.byteSize, png.size());

        const CapturedClip address =
            CapturedClip::fromWebAddress(QUrl(QStringLiteral("https://example.com/a")));
        QCOMPARE(address.contentType, ContentType::url);
        QCOMPARE(address.plainText, std::optional<QString>(QStringLiteral("https://example.com/a")));
        QCOMPARE(address.contentHash, ContentHasher::hash(QStringLiteral("https://example.com/a")));
    }

    void capturedRichDataWithoutText() {
        const QByteArray html = QByteArrayLiteral("<b>粗体</b>");
        const CapturedClip clip = CapturedClip::fromRichDataOnly(html);
        QCOMPARE(clip.plainText, std::nullopt);
        QCOMPARE(clip.richTextData, std::optional<QByteArray>(html));
        QCOMPARE(clip.contentHash,
                 ContentHasher::hash(QString::fromUtf8(html) + ContentHasher::hash(html)));
        QCOMPARE(clip.byteSize, html.size());

        const QByteArray notUtf8 = QByteArrayLiteral("\xff\xfe{\\rtf1}");
        QCOMPARE(CapturedClip::fromRichDataOnly(notUtf8).contentHash,
                 ContentHasher::hash(ContentHasher::hash(notUtf8)));
    }

    void previews_data() {
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<ContentType>("type");
        QTest::addColumn<QString>("preview");
        QTest::addColumn<QString>("shortPreview");
        const QString a120 = QString(120, QLatin1Char('a'));
        const QString family = QStringLiteral("👨‍👩‍👧");  // one character, eight UTF-16 units
        QTest::newRow("line breaks") << std::optional<QString>(QStringLiteral("a\nb\n"))
                                     << ContentType::plainText << "a b" << "a b";
        QTest::newRow("surrounding space") << std::optional<QString>(QStringLiteral(" \t x y \n "))
                                           << ContentType::plainText << "x y" << "x y";
        QTest::newRow("120 characters") << std::optional<QString>(a120) << ContentType::plainText
                                        << a120 << a120;
        QTest::newRow("121 characters") << std::optional<QString>(a120 + QLatin1Char('b'))
                                        << ContentType::plainText << a120 + QLatin1Char('b')
                                        << a120 + QStringLiteral("…");
        QTest::newRow("120 then only space")
            << std::optional<QString>(a120 + QStringLiteral("  \n\n ")) << ContentType::plainText
            << a120 << a120;
        QTest::newRow("121 emoji") << std::optional<QString>(repeated(family, 121))
                                   << ContentType::plainText << repeated(family, 121)
                                   << repeated(family, 120) + QStringLiteral("…");
        QTest::newRow("only space") << std::optional<QString>(QStringLiteral(" \n ")) << ContentType::plainText
                                    << "" << "";
        QTest::newRow("empty text") << std::optional<QString>(QString()) << ContentType::plainText
                                    << "空内容" << "空内容";
        QTest::newRow("no text") << std::optional<QString>() << ContentType::richText << "空内容"
                                 << "空内容";
        QTest::newRow("image") << std::optional<QString>() << ContentType::image << "图片" << "图片";
        QTest::newRow("url") << std::optional<QString>() << ContentType::url << "链接" << "链接";
        QTest::newRow("file") << std::optional<QString>() << ContentType::file << "文件" << "文件";
    }
    void previews() {
        QFETCH(std::optional<QString>, text);
        QFETCH(ContentType, type);
        QFETCH(QString, preview);
        QFETCH(QString, shortPreview);
        const ClipItem item = textClip(text, type);
        QCOMPARE(item.previewText(), preview);
        QCOMPARE(item.shortPreview(), shortPreview);
    }

    // The bounded cut must agree with cutting the whole preview, whatever
    // mix of clusters, line breaks and space surrounds the 120th character.
    void shortPreviewAgreesWithFullCut_data() {
        QTest::addColumn<QString>("text");
        const QString a119 = QString(119, QLatin1Char('a'));
        QTest::newRow("crlf at the cut") << a119 + QStringLiteral("\r\nb");
        QTest::newRow("crlf pairs") << repeated(QStringLiteral("x\r\n"), 80);
        QTest::newRow("combining marks") << repeated(QStringLiteral("e\u0301\u0302\u0303"), 130);
        QTest::newRow("flags") << repeated(QStringLiteral("🇨🇳🇫🇷"), 70);
        QTest::newRow("long cluster at the cut")
            << a119 + QStringLiteral("o") + QString(500, QChar(0x0301)) + QStringLiteral("z");
        QTest::newRow("leading space then text") << QStringLiteral("\n\n\t  ") + repeated(QStringLiteral("中文"), 61);
        QTest::newRow("space after the cut then text")
            << QString(120, QLatin1Char('a')) + QString(1000, QLatin1Char(' ')) + QStringLiteral("z");
        QTest::newRow("surrogates") << repeated(QStringLiteral("𝄞"), 125);
    }
    void shortPreviewAgreesWithFullCut() {
        QFETCH(QString, text);
        const ClipItem item = textClip(text);
        QCOMPARE(item.shortPreview(), referenceShortPreview(item));
    }

    void characterCountCountsWhatUsersSee() {
        QCOMPARE(textClip(QStringLiteral("a👨‍👩‍👧e\u0301")).characterCount(),
                 std::optional<qsizetype>(3));
        QCOMPARE(textClip(QStringLiteral("🇨🇳🇫🇷")).characterCount(), std::optional<qsizetype>(2));
        QCOMPARE(textClip(QString()).characterCount(), std::nullopt);
        QCOMPARE(textClip(std::nullopt).characterCount(), std::nullopt);
    }

    void formattedByteSize() {
        ClipItem item = textClip(QStringLiteral("x"));
        item.byteSize = 0;
        QCOMPARE(item.formattedByteSize(), QString());
        item.byteSize = -5;
        QCOMPARE(item.formattedByteSize(), QString());
        item.byteSize = 1'500'000;
        QCOMPARE(item.formattedByteSize(),
                 QLocale().formattedDataSize(1'500'000, 1, QLocale::DataSizeSIFormat));
        QVERIFY(item.formattedByteSize().contains(QLatin1String("MB")));
    }

    void fileValues_data() {
        QTest::addColumn<ContentType>("type");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<QStringList>("paths");
        QTest::addColumn<std::optional<QString>>("name");
        QTest::addColumn<std::optional<QString>>("extension");
        using O = std::optional<QString>;
        QTest::newRow("two paths, blank line") << ContentType::file << O("/docs/a.pdf\n\n/docs/b.txt")
            << QStringList{"/docs/a.pdf", "/docs/b.txt"} << O("a.pdf") << O("PDF");
        QTest::newRow("no extension") << ContentType::file << O("/usr/bin/env")
                                      << QStringList{"/usr/bin/env"} << O("env") << O();
        QTest::newRow("hidden file") << ContentType::file << O("/home/me/.bashrc")
                                     << QStringList{"/home/me/.bashrc"} << O(".bashrc") << O();
        QTest::newRow("folder") << ContentType::file << O("/home/me/Photos/")
                                << QStringList{"/home/me/Photos/"} << O("Photos") << O();
        QTest::newRow("double extension") << ContentType::file << O("/x/a.tar.gz")
                                          << QStringList{"/x/a.tar.gz"} << O("a.tar.gz") << O("GZ");
        QTest::newRow("text clip") << ContentType::plainText << O("/docs/a.pdf") << QStringList{}
                                   << O() << O();
        QTest::newRow("file clip without text") << ContentType::file << O() << QStringList{} << O()
                                                << O();
    }
    void fileValues() {
        QFETCH(ContentType, type);
        QFETCH(std::optional<QString>, text);
        QFETCH(QStringList, paths);
        QFETCH(std::optional<QString>, name);
        QFETCH(std::optional<QString>, extension);
        const ClipItem item = textClip(text, type);
        QCOMPARE(item.filePaths(), paths);
        QCOMPARE(item.fileCount(), paths.size());
        QCOMPARE(item.primaryFileName(), name);
        QCOMPARE(item.primaryFileExtension(), extension);
    }

    void jsonRoundTripsEveryField() {
        ClipItem item = textClip(QStringLiteral("多行\n\"quoted\" / slash"));
        item.createdAt = 1'704'067'200.123456;  // 2024-01-01 plus a fraction
        item.richTextPath = QStringLiteral("A.rtf");
        item.imagePath = QStringLiteral("B.png");
        item.thumbnailPath = QStringLiteral("B_thumb.jpg");
        item.sourceAppName = QStringLiteral("编辑器");
        item.sourceBundleId = QStringLiteral("org.example.editor");
        item.isPinned = true;
        item.byteSize = 123456789;
        const QJsonObject object = ClipItemJson::encode(item);
        QCOMPARE(object.value(QStringLiteral("id")).toString(), uuidText(item.id));
        QCOMPARE(object.value(QStringLiteral("createdAt")).toDouble(),
                 1'704'067'200.123456 - 978'307'200.0);
        const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact);
        const ClipItem back = ClipItemJson::decode(QJsonDocument::fromJson(text).object());
        QCOMPARE(back.id, item.id);
        QCOMPARE(back.plainText, item.plainText);
        QCOMPARE(back.sourceAppName, item.sourceAppName);
        QCOMPARE(back.byteSize, item.byteSize);
        QVERIFY(qAbs(back.createdAt - item.createdAt) < 1e-6);
    }

    void jsonLeavesAbsentOptionalsOut() {
        const ClipItem item = textClip(std::nullopt, ContentType::image);
        const QJsonObject object = ClipItemJson::encode(item);
        QCOMPARE(object.keys().size(), 7);
        QVERIFY(!object.contains(QStringLiteral("plainText")));
        QVERIFY(!object.contains(QStringLiteral("imagePath")));
        QCOMPARE(object.value(QStringLiteral("isPinned")), QJsonValue(false));
    }

    void jsonReading_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("readable");
        const QByteArray base =
            R"("createdAt":725760000,"deviceId":"D","contentType":"plainText","isPinned":false,"contentHash":"h","byteSize":3)";
        const QByteArray id = R"("id":"6f9619ff-8b86-d011-b42d-00c04fc964ff",)";
        QTest::newRow("lower-case id, minimal") << "{" + id + base + "}" << true;
        QTest::newRow("null optionals and unknown keys")
            << "{" + id + base + R"(,"plainText":null,"imagePath":null,"extra":[1]})" << true;
        QTest::newRow("missing id") << "{" + base + "}" << false;
        QTest::newRow("id not a uuid") << R"({"id":"not-a-uuid",)" + base + "}" << false;
        QTest::newRow("id with braces")
            << R"({"id":"{6f9619ff-8b86-d011-b42d-00c04fc964ff}",)" + base + "}" << false;
        QTest::newRow("null required") << "{" + id + base + R"(,"deviceId":null})" << false;
        QTest::newRow("unknown content type")
            << "{" + id + QByteArray(base).replace("plainText", "video") + "}" << false;
        QTest::newRow("text for bool")
            << "{" + id + QByteArray(base).replace("false", "\"false\"") + "}" << false;
        QTest::newRow("fractional size")
            << "{" + id + QByteArray(base).replace("\"byteSize\":3", "\"byteSize\":3.5") + "}" << false;
        QTest::newRow("number for optional text") << "{" + id + base + R"(,"plainText":5})" << false;
    }
    void jsonReading() {
        QFETCH(QByteArray, json);
        QFETCH(bool, readable);
        const QJsonObject object = QJsonDocument::fromJson(json).object();
        QVERIFY(!object.isEmpty());
        if (readable) {
            const ClipItem item = ClipItemJson::decode(object);
            QCOMPARE(uuidText(item.id), QStringLiteral("6F9619FF-8B86-D011-B42D-00C04FC964FF"));
            QCOMPARE(item.createdAt, 725'760'000.0 + 978'307'200.0);  // 2024-01-01 UTC
            QCOMPARE(item.plainText, std::nullopt);
        } else {
            QVERIFY_THROWS_EXCEPTION(JsonError, ClipItemJson::decode(object));
        }
    }
    void imageDisplaySource_data() {
        QTest::addColumn<ContentType>("type");
        QTest::addColumn<std::optional<QString>>("text");
        QTest::addColumn<std::optional<QString>>("imagePath");
        QTest::addColumn<std::optional<QString>>("thumbnailPath");
        QTest::addColumn<std::optional<ImageDisplaySource>>("expected");
        const std::optional<QString> none;
        const std::optional<ImageDisplaySource> noImage;
        QTest::newRow("image attachment") << ContentType::image << none << std::optional<QString>("A.png")
                                          << std::optional<QString>("A_thumb.jpg")
                                          << std::optional(ImageDisplaySource::attachment("A.png"));
        QTest::newRow("thumbnail only") << ContentType::image << none << none << std::optional<QString>("A_thumb.jpg")
                                        << std::optional(ImageDisplaySource::attachment("A_thumb.jpg"));
        QTest::newRow("image without files") << ContentType::image << none << none << none << noImage;
        QTest::newRow("file HEIC in upper case")
            << ContentType::file << std::optional<QString>("/p/IMG_1.HEIC\n/p/doc.pdf") << none << none
            << std::optional(ImageDisplaySource::file("/p/IMG_1.HEIC"));
        QTest::newRow("file pdf first") << ContentType::file << std::optional<QString>("/p/doc.pdf\n/p/a.png")
                                        << none << none << noImage;
        QTest::newRow("file without extension") << ContentType::file << std::optional<QString>("/p/png")
                                                << none << none << noImage;
        QTest::newRow("image path on a text clip is ignored")
            << ContentType::plainText << std::optional<QString>("a.png") << std::optional<QString>("A.png") << none
            << noImage;
    }

    void imageDisplaySource() {
        QFETCH(ContentType, type);
        QFETCH(std::optional<QString>, text);
        QFETCH(std::optional<QString>, imagePath);
        QFETCH(std::optional<QString>, thumbnailPath);
        QFETCH(std::optional<ImageDisplaySource>, expected);
        ClipItem item = textClip(text, type);
        item.imagePath = imagePath;
        item.thumbnailPath = thumbnailPath;
        QCOMPARE(item.imageDisplaySource(), expected);
        QCOMPARE(item.isImagePreview(), expected.has_value());
        if (expected) {
            QCOMPARE(expected->resolvedPath(QStringLiteral("/att")),
                     expected->kind() == ImageDisplaySource::Kind::file ? expected->path()
                                                                       : "/att/" + expected->path());
        }
    }

    void imageFormats_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("extension");
        QTest::newRow("GIF89a") << QByteArray("GIF89a\x01\x00") << "gif";
        QTest::newRow("four bytes") << QByteArray("GIF8") << "gif";
        QTest::newRow("three bytes") << QByteArray("GIF") << "png";
        QTest::newRow("lower case") << QByteArray("gif89a") << "png";
        QTest::newRow("JPEG") << QByteArray("\xff\xd8\xff\xe0") << "png";
        QTest::newRow("empty") << QByteArray() << "png";
    }

    void imageFormats() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, extension);
        QCOMPARE(ImageFormatHelper::preferredExtension(bytes), extension);
    }

    void isGIF() {
        QVERIFY(ImageFormatHelper::isGIF(QStringLiteral("A.gif")));
        QVERIFY(ImageFormatHelper::isGIF(QStringLiteral("/x.y/A.GiF")));
        QVERIFY(!ImageFormatHelper::isGIF(QStringLiteral("A.gif.png")));
        QVERIFY(!ImageFormatHelper::isGIF(QStringLiteral("/dir.gif/file")));
        QVERIFY(!ImageFormatHelper::isGIF(QStringLiteral("gif")));
        QCOMPARE(ImageFormatHelper::imageFileExtensions().size(), 12);
    }
};

QTEST_GUILESS_MAIN(TestClipModel)
#include "tst_clipmodel.moc"
