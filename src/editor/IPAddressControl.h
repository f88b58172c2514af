#pragma once
// An IPv4 address entry field: four octet fields separated by dots. Each
// field takes 0 to 255 or stays blank. "." or a third digit moves on to the
// next field, Backspace in an empty field goes back to the previous one.

#include "IPv4Text.h"

#include <QFrame>

#include <array>
#include <cstdint>

class QLineEdit;

class IPAddressControl : public QFrame
{
    Q_OBJECT

public:
    using Address = std::array<std::uint8_t, 4>;

    explicit IPAddressControl(QWidget *parent = nullptr);

    // The four octets, first octet first; a blank field reads as 0.
    Address address() const;
    void setAddress(const Address &address);

    IPv4Text::Octets octets() const;
    void setOctets(const IPv4Text::Octets &octets);

    // "a.b.c.d", or empty while all fields are blank.
    QString text() const;
    void setText(const QString &text);
    void clear();

    QLineEdit *octetField(int index) const { return m_fields[static_cast<std::size_t>(index)]; }

signals:
    void addressChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    int indexOf(QObject *field) const;
    void focusField(int index, bool atStart);

    std::array<QLineEdit *, 4> m_fields{};
};
