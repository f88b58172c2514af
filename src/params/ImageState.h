#pragma once
// Where the parameter image's values came from, and whether it holds changes
// that neither a module nor a file has: what a write asks before it sends an
// erased set, what closing the tool asks before changes are lost, and the
// line of the report that says where its values come from.

#include "ParameterImage.h"

#include <QDateTime>
#include <QString>

#include <functional>

class ImageState
{
public:
    enum class Source { Erased, Module, Written, File, Site };
    enum class Verify { NotRun, Matched, Differed };

    // The erased image of start-up: nothing read, loaded or stored.
    void erase();
    // All blocks read from the module on port (a compare that found the
    // module as last read or written counts too).
    void readFromModule(const QString &port, const QDateTime &when = QDateTime::currentDateTime());
    // Every block acknowledged by the module on port.
    void writtenToModule(const QString &port, Verify verify, const QDateTime &when = QDateTime::currentDateTime());
    // Loaded from a file or the history; name is the file's name.
    void loadedFromFile(const QString &name);
    // Loaded from the site book; what: the site, or its exchange.
    void loadedFromSite(const QString &what);
    // Saved to a file: the file now holds any changes.
    void savedToFile(const QString &name);
    // The editor stored its fields; changed: the image's bytes changed.
    void storedFromEditor(bool changed);

    Source source() const { return m_source; }
    // Nothing was read, loaded or stored from the editor since start-up, so
    // a write would send the erased set.
    bool isUntouched() const { return m_source == Source::Erased && !m_stored; }
    // Changes stored from the editor that were neither written nor saved.
    bool hasUnkeptChanges() const { return m_changed; }

    // "Read from the module on COM60 at 12:30:05", "From the file site.QM3", ...
    QString sourceLine() const;
    // The port of the module the values were read from or written to; empty
    // when they came from elsewhere.
    QString port() const;

private:
    Source m_source = Source::Erased;
    Verify m_verify = Verify::NotRun;
    QString m_port;
    QString m_file;
    QDateTime m_when;
    bool m_stored = false;
    bool m_changed = false;
};

// The state of the program-wide ParameterImage.
ImageState &parameterImageState();

// The program-wide ParameterImage with where its values came from: whatever
// replaces the one says the other here, so no window sets the bytes
// without their origin. The transfer fills and sends the bytes itself;
// readFromModule and writtenToModule say what it did.
class WorkingImage
{
public:
    const ImageBytes &bytes() const { return ParameterImage; }
    const ImageState &state() const { return parameterImageState(); }

    // The erased image of start-up.
    void erase();
    // A set from a file or the history; name is the file's name.
    void loadFromFile(const ImageBytes &image, const QString &name);
    // A set from the site book; what: the site, or its exchange.
    void loadFromSite(const ImageBytes &image, const QString &what);
    // All blocks read on port; keepPcBytes, when given, puts back bytes 960
    // to 1087, which a read clears (the site in work's current set holds them).
    void readFromModule(const QString &port, const std::function<void(ImageBytes &)> &keepPcBytes = {});
    void writtenToModule(const QString &port, ImageState::Verify verify);
    void savedToFile(const QString &name);
    // The editor stored its fields into a copy of bytes(): the set with
    // changes of the editor's, unkept when they changed anything.
    void storeFromEditor(const ImageBytes &image);
};

WorkingImage &workingImage();

// The question a write asks before it sends an image nobody read, loaded or stored.
extern const char UntouchedWriteQuestion[];
// The question before the tool quits with changes neither written nor saved.
extern const char UnkeptChangesQuestion[];
// The question before a site's set replaces such changes.
extern const char UnkeptChangesLoadQuestion[];
// The question before a read, a file or a kept set replaces such changes.
extern const char UnkeptChangesReplaceQuestion[];
// The outcome line of a write the installer declined.
extern const char NothingWrittenText[];
