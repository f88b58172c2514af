#pragma once
// Publishes a device as port COMn: the link comN in the per-user port
// directory, which the tool's port map prefers to the fixed device ranges.

#include <QString>

class PortLink
{
public:
    PortLink() = default;
    ~PortLink() { remove(); }
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;

    // The process, other than this one, that holds the pseudo-terminal the
    // port's link points to (another simulator serving it); 0 when none.
    static qint64 publisher(int portNumber);
    // Replaces any link of that name (a stale one left by a crash, say).
    bool publish(int portNumber, const QString &device, QString *error);
    // Only while the link still points to our device: a later simulator on
    // the same port keeps its link.
    void remove();

private:
    QString m_path;
    QString m_device;
};
