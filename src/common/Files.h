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

// The tool's own refusals, numbered beyond the system's error numbers so that
// every routine passes them on as it passes on the system's.
inline constexpr int ForeignLink = 0x10001; // "a link that another user made in a shared folder; nothing was written"
inline constexpr int OthersCanWrite = 0x10002; // "writable by other users; nothing was kept"
inline constexpr int OthersOwn = 0x10003;      // "belongs to another user; nothing was kept"
// True for those refusals: a usage error, not a failure of the system.
bool isRefusal(int errorNumber);

// The system's own text for an error number ("No such file or directory"),
// or the text of one of the refusals above.
QString systemText(int errorNumber);
// "PATH: system text".
QString errorMessage(const QString &path, int errorNumber);

// Writes the bytes to path; 0 when they are all there, else the error number.
// - A regular file or a new path: a temporary file beside the target, flushed
//   to disk and renamed over it, then the folder flushed, so the old file stays
//   whole if anything fails. A link is followed only as the kernel's
//   protected-links rule would (the link is this user's, or its folder is not
//   sticky and writable by all, or the link's owner owns the folder), else
//   ForeignLink; it stays a link. The file belongs to the writing user; a
//   replaced file keeps its mode, for owner and group only when `access` is
//   Private; a new one is created as `access` says.
// - Replace::Never: an existing name is never replaced (EEXIST).
// - "-", /dev/stdout, /dev/stderr, /dev/fd/N and /proc/self/fd/N: written to
//   that descriptor of this process as it is open (so a shell's >> appends).
// - A character device, a FIFO or a socket: opened and written in place.
// - A directory or a block device is refused.
enum class Replace { Allowed, Never };
int save(const QString &path, QByteArrayView bytes, Access access, Replace replace = Replace::Allowed);

// Makes the folder and its missing parents, each created as `access` says;
// existing ones are left as they are. 0, or the error number of the first part
// that could not be made (ENOTDIR when the path names something else).
int makeFolder(const QString &path, Access access);

// Creates an empty file when none exists yet (a file that others then open by
// name, such as a database, and whose companions take its mode); an existing
// file is left as it is. Links as save() follows them; anything but a regular
// file is refused (EINVAL). 0, or the error number.
int createFile(const QString &path, Access access);

// Opens a file to append to, created as `access` says when new; links as
// save() follows them, and a FIFO or device is never waited on: a
// descriptor, or -1 with errno set.
int openForAppending(const QString &path, Access access);

// Opens a file for reading and writing without following a link (ELOOP) and
// without waiting on a FIFO; anything but a regular file is refused (EINVAL).
// Created as `access` says; an existing Private one is made 0600. Nothing is
// truncated: the caller looks at the descriptor first. A descriptor, or -1
// with errno set.
int openForWriting(const QString &path, Access access);

// ForeignLink when save() would refuse the path for its link, else 0: for a
// command to say so before it does any work.
int outputRefusal(const QString &path);

// A folder that keeps parameter sets must be the user's and not writable by
// others: 0, OthersOwn, OthersCanWrite, or the error number of its stat (a
// link to the folder is judged by the folder).
int checkKeepingFolder(const QString &path);

// True when the path names a regular file, not through a link: what listings
// of kept sets take, so that a FIFO or a planted link is never opened.
bool isPlainFile(const QString &path);
// The first `limit` bytes of a regular file, opened without following a link
// or waiting on a FIFO; empty for anything else.
QByteArray readPlainFile(const QString &path, qsizetype limit);

// True when both names lead to one existing file (same device and inode), so
// that links, "./" and ".." spellings are caught.
bool sameFile(const QString &a, const QString &b);

// The descriptor a name of this process's own descriptors stands for ("-" is
// standard output), or -1 when the path is not such a name.
int descriptorOf(const QString &path);

// A new name for a temporary file in the folder, distinct across the threads
// and processes that save at the same time and not to be guessed by others.
QByteArray temporaryName(const QByteArray &folder);

} // namespace Files
