// Makes the delivered database file from its SQL text:
//   kvr-mkdb KVRDB.sql path/to/KVRDB.mdb
// An existing database file is never touched, so a rebuild keeps a clinic's data.
#include "store/KvrDatabase.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() != 3) {
        err << "usage: kvr-mkdb SQL-FILE DATABASE-FILE\n";
        return 2;
    }
    if (QFileInfo::exists(args[2]))
        return 0;
    QString error;
    if (!KvrDatabase::CreateFromSql(args[1], args[2], &error)) {
        err << "kvr-mkdb: " << error << "\n";
        return 1;
    }
    return 0;
}
