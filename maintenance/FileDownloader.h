#pragma once
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <functional>

class QNetworkReply;
class QUrl;

// Downloads one file over HTTP or HTTPS into a local file on the interface
// thread. DownloadFile() returns only when the transfer has ended, but lets
// the interface process its pending events while it waits and, at most every
// ServiceIntervalMs, between chunks, so the host stays responsive and can call
// Cancel() from its own handlers.
//
// The request is a GET with "Range: bytes=0-". The reply must be the whole
// file: 200, or 206 with a Content-Range of "bytes 0-(N-1)/N"; a declared
// length must be above 0 and the body exactly that long. Redirects stay on the
// same scheme, host and port, at most MaxRedirects of them. Certificates of an
// HTTPS server are checked by Qt's TLS backend; a failed check is refused and
// cannot be skipped.
//
// The body is read in chunks of at most 1024 bytes, with one progress event
// per chunk. The bytes go from the reply's bounded read buffer straight into
// a staging block that is handed to the file whole, through SafeFile: a
// temporary file beside the destination that takes the destination's place
// only when the whole file has arrived and reached the disk. After any
// failure or cancel no partial or temporary file remains and a file of that
// name that was there before is left as it was.
class FileDownloader : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 ChunkSize = 1024;
    static constexpr int MaxRedirects = 5;
    static constexpr int ServiceIntervalMs = 5;

    explicit FileDownloader(QObject *parent = nullptr);
    ~FileDownloader() override;

    // True when DowloadComplete was raised. A call while another download is
    // running is refused (false, no event).
    bool DownloadFile(const QString &strURL, const QString &strDestination,
                      const QString &UserName = QString(), const QString &Password = QString());
    // Fetches a small file (at most maxBytes) into memory under the same
    // rules, raising no events. False on any failure, with *error saying why;
    // *error is left empty when the host cancelled.
    bool FetchBytes(const QString &url, QByteArray *body, QString *error, qint64 maxBytes);
    // Seen by a running DownloadFile or FetchBytes at its next check; raises
    // no error.
    void Cancel();
    bool IsRunning() const { return m_running; }

    // Inactivity time-out of a transfer, in milliseconds (default 30000).
    void SetTimeout(int ms) { m_timeoutMs = ms; }
    // Servicing the interface between chunks; the default processes pending
    // events. Benchmarks and tests may replace it.
    void SetInterfaceService(std::function<void()> service) { m_service = std::move(service); }
    // Free bytes in a folder, or -1 when they cannot be told (the download
    // then goes ahead). The default asks the file system; tests replace it.
    void SetFreeSpaceProbe(std::function<qint64(const QString &folder)> probe) { m_freeSpace = std::move(probe); }
    static qint64 FreeSpaceIn(const QString &folder);

signals:
    void DownloadErrors(const QString &strError);
    void DownloadEvents(const QString &strEvent);
    void DowloadComplete();
    void DownloadProgress(const QString &intPercent);

    void cancelRequested(); // wakes a waiting DownloadFile

private:
    struct Header {
        QString refusal;      // why the reply is refused; empty when accepted
        int status = 0;
        qint64 length = -1;   // the whole file's length, -1 when not declared
    };

    void serviceInterface();
    bool waitFor(QNetworkReply *reply, bool headers);
    // Sends the GET and follows redirects on the same server; returns the
    // last reply once its header has arrived (or it ended, or the host
    // cancelled). A refused redirect leaves its reason in m_refusal.
    QNetworkReply *send(const QUrl &url, bool range);
    Header readHeader(QNetworkReply *reply, const QString &url);

    // The steps of DownloadFile; each ends the transfer through fail() when
    // it finds a fault.
    struct Transfer;
    void fail(Transfer &t, const QString &message);
    QNetworkReply *request(Transfer &t, const QString &strURL, const QString &UserName, const QString &Password);
    void checkHeader(Transfer &t, QNetworkReply *reply, const QString &strURL);
    void receiveBody(Transfer &t, QNetworkReply *reply);
    void endOfBody(Transfer &t, QNetworkReply *reply);
    void countChunks(Transfer &t, qint64 n);
    bool finish(Transfer &t);

    QNetworkAccessManager m_manager;
    std::function<void()> m_service;
    std::function<qint64(const QString &)> m_freeSpace;
    QString m_refusal;   // a redirect of the running request that was refused
    QString m_tlsErrors; // certificate problems of the running request
    bool m_cancel = false;
    bool m_running = false;
    int m_timeoutMs = 30000;
};
