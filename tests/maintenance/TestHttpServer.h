#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the tests: each path answers as
// the test sets it up (status, length or none, a body cut short, a range
// answer, extra headers, a reply sent byte for byte, or no answer at all).
// Given a TestTlsIdentity it speaks HTTPS with that certificate.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <functional>
#include <memory>

struct TestRoute {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray body;
    bool sendLength = true;     // Content-Length header
    qint64 claimedLength = -1;  // length to announce instead of body.size()
    qint64 cutAfter = -1;       // close after this many body bytes
    bool honourRange = false;   // answer "Range: bytes=0-" with 206
    bool silent = false;        // read the request, never answer
    QByteArray headers;         // extra header lines, each ending in CR LF
    QByteArray raw;             // when set: the whole reply, sent as it is
};

// A certificate and key made at run time with the openssl tool, for a server
// on 127.0.0.1. `names` is the subjectAltName list the certificate holds.
class TestTlsIdentity
{
public:
    explicit TestTlsIdentity(const QString &names = QStringLiteral("IP:127.0.0.1,DNS:localhost"))
    {
        const QString key = m_dir.filePath(QStringLiteral("key.pem"));
        const QString cert = m_dir.filePath(QStringLiteral("cert.pem"));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"),
                {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                 QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                 QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert, QStringLiteral("-days"),
                 QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=kvr test server"),
                 QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + names});
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_error = QStringLiteral("openssl: ") + QString::fromLocal8Bit(p.readAll()) + p.errorString();
            return;
        }
        QFile c(cert), k(key);
        if (c.open(QIODevice::ReadOnly))
            certificate = QSslCertificate(c.readAll(), QSsl::Pem);
        if (k.open(QIODevice::ReadOnly))
            privateKey = QSslKey(k.readAll(), QSsl::Ec, QSsl::Pem);
        if (certificate.isNull() || privateKey.isNull())
            m_error = QStringLiteral("the certificate made by openssl could not be read");
    }
    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    QSslCertificate certificate;
    QSslKey privateKey;

private:
    QTemporaryDir m_dir;
    QString m_error;
};

// While it lives, HTTPS clients of this process trust the given certificate
// (as an authority of its own), besides the system's.
class TrustCertificate
{
public:
    explicit TrustCertificate(const QSslCertificate &c)
        : m_old(QSslConfiguration::defaultConfiguration())
    {
        QSslConfiguration conf = m_old;
        conf.addCaCertificate(c);
        QSslConfiguration::setDefaultConfiguration(conf);
    }
    ~TrustCertificate() { QSslConfiguration::setDefaultConfiguration(m_old); }
    TrustCertificate(const TrustCertificate &) = delete;
    TrustCertificate &operator=(const TrustCertificate &) = delete;

private:
    QSslConfiguration m_old;
};

class TestHttpServer
{
public:
    explicit TestHttpServer(const TestTlsIdentity *tls = nullptr)
        : m_server(tls ? new TlsServer(*tls) : new QTcpServer)
        , m_secure(tls != nullptr)
    {
        m_server->listen(QHostAddress::LocalHost, 0);
        QObject::connect(m_server.get(), &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = m_server->nextPendingConnection())
                accept(s);
        });
    }
    quint16 port() const { return m_server->serverPort(); }
    QString url(const QString &path) const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3")
            .arg(m_secure ? QStringLiteral("https") : QStringLiteral("http"))
            .arg(m_server->serverPort())
            .arg(path);
    }
    void route(const QString &path, const TestRoute &r) { m_routes.insert(path, r); }
    // A chain of `count` redirects on this server: `from` leads through
    // from-1 ... from-(count-1) to `to`.
    void redirects(const QString &from, int count, const QString &to)
    {
        for (int i = 0; i < count; ++i) {
            const QString here = i == 0 ? from : from + QStringLiteral("-%1").arg(i);
            const QString next = i == count - 1 ? to : from + QStringLiteral("-%1").arg(i + 1);
            TestRoute r;
            r.status = 302;
            r.reason = "Found";
            r.headers = "Location: " + next.toLatin1() + "\r\n";
            route(here, r);
        }
    }
    // Called with the request head once it has arrived.
    std::function<void(const QByteArray &head)> onRequest;
    QList<QByteArray> heads;

