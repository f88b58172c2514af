#pragma once
// The port selection dialog as a component: set the texts and DefaultPort,
// call Execute, and after a true result read PortNev, PortHNev and PortIndex.

#include <QObject>
#include <QString>

class TSorosDialog : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString DefaultPort READ DefaultPort WRITE setDefaultPort)
    Q_PROPERTY(QString PortNev READ PortNev)
    Q_PROPERTY(QString PortHNev READ PortHNev)
    Q_PROPERTY(int PortIndex READ PortIndex)
    Q_PROPERTY(QString DialogusCimke READ DialogusCimke WRITE setDialogusCimke)
    Q_PROPERTY(QString DialogusSzoveg READ DialogusSzoveg WRITE setDialogusSzoveg)
    Q_PROPERTY(QString HozzaadCimke READ HozzaadCimke WRITE setHozzaadCimke)
    Q_PROPERTY(QString HozzaadSzoveg READ HozzaadSzoveg WRITE setHozzaadSzoveg)

public:
    // A widget parent becomes the owner of the dialog window.
    explicit TSorosDialog(QObject *parent = nullptr);

    // Runs the window modally; true when the user confirmed a port. After
    // false the results keep their previous values.
    bool Execute();

    QString DefaultPort() const { return m_defaultPort; }
    void setDefaultPort(const QString &displayName) { m_defaultPort = displayName; }

    QString PortNev() const { return m_portNev; }
    QString PortHNev() const { return m_portHNev; }
    int PortIndex() const { return m_portIndex; }

    // Empty texts leave the window's own Hungarian ones.
    QString DialogusCimke() const { return m_dialogusCimke; }
    void setDialogusCimke(const QString &text) { m_dialogusCimke = text; }
    QString DialogusSzoveg() const { return m_dialogusSzoveg; }
    void setDialogusSzoveg(const QString &text) { m_dialogusSzoveg = text; }
    QString HozzaadCimke() const { return m_hozzaadCimke; }
    void setHozzaadCimke(const QString &text) { m_hozzaadCimke = text; }
    QString HozzaadSzoveg() const { return m_hozzaadSzoveg; }
    void setHozzaadSzoveg(const QString &text) { m_hozzaadSzoveg = text; }

private:
    QString m_defaultPort;
    QString m_portNev;
    QString m_portHNev;
    int m_portIndex = 0;
    QString m_dialogusCimke;
    QString m_dialogusSzoveg;
    QString m_hozzaadCimke;
    QString m_hozzaadSzoveg;
};
