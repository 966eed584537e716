#include "shell/ui/WebView.h"

#include "common/PluginModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QOpenGLContext>
#include <QPluginLoader>

// Qt's own setter of the context every OpenGL context of the program shares
// with. Qt makes that context while the application object is built, and
// only when asked to before (Qt::AA_ShareOpenGLContexts): asking costs every
// start an OpenGL set-up. The web engine needs the context, so it is made
// here, just before the engine loads.
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext *context);

namespace WebView {

namespace {

struct State {
    QString testFile;
    QPluginLoader *loader = nullptr; // kept: the web engine cannot be unloaded
    WebViewFactory *factory = nullptr;
    QString error;
};

State &state()
{
    static State s;
    return s;
}

QStringList candidates()
{
    if (!state().testFile.isEmpty())
        return {state().testFile};
    return PluginModule::Candidates(PluginFileName());
}

// What Qt does at start-up when the attribute is set, done when the web
// engine is about to load (the attribute itself may no longer be set then,
// and the context is all the engine needs). The context is released as the
// application ends, while the platform that made it is still there.
void prepareSharedContext()
{
    if (QOpenGLContext::globalShareContext())
        return;
    auto *context = new QOpenGLContext;
    context->create(); // as Qt does, the context is shared even where none can be made
    qt_gl_set_global_share_context(context);
    qAddPostRoutine([] {
        delete QOpenGLContext::globalShareContext();
        qt_gl_set_global_share_context(nullptr);
    });
}

} // namespace

QString PluginFileName() { return QStringLiteral("kvr-webview.so"); }

void SetPluginFileForTests(const QString &file)
{
    if (!state().factory)
        state().testFile = file;
}

QString LoadError() { return state().error; }

WebViewFactory *Factory()
{
    State &s = state();
    if (s.factory)
        return s.factory;
    s.error.clear();
    for (const QString &file : candidates()) {
        if (!QFileInfo(file).isFile()) {
            s.error = QStringLiteral("%1 not found").arg(QDir::toNativeSeparators(file));
            continue;
        }
        prepareSharedContext();
        auto *loader = new QPluginLoader(file);
        auto *factory = qobject_cast<WebViewFactory *>(loader->instance());
        if (factory) {
            s.loader = loader;
            s.factory = factory;
            s.error.clear();
            return factory;
        }
        s.error = loader->errorString();
        loader->unload();
        delete loader;
    }
    return nullptr;
}

} // namespace WebView
