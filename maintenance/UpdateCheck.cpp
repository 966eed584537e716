#include "maintenance/UpdateCheck.h"

#include "common/Vendor.h"
#include "common/Version.h"
#include "maintenance/InternetConnect.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace UpdateCheck {

bool FetchText(const QString &url, QString *text, int timeoutMs, qint64 maxBytes)
{
    text->clear();
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = manager.get(request);

    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // A server that sends far more than a version number is cut off.
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply, maxBytes](qint64 received, qint64) {
        if (received > maxBytes)
            reply->abort();
    });
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    bool ok = reply->isFinished() && reply->error() == QNetworkReply::NoError;
    if (ok) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        ok = status >= 200 && status < 300;
    }
    if (ok)
        *text = QString::fromUtf8(reply->read(maxBytes));
    else
        reply->abort();
    delete reply;
    return ok;
}

Outcome Check(int timeoutMs)
{
    if (!InternetConnect::IsConnected())
        return Outcome::Offline;
    QString text;
    if (!FetchText(Vendor::VersionFileUrl(), &text, timeoutMs))
        return Outcome::Offline;
    return AppVersion::IsNewer(AppVersion::ReadPublishedNumber(text), AppVersion::LocalNumber())
               ? Outcome::NewerVersion
               : Outcome::UpToDate;
}

bool StartupUpdateCheck() { return Check() == Outcome::NewerVersion; }

} // namespace UpdateCheck
