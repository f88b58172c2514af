#pragma once
// A log of the link for support: every frame sent and received and every
// status poll, one tab-separated line each: milliseconds since the trace
// opened, "out" or "in", the kind, the line bytes in hex and (not for the
// poll) the 16 decrypted bytes in hex. The codec calls it only while a trace
// is set, so an untraced link pays one pointer test per frame.

#include "MessageDispatcher.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <cstdint>

enum class FrameKind { ReadRequest, WriteCommand, WriteData, BlockHeader, BlockData, Ack, Status, Text, Poll, Repeat, ReadBack, Other };

// "read-request", "write-command", ..., "poll", "repeat", "read-back", "other".
const char *frameKindName(FrameKind kind);
// What the tool sends: read requests, write commands, write data.
FrameKind sentFrameKind(std::uint8_t type);
// What the module sends, classified as the dispatcher routes it.
FrameKind receivedFrameKind(std::uint8_t type);

class FrameTrace
{
public:
    enum class Direction { Out, In };

    ~FrameTrace() { close(); }

    // Empties the file, created or made 0600 for its owner only; the clock
    // starts here. The error is "PATH: system text", or refusal()'s, judged
    // on the descriptor opened.
    bool open(const QString &path, QString *error);
    // "PATH: not a trace file; nothing was traced" for an existing file that is
    // not regular or whose first line is not a trace line, another's file or a
    // link likewise; empty when the path may be traced into.
    static QString refusal(const QString &path);
    void close();
    bool isOpen() const { return m_file.isOpen(); }

    void frame(Direction direction, QByteArrayView line, const ModuleMessage &plain);
    void poll(QByteArrayView line);
    // The frames that follow ask for (or write) block b, counted from 0,
    // again: "MS\tout\trepeat\tblock N" with N counted from 1.
    void repeat(int block);
    // Written block b, counted from 0, is read back because its
    // acknowledgement could not be placed: "MS\tout\tread-back\tblock N".
    void readBack(int block);

    // One line of the trace, without its line end; plain null for the poll.
    static QByteArray formatLine(qint64 ms, Direction direction, FrameKind kind, QByteArrayView line,
                                 const ModuleMessage *plain);

private:
    void mark(FrameKind kind, int block);
    void write(Direction direction, FrameKind kind, QByteArrayView line, const ModuleMessage *plain);

    QFile m_file;
    QElapsedTimer m_clock;
};
