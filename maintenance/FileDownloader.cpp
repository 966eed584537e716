#include "maintenance/FileDownloader.h"

#include "common/SafeFile.h"
#include "maintenance/DownloadTexts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSslError>
#include <QStorageInfo>

#include <cmath>

namespace {

const QChar CR = QLatin1Char('\r');

// What the reply may hold in memory before the interface takes it; enough to
// keep a fast connection busy between two services of the interface.
constexpr qint64 ReadBufferSize = 1024 * 1024;
// Chunks are gathered into a block of this size before they go to the file;
// larger than SafeFile's own buffer, so a block is written without another
// copy.
constexpr qint64 StagingSize = 1024 * 1024;

QString trapB(int number, const QString &description)
{
    return QStringLiteral("Cannot write file to disk.") + CR + CR
           + QStringLiteral("Error %1: %2").arg(number).arg(description);
}

// The file could not be written: the number the downloader has always given
// a failed open (75) or write (61), then the Persian reason with the system's
// description.
QString writeFailure(const SafeFile &out)
{
    return trapB(out.FailedStep() == SafeFile::Step::Open ? 75 : 61, out.PersianReason());
}

// The whole number nearest to part / whole * 100; halves go to the even one.
int percentOf(qint64 part, qint64 whole)
{
    if (whole <= 0)
        return 100;
    return int(std::nearbyint(double(part) * 100.0 / double(whole)));
}

// A length header holds decimal digits only; anything else (a sign, a second
// value, words) is no length.
qint64 parseLength(const QByteArray &text, bool *ok)
{
    const QByteArray t = text.trimmed();
    *ok = !t.isEmpty() && t.size() <= 18;
    for (const char c : t)
        if (c < '0' || c > '9')
            *ok = false;
    return *ok ? t.toLongLong() : -1;
}

int defaultPort(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("https") ? 443 : 80);
}

} // namespace

