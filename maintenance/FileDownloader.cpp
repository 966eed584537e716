#include "maintenance/FileDownloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSaveFile>
#include <QStorageInfo>

#include <array>
#include <cmath>

namespace {

const QChar CR = QLatin1Char('\r');

QString trapB(int number, const QString &description)
{
    return QStringLiteral("Cannot write file to disk.") + CR + CR
           + QStringLiteral("Error %1: %2").arg(number).arg(description);
}

// The whole number nearest to part / whole * 100; halves go to the even one.
QString percentText(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return QStringLiteral("100");
    const double p = std::nearbyint(double(part) * 100.0 / double(whole));
    return QString::number(qint64(p));
}

// Free bytes where the file would go: the nearest folder that exists.
qint64 freeSpaceFor(const QString &destination)
{
    QFileInfo dir(QFileInfo(destination).absolutePath());
    while (!dir.exists() && !dir.isRoot() && dir.absoluteFilePath() != dir.absolutePath())
        dir.setFile(dir.absolutePath());
    QStorageInfo storage(dir.absoluteFilePath());
    if (!storage.isValid() || !storage.isReady())
        return -1; // unknown: no test
    return storage.bytesAvailable();
}

} // namespace

FileDownloader::FileDownloader(QObject *parent)
    : QObject(parent)
{
    m_manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
}

FileDownloader::~FileDownloader() = default;

void FileDownloader::Cancel()
{
    m_cancel = true;
    emit cancelRequested();
}

void FileDownloader::serviceInterface()
{
    if (m_service)
        m_service();
    else
        QCoreApplication::processEvents();
}

// Runs the interface until the reply's headers (or more body) arrive, the
// reply ends, or the host cancels.
bool FileDownloader::waitFor(QNetworkReply *reply, bool headers)
{
    QEventLoop loop;
    const auto quit = [&loop] { loop.quit(); };
    QList<QMetaObject::Connection> links;
    links << connect(reply, &QNetworkReply::finished, &loop, quit)
          << connect(this, &FileDownloader::cancelRequested, &loop, quit);
    if (headers)
        links << connect(reply, &QNetworkReply::metaDataChanged, &loop, quit);
    else
        links << connect(reply, &QNetworkReply::readyRead, &loop, quit);

    const auto done = [&] {
        if (m_cancel || reply->isFinished())
            return true;
        if (headers) {
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            return status.isValid() && (status.toInt() < 300 || status.toInt() >= 400);
        }
        return reply->bytesAvailable() > 0;
    };
    while (!done())
        loop.exec();
    for (const auto &l : links)
        disconnect(l);
    return !m_cancel;
}

bool FileDownloader::DownloadFile(const QString &strURL, const QString &strDestination,
                                  const QString &UserName, const QString &Password)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;

    qint64 start = 0;
    qint64 expected = 0;
    bool lengthKnown = true;
    bool bodyComplete = false; // a body without a length arrived whole
    bool fileStage = false;    // the destination is being written
    bool errorRaised = false;
    QSaveFile out(strDestination);
    out.setDirectWriteFallback(false);

    const auto fail = [&](const QString &message) {
        errorRaised = true;
        m_cancel = true;
        emit DownloadErrors(message);
    };

    emit DownloadEvents(QStringLiteral("Getting file information"));
    serviceInterface();

    QNetworkReply *reply = nullptr;
    if (!m_cancel) {
        QUrl url(strURL);
        if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
            fail(QStringLiteral("Error: ") + QStringLiteral("Invalid URL \"%1\"").arg(strURL)
                 + QStringLiteral(" occurred."));
        } else {
            if (!UserName.isEmpty())
                url.setUserName(UserName);
            if (!Password.isEmpty())
                url.setPassword(Password);
            QNetworkRequest request(url);
            request.setRawHeader("Range", "bytes=" + QByteArray::number(start) + "-");
            // The length must be the file's own: no compressed transfer.
            request.setRawHeader("Accept-Encoding", "identity");
            request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
            request.setTransferTimeout(m_timeoutMs);
            reply = m_manager.get(request);
            reply->setReadBufferSize(256 * 1024);
        }
    }

    // Waiting for and checking the response header.
    if (reply && !m_cancel && waitFor(reply, true)) {
        const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int status = statusValue.toInt();
        if (!statusValue.isValid()) {
            fail(QStringLiteral("Cannot establish connection."));
        } else if (status == 200 || status == 206) {
            const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
            lengthKnown = length.isValid();
            expected = lengthKnown ? length.toLongLong() : 0;
            if (expected < 0)
                expected = 0;
        } else if (status == 204) {
            fail(QStringLiteral("Nothing to download!"));
        } else if (status == 401) {
            fail(QStringLiteral("Authorization failed!"));
        } else if (status == 404) {
            fail(QStringLiteral("The file, \"") + strURL + QStringLiteral("\" was not found!"));
        } else {
            const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
            QString line = QStringLiteral("HTTP/1.1 %1 %2").arg(status).arg(reason).trimmed() + CR;
            fail(QStringLiteral("The server returned the following response:") + CR + CR + line);
        }

        // Free space where the file goes.
        if (!m_cancel && expected > 0) {
            const qint64 free = freeSpaceFor(strDestination);
            if (free >= 0 && free < expected)
                fail(QStringLiteral("There is not enough free space on disk for this file."));
        }
    }

    // Writing the body.
    if (reply && !m_cancel && (expected > 0 || !lengthKnown)) {
        serviceInterface();
        start = 0;
        fileStage = true;
        const QString folder = QFileInfo(strDestination).absolutePath();
        if (!m_cancel && !QFileInfo(folder).isDir() && !QDir().mkdir(folder))
            fail(trapB(76, QStringLiteral("Path not found: ") + QDir::toNativeSeparators(folder)));
        if (!m_cancel && !out.open(QIODevice::WriteOnly))
            fail(trapB(75, out.errorString()));

        std::array<char, ChunkSize> chunk;
        while (!m_cancel) {
            const qint64 n = reply->read(chunk.data(), ChunkSize);
            if (n <= 0) {
                if (reply->isFinished()) {
                    if (reply->error() != QNetworkReply::NoError
                        && reply->error() != QNetworkReply::RemoteHostClosedError
                        && (!lengthKnown || start < expected))
                        fail(trapB(int(reply->error()), reply->errorString()));
                    else if (!lengthKnown && reply->error() == QNetworkReply::NoError)
                        bodyComplete = true;
                    break;
                }
                waitFor(reply, false);
                continue;
            }
            if (out.write(chunk.data(), n) != n) {
                fail(trapB(61, out.errorString()));
                break;
            }
            if (m_cancel)
                break;
            start += n;
            if (lengthKnown)
                emit DownloadProgress(percentText(start, expected));
            serviceInterface();
        }
    }

    // Finish.
    bool complete = false;
    const bool whole = lengthKnown ? (start == expected) : bodyComplete;
    if (whole && !m_cancel) {
        if (fileStage && !out.commit()) {
            fail(trapB(61, out.errorString()));
        } else {
            if (!lengthKnown)
                emit DownloadProgress(QStringLiteral("100"));
            complete = true;
        }
    }
    if (!complete) {
        if (fileStage) {
            out.cancelWriting();
            if (!m_cancel && !errorRaised)
                fail(QStringLiteral("The connection with the server was reset."));
            // An earlier file of that name goes too: what is left is never a
            // file that might be taken for this download.
            QFile::remove(strDestination);
        }
    }
    if (reply) {
        reply->abort();
        reply->deleteLater();
    }
    m_running = false;
    if (complete)
        emit DowloadComplete();
    return complete;
}
