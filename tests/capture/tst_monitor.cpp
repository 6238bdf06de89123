#include "ImageFixtures.h"
#include "capture/PasteboardMonitor.h"
#include "platform/InMemoryPasteboard.h"

#include <QTest>

using namespace tessik;
using Content = InMemoryPasteboard::Content;

Q_DECLARE_METATYPE(tessik::InMemoryPasteboard::Content)
Q_DECLARE_METATYPE(std::optional<tessik::CapturedClip>)

namespace {

PasteboardItem item(std::initializer_list<std::pair<QString, QByteArray>> representations) {
    PasteboardItem result;
    for (const auto& [type, bytes] : representations) {
        result.insert(type, bytes);
    }
    return result;
}

Content textContent(const QString& text) {
    return Content{{item({{PasteboardType::utf8PlainText, text.toUtf8()}})}, {}, std::nullopt};
}

} // namespace

class TestMonitor : public QObject {
    Q_OBJECT

    TimePoint m_time = 1'000'000.0;

private Q_SLOTS:
    void initTestCase() {
        PasteboardMonitor::setClock([this] { return m_time; });
    }

    void init() {
        // Any window a test opened has long ended (and the next poll clears it).
        m_time += 1000.0;
    }

    void cleanupTestCase() {
        PasteboardMonitor::setClock();
    }

    void captureOrder_data() {
        QTest::addColumn<Content>("content");
        QTest::addColumn<std::optional<CapturedClip>>("expected");

        const QUrl file = QUrl::fromLocalFile(QStringLiteral("/home/u/report.pdf"));
        const QUrl file2 = QUrl::fromLocalFile(QStringLiteral("/home/u/数据 2.csv"));
        const QUrl web(QStringLiteral("https://example.com/a?b=c"));
        const QUrl ftp(QStringLiteral("ftp://example.com/file"));
        const QByteArray gif = ImageFixtures::twoFrameGif();
        const QByteArray png = ImageFixtures::png();
        const QByteArray jpeg = ImageFixtures::jpeg();
        const QByteArray rtf = "{\\rtf1\\ansi bold}";
        const QByteArray html = "<b>bold</b>";
        const QByteArray text = "bold";
        const QImage object = ImageFixtures::filled({5, 5}, Qt::red);

        QTest::newRow("files beat text; other URLs dropped")
            << Content{{item({{PasteboardType::utf8PlainText, text}})}, {web, file, file2}, {}}
            << std::optional(CapturedClip::fromFileURLs({file, file2}));
        QTest::newRow("compuserve GIF beats public GIF, PNG and text")
            << Content{{item({{PasteboardType::png, png},
                              {PasteboardType::gif, "GIF89a-other"},
                              {PasteboardType::compuserveGif, gif},
                              {PasteboardType::utf8PlainText, text}})}, {}, {}}
            << std::optional(CapturedClip::fromImageData(gif));
        QTest::newRow("public GIF beats PNG")
            << Content{{item({{PasteboardType::png, png}, {PasteboardType::gif, gif}})}, {}, {}}
            << std::optional(CapturedClip::fromImageData(gif));
        QTest::newRow("PNG beats JPEG, image object and text")
            << Content{{item({{PasteboardType::jpeg, jpeg},
                              {PasteboardType::png, png},
                              {PasteboardType::utf8PlainText, text}})}, {}, object}
            << std::optional(CapturedClip::fromImageData(png));
        QTest::newRow("JPEG bytes as offered")
            << Content{{item({{PasteboardType::jpeg, jpeg}})}, {}, {}}
            << std::optional(CapturedClip::fromImageData(jpeg));
        QTest::newRow("image data that came through empty is no image")
            << Content{{item({{PasteboardType::png, {}}, {PasteboardType::utf8PlainText, text}})}, {}, {}}
            << std::optional(CapturedClip::fromText(QStringLiteral("bold")));
        QTest::newRow("image object as PNG, beats text")
            << Content{{item({{PasteboardType::utf8PlainText, text}})}, {}, object}
            << std::optional(CapturedClip::fromImageData(ImageFixtures::encoded(object, "PNG")));
        QTest::newRow("text with RTF and HTML keeps the RTF")
            << Content{{item({{PasteboardType::utf8PlainText, text},
                              {PasteboardType::html, html},
                              {PasteboardType::rtf, rtf}})}, {}, {}}
            << std::optional(CapturedClip::fromText(QStringLiteral("bold"), rtf));
        QTest::newRow("text with HTML only")
            << Content{{item({{PasteboardType::utf8PlainText, text}, {PasteboardType::html, html}})}, {}, {}}
            << std::optional(CapturedClip::fromText(QStringLiteral("bold"), html));
        QTest::newRow("rich data without text")
            << Content{{item({{PasteboardType::html, html}})}, {}, {}}
            << std::optional(CapturedClip::fromRichDataOnly(html));
        QTest::newRow("plain text") << textContent(QStringLiteral("héllo\n世界"))
                                    << std::optional(CapturedClip::fromText(QStringLiteral("héllo\n世界")));
        QTest::newRow("empty text is kept") << textContent(QString())
                                            << std::optional(CapturedClip::fromText(QString()));
        QTest::newRow("web address text beats URL object")
            << Content{{item({{PasteboardType::utf8PlainText, "https://example.org"}})}, {ftp}, {}}
            << std::optional(CapturedClip::fromText(QStringLiteral("https://example.org")));
        QTest::newRow("web address object without text")
            << Content{{}, {web}, {}} << std::optional(CapturedClip::fromWebAddress(web));
        QTest::newRow("ftp address object alone gives nothing")
            << Content{{}, {ftp}, {}} << std::optional<CapturedClip>();
        QTest::newRow("empty pasteboard gives nothing") << Content{} << std::optional<CapturedClip>();
        QTest::newRow("password manager secret is never read")
            << Content{{item({{PasteboardType::utf8PlainText, "hunter2"},
                              {PasteboardType::passwordManagerHint, "secret"}})}, {}, {}}
            << std::optional<CapturedClip>();
        QTest::newRow("other password manager hints are ordinary text")
            << Content{{item({{PasteboardType::utf8PlainText, "hunter2"},
                              {PasteboardType::passwordManagerHint, "public"}})}, {}, {}}
            << std::optional(CapturedClip::fromText(QStringLiteral("hunter2")));
        QTest::newRow("concealed type hides even an image")
            << Content{{item({{PasteboardType::png, png}, {PasteboardType::concealed, {}}})}, {}, {}}
            << std::optional<CapturedClip>();
    }