private:
    class TlsServer : public QTcpServer
    {
    public:
        explicit TlsServer(const TestTlsIdentity &tls)
            : m_certificate(tls.certificate)
            , m_key(tls.privateKey)
        {
        }

    protected:
        void incomingConnection(qintptr descriptor) override
        {
            auto *s = new QSslSocket(this);
            if (!s->setSocketDescriptor(descriptor)) {
                delete s;
                return;
            }
            s->setLocalCertificate(m_certificate);
            s->setPrivateKey(m_key);
            s->setPeerVerifyMode(QSslSocket::VerifyNone);
            // A client that refuses the certificate just goes away.
            QObject::connect(s, &QSslSocket::errorOccurred, s, [s] { s->abort(); s->deleteLater(); });
            addPendingConnection(s);
            s->startServerEncryption();
        }

    private:
        QSslCertificate m_certificate;
        QSslKey m_key;
    };

    void accept(QTcpSocket *s)
    {
        auto *buffer = new QByteArray;
        QObject::connect(s, &QObject::destroyed, [buffer] { delete buffer; });
        QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s, buffer] {
            buffer->append(s->readAll());
            const int end = buffer->indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = buffer->left(end);
            buffer->clear();
            heads << head;
            if (onRequest)
                onRequest(head);
            answer(s, head);
        });
    }

    void answer(QTcpSocket *s, const QByteArray &head)
    {
        const QByteArray path = head.split(' ').value(1);
        const auto it = m_routes.constFind(QString::fromLatin1(path));
        TestRoute r = it == m_routes.constEnd() ? TestRoute{404, "Not Found", "missing", true, -1, -1, false, false, {}, {}} : *it;
        if (r.silent)
            return;
        QByteArray out = r.raw;
        if (out.isEmpty()) {
            int status = r.status;
            QByteArray reason = r.reason;
            QByteArray extra = r.headers;
            if (r.honourRange && head.contains("Range: bytes=0-") && status == 200) {
                status = 206;
                reason = "Partial Content";
                extra += "Content-Range: bytes 0-" + QByteArray::number(qMax<qint64>(0, r.body.size() - 1)) + "/"
                         + QByteArray::number(r.body.size()) + "\r\n";
            }
            if (status == 401)
                extra += "WWW-Authenticate: Basic realm=\"kvr\"\r\n";
            out = "HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\n" + extra;
            if (r.sendLength)
                out += "Content-Length: "
                       + QByteArray::number(r.claimedLength >= 0 ? r.claimedLength : qint64(r.body.size())) + "\r\n";
            out += "Connection: close\r\n\r\n";
            QByteArray body = r.body;
            if (r.cutAfter >= 0)
                body.truncate(int(r.cutAfter));
            if (status != 204)
                out += body;
        }
        // Sent in pieces so a large body never blocks the test's event loop.
        auto *rest = new QByteArray(out);
        QPointer<QTcpSocket> guard(s);
        auto pump = [guard, rest] {
            if (!guard)
                return;
            while (!rest->isEmpty() && guard->bytesToWrite() < 256 * 1024) {
                const QByteArray piece = rest->left(64 * 1024);
                rest->remove(0, piece.size());
                guard->write(piece);
            }
            if (rest->isEmpty() && guard->bytesToWrite() == 0)
                guard->disconnectFromHost();
        };
        QObject::connect(s, &QTcpSocket::bytesWritten, s, pump);
        QObject::connect(s, &QObject::destroyed, [rest] { delete rest; });
        pump();
    }

    std::unique_ptr<QTcpServer> m_server;
    bool m_secure = false;
    QHash<QString, TestRoute> m_routes;
};
