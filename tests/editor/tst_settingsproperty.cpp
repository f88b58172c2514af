// Load and store of the settings window over many random images: what the
// user sees survives a store (up to the documented losses), and a store
// touches exactly the bytes of the fields.

#include "editor/CharGrid.h"
#include "editor/IPAddressControl.h"
#include "editor/RadioGroup.h"
#include "editor/Settings.h"
#include "params/EEAddr.h"
#include "params/ParameterImage.h"

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

namespace {

constexpr int Images = 1000;

// Bytes that belong to no field, from the layout table.
const std::pair<int, int> Uncovered[] = {{94, 102}, {111, 143}, {303, 309}, {959, 960}, {994, 1026}, {1028, 1088}};

bool isUncovered(int i)
{
    for (const auto &[from, to] : Uncovered)
        if (i >= from && i < to)
            return true;
    return false;
}

QString toQString(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// Random bytes, with about half of the fields given plausible content so
// that digits, codes and texts actually show up: lengths within or just past
// the capacity, and characters that the encodings treat specially.
ImageBytes randomImage(QRandomGenerator &rng)
{
    ImageBytes image;
    for (auto &b : image)
        b = static_cast<std::uint8_t>(rng.bounded(256));

    static const QByteArray textChars = QByteArray("ab Z09 \"$*") + QByteArray("\xDB\xFB\xDC\x00\xFF\x8A", 6);
    for (const EEAddr::Field &f : EEAddr::Fields) {
        if (rng.bounded(2) == 0)
            continue;
        std::uint8_t *p = image.data() + f.offset;
        switch (f.encoding) {
        case EEAddr::Encoding::Digits16:
        case EEAddr::Encoding::Digits8:
            p[0] = static_cast<std::uint8_t>(rng.bounded(f.capacity + 3));
            for (int i = 1; i <= f.capacity; ++i)
                p[i] = rng.bounded(8) ? static_cast<std::uint8_t>('0' + rng.bounded(10))
                                      : static_cast<std::uint8_t>(rng.bounded(256));
            break;
        case EEAddr::Encoding::EventCode:
            for (int i = 0; i < 2; ++i)
                p[i] = static_cast<std::uint8_t>((rng.bounded(12) << 4) | rng.bounded(12));
            break;
        case EEAddr::Encoding::SmsText:
        case EEAddr::Encoding::GprsText:
            p[0] = static_cast<std::uint8_t>(rng.bounded(f.capacity + 2));
            for (int i = 1; i <= f.capacity; ++i)
                p[i] = static_cast<std::uint8_t>(textChars[rng.bounded(textChars.size())]);
            break;
        default:
            break;
        }
    }
    return image;
}

} // namespace

class SettingsPropertyTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void storedValuesLoadBackAsShown();
    void storeWritesExactlyTheFields();

private:
    using Values = std::map<QString, QString>;
    Values values() const;
    static Values afterStore(Values shown);

    QTemporaryDir m_dir;
    std::unique_ptr<TSettingsForm> m_form;
    std::vector<std::pair<const EEAddr::Field *, QWidget *>> m_controls;
};

void SettingsPropertyTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir.path().toLocal8Bit());
    QVERIFY(QDir::setCurrent(m_dir.path()));
    m_form = std::make_unique<TSettingsForm>();

    for (const EEAddr::Field &f : EEAddr::Fields) {
        for (std::string_view name : {f.control, f.companion}) {
            // A spinner's text field is part of its spinner.
            if (name.empty() || (name == f.companion && name.substr(0, 2) == "ed"))
                continue;
            QWidget *w = m_form->findChild<QWidget *>(toQString(name));
            QVERIFY2(w, name.data());
            m_controls.emplace_back(&f, w);
        }
    }
    // Every control but the four reserved pairs', plus the Bell callback box.
    QCOMPARE(m_controls.size(), EEAddr::Fields.size() - 4 + 1);
}

void SettingsPropertyTest::cleanupTestCase()
{
    m_form.reset();
}