FileDownloader::FileDownloader(QObject *parent)
    : QObject(parent)
    , m_freeSpace(&FileDownloader::FreeSpaceIn)
{
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

qint64 FileDownloader::FreeSpaceIn(const QString &folder)
{
    // The nearest folder that exists.
    QFileInfo dir(folder);
    while (!dir.exists() && !dir.isRoot() && dir.absoluteFilePath() != dir.absolutePath())
        dir.setFile(dir.absolutePath());
    const QStorageInfo storage(dir.absoluteFilePath());
    // Inside some containers and chroots the mount table does not describe the
    // folder: then nothing is known, which is not the same as no space.
    if (!storage.isValid() || !storage.isReady() || storage.bytesTotal() <= 0 || storage.bytesAvailable() < 0)
        return -1;
    return storage.bytesAvailable();
}

// Runs the interface until the reply's headers (or more body) arrive, the
// reply ends, or the host cancels.
bool FileDownloader::waitFor(QNetworkReply *reply, bool headers)
{
    const auto done = [&] {
        if (m_cancel || reply->isFinished())
            return true;
        if (headers)
            return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        return reply->bytesAvailable() > 0;
    };
    if (done())
        return !m_cancel;
    QEventLoop loop;
    const auto quit = [&loop] { loop.quit(); };
    QList<QMetaObject::Connection> links;
    links << connect(reply, &QNetworkReply::finished, &loop, quit)
          << connect(this, &FileDownloader::cancelRequested, &loop, quit);
    if (headers)
        links << connect(reply, &QNetworkReply::metaDataChanged, &loop, quit);
    else
        links << connect(reply, &QNetworkReply::readyRead, &loop, quit);
    while (!done())
        loop.exec();
    for (const auto &l : links)
        disconnect(l);
    return !m_cancel;
}

QNetworkReply *FileDownloader::send(const QUrl &url, bool range)
{
    m_refusal.clear();
    QUrl current = url;
    for (int redirects = 0;; ++redirects) {
        m_tlsErrors.clear();
        QNetworkRequest request(current);
        if (range)
            request.setRawHeader("Range", "bytes=0-");
        // The length must be the file's own: no compressed transfer.
        request.setRawHeader("Accept-Encoding", "identity");
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        // Redirects are checked and followed here, one by one.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setTransferTimeout(m_timeoutMs);
        QNetworkReply *reply = m_manager.get(request);
        reply->setReadBufferSize(ReadBufferSize);
        // Certificate problems are only recorded for the message; nothing
        // here ignores them, so the handshake fails.
        connect(reply, &QNetworkReply::sslErrors, this, [this](const QList<QSslError> &errors) {
            QStringList texts;
            for (const QSslError &e : errors)
                texts << e.errorString();
            m_tlsErrors = texts.join(QLatin1Char('\n'));
        });
        if (!waitFor(reply, true))
            return reply;

        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray location = reply->rawHeader("Location").trimmed();
        const bool redirect = status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
        if (!redirect || location.isEmpty())
            return reply;
        // A redirect is followed only to the same scheme, host and port.
        QUrl target = current.resolved(QUrl::fromEncoded(location));
        if (target.scheme() != url.scheme() || target.host() != url.host()
            || defaultPort(target) != defaultPort(url)) {
            m_refusal = DownloadText::RedirectElsewhere() + QLatin1Char('\n') + target.toDisplayString();
            return reply;
        }
        if (redirects == MaxRedirects) {
            m_refusal = DownloadText::TooManyRedirects();
            return reply;
        }
        reply->abort();
        reply->deleteLater();
        target.setUserName(url.userName());
        target.setPassword(url.password());
        current = target;
    }
}

FileDownloader::Header FileDownloader::readHeader(QNetworkReply *reply, const QString &url)
{
    Header h;
    const QVariant statusValue = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    h.status = statusValue.toInt();
    if (!m_refusal.isEmpty()) {
        h.refusal = m_refusal;
    } else if (reply->error() == QNetworkReply::SslHandshakeFailedError) {
        h.refusal = DownloadText::CertificateRefused() + QLatin1Char('\n')
                    + (m_tlsErrors.isEmpty() ? reply->errorString() : m_tlsErrors);
    } else if (!statusValue.isValid()) {
        h.refusal = QStringLiteral("Cannot establish connection.");
    } else if (h.status == 200 || h.status == 206) {
        bool declared = reply->hasRawHeader("Content-Length");
        bool ok = true;
        if (declared)
            h.length = parseLength(reply->rawHeader("Content-Length"), &ok);
        if (!ok || (declared && h.length <= 0)) {
            h.refusal = DownloadText::BadLength();
        } else if (h.status == 206) {
            // Only the whole file, from its first byte to its last.
            static const QRegularExpression whole(QStringLiteral("^bytes 0-([0-9]{1,18})/([0-9]{1,18})$"),
                                                  QRegularExpression::CaseInsensitiveOption);
            const auto m = whole.match(QString::fromLatin1(reply->rawHeader("Content-Range").trimmed()));
            const qint64 total = m.hasMatch() ? m.captured(2).toLongLong() : -1;
            if (!m.hasMatch() || total <= 0 || m.captured(1).toLongLong() + 1 != total
                || (declared && h.length != total))
                h.refusal = DownloadText::PartialRange();
            else
                h.length = total;
        }
    } else if (h.status == 204) {
        h.refusal = QStringLiteral("Nothing to download!");
    } else if (h.status == 401) {
        h.refusal = QStringLiteral("Authorization failed!");
    } else if (h.status == 404) {
        h.refusal = QStringLiteral("The file, \"") + url + QStringLiteral("\" was not found!");
    } else {
        const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
        const QString line = QStringLiteral("HTTP/1.1 %1 %2").arg(h.status).arg(reason).trimmed() + CR;
        h.refusal = QStringLiteral("The server returned the following response:") + CR + CR + line;
    }
    return h;
}

// One DownloadFile call: where it writes and what it has seen so far.
struct FileDownloader::Transfer {
    explicit Transfer(const QString &file)
        : destination(file)
        , out(file)
    {
    }

    QString destination;
    SafeFile out;
    qint64 received = 0;       // bytes received so far
    qint64 expected = 0;       // the declared length
    bool lengthKnown = true;
    bool bodyComplete = false; // a body without a length arrived whole
    bool fileStage = false;    // the destination is being written
    bool errorRaised = false;
    int shownPercent = -1;
    QString percentText;
};

bool FileDownloader::DownloadFile(const QString &strURL, const QString &strDestination,
                                  const QString &UserName, const QString &Password)
{
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;
    Transfer t(strDestination);

    emit DownloadEvents(QStringLiteral("Getting file information"));
    serviceInterface();

    QNetworkReply *reply = m_cancel ? nullptr : request(t, strURL, UserName, Password);
    if (reply && !m_cancel)
        checkHeader(t, reply, strURL);
    if (reply && !m_cancel)
        receiveBody(t, reply);
    const bool complete = finish(t);
    if (reply) {
        reply->abort();
        reply->deleteLater();
    }
    m_running = false;
    if (complete)
        emit DowloadComplete();
    return complete;
}

// Any failure ends the transfer with its message.
void FileDownloader::fail(Transfer &t, const QString &message)
{
    t.errorRaised = true;
    m_cancel = true;
    emit DownloadErrors(message);
}

QNetworkReply *FileDownloader::request(Transfer &t, const QString &strURL, const QString &UserName,
                                       const QString &Password)
{
    QUrl url(strURL);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty()) {
        fail(t, QStringLiteral("Error: ") + QStringLiteral("Invalid URL \"%1\"").arg(strURL)
                    + QStringLiteral(" occurred."));
        return nullptr;
    }
    if (!UserName.isEmpty())
        url.setUserName(UserName);
    if (!Password.isEmpty())
        url.setPassword(Password);
    return send(url, true);
}

