#include "IPAddressControl.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

IPAddressControl::IPAddressControl(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 1, 2, 1);
    layout->setSpacing(0);

    // Blank, or 0 to 255 without leading zeros.
    static const QRegularExpression octetPattern(QStringLiteral("^(|25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])$"));

    const int fieldWidth = fontMetrics().horizontalAdvance(QStringLiteral("000")) + 6;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            auto *dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        auto *field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("octet%1").arg(i + 1));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(3);
        field->setFixedWidth(fieldWidth);
        field->setValidator(new QRegularExpressionValidator(octetPattern, field));
        field->installEventFilter(this);
        connect(field, &QLineEdit::textChanged, this, &IPAddressControl::addressChanged);
        // A third digit completes the octet.
        connect(field, &QLineEdit::textEdited, this, [this, i](const QString &text) {
            if (text.size() == 3 && i < 3)
                focusField(i + 1, true);
        });
        m_fields[static_cast<std::size_t>(i)] = field;
        layout->addWidget(field);
    }
    setFocusProxy(m_fields[0]);
}

IPAddressControl::Address IPAddressControl::address() const
{
    Address result{};
    const IPv4Text::Octets o = octets();
    for (std::size_t i = 0; i < 4; ++i)
        result[i] = static_cast<std::uint8_t>(o[i].value_or(0));
    return result;
}

void IPAddressControl::setAddress(const Address &address)
{
    IPv4Text::Octets o;
    for (std::size_t i = 0; i < 4; ++i)
        o[i] = address[i];
    setOctets(o);
}

IPv4Text::Octets IPAddressControl::octets() const
{
    IPv4Text::Octets o;
    for (std::size_t i = 0; i < 4; ++i) {
        bool ok = false;
        const int v = m_fields[i]->text().toInt(&ok);
        if (ok)
            o[i] = v;
    }
    return o;
}

void IPAddressControl::setOctets(const IPv4Text::Octets &octets)
{
    for (std::size_t i = 0; i < 4; ++i)
        m_fields[i]->setText(octets[i] ? QString::number(*octets[i]) : QString());
}

QString IPAddressControl::text() const
{
    return IPv4Text::format(octets());
}

void IPAddressControl::setText(const QString &text)
{
    IPv4Text::Octets o = octets();
    IPv4Text::apply(o, text);
    setOctets(o);
}

void IPAddressControl::clear()
{
    setOctets({});
}

int IPAddressControl::indexOf(QObject *field) const
{
    for (int i = 0; i < 4; ++i)
        if (m_fields[static_cast<std::size_t>(i)] == field)
            return i;
    return -1;
}

void IPAddressControl::focusField(int index, bool atStart)
{
    QLineEdit *field = m_fields[static_cast<std::size_t>(index)];
    field->setFocus(Qt::OtherFocusReason);
    if (atStart)
        field->selectAll();
    else
        field->setCursorPosition(static_cast<int>(field->text().size()));
}

bool IPAddressControl::eventFilter(QObject *watched, QEvent *event)
{
    const int i = indexOf(watched);
    if (i < 0 || event->type() != QEvent::KeyPress)
        return QFrame::eventFilter(watched, event);

    auto *key = static_cast<QKeyEvent *>(event);
    QLineEdit *field = m_fields[static_cast<std::size_t>(i)];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();

    if (key->text() == QLatin1String(".")) {
        if (i < 3 && !field->text().isEmpty())
            focusField(i + 1, true);
        return true;
    }
    if (key->key() == Qt::Key_Backspace && field->text().isEmpty() && i > 0) {
        focusField(i - 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Left && atStart && i > 0) {
        focusField(i - 1, false);
        return true;
    }
    if (key->key() == Qt::Key_Right && atEnd && i < 3) {
        focusField(i + 1, true);
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void IPAddressControl::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange)
        setBackgroundRole(isEnabled() ? QPalette::Base : QPalette::Window);
    QFrame::changeEvent(event);
}
