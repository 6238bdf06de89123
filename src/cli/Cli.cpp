#include "Cli.h"

#include "capture/CapturedClip.h"
#include "capture/ClipItemJson.h"
#include "capture/ClipPersistence.h"
#include "capture/PasteService.h"
#include "platform/AppPaths.h"
#include "platform/IOSAppPreferences.h"
#include "platform/Uuid.h"
#include "store/ClipStore.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

#include <functional>
#include <memory>

namespace tessik {

namespace {

const char* const kUsage =
    "usage: tessik-cli [--json] COMMAND [ARGUMENTS]\n"
    "\n"
    "  list [--limit N]           the history, pinned first, newest first (default 200)\n"
    "  search QUERY [--limit N]   clips whose text contains QUERY\n"
    "  show ID                    the clip's text, exactly as stored\n"
    "  add [TEXT ...]             record each TEXT (or standard input) as a copied text\n"
    "  add --image FILE           record the bytes of an image file as a copied image\n"
    "  copy ID [--plain]          put a clip on the clipboard (with --plain, its text only)\n"
    "                             and serve it until another program takes the clipboard\n"
    "                             (with --foreground, without going to the background)\n"
    "  pin ID | unpin ID          pin or unpin a clip\n"
    "  delete ID                  delete a clip\n"
    "  clear [--all]              delete every unpinned clip (with --all, every clip)\n"
    "  limit [N]                  print the history limit, or set it to 100, 200, 500 or 1000\n"
    "\n"
    "  --json                     list and search print a JSON array of clips\n";

constexpr int kDefaultListLimit = 200;

struct UsageProblem {
    QString text;
};

// Reads "--limit N" (the only option of list and search) out of the
// arguments, leaving the positional ones.
int takeLimit(QStringList& args) {
    int limit = kDefaultListLimit;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) != QLatin1String("--limit")) {
            continue;
        }
        if (i + 1 >= args.size()) {
            throw UsageProblem{QStringLiteral("--limit needs a number")};
        }
        bool ok = false;
        limit = args.at(i + 1).toInt(&ok);
        if (!ok || limit < 1) {
            throw UsageProblem{QStringLiteral("--limit needs a positive number, not \"%1\"")
                                   .arg(args.at(i + 1))};
        }
        args.remove(i, 2);
        --i;
    }
    return limit;
}

// The stored clip named by an id argument; a malformed or unknown id is a
// runtime error.
ClipItem existingClip(ClipStore& store, const QString& text) {
    const std::optional<QUuid> id = parseUuid(text);
    if (!id) {
        throw Error(QStringLiteral("\"%1\" is not a clip id").arg(text));
    }
    std::optional<ClipItem> item = store.clip(*id);
    if (!item) {
        throw Error(QStringLiteral("no clip with id %1").arg(uuidText(*id)));
    }
    return *item;
}

std::unique_ptr<ClipStore> openStore() {
    try {
        return std::make_unique<ClipStore>(AppPaths::databaseURL(),
                                           IOSAppPreferences::historyLimit());
    } catch (const Error& error) {
        throw Error(QStringLiteral("Failed to initialize ClipStore: ") + error.description());
    }
}

// One line per clip; tabs and line breaks inside the preview would break
// the columns, so every control character is shown as a space.
QString line(const ClipItem& item) {
    QString preview = item.shortPreview();
    for (QChar& c : preview) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char(' ');
        }
    }
    const QDateTime created = QDateTime::fromMSecsSinceEpoch(
        static_cast<qint64>(item.createdAt * 1000.0), Qt::UTC);
    return QStringList{uuidText(item.id), ContentTypes::rawValue(item.contentType),
                       item.isPinned ? QStringLiteral("pinned") : QStringLiteral("-"),
                       created.toString(Qt::ISODateWithMs), preview}
        .join(QLatin1Char('\t'));
}

QByteArray readAll(std::FILE* in) {
    QByteArray data;
    char buffer[65536];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        data.append(buffer, static_cast<qsizetype>(n));
    }
    return data;
}

} // namespace

void Cli::print(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
}

int Cli::usage(const QString& problem) {
    std::fprintf(m_err, "tessik-cli: %s\n\n%s", problem.toUtf8().constData(), kUsage);
    return UsageError;
}

int Cli::failure(const QString& problem) {
    std::fprintf(m_err, "tessik-cli: %s\n", problem.toUtf8().constData());
    return RuntimeError;
}

int Cli::run(QStringList args) {
    // Global options come before the command; "--" ends them.
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--json")) {
            m_json = true;
        } else if (option == QLatin1String("--help")) {
            std::fputs(kUsage, m_out);
            return Success;
        } else if (option == QLatin1String("--")) {
            break;
        } else {
            return usage(QStringLiteral("unknown option %1").arg(option));
        }
    }
    if (args.isEmpty()) {
        return usage(QStringLiteral("no command given"));
    }
    const QString command = args.takeFirst();
    using Handler = std::function<int(Cli&, const QStringList&)>;
    const QHash<QString, Handler> commands{
        {QStringLiteral("list"), &Cli::list},
        {QStringLiteral("search"), &Cli::search},
        {QStringLiteral("show"), &Cli::show},
        {QStringLiteral("add"), &Cli::add},
        {QStringLiteral("copy"), &Cli::copy},
        {QStringLiteral("pin"), [](Cli& cli, const QStringList& a) { return cli.setPinned(a, true); }},
        {QStringLiteral("unpin"), [](Cli& cli, const QStringList& a) { return cli.setPinned(a, false); }},
        {QStringLiteral("delete"), &Cli::deleteClip},
        {QStringLiteral("clear"), &Cli::clear},
        {QStringLiteral("limit"), &Cli::limit},
    };
    try {
        const auto handler = commands.constFind(command);
        if (handler != commands.constEnd()) {
            return (*handler)(*this, args);
        }
        return usage(QStringLiteral("unknown command \"%1\"").arg(command));
    } catch (const UsageProblem& problem) {
        return usage(problem.text);
    } catch (const Error& error) {
        return failure(error.description());
    }
}