// Waiting for and checking the response header, then the free space where
// the file goes, when it can be told.
void FileDownloader::checkHeader(Transfer &t, QNetworkReply *reply, const QString &strURL)
{
    const Header header = readHeader(reply, strURL);
    if (!header.refusal.isEmpty()) {
        fail(t, header.refusal);
    } else {
        t.lengthKnown = header.length >= 0;
        t.expected = t.lengthKnown ? header.length : 0;
    }
    if (!m_cancel && t.expected > 0) {
        const qint64 free = m_freeSpace ? m_freeSpace(QFileInfo(t.destination).absolutePath()) : -1;
        if (free >= 0 && free < t.expected)
            fail(t, QStringLiteral("There is not enough free space on disk for this file."));
    }
}

// Writing the body. What has arrived is taken from the reply in one piece,
// straight into the staging block, and counted there in chunks of at most
// 1024 bytes, each with its progress event. The block goes to the file when
// it is full and at the end.
void FileDownloader::receiveBody(Transfer &t, QNetworkReply *reply)
{
    serviceInterface();
    t.received = 0;
    t.fileStage = true;
    const QString folder = QFileInfo(t.destination).absolutePath();
    if (!m_cancel && !QFileInfo(folder).isDir() && !QDir().mkdir(folder))
        fail(t, trapB(76, QStringLiteral("Path not found: ") + QDir::toNativeSeparators(folder)));
    if (!m_cancel && !t.out.open(QIODevice::WriteOnly))
        fail(t, writeFailure(t.out));

    QByteArray staging;
    qint64 staged = 0;
    const auto flush = [&] {
        if (staged > 0 && t.out.write(staging.constData(), staged) != staged) {
            fail(t, writeFailure(t.out));
            return false;
        }
        staged = 0;
        return true;
    };
    if (!m_cancel)
        staging.resize(StagingSize);

    QElapsedTimer sinceService;
    sinceService.start();
    while (!m_cancel) {
        if (staged == StagingSize && !flush())
            break;
        const qint64 n = reply->read(staging.data() + staged, StagingSize - staged);
        if (n <= 0) {
            if (reply->isFinished()) {
                endOfBody(t, reply);
                break;
            }
            waitFor(reply, false);
            continue;
        }
        staged += n;
        countChunks(t, n);
        // The interface is serviced every few milliseconds, not after every
        // chunk: the screen cannot show more, and a chunk of 1024 bytes takes
        // far less time than a repaint.
        if (!m_cancel && sinceService.elapsed() >= ServiceIntervalMs) {
            serviceInterface();
            sinceService.restart();
        }
    }
    if (!m_cancel)
        flush();
}

