#pragma once
#include <QNetworkAccessManager>
#include <QObject>
#include <QString>
#include <functional>

class QNetworkReply;

// Downloads one file over HTTP into a local file on the interface thread.
// DownloadFile() returns only when the transfer has ended, but lets the
// interface process its pending events while it waits and after every chunk,
// so the host stays responsive and can call Cancel() from its own handlers.
//
// The request is a GET with "Range: bytes=0-"; 200 and 206 are accepted. The
// body is read in chunks of at most 1024 bytes and written as it arrives to a
// temporary file beside the destination (the reply's read buffer is bounded,
// so no body is held whole); the destination takes its place only when the
// whole file has arrived. After any failure or cancel no partial file remains.
class FileDownloader : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 ChunkSize = 1024;

    explicit FileDownloader(QObject *parent = nullptr);
    ~FileDownloader() override;

    // True when DowloadComplete was raised. A call while another download is
    // running is refused (false, no event).
    bool DownloadFile(const QString &strURL, const QString &strDestination,
                      const QString &UserName = QString(), const QString &Password = QString());
    // Seen by a running DownloadFile at its next check; raises no error.
    void Cancel();
    bool IsRunning() const { return m_running; }

    // Inactivity time-out of a transfer, in milliseconds (default 30000).
    void SetTimeout(int ms) { m_timeoutMs = ms; }
    // Servicing the interface between chunks; the default processes pending
    // events. Benchmarks and tests may replace it.
    void SetInterfaceService(std::function<void()> service) { m_service = std::move(service); }

signals:
    void DownloadErrors(const QString &strError);
    void DownloadEvents(const QString &strEvent);
    void DowloadComplete();
    void DownloadProgress(const QString &intPercent);

    void cancelRequested(); // wakes a waiting DownloadFile

private:
    void serviceInterface();
    bool waitFor(QNetworkReply *reply, bool headers);

    QNetworkAccessManager m_manager;
    std::function<void()> m_service;
    bool m_cancel = false;
    bool m_running = false;
    int m_timeoutMs = 30000;
};
