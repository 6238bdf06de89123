#pragma once

#include <QStringList>

#include <cstdio>

namespace tessik {

class ClipStore;
struct CapturedClip;

// tessik-cli: the clip history from the command line, over the same store and
// preferences as the application. Single-threaded; one command per process.
class Cli {
public:
    enum ExitCode { Success = 0, RuntimeError = 1, UsageError = 2 };

    Cli(std::FILE* in, std::FILE* out, std::FILE* err) : m_in(in), m_out(out), m_err(err) {}

    // `arguments` excludes the program name. The copy command needs a
    // QGuiApplication; every other command runs without one.
    int run(QStringList arguments);

    // The command named by the arguments (the first one that is not a
    // global option), or the empty text.
    static QString commandOf(const QStringList& arguments);

private:
    int list(const QStringList& args);
    int search(const QStringList& args);
    int show(const QStringList& args);
    int add(const QStringList& args);
    int addImage(const QStringList& args);
    void record(ClipStore& store, const CapturedClip& clip);
    int copy(const QStringList& args);
    int setPinned(const QStringList& args, bool pinned);
    int deleteClip(const QStringList& args);
    int clear(const QStringList& args);
    int limit(const QStringList& args);
    int categories(const QStringList& args);
    int category(const QStringList& args);
    int addCategory(const QStringList& args);
    int renameCategory(const QStringList& args);
    int deleteCategory(const QStringList& args);
    int favoriteClips(const QStringList& args);
    int favorite(const QStringList& args);
    int addFavorite(const QStringList& args);
    int removeFavorite(const QStringList& args);
    int moveFavorite(const QStringList& args);
    int sync(const QStringList& args);
    int syncStatus(const QStringList& args);
    int syncEnable(const QStringList& args, bool enabled);
    int syncRequirePin(const QStringList& args);
    int syncName(const QStringList& args);

    int usage(const QString& problem);
    int failure(const QString& problem);
    void print(const QString& text);

    std::FILE* m_in;
    std::FILE* m_out;
    std::FILE* m_err;
    bool m_json = false;
};

} // namespace tessik
