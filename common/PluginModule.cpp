#include "common/PluginModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QPluginLoader>

namespace PluginModule {

namespace {

struct Loaded {
    QObject *instance = nullptr;
    QString error;
};

QMutex &mutex()
{
    static QMutex m;
    return m;
}

QString &testFolder()
{
    static QString folder;
    return folder;
}

QHash<QString, Loaded> &loaded()
{
    static QHash<QString, Loaded> l;
    return l;
}

// The loader of every plugin that loaded, held for as long as the program
// runs (a plugin is never unloaded); the list itself outlives the static
// objects, so the leak checker sees the loaders still held as the process
// ends.
QList<QPluginLoader *> &loaders()
{
    static auto *l = new QList<QPluginLoader *>;
    return *l;
}

Loaded load(const QString &fileName)
{
    Loaded result;
    QStringList why;
    for (const QString &file : Candidates(fileName)) {
        if (!QFileInfo(file).isFile()) {
            why << QStringLiteral("%1 not found").arg(QDir::toNativeSeparators(file));
            continue;
        }
        auto *loader = new QPluginLoader(file);
        if (QObject *instance = loader->instance()) {
            loaders().append(loader);
            result.instance = instance;
            return result;
        }
        why << loader->errorString();
        delete loader;
    }
    result.error = why.join(QStringLiteral("; "));
    return result;
}

} // namespace

QStringList Candidates(const QString &fileName)
{
    if (!testFolder().isEmpty())
        return {QDir(testFolder()).filePath(fileName)};
    const QDir dir(QCoreApplication::applicationDirPath());
    return {dir.filePath(fileName), QDir::cleanPath(dir.filePath(QStringLiteral("../libexec/kvr/") + fileName))};
}

QObject *Load(const QString &fileName, QString *error)
{
    QMutexLocker lock(&mutex());
    if (!testFolder().isEmpty()) {
        const Loaded found = load(fileName);
        if (error)
            *error = found.error;
        return found.instance;
    }
    auto it = loaded().find(fileName);
    // A plugin that did not load is looked for again next time: it may have
    // been installed meanwhile.
    if (it == loaded().end() || !it->instance)
        it = loaded().insert(fileName, load(fileName));
    if (error)
        *error = it->error;
    return it->instance;
}

void SetFolderForTests(const QString &folder)
{
    QMutexLocker lock(&mutex());
    testFolder() = folder;
}

} // namespace PluginModule
