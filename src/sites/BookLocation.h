#pragma once
// Where a site book is: a postgresql:// address or an SQLite file, and the
// checks an SQLite file needs before SQLite opens it.

#include <QList>
#include <QString>

#include <utility>

namespace Sites {

struct BookLocation
{
    bool postgres = false;
    QString path;     // SQLite: the file, absolute
    QString user;     // PostgreSQL: empty for libpq's default
    QString host;     // empty for libpq's default (PGHOST, the local socket)
    int port = -1;    // -1 for libpq's default
    QString database;
    // The URL's query parameters, each a libpq connection parameter, decoded and in order.
    QList<std::pair<QString, QString>> parameters;
    QString error;    // why the address cannot be used; empty when it can
    // The value itself is wrong (a scheme, a parameter, a password), not the book behind it.
    bool inputError = false;
};

// "postgresql://[user@]host[:port]/dbname[?param=value&...]" (also
// "postgres://", the scheme in any case), else an absolute path. Any other
// scheme, or a value that looks like one ("word:/"), is refused; so is a
// relative path (the command line makes its own absolute first), a password
// in the address, and a query parameter libpq does not know.
BookLocation parseBookUrl(const QString &url);

// libpq's conninfo text for the parameters: key='value' pairs, values quoted.
QString connectOptions(const QList<std::pair<QString, QString>> &parameters);

// The name of the network file system of this f_type of statfs ("NFS",
// "CIFS/SMB", ...), or empty for a local one.
QString networkFileSystemName(long type);

// Why the SQLite file cannot be a book: on a network file system, checked on
// the resolved path (its nearest existing folder when the file is missing).
QString refuseNetworkFileSystem(const QString &path);

// Makes the file's folder (700) and the file (600) when missing, and refuses
// a network file system; returns why it cannot be used, empty when it can.
// An existing empty file the book takes over is made 600 as well.
QString prepareSqliteFile(const QString &path);

// Why writing `output` would destroy the book at url: the output is the book
// or one of its -wal, -shm and -journal files (same device and inode, or the
// same path when missing); empty when it is not.
QString outputIsBook(const QString &output, const QString &url);

} // namespace Sites
