#pragma once
// Every file the tool writes whole goes out through save(), every folder it
// makes through makeFolder(), and every system error on either is worded by
// errorMessage(): one place for each rule, for the windows and the command line.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace Files {

// Who may read what the tool creates. A parameter set holds the module's GPRS
// login, so everything holding one is Private: files 0600, folders 0700.
// Shared files and folders get 0666 and 0777 less the process's umask.
enum class Access { Private, Shared };

inline constexpr unsigned PrivateFileMode = 0600;
inline constexpr unsigned PrivateFolderMode = 0700;

// The system's own text for an error number ("No such file or directory").
QString systemText(int errorNumber);
// "PATH: system text".
QString errorMessage(const QString &path, int errorNumber);

// Writes the bytes to path; 0 when they are all there, else the error number.
// - A regular file or a new path: a temporary file beside the target, flushed
//   to disk and renamed over it, then the folder flushed, so the old file stays
//   whole if anything fails. A link is followed and stays a link; a replaced
//   file keeps its mode and owner; a new one is created as `access` says.
// - "-", /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N: written to
//   that descriptor of this process as it is open (so a shell's >> appends).
// - A character device, a FIFO or a socket: opened and written in place.
// - A directory or a block device is refused.
int save(const QString &path, QByteArrayView bytes, Access access);

// Makes the folder and its missing parents, each created as `access` says;
// existing ones are left as they are. 0, or the error number of the first part
// that could not be made (ENOTDIR when the path names something else).
int makeFolder(const QString &path, Access access);

// Creates an empty file when none exists yet (a file that others then open by
// name, such as a database, and whose companions take its mode); an existing
// file is left as it is. 0, or the error number.
int createFile(const QString &path, Access access);

// Opens the file for writing from its start, created as `access` says when
// new (an existing one keeps its mode): a descriptor, or -1 with errno set.
int openForWriting(const QString &path, Access access);

// True when both names lead to one existing file (same device and inode), so
// that links, "./" and ".." spellings are caught.
bool sameFile(const QString &a, const QString &b);

// The descriptor a name of this process's own descriptors stands for ("-" is
// standard output), or -1 when the path is not such a name.
int descriptorOf(const QString &path);

// A new name for a temporary file in the folder, distinct across the threads
// and processes that save at the same time.
QByteArray temporaryName(const QByteArray &folder);

} // namespace Files
