#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for the tests: each path answers as
// the test sets it up (status, length or none, a body cut short, a range
// answer, or no answer at all).
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>

struct TestRoute {
    int status = 200;
    QByteArray reason = "OK";
    QByteArray body;
    bool sendLength = true;     // Content-Length header
    qint64 claimedLength = -1;  // length to announce instead of body.size()
    qint64 cutAfter = -1;       // close after this many body bytes
    bool honourRange = false;   // answer "Range: bytes=0-" with 206
    bool silent = false;        // read the request, never answer
};

class TestHttpServer
{
public:
    TestHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket *s = m_server.nextPendingConnection())
                accept(s);
        });
    }
    QString url(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path);
    }
    void route(const QString &path, const TestRoute &r) { m_routes.insert(path, r); }
    // Called with the request head once it has arrived.
    std::function<void(const QByteArray &head)> onRequest;
    QList<QByteArray> heads;

private:
    struct Pending {
        QByteArray data; // what is still to be sent
        bool closeAtEnd = true;
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
        TestRoute r = it == m_routes.constEnd() ? TestRoute{404, "Not Found", "missing"} : *it;
        if (r.silent)
            return;
        int status = r.status;
        QByteArray reason = r.reason;
        QByteArray extra;
        if (r.honourRange && head.contains("Range: bytes=0-") && status == 200) {
            status = 206;
            reason = "Partial Content";
            extra = "Content-Range: bytes 0-" + QByteArray::number(qMax<qint64>(0, r.body.size() - 1)) + "/"
                    + QByteArray::number(r.body.size()) + "\r\n";
        }
        if (status == 401)
            extra += "WWW-Authenticate: Basic realm=\"kvr\"\r\n";
        QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " " + reason + "\r\n" + extra;
        if (r.sendLength)
            out += "Content-Length: "
                   + QByteArray::number(r.claimedLength >= 0 ? r.claimedLength : qint64(r.body.size())) + "\r\n";
        out += "Connection: close\r\n\r\n";
        QByteArray body = r.body;
        if (r.cutAfter >= 0)
            body.truncate(int(r.cutAfter));
        if (status != 204)
            out += body;
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

    QTcpServer m_server;
    QHash<QString, TestRoute> m_routes;
};
