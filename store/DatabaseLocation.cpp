#include "store/DatabaseLocation.h"

#include <QCoreApplication>
#include <QSettings>
#include <QStringList>

namespace DatabaseLocation {

namespace {

struct State {
    Kind kind = Kind::File;
    Server server;
    QString password;
};

State &state()
{
    static State s;
    return s;
}

// The settings file of every KVR program of this user, whatever the running
// program is called (kvr, kvr-cli).
QSettings settingsFile()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("KVR"), QStringLiteral("KVR"));
}

QString quoted(const QString &value)
{
    if (!value.isEmpty() && !value.contains(QLatin1Char(' ')) && !value.contains(QLatin1Char('\''))
        && !value.contains(QLatin1Char('\\')))
        return value;
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    v.replace(QLatin1Char('\''), QStringLiteral("\\'"));
    return QLatin1Char('\'') + v + QLatin1Char('\'');
}

bool hasKeyword(const QString &options, const QString &keyword)
{
    for (const QString &part : options.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        if (part.section(QLatin1Char('='), 0, 0).trimmed() == keyword)
            return true;
    return false;
}

} // namespace

QString Server::Describe() const
{
    QString where = host.isEmpty() ? QStringLiteral("localhost") : host;
    if (port != 0)
        where += QLatin1Char(':') + QString::number(port);
    return (user.isEmpty() ? QString() : user + QLatin1Char('@')) + where + QLatin1Char('/') + database;
}

QString Server::ConnectionString() const
{
    QStringList parts;
    if (!host.isEmpty())
        parts << QStringLiteral("host=") + quoted(host);
    if (port != 0)
        parts << QStringLiteral("port=") + QString::number(port);
    parts << QStringLiteral("dbname=") + quoted(database);
    if (!user.isEmpty())
        parts << QStringLiteral("user=") + quoted(user);
    if (!hasKeyword(options, QStringLiteral("sslmode")))
        parts << (tls ? QStringLiteral("sslmode=require") : QStringLiteral("sslmode=disable"));
    if (!options.isEmpty())
        parts << options;
    return parts.join(QLatin1Char(' '));
}

bool Server::operator==(const Server &o) const
{
    return host == o.host && port == o.port && database == o.database && user == o.user && tls == o.tls
           && options == o.options;
}

Kind CurrentKind() { return state().kind; }
bool OnServer() { return state().kind == Kind::Server; }
Server CurrentServer() { return state().server; }

void UseFile()
{
    state() = State();
}

void UseServer(const Server &server)
{
    if (!(state().kind == Kind::Server && state().server == server))
        state().password.clear();
    state().kind = Kind::Server;
    state().server = server;
}

QString Password() { return state().password; }
void SetPassword(const QString &password) { state().password = password; }

Choice SavedChoice()
{
    QSettings s = settingsFile();
    s.beginGroup(QStringLiteral("database"));
    Choice c;
    c.kind = s.value(QStringLiteral("kind")).toString() == QLatin1String("server") ? Kind::Server : Kind::File;
    c.server.host = s.value(QStringLiteral("host")).toString();
    c.server.port = s.value(QStringLiteral("port"), 0).toInt();
    c.server.database = s.value(QStringLiteral("name")).toString();
    c.server.user = s.value(QStringLiteral("user")).toString();
    c.server.tls = s.value(QStringLiteral("tls"), false).toBool();
    c.server.options = s.value(QStringLiteral("options")).toString();
    c.rememberPassword = s.value(QStringLiteral("rememberPassword"), false).toBool();
    // A server without a database name cannot be reached: the file it is.
    if (c.server.database.isEmpty())
        c.kind = Kind::File;
    return c;
}

bool SaveChoice(const Choice &choice, QString *error)
{
    QSettings s = settingsFile();
    s.beginGroup(QStringLiteral("database"));
    s.setValue(QStringLiteral("kind"), choice.kind == Kind::Server ? QStringLiteral("server") : QStringLiteral("file"));
    s.setValue(QStringLiteral("host"), choice.server.host);
    s.setValue(QStringLiteral("port"), choice.server.port);
    s.setValue(QStringLiteral("name"), choice.server.database);
    s.setValue(QStringLiteral("user"), choice.server.user);
    s.setValue(QStringLiteral("tls"), choice.server.tls);
    s.setValue(QStringLiteral("options"), choice.server.options);
    s.setValue(QStringLiteral("rememberPassword"), choice.rememberPassword);
    s.endGroup();
    s.sync();
    if (s.status() != QSettings::NoError) {
        if (error)
            *error = QStringLiteral("The settings file %1 cannot be written.").arg(s.fileName());
        return false;
    }
    return true;
}

void UseSaved()
{
    const Choice c = SavedChoice();
    if (c.kind == Kind::Server)
        UseServer(c.server);
    else
        UseFile();
}

bool ParseConnectionString(const QString &text, Server *server, QString *password, QString *error)
{
    auto failed = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    Server s;
    QString pass;
    QStringList options;
    int i = 0;
    const int n = int(text.size());
    auto skipBlanks = [&] {
        while (i < n && text[i].isSpace())
            ++i;
    };
    skipBlanks();
    if (i == n)
        return failed(QStringLiteral("The connection string is empty."));
    while (i < n) {
        const int keyStart = i;
        while (i < n && text[i] != QLatin1Char('=') && !text[i].isSpace())
            ++i;
        const QString key = text.mid(keyStart, i - keyStart);
        skipBlanks();
        if (key.isEmpty() || i == n || text[i] != QLatin1Char('='))
            return failed(QStringLiteral("\"%1\" is not of the form keyword=value.").arg(text.mid(keyStart).left(40)));
        ++i;
        skipBlanks();
        QString value;
        if (i < n && text[i] == QLatin1Char('\'')) {
            ++i;
            bool closed = false;
            while (i < n) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n) {
                    value += text[i + 1];
                    i += 2;
                } else if (text[i] == QLatin1Char('\'')) {
                    ++i;
                    closed = true;
                    break;
                } else {
                    value += text[i++];
                }
            }
            if (!closed)
                return failed(QStringLiteral("The value of %1 has no closing quote.").arg(key));
        } else {
            while (i < n && !text[i].isSpace()) {
                if (text[i] == QLatin1Char('\\') && i + 1 < n)
                    ++i;
                value += text[i++];
            }
        }
        skipBlanks();
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr")) {
            if (key == QLatin1String("hostaddr"))
                options << key + QLatin1Char('=') + quoted(value);
            else
                s.host = value;
        } else if (key == QLatin1String("port")) {
            bool ok = false;
            s.port = value.toInt(&ok);
            if (!ok || s.port <= 0 || s.port > 65535)
                return failed(QStringLiteral("The port \"%1\" is not a port number.").arg(value));
        } else if (key == QLatin1String("dbname")) {
            s.database = value;
        } else if (key == QLatin1String("user")) {
            s.user = value;
        } else if (key == QLatin1String("password")) {
            pass = value;
        } else if (key == QLatin1String("sslmode")) {
            s.tls = value == QLatin1String("require") || value == QLatin1String("verify-ca")
                    || value == QLatin1String("verify-full");
            if (value != QLatin1String("require") && value != QLatin1String("disable"))
                options << key + QLatin1Char('=') + quoted(value);
        } else {
            options << key + QLatin1Char('=') + quoted(value);
        }
    }
    if (s.database.isEmpty())
        return failed(QStringLiteral("The connection string names no database (dbname=...)."));
    s.options = options.join(QLatin1Char(' '));
    *server = s;
    if (password)
        *password = pass;
    return true;
}

} // namespace DatabaseLocation