    void captureOrder() {
        QFETCH(Content, content);
        QFETCH(std::optional<CapturedClip>, expected);
        InMemoryPasteboard pasteboard;
        pasteboard.copyFromOtherProgram(content);
        PasteboardMonitor monitor(pasteboard);
        QCOMPARE(monitor.captureCurrent(), expected);
    }

    void normalAndForcedPolls() {
        InMemoryPasteboard pasteboard;
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("before")));
        PasteboardMonitor monitor(pasteboard);
        QList<CapturedClip> captured;
        monitor.onCapture = [&](const CapturedClip& clip) { captured.append(clip); };

        monitor.poll();
        QVERIFY(captured.isEmpty());  // present at construction: already handled

        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("one")));
        monitor.poll();
        monitor.poll();
        QCOMPARE(captured.size(), 1);
        QCOMPARE(captured.last().plainText, QStringLiteral("one"));
        QCOMPARE(monitor.lastChangeCount(), pasteboard.changeCount());

        monitor.refresh();  // forced: the same content again
        QCOMPARE(captured.size(), 2);
        QCOMPARE(captured.last().plainText, QStringLiteral("one"));

        // Copying the same text again moves the count and is captured again.
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("one")));
        monitor.poll();
        QCOMPARE(captured.size(), 3);

        // A moved count over content that gives no clip hands nothing over.
        pasteboard.copyFromOtherProgram(Content{});
        monitor.poll();
        QCOMPARE(captured.size(), 3);
        QCOMPARE(monitor.lastChangeCount(), pasteboard.changeCount());
    }

    void timerStartsAfterExistingContent() {
        InMemoryPasteboard pasteboard;
        PasteboardMonitor monitor(pasteboard, 0.01);
        QList<CapturedClip> captured;
        monitor.onCapture = [&](const CapturedClip& clip) { captured.append(clip); };

        // Copied after construction but before start: start takes it as handled.
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("old")));
        monitor.start();
        QVERIFY(monitor.isRunning());
        QTest::qWait(60);
        QVERIFY(captured.isEmpty());

        monitor.refresh();
        QCOMPARE(captured.size(), 1);
        QCOMPARE(captured.last().plainText, QStringLiteral("old"));

        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("new")));
        QTRY_COMPARE(captured.size(), 2);
        QCOMPARE(captured.last().plainText, QStringLiteral("new"));

        monitor.stop();
        monitor.stop();
        QVERIFY(!monitor.isRunning());
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("while stopped")));
        QTest::qWait(60);
        QCOMPARE(captured.size(), 2);
    }

    void suppressionWindow_data() {
        QTest::addColumn<bool>("ownWrite");      // the change is our own write, else another program's
        QTest::addColumn<double>("changeAt");    // seconds after the window opened
        QTest::addColumn<QList<double>>("pollsAt");
        QTest::addColumn<bool>("forced");
        QTest::addColumn<int>("captures");

        QTest::newRow("own write absorbed") << true << 0.0 << QList<double>{0.35, 0.7, 1.05, 5.0} << false << 0;
        QTest::newRow("other change in the window absorbed for good")
            << false << 0.5 << QList<double>{0.7, 1.05, 5.0} << false << 0;
        QTest::newRow("forced poll in the window absorbs too")
            << false << 0.1 << QList<double>{0.2, 0.5} << true << 0;
        QTest::newRow("change after the window is captured")
            << false << 0.9 << QList<double>{0.35, 0.7, 1.05} << false << 1;
        QTest::newRow("change just before the end absorbed")
            << false << 0.7998 << QList<double>{0.7999, 0.8002} << false << 0;
        QTest::newRow("change just after the end captured")
            << false << 0.8001 << QList<double>{0.7999, 0.8002} << false << 1;
    }

    void suppressionWindow() {
        QFETCH(bool, ownWrite);
        QFETCH(double, changeAt);
        QFETCH(QList<double>, pollsAt);
        QFETCH(bool, forced);
        QFETCH(int, captures);

        InMemoryPasteboard pasteboard;
        PasteboardMonitor monitor(pasteboard);
        int captured = 0;
        monitor.onCapture = [&](const CapturedClip&) { ++captured; };

        const TimePoint opened = m_time;
        PasteboardMonitor::suppress();
        bool changed = false;
        for (double at : pollsAt) {
            if (!changed && at > changeAt) {
                m_time = opened + changeAt;
                if (ownWrite) {
                    pasteboard.setString(QStringLiteral("from us"));
                } else {
                    pasteboard.copyFromOtherProgram(textContent(QStringLiteral("from them")));
                }
                changed = true;
            }
            m_time = opened + at;
            forced ? monitor.refresh() : monitor.poll();
        }
        QCOMPARE(captured, captures);
        QCOMPARE(monitor.lastChangeCount(), pasteboard.changeCount());
    }

    void laterWindowReplacesEarlier() {
        InMemoryPasteboard pasteboard;
        PasteboardMonitor monitor(pasteboard);
        int captured = 0;
        monitor.onCapture = [&](const CapturedClip&) { ++captured; };
        PasteboardMonitor::suppress(10.0);
        PasteboardMonitor::suppress(0.1);
        m_time += 0.2;
        pasteboard.copyFromOtherProgram(textContent(QStringLiteral("x")));
        monitor.poll();
        QCOMPARE(captured, 1);
    }

    void windowIsSharedByAllMonitors() {
        InMemoryPasteboard first;
        InMemoryPasteboard second;
        PasteboardMonitor a(first);
        PasteboardMonitor b(second);
        int captured = 0;
        a.onCapture = b.onCapture = [&](const CapturedClip&) { ++captured; };
        PasteboardMonitor::suppress();
        first.copyFromOtherProgram(textContent(QStringLiteral("a")));
        second.copyFromOtherProgram(textContent(QStringLiteral("b")));
        a.poll();
        b.poll();
        QCOMPARE(captured, 0);
    }
};

QTEST_MAIN(TestMonitor)
#include "tst_monitor.moc"