// The reply has ended: a transfer error before the declared length is a
// failure; without a length, an end without error is the whole body.
void FileDownloader::endOfBody(Transfer &t, QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError && reply->error() != QNetworkReply::RemoteHostClosedError
        && (!t.lengthKnown || t.received < t.expected))
        fail(t, trapB(int(reply->error()), reply->errorString()));
    else if (!t.lengthKnown && reply->error() == QNetworkReply::NoError)
        t.bodyComplete = true;
}

// Counts n new bytes in chunks, with one progress event per chunk; more than
// the declared length is a failure.
void FileDownloader::countChunks(Transfer &t, qint64 n)
{
    for (qint64 done = 0; done < n && !m_cancel;) {
        const qint64 chunk = qMin(ChunkSize, n - done);
        done += chunk;
        t.received += chunk;
        if (t.lengthKnown && t.received > t.expected) {
            fail(t, DownloadText::BodyTooLong());
            break;
        }
        if (t.lengthKnown) {
            const int percent = percentOf(t.received, t.expected);
            if (percent != t.shownPercent) {
                t.shownPercent = percent;
                t.percentText = QString::number(percent);
            }
            emit DownloadProgress(t.percentText);
        }
    }
}

// The file takes the destination's place only when it is whole; otherwise
// the temporary file goes and a file of that name from before stays as it
// was.
bool FileDownloader::finish(Transfer &t)
{
    const bool whole = t.lengthKnown ? (t.received == t.expected && t.expected > 0) : t.bodyComplete;
    if (whole && !m_cancel) {
        if (t.out.commit()) {
            if (!t.lengthKnown)
                emit DownloadProgress(QStringLiteral("100"));
            return true;
        }
        fail(t, writeFailure(t.out));
    }
    t.out.cancel();
    if (t.fileStage && !m_cancel && !t.errorRaised)
        fail(t, QStringLiteral("The connection with the server was reset."));
    return false;
}

bool FileDownloader::FetchBytes(const QString &url, QByteArray *body, QString *error, qint64 maxBytes)
{
    body->clear();
    error->clear();
    if (m_running)
        return false;
    m_running = true;
    m_cancel = false;

    const QUrl target(url);
    QNetworkReply *reply = nullptr;
    if (!target.isValid() || target.scheme().isEmpty() || target.host().isEmpty())
        *error = QStringLiteral("Error: ") + QStringLiteral("Invalid URL \"%1\"").arg(url) + QStringLiteral(" occurred.");
    else
        reply = send(target, false);

    qint64 length = -1;
    if (reply && !m_cancel) {
        const Header header = readHeader(reply, url);
        *error = header.refusal;
        length = header.length;
        if (error->isEmpty() && length > maxBytes)
            *error = DownloadText::SignatureTooLarge();
    }
    if (reply && error->isEmpty() && !m_cancel) {
        for (;;) {
            body->append(reply->read(maxBytes + 1 - body->size()));
            if (body->size() > maxBytes) {
                *error = DownloadText::SignatureTooLarge();
                break;
            }
            if (length >= 0 && body->size() > length) {
                *error = DownloadText::BodyTooLong();
                break;
            }
            if (reply->isFinished() && reply->bytesAvailable() == 0) {
                if (reply->error() != QNetworkReply::NoError || (length >= 0 && body->size() < length))
                    *error = QStringLiteral("The connection with the server was reset.");
                break;
            }
            if (!waitFor(reply, false))
                break;
        }
    }
    if (m_cancel)
        error->clear();
    const bool ok = reply && !m_cancel && error->isEmpty();
    if (!ok)
        body->clear();
    if (reply) {
        reply->abort();
        reply->deleteLater();
    }
    m_running = false;
    return ok;
}
