#include "Cli.h"

#include "cli/CliSupport.h"

#include "capture/CapturedClip.h"
#include "capture/ClipItemJson.h"
#include "capture/ClipPersistence.h"
#include "capture/PasteService.h"
#include "favorites/FavoriteStore.h"
#include "favorites/FavoriteStoreMigration.h"
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

using namespace cli;

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
    "  categories                 the favourite categories in tab order\n"
    "  category add NAME          make a category (prints its id)\n"
    "  category rename ID NAME    rename a category\n"
    "  category delete ID [--move-to ID | --delete-items | --keep-in-history]\n"
    "                             delete a category; one holding favourites needs one of\n"
    "                             the options: move them, or delete them (the history\n"
    "                             keeps its clips either way)\n"
    "  favorites CATEGORY_ID      the clips of a category, as list prints them\n"
    "  favorite add CLIP_ID CATEGORY_ID\n"
    "  favorite remove CLIP_ID CATEGORY_ID\n"
    "  favorite move CLIP_ID --from CATEGORY_ID --to CATEGORY_ID\n"
    "\n"
    "  sync status                local-network sync settings and paired devices\n"
    "  sync enable | disable      switch local-network sync on or off\n"
    "  sync require-pin on|off    serve only devices paired by PIN, or every device\n"
    "  sync name NAME             the name this device shows to the others\n"
    "\n"
    "  --json                     list, search and favorites print a JSON array of clips;\n"
    "                             sync status prints a JSON object\n";

constexpr int kDefaultListLimit = 200;

// Reads "--limit N" (the only option of list and search) out of the
// arguments, leaving the positional ones.
int takeLimit(QStringList& args) {
    const std::optional<QString> text = takeValue(args, QStringLiteral("--limit"), "a number");
    if (!text) {
        return kDefaultListLimit;
    }
    bool ok = false;
    const int limit = text->toInt(&ok);
    if (!ok || limit < 1) {
        throw UsageProblem{QStringLiteral("--limit needs a positive number, not \"%1\"").arg(*text)};
    }
    return limit;
}

QUuid parseId(const QString& text, const char* what) {
    const std::optional<QUuid> id = parseUuid(text);
    if (!id) {
        throw Error(QStringLiteral("\"%1\" is not a %2 id").arg(text, QLatin1String(what)));
    }
    return *id;
}

// The stored clip named by an id argument; a malformed or unknown id is a
// runtime error.
ClipItem existingClip(ClipStore& store, const QString& text) {
    const QUuid id = parseId(text, "clip");
    std::optional<ClipItem> item = store.clip(id);
    if (!item) {
        throw Error(QStringLiteral("no clip with id %1").arg(uuidText(id)));
    }
    return *item;
}

// The stored category named by an id argument; a malformed or unknown id is
// a runtime error.
FavoriteCategory existingCategory(FavoriteStore& favorites, const QString& text) {
    const QUuid id = parseId(text, "category");
    std::optional<FavoriteCategory> category = favorites.category(id);
    if (!category) {
        throw Error(QStringLiteral("no category with id %1").arg(uuidText(id)));
    }
    return *category;
}

// The application's store: the history and, through migration "v2", the
// favourites.
std::unique_ptr<ClipStore> openStore() {
    try {
        return std::make_unique<ClipStore>(AppPaths::databaseURL(),
                                           IOSAppPreferences::historyLimit(),
                                           QList<Migration>{FavoriteStoreMigration::v2()});
    } catch (const Error& error) {
        throw Error(QStringLiteral("Failed to initialize ClipStore: ") + error.description());
    }
}

