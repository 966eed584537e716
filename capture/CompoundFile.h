#pragma once
// Reads one stream out of a compound document, the container an Excel
// 97-2003 workbook is stored in: a file of fixed-size sectors chained by an
// allocation table, a directory of named streams, and small streams packed
// into a mini stream of 64-byte sectors.
//
// Nothing in the file is taken on trust: every sector number is checked
// against the file, every chain is followed at most once around (a loop or a
// chain into free sectors is an error), and a stream's size must fit in the
// file and in its chain. What it allocates is bounded by the file's size.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace CompoundFile {

enum class Status {
    Ok,
    NotCompound,  // no compound-document signature
    Damaged,      // a compound document in form, but broken or inconsistent
    NoSuchStream, // no stream of any of the names at the top of the document
};

struct Stream {
    Status status = Status::NotCompound;
    QString reason;  // for the developer; empty when status is Ok
    QString name;    // the name the stream has in the file
    QByteArray data;
};

// True when bytes start with the compound-document signature.
bool HasSignature(const QByteArray &bytes);

// The first stream at the top of the document whose name matches one of
// names without regard to case, tried in the order of names.
Stream Read(const QByteArray &file, const QStringList &names);

} // namespace CompoundFile