SettingsPropertyTest::Values SettingsPropertyTest::values() const
{
    Values v;
    for (const auto &[field, w] : m_controls) {
        QString value;
        if (auto *grid = qobject_cast<CharGrid *>(w))
            value = grid->cells().join(u'|');
        else if (auto *edit = qobject_cast<QLineEdit *>(w))
            value = edit->text();
        else if (auto *spin = qobject_cast<QSpinBox *>(w))
            value = QString::number(spin->value());
        else if (auto *address = qobject_cast<IPAddressControl *>(w))
            value = address->text();
        else if (auto *group = qobject_cast<RadioGroup *>(w))
            value = QString::number(group->itemIndex());
        else if (auto *check = qobject_cast<QCheckBox *>(w))
            value = check->isChecked() ? QStringLiteral("on") : QStringLiteral("off");
        v[w->objectName()] = value;
    }
    return v;
}

// What the controls show after a store and a load, given what they showed
// before: gaps in numbers close up, an incomplete or lettered event code
// becomes blank, an SMS text's Ű becomes Ü, GPRS texts lose blanks and
// double quotes. Everything else is shown as it was.
SettingsPropertyTest::Values SettingsPropertyTest::afterStore(Values shown)
{
    for (auto &[name, value] : shown) {
        const EEAddr::Field *f = EEAddr::fieldOfControl(name.toStdString());
        QStringList cells = value.split(u'|');
        switch (f->encoding) {
        case EEAddr::Encoding::Digits16:
        case EEAddr::Encoding::Digits8: {
            QStringList closed;
            for (const QString &c : cells)
                if (!c.isEmpty() && c[0].isDigit())
                    closed << c.left(1);
            while (closed.size() < cells.size())
                closed << QString();
            value = closed.join(u'|');
            break;
        }
        case EEAddr::Encoding::EventCode: {
            bool complete = true;
            for (const QString &c : cells)
                complete = complete && c.size() == 1 && (c[0].isDigit() || c[0] == u'*');
            if (!complete)
                value = QStringList(4, QStringLiteral(" ")).join(u'|');
            break;
        }
        case EEAddr::Encoding::SmsText:
            value.replace(QChar(0x0170), QChar(0x00DC));
            break;
        case EEAddr::Encoding::GprsText:
            value.remove(u' ').remove(u'"');
            break;
        default:
            break;
        }
    }
    return shown;
}

void SettingsPropertyTest::storedValuesLoadBackAsShown()
{
    QRandomGenerator rng(0x5E771265u);
    for (int n = 0; n < Images; ++n) {
        const ImageBytes image = randomImage(rng);
        m_form->LoadSettings(image);
        const Values shown = values();

        ImageBytes stored = image;
        m_form->StoreSettings(stored);
        m_form->LoadSettings(stored);
        const Values reloaded = values();
        const Values expected = afterStore(shown);
        for (const auto &[name, value] : expected)
            QVERIFY2(reloaded.at(name) == value,
                     qPrintable(QStringLiteral("image %1, %2: shown \"%3\", after store \"%4\", expected \"%5\"")
                                    .arg(n)
                                    .arg(name, shown.at(name), reloaded.at(name), value)));

        // A second store changes nothing more.
        ImageBytes again = stored;
        m_form->StoreSettings(again);
        QVERIFY2(again == stored, qPrintable(QStringLiteral("image %1").arg(n)));
    }
}

void SettingsPropertyTest::storeWritesExactlyTheFields()
{
    QRandomGenerator rng(0xB10C5u);
    for (int n = 0; n < Images; ++n) {
        const ImageBytes image = randomImage(rng);
        const ImageBytes other = randomImage(rng);
        m_form->LoadSettings(image);

        ImageBytes stored = image;
        m_form->StoreSettings(stored);
        ImageBytes storedOverOther = other;
        m_form->StoreSettings(storedOverOther);

        for (int i = 0; i < EEAddr::ImageSize; ++i) {
            const auto at = static_cast<std::size_t>(i);
            if (isUncovered(i)) {
                // Bytes of no field keep whatever they held.
                QVERIFY2(stored[at] == image[at] && storedOverOther[at] == other[at],
                         qPrintable(QStringLiteral("image %1: byte %2 written").arg(n).arg(i)));
            } else {
                // Every byte of every field is written from the controls alone.
                QVERIFY2(stored[at] == storedOverOther[at],
                         qPrintable(QStringLiteral("image %1: byte %2 depends on the old image").arg(n).arg(i)));
            }
        }
    }
}

QTEST_MAIN(SettingsPropertyTest)
#include "tst_settingsproperty.moc"