// One line per clip.
QString line(const ClipItem& item) {
    const QString preview = column(item.shortPreview());
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
        {QStringLiteral("categories"), &Cli::categories},
        {QStringLiteral("category"), &Cli::category},
        {QStringLiteral("favorites"), &Cli::favoriteClips},
        {QStringLiteral("favorite"), &Cli::favorite},
        {QStringLiteral("sync"), &Cli::sync},
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

namespace {

// A category name from the command line; the store trims it, and a name
// with nothing left would show as an empty tab.
QString categoryName(const QString& text) {
    if (text.trimmed().isEmpty()) {
        throw Error(QStringLiteral("a category name cannot be blank"));
    }
    return text;
}

} // namespace

int Cli::categories(const QStringList& args) {
    expectCount(args, 0, "categories takes no arguments");
    const auto store = openStore();
    FavoriteStore& favorites = store->favorites();
    QString text;
    for (const FavoriteCategory& category : favorites.fetchCategories()) {
        text += QStringList{uuidText(category.id), column(category.name), column(category.iconName),
                            QString::number(category.sortOrder),
                            QString::number(favorites.itemCount(category.id))}
                    .join(QLatin1Char('\t')) +
                QLatin1Char('\n');
    }
    print(text);
    return Success;
}

int Cli::category(const QStringList& args) {
    return dispatch(*this, QStringLiteral("category"), args,
                    {{QStringLiteral("add"), &Cli::addCategory},
                     {QStringLiteral("rename"), &Cli::renameCategory},
                     {QStringLiteral("delete"), &Cli::deleteCategory}});
}

int Cli::addCategory(const QStringList& args) {
    expectCount(args, 1, "category add needs exactly one NAME");
    const QString name = categoryName(args.first());
    print(uuidText(openStore()->favorites().createCategory(name).id) + QLatin1Char('\n'));
    return Success;
}

int Cli::renameCategory(const QStringList& args) {
    expectCount(args, 2, "category rename needs an ID and a NAME");
    const auto store = openStore();
    const FavoriteCategory category = existingCategory(store->favorites(), args.at(0));
    store->favorites().updateCategory(category.id, categoryName(args.at(1)));
    return Success;
}

int Cli::deleteCategory(const QStringList& arguments) {
    QStringList args = arguments;
    const QString moveOption = QStringLiteral("--move-to");
    const QString deleteOption = QStringLiteral("--delete-items");
    const QString keepOption = QStringLiteral("--keep-in-history");
    if (args.count(moveOption) + args.count(deleteOption) + args.count(keepOption) > 1) {
        throw UsageProblem{QStringLiteral(
            "category delete takes one of --move-to ID, --delete-items and --keep-in-history")};
    }
    const std::optional<QString> moveTo = takeValue(args, moveOption, "a category ID");
    const bool keepInHistory = args.removeAll(keepOption) > 0;
    const bool deleteItems = args.removeAll(deleteOption) > 0;
    expectCount(args, 1, "category delete needs exactly one ID");

    const auto store = openStore();
    FavoriteStore& favorites = store->favorites();
    const FavoriteCategory category = existingCategory(favorites, args.first());
    std::optional<CategoryDeletePolicy> policy;
    if (moveTo) {
        const FavoriteCategory target = existingCategory(favorites, *moveTo);
        if (target.id == category.id) {
            // The store would keep the category; saying nothing would
            // report that as a deletion.
            throw Error(QStringLiteral("cannot move the favourites of category %1 into itself")
                            .arg(uuidText(category.id)));
        }
        policy = CategoryDeletePolicy::moveItemsToCategory(target.id);
    } else if (keepInHistory) {
        policy = CategoryDeletePolicy::removeCategoryKeepInHistory();
    } else if (deleteItems) {
        policy = CategoryDeletePolicy::deleteItemsAndCategory();
    } else {
        // Favourites outlive the history, so none is deleted unless asked.
        const qint64 held = favorites.itemCount(category.id);
        if (held > 0) {
            throw Error(QStringLiteral("category %1 still holds favourites (%2): choose "
                                       "--move-to ID, --delete-items or --keep-in-history")
                            .arg(uuidText(category.id))
                            .arg(held));
        }
        policy = CategoryDeletePolicy::deleteItemsAndCategory();
    }
    favorites.deleteCategory(category.id, *policy);
    return Success;
}

int Cli::favoriteClips(const QStringList& args) {
    expectCount(args, 1, "favorites needs exactly one CATEGORY_ID");
    const auto store = openStore();
    const FavoriteCategory category = existingCategory(store->favorites(), args.first());
    print(render(store->favorites().clips(category.id, *store), m_json));
    return Success;
}

int Cli::favorite(const QStringList& args) {
    return dispatch(*this, QStringLiteral("favorite"), args,
                    {{QStringLiteral("add"), &Cli::addFavorite},
                     {QStringLiteral("remove"), &Cli::removeFavorite},
                     {QStringLiteral("move"), &Cli::moveFavorite}});
}

int Cli::addFavorite(const QStringList& args) {
    expectCount(args, 2, "favorite add needs a CLIP_ID and a CATEGORY_ID");
    const auto store = openStore();
    const ClipItem clip = existingClip(*store, args.at(0));
    const FavoriteCategory category = existingCategory(store->favorites(), args.at(1));
    store->favorites().addClip(clip, category.id);
    return Success;
}

namespace {

// The favourite of a clip in a category; a clip the category does not hold
// is a runtime error. The clip need not be in the history any more.
FavoriteItem existingFavorite(FavoriteStore& favorites, const QUuid& clipId,
                              const FavoriteCategory& category) {
    std::optional<FavoriteItem> item = favorites.favoriteItem(clipId, category.id);
    if (!item) {
        throw Error(QStringLiteral("clip %1 is not a favourite in category %2")
                        .arg(uuidText(clipId), uuidText(category.id)));
    }
    return *item;
}

} // namespace

int Cli::removeFavorite(const QStringList& args) {
    expectCount(args, 2, "favorite remove needs a CLIP_ID and a CATEGORY_ID");
    const QUuid clipId = parseId(args.at(0), "clip");
    const auto store = openStore();
    FavoriteStore& favorites = store->favorites();
    const FavoriteCategory category = existingCategory(favorites, args.at(1));
    favorites.removeItem(existingFavorite(favorites, clipId, category).id);
    return Success;
}

int Cli::moveFavorite(const QStringList& arguments) {
    QStringList args = arguments;
    const std::optional<QString> from = takeValue(args, QStringLiteral("--from"), "a category ID");
    const std::optional<QString> to = takeValue(args, QStringLiteral("--to"), "a category ID");
    if (!from || !to) {
        throw UsageProblem{QStringLiteral("favorite move needs --from CATEGORY_ID and --to CATEGORY_ID")};
    }
    expectCount(args, 1, "favorite move needs exactly one CLIP_ID");
    const QUuid clipId = parseId(args.first(), "clip");
    const auto store = openStore();
    FavoriteStore& favorites = store->favorites();
    const FavoriteCategory source = existingCategory(favorites, *from);
    const FavoriteCategory target = existingCategory(favorites, *to);
    existingFavorite(favorites, clipId, source);
    if (source.id != target.id && !favorites.moveClip(clipId, source.id, target.id)) {
        throw Error(QStringLiteral("clip %1 could not be moved").arg(uuidText(clipId)));
    }
    return Success;
}

} // namespace tessik
