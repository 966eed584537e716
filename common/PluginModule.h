#pragma once
// Parts of the program kept in plugins of their own (kvr-*.so), each loaded
// the first time it is used: the libraries such a part needs (printing, the
// keyring, zip files) are then not loaded and relocated at every start. A
// plugin is looked for beside the program, then in ../libexec/kvr (an
// installation); the build also places each beside its tests. Once loaded, a
// plugin stays loaded. A plugin holds no code of the program's own
// libraries: what it needs of the program it is handed through its
// interface, so there is one copy of every setting and test seam.
#include <QObject>
#include <QString>
#include <QStringList>

namespace PluginModule {

// The plugin's instance, or null (and why in *error) when no candidate file
// loads. Safe to call from any thread.
QObject *Load(const QString &fileName, QString *error = nullptr);

template <class Interface>
Interface *Get(const QString &fileName, QString *error = nullptr)
{
    QObject *instance = Load(fileName, error);
    auto *found = qobject_cast<Interface *>(instance);
    if (instance && !found && error)
        *error = QStringLiteral("%1 is not the plugin expected").arg(fileName);
    return found;
}

// Where the plugin is looked for, in order.
QStringList Candidates(const QString &fileName);

// Tests: plugins are looked for in this folder only, and found afresh at
// every call (a folder without the plugin shows the program without it);
// an empty text looks as usual again.
void SetFolderForTests(const QString &folder);

} // namespace PluginModule
