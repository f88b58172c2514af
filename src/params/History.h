#pragma once
// The history of exchanged parameter sets: every image read from, written to
// or backed up from a module is kept as a parameter file in one folder, so no
// set that passed through the tool is lost. Keeping never stops an operation:
// a folder that cannot be written only gives a reason to show.

#include "Operation.h"
#include "ParameterImage.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace History {

// The newest this many entries are kept.
inline constexpr int Limit = 500;

// $XDG_DATA_HOME/quelmar/history, or ~/.local/share/quelmar/history.
QString defaultFolder();

// "YYYYMMDD-HHMMSS-read-COMn.QM3" (the operation's operationWord()): sorts by time, then says what and which
// port; without a port "YYYYMMDD-HHMMSS-read.QM3". A second entry of the same
// second, operation and port gets "-2" (then "-3", ...) before the suffix, so
// neither is lost.
QString entryName(const QDateTime &when, Operation operation, const QString &port, int sequence = 1);

struct Entry
{
    QString path;
    QString name; // the file name
    QDateTime when;
    Operation operation = Operation::Read;
    QString port;
    int sequence = 1;
    QString outcome; // how the operation ended, when that was recorded; else empty
};

// An entry from a file name in the form entryName() gives; false for any other name.
bool parseName(const QString &name, Entry &entry);

// "USER1 0612345678, APN internet", through the field model.
QString summaryOf(const ImageBytes &image);

struct Kept
{
    QString path;  // the entry written; empty when none was
    QString error; // why none was written; empty when one was
    bool ok() const { return error.isEmpty(); }
};

// " History not saved: REASON." after an outcome, or empty when it was kept.
QString outcomeNote(const Kept &kept);

class Store
{
public:
    explicit Store(QString folder = defaultFolder(), int limit = Limit);

    const QString &folder() const { return m_folder; }
    // "FOLDER: writable by other users; nothing was kept" (or "belongs to
    // another user") when the folder is there and others could swap its sets;
    // empty when it is safe or not made yet. keep() refuses such a folder.
    QString refusal() const;

    // Writes the image as a new entry (temporary file, a rename that never
    // replaces), creating the folder when missing; only then removes the oldest entries beyond the
    // limit. An outcome ("Verify: 2 fields differ.") is recorded beside the
    // entry, in the hidden file .NAME.outcome; the entry stands without it.
    Kept keep(const ImageBytes &image, Operation operation, const QString &port,
              const QDateTime &when = QDateTime::currentDateTime(), const QString &outcome = {}) const;

    // The entries in the folder, newest first; files of other names are left out.
    QList<Entry> entries() const;

private:
    void prune() const;

    QString m_folder;
    int m_limit;
};

} // namespace History