namespace {

QString render(const QList<ClipItem>& items, bool json) {
    if (json) {
        QJsonArray array;
        for (const ClipItem& item : items) {
            array.append(ClipItemJson::encode(item));
        }
        return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact)) +
               QLatin1Char('\n');
    }
    QString text;
    for (const ClipItem& item : items) {
        text += line(item) + QLatin1Char('\n');
    }
    return text;
}

void expectCount(const QStringList& args, qsizetype count, const char* what) {
    if (args.size() != count) {
        throw UsageProblem{QString::fromLatin1(what)};
    }
}

} // namespace

int Cli::list(const QStringList& arguments) {
    QStringList args = arguments;
    const int limit = takeLimit(args);
    expectCount(args, 0, "list takes no arguments besides --limit N");
    print(render(openStore()->fetchRecent(limit), m_json));
    return Success;
}

int Cli::search(const QStringList& arguments) {
    QStringList args = arguments;
    const int limit = takeLimit(args);
    expectCount(args, 1, "search needs exactly one QUERY");
    print(render(openStore()->search(args.first(), limit), m_json));
    return Success;
}

int Cli::show(const QStringList& args) {
    expectCount(args, 1, "show needs exactly one ID");
    const ClipItem item = existingClip(*openStore(), args.first());
    if (!item.plainText) {
        return failure(QStringLiteral("clip %1 has no text").arg(uuidText(item.id)));
    }
    print(*item.plainText);
    return Success;
}

int Cli::add(const QStringList& args) {
    if (!args.isEmpty() && args.first() == QLatin1String("--image")) {
        return addImage(args.mid(1));
    }
    QStringList texts = args;
    if (texts.isEmpty()) {
        texts.append(QString::fromUtf8(readAll(m_in)));
    }
    for (const QString& text : texts) {
        if (text.isEmpty()) {
            return failure(QStringLiteral("nothing to add: the text is empty"));
        }
    }
    const auto store = openStore();
    for (const QString& text : texts) {
        record(*store, CapturedClip::fromText(text));
    }
    return Success;
}

int Cli::addImage(const QStringList& args) {
    expectCount(args, 1, "add --image needs exactly one FILE");
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        return failure(QStringLiteral("cannot read %1: %2").arg(args.first(), file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    if (bytes.isEmpty()) {
        return failure(QStringLiteral("nothing to add: %1 is empty").arg(args.first()));
    }
    record(*openStore(), CapturedClip::fromImageData(bytes));
    return Success;
}

// Stores the clip as a capture would and prints its id, or "duplicate".
void Cli::record(ClipStore& store, const CapturedClip& clip) {
    const std::optional<ClipItem> stored =
        ClipPersistence::record(clip, store, AppPaths::attachmentsDirectory(), now());
    print((stored ? uuidText(stored->id) : QStringLiteral("duplicate")) + QLatin1Char('\n'));
}

int Cli::copy(const QStringList& arguments) {
    QStringList args = arguments;
    const bool plain = args.removeAll(QStringLiteral("--plain")) > 0;
    args.removeAll(QStringLiteral("--foreground"));  // main() serves the clipboard
    expectCount(args, 1, "copy needs exactly one ID, and --plain or --foreground");
    if (!qGuiApp) {
        return failure(QStringLiteral("copy needs the clipboard, which this process cannot reach"));
    }
    const ClipItem item = existingClip(*openStore(), args.first());
    PasteService::copy(item, plain);
    return Success;
}

QString Cli::commandOf(const QStringList& args) {
    // Global options come before the command; "--" ends them.
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--")) {
            return args.value(i + 1);
        }
        if (!args.at(i).startsWith(QLatin1String("--"))) {
            return args.at(i);
        }
    }
    return QString();
}

int Cli::setPinned(const QStringList& args, bool pinned) {
    expectCount(args, 1, pinned ? "pin needs exactly one ID" : "unpin needs exactly one ID");
    const auto store = openStore();
    store->setPinned(existingClip(*store, args.first()).id, pinned);
    return Success;
}

int Cli::deleteClip(const QStringList& args) {
    expectCount(args, 1, "delete needs exactly one ID");
    const auto store = openStore();
    store->deleteClip(existingClip(*store, args.first()).id);
    return Success;
}

int Cli::clear(const QStringList& args) {
    const bool all = args == QStringList{QStringLiteral("--all")};
    if (!all && !args.isEmpty()) {
        throw UsageProblem{QStringLiteral("clear takes only --all")};
    }
    openStore()->deleteAll(!all);
    return Success;
}

int Cli::limit(const QStringList& args) {
    if (args.isEmpty()) {
        print(QString::number(IOSAppPreferences::historyLimit()) + QLatin1Char('\n'));
        return Success;
    }
    expectCount(args, 1, "limit takes at most one number");
    bool ok = false;
    const int limit = args.first().toInt(&ok);
    if (!ok || !IOSAppPreferences::allowedHistoryLimits().contains(limit)) {
        throw UsageProblem{
            QStringLiteral("the history limit must be 100, 200, 500 or 1000, not \"%1\"")
                .arg(args.first())};
    }
    IOSAppPreferences::setHistoryLimit(limit);
    openStore()->setMaxItems(limit);
    return Success;
}

} // namespace tessik
