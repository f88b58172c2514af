#pragma once
// Where a site book is: a postgresql:// address or an SQLite file, and the
// checks an SQLite file needs before SQLite opens it.

#include <QString>

namespace Sites {

struct BookLocation
{
    bool postgres = false;
    QString path;     // SQLite: the file
    QString user;     // PostgreSQL: empty for libpq's default
    QString host;     // empty for libpq's default (PGHOST, the local socket)
    int port = -1;    // -1 for libpq's default
    QString database;
    QString error;    // why the address cannot be used; empty when it can
};

// "postgresql://[user@]host[:port]/dbname" (also "postgres://"), else a path.
// A password in the address is refused: libpq's own means keep passwords.
BookLocation parseBookUrl(const QString &url);

// The name of the network file system of this f_type of statfs ("NFS",
// "CIFS/SMB", ...), or empty for a local one.
QString networkFileSystemName(long type);

// Makes the file's folder (700) and the file (600) when missing, and refuses
// a network file system; returns why it cannot be used, empty when it can.
QString prepareSqliteFile(const QString &path);

} // namespace Sites
