// The settings window driven through its real controls: typing, enabling,
// load and store against the byte layout, the operator presets and the
// English texts.

#include "editor/CharGrid.h"
#include "editor/EditorTexts.h"
#include "editor/IPAddressControl.h"
#include "editor/RadioGroup.h"
#include "editor/Settings.h"
#include "params/ImageState.h"
#include "params/ParameterImage.h"

#include "common/BoxAnswerer.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>

namespace {

ImageBytes erasedImage()
{
    ImageBytes image;
    image.fill(0xFF);
    return image;
}

QByteArray slice(const ImageBytes &image, int offset, int length)
{
    return QByteArray(reinterpret_cast<const char *>(image.data()) + offset, length);
}

void put(ImageBytes &image, int offset, const QByteArray &bytes)
{
    std::memcpy(image.data() + offset, bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// Empty cells as "_", so that blanks and empties can be told apart.
QString cellsOf(const CharGrid *grid)
{
    QString s;
    for (const QString &c : grid->cells())
        s += c.isEmpty() ? QStringLiteral("_") : c;
    return s;
}

// Types into a widget: "<" ">" "^" "$" are Left, Right, Home, End; Tab and
// Backspace are themselves; every other character is typed as it is.
void typeInto(QWidget *w, const QString &keys)
{
    for (QChar c : keys) {
        switch (c.unicode()) {
        case u'<': QTest::keyClick(w, Qt::Key_Left); break;
        case u'>': QTest::keyClick(w, Qt::Key_Right); break;
        case u'^': QTest::keyClick(w, Qt::Key_Home); break;
        case u'$': QTest::keyClick(w, Qt::Key_End); break;
        default: QTest::keyClick(w, c.toLatin1()); break;
        }
    }
}

QString repeat(const QString &s, int n)
{
    return s.repeated(n);
}

} // namespace

class SettingsFormTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void typingIntoGrids_data();
    void typingIntoGrids();
    void committedCellValues();
    void tabLeavesGridAtItsEnds();
    void gridAccessibility_data();
    void gridAccessibility();
    void textFieldTyping_data();
    void textFieldTyping();
    void callFilterEnabling();
    void gprsModeEnabling();

    void erasedImageLoadsEmpty();
    void erasedImageLoadThenStore();
    void numberWithGapClosesUp();
    void eventCodeStore_data();
    void eventCodeStore();
    void smsTrailingBlanks();
    void apnTypedFortyStoredThirtySeven();
    void spinnerValues_data();
    void spinnerValues();
    void addressControlTyping();
    void cancelCloseAndReopen();
    void escAndCloseAskBeforeDiscarding_data();
    void escAndCloseAskBeforeDiscarding();
    void storeAsksAboutValuesItWouldChange_data();
    void storeAsksAboutValuesItWouldChange();
    void typedNumberAboveRange_data();
    void typedNumberAboveRange();

    void presetsWithoutFile();
    void presetSelection();
    void customTextsRemembered();
    void presetFile();

    void englishTexts();

private:
    std::unique_ptr<TSettingsForm> newForm();
    QTemporaryDir m_dir;
};

void SettingsFormTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    qputenv("HOME", m_dir.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
    // The window reads its operator presets from the working directory.
    QVERIFY(QDir::setCurrent(m_dir.path()));
}

void SettingsFormTest::cleanup()
{
    QFile::remove(m_dir.filePath(QStringLiteral("APNs.dat")));
}

std::unique_ptr<TSettingsForm> SettingsFormTest::newForm()
{
    return std::make_unique<TSettingsForm>();
}

// ------------------------------------------------------------ typing

void SettingsFormTest::typingIntoGrids_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("cells");
    QTest::addColumn<int>("cursor");

    const QString empty16 = repeat(QStringLiteral("_"), 16);
    QTest::newRow("1 2 3") << "acgUSER1" << "123" << "123" + empty16.left(13) << 3;
    QTest::newRow("17 digits") << "acgUSER1" << "12345678901234567" << "1234567890123457" << 15;
    QTest::newRow("backspace after 1 2 3") << "acgUSER2" << "123\b" << "12" + empty16.left(14) << 2;
    QTest::newRow("backspace on the first cell") << "acgSMSFW1" << "123^\b" << empty16 << 0;
    QTest::newRow("backspace on the third cell") << "acgSMSFW2" << "123<\b" << "1" + empty16.left(15) << 1;
    QTest::newRow("backspace on the second cell") << "acgAUTODIAL" << "123<<\b" << empty16 << 0;
    QTest::newRow("5 replaces 2") << "acgPhnrEnabled1" << "123<<5" << "153" + empty16.left(13) << 2;
    QTest::newRow("star and hash") << "acgRelPhnrEnabled4" << "*#" << empty16 << 0;
    QTest::newRow("letters, plus, blank") << "acgBELLPhnrEnabled2" << "1a+ 2" << "12" + empty16.left(14) << 2;
    QTest::newRow("Tab moves one cell") << "acgUSER1" << "1\t2" << "1_2" + empty16.left(13) << 3;
    QTest::newRow("End, digit") << "acgUSER1" << "$9" << empty16.left(15) + "9" << 15;
    QTest::newRow("eight-cell prefix") << "acgNETPREFIX" << "123456789" << "12345679" << 7;
    QTest::newRow("Right leaves a gap") << "acgADDFIX" << "1>2" << "1_2_____" << 3;
    QTest::newRow("event: b shows B") << "acgEvent1" << "b" << "B___" << 1;
    QTest::newRow("event: g and colon") << "acgEvent1" << "g:" << "____" << 0;
    QTest::newRow("event: symbols") << "acgEvent5" << "1*a9" << "1*A9" << 3;
    QTest::newRow("event: fifth symbol") << "acgEvent7" << "12345" << "1235" << 3;
    QTest::newRow("event: backspace") << "acgEvent10" << "12\b" << "1___" << 1;
}

void SettingsFormTest::typingIntoGrids()
{
    QFETCH(QString, grid);
    QFETCH(QString, keys);
    QFETCH(QString, cells);
    QFETCH(int, cursor);

    auto form = newForm();
    auto *g = form->findChild<CharGrid *>(grid);
    QVERIFY(g);
    typeInto(g, keys);
    QCOMPARE(cellsOf(g), cells);
    QCOMPARE(g->currentCell(), cursor);
}

void SettingsFormTest::committedCellValues()
{
    auto form = newForm();
    auto *digits = form->findChild<CharGrid *>(QStringLiteral("acgUSER2"));
    auto *event = form->findChild<CharGrid *>(QStringLiteral("acgEvent3"));
    QVERIFY(digits && event);

    digits->commitCell(0, QStringLiteral("42"));
    digits->commitCell(1, QStringLiteral("x"));
    event->commitCell(0, QStringLiteral("c"));
    event->commitCell(1, QStringLiteral("#"));
    QCOMPARE(digits->cell(0), QStringLiteral("4"));
    QCOMPARE(digits->cell(1), QString());
    QCOMPARE(event->cell(0), QStringLiteral("C"));
    QCOMPARE(event->cell(1), QString());
}

void SettingsFormTest::tabLeavesGridAtItsEnds()
{
    auto form = newForm();
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto *user1 = form->findChild<CharGrid *>(QStringLiteral("acgUSER1"));
    auto *user2 = form->findChild<CharGrid *>(QStringLiteral("acgUSER2"));
    user1->setFocus();
    QTRY_VERIFY(user1->hasFocus());

    QTest::keyClick(user1, Qt::Key_Tab);
    QCOMPARE(user1->currentCell(), 1);
    QVERIFY(user1->hasFocus());

    QTest::keyClick(user1, Qt::Key_End);
    QTest::keyClick(user1, Qt::Key_Tab);
    QTRY_COMPARE(QApplication::focusWidget(), user2);
    QCOMPARE(user1->currentCell(), 15);

    QTest::keyClick(user2, Qt::Key_Tab, Qt::ShiftModifier);
    QTRY_COMPARE(QApplication::focusWidget(), user1);
    QTest::keyClick(user1, Qt::Key_Tab, Qt::ShiftModifier);
    QCOMPARE(user1->currentCell(), 14);
    QVERIFY(user1->hasFocus());
}

void SettingsFormTest::gridAccessibility_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("value"); // what a screen reader reads: the whole value as shown

    QTest::newRow("number with an empty cell") << "acgSMSFW1" << "1. SMS forward nr. (#SMSFW1)" << "36>1" << "36 1";
    QTest::newRow("all 16 digits") << "acgUSER2" << "Secondary User (#USER2)" << "3630123456789012"
                                   << "3630123456789012";
    QTest::newRow("event code with a blank") << "acgEvent2" << "Event code 2" << "1>*4" << "1 *4";
}

void SettingsFormTest::gridAccessibility()
{
    QFETCH(QString, grid);
    QFETCH(QString, name);
    QFETCH(QString, keys);
    QFETCH(QString, value);
    auto form = newForm();
    applyEditorEnglishTexts(form.get());
    auto *g = form->findChild<CharGrid *>(grid);
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(g);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), name);
    typeInto(g, keys);
    QCOMPARE(iface->text(QAccessible::Value), value);
}

void SettingsFormTest::textFieldTyping_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");

    const QString letters = QStringLiteral("abcdefghij");
    QTest::newRow("blank in user name") << "edUserName" << "a b" << "ab";
    QTest::newRow("blanks in APN") << "edAPN" << " x y " << "xy";
    QTest::newRow("blank in password") << "edPWD" << "p w" << "pw";
    QTest::newRow("password limit") << "edPWD" << repeat(letters, 3) << repeat(letters, 2);
    QTest::newRow("APN limit") << "edAPN" << repeat(letters, 5) << repeat(letters, 4);
    QTest::newRow("SMS keeps blanks") << "edSMS1" << "a b " << "a b ";
    QTest::newRow("SMS limit") << "edSMS13" << repeat(letters, 5) << repeat(letters, 4);
}

void SettingsFormTest::textFieldTyping()
{
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);

    auto form = newForm();
    auto *edit = form->findChild<QLineEdit *>(field);
    QVERIFY(edit);
    QTest::keyClicks(edit, typed);
    QCOMPARE(edit->text(), shown);
}

// ------------------------------------------------------------ enabling

void SettingsFormTest::callFilterEnabling()
{
    auto form = newForm();
    const auto isEnabled = [&](bool expected) {
        for (int n = 1; n <= 4; ++n) {
            if (form->findChild<CharGrid *>(QStringLiteral("acgPhnrEnabled%1").arg(n))->isEnabled() != expected
                || form->findChild<QLabel *>(QStringLiteral("lbPhnrEnabled%1").arg(n))->isEnabled() != expected)
                return false;
        }
        return true;
    };

    form->rgCallFilter->item(1)->click();
    QVERIFY(isEnabled(true));
    form->rgCallFilter->item(0)->click();
    QCOMPARE(form->rgCallFilter->itemIndex(), 0);
    QVERIFY(isEnabled(false));

    // The Bell choice runs the same handler, which looks at the call filter.
    form->rgBELLCallFilter->item(1)->click();
    form->rgBELLCallFilter->item(0)->click();
    QVERIFY(isEnabled(false));
    QVERIFY(form->findChild<CharGrid *>(QStringLiteral("acgBELLPhnrEnabled1"))->isEnabled());

    // No choice at all enables.
    form->rgCallFilter->setItemIndex(-1);
    QCOMPARE(form->rgCallFilter->item(0)->isChecked(), false);
    QCOMPARE(form->rgCallFilter->item(1)->isChecked(), false);
    QVERIFY(isEnabled(true));

    // Load sets the rule off as a click would.
    ImageBytes image = erasedImage();
    image[211] = 0;
    form->LoadSettings(image);
    QVERIFY(isEnabled(false));
    image[211] = 7;
    form->LoadSettings(image);
    QCOMPARE(form->rgCallFilter->itemIndex(), 1);
    QVERIFY(isEnabled(true));
}

void SettingsFormTest::gprsModeEnabling()
{
    auto form = newForm();
    const auto gprsControls = [&] {
        QList<QWidget *> list{form->cbServiceProvider, form->edAPN, form->edUserName, form->edPWD};
        for (const char *name : {"lbServiceProvider", "lbAPN", "lbUserName", "lbPWD"})
            list << form->findChild<QLabel *>(QLatin1String(name));
        return list;
    };
    // A fresh window keeps its layout's enabled state until a rule runs.
    for (QWidget *w : gprsControls())
        QVERIFY(w->isEnabled());

    ImageBytes image = erasedImage();
    image[958] = 0x00;
    form->LoadSettings(image); // unchecked already: no change, no rule
    for (QWidget *w : gprsControls())
        QVERIFY(w->isEnabled());

    form->cbGPRSmode->setChecked(true);
    form->cbGPRSmode->setChecked(false);
    for (QWidget *w : gprsControls())
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));

    // Only 1 is on.
    image[958] = 0x02;
    form->LoadSettings(image);
    QVERIFY(!form->cbGPRSmode->isChecked());
    image[958] = 0x01;
    form->LoadSettings(image);
    QVERIFY(form->cbGPRSmode->isChecked());
    for (QWidget *w : gprsControls())
        QVERIFY(w->isEnabled());
}

// ------------------------------------------------------------ load and store

void SettingsFormTest::erasedImageLoadsEmpty()
{
    auto form = newForm();
    form->LoadSettings(erasedImage());

    for (CharGrid *grid : form->findChildren<CharGrid *>()) {
        if (grid->objectName().startsWith(QLatin1String("acgEvent")))
            QCOMPARE(cellsOf(grid), QStringLiteral("    "));
        else
            QCOMPARE(cellsOf(grid), QString(grid->cellCount(), u'_'));
    }
    QCOMPARE(form->findChildren<CharGrid *>().size(), 27);
    for (int n = 1; n <= 13; ++n)
        QCOMPARE(form->findChild<QLineEdit *>(QStringLiteral("edSMS%1").arg(n))->text(), QString());
    for (QLineEdit *e : {form->edAPN, form->edUserName, form->edPWD})
        QCOMPARE(e->text(), QString());

    QCOMPARE(form->rgCallFilter->itemIndex(), 1);
    QVERIFY(form->findChild<CharGrid *>(QStringLiteral("acgPhnrEnabled4"))->isEnabled());
    QCOMPARE(form->rgBELLCallFilter->itemIndex(), 1);
    QVERIFY(form->cbBELLcallback->isChecked());
    QVERIFY(!form->cbVoiceCaller->isChecked());
    QVERIFY(!form->cbGPRSmode->isChecked());
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("udREL1"))->value(), 255);
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("udREL2"))->value(), 255);
    // 255 is above the call limit's range, 0xFFFF reads as -1: both clamp.
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("udCallMax"))->value(), 25);
    QCOMPARE(form->findChild<QSpinBox *>(QStringLiteral("udPanelID"))->value(), 0);
    for (int n = 1; n <= 4; ++n)
        QCOMPARE(form->findChild<IPAddressControl *>(QStringLiteral("IPAddressControl%1").arg(n))->text(),
                 QStringLiteral("255.255.255.255"));
}

void SettingsFormTest::erasedImageLoadThenStore()
{
    // What the erased image turns into, written out field by field.
    ImageBytes expected = erasedImage();
    for (int offset : {0, 17, 34, 51, 68, 143, 160, 177, 194, 212, 229, 246, 263, 842, 859})
        std::memset(expected.data() + offset + 1, 0x00, 16); // length stays 0xFF
    for (int offset : {85, 102})
        std::memset(expected.data() + offset, 0x00, 9);
    for (int n = 0; n < 13; ++n) {
        expected[309 + 41 * n] = 0;
        std::memset(expected.data() + 309 + 41 * n + 1, ' ', 40);
    }
    const struct
    {
        int offset;
        int capacity;
    } gprs[] = {{878, 37}, {916, 20}, {937, 20}};
    for (const auto &g : gprs) {
        expected[static_cast<std::size_t>(g.offset)] = 0;
        std::memset(expected.data() + g.offset + 1, ' ', static_cast<std::size_t>(g.capacity));
    }
    expected[211] = 1;    // call filter: second choice
    expected[282] = 25;   // call limit clamped to its range
    expected[876] = 3;    // Bell flags
    expected[877] = 0;    // voice caller
    expected[958] = 0;    // GPRS mode
    for (int offset : {960, 966, 968, 974, 976, 982, 984, 990, 992, 1026}) {
        expected[static_cast<std::size_t>(offset)] = 0; // ports, identifiers, reserved
        expected[static_cast<std::size_t>(offset) + 1] = 0;
    }

    auto form = newForm();
    const ImageBytes erased = erasedImage();
    form->LoadSettings(erased);
    ImageBytes stored = erased;
    form->StoreSettings(stored);
    for (int i = 0; i < EEAddr::ImageSize; ++i)
        QVERIFY2(stored[static_cast<std::size_t>(i)] == expected[static_cast<std::size_t>(i)],
                 qPrintable(QStringLiteral("byte %1: %2, expected %3")
                                .arg(i)
                                .arg(stored[static_cast<std::size_t>(i)], 2, 16, QLatin1Char('0'))
                                .arg(expected[static_cast<std::size_t>(i)], 2, 16, QLatin1Char('0'))));
}

void SettingsFormTest::numberWithGapClosesUp()
{
    auto form = newForm();
    form->LoadSettings(erasedImage());
    typeInto(form->findChild<CharGrid *>(QStringLiteral("acgUSER1")), QStringLiteral("12>4"));
    typeInto(form->findChild<CharGrid *>(QStringLiteral("acgADDFIX")), QStringLiteral(">>7"));
    ImageBytes image = erasedImage();
    form->StoreSettings(image);
    QCOMPARE(slice(image, 51, 17), QByteArray("\x03" "124", 4) + QByteArray(13, '\0'));
    QCOMPARE(slice(image, 102, 9), QByteArray("\x01" "7", 2) + QByteArray(7, '\0'));
}

void SettingsFormTest::eventCodeStore_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reloaded");

    QTest::newRow("1234") << "1234" << QByteArray("\x12\x34", 2) << "1234";
    QTest::newRow("*5*0") << "*5*0" << QByteArray("\xA5\xA0", 2) << "*5*0";
    QTest::newRow("three symbols") << "12*" << QByteArray("\xFF\xFF", 2) << "    ";
    QTest::newRow("letter A to F") << "1A23" << QByteArray("\xFF\xFF", 2) << "    ";
    QTest::newRow("gap") << "1>23" << QByteArray("\xFF\xFF", 2) << "    ";
}

void SettingsFormTest::eventCodeStore()
{
    QFETCH(QString, keys);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reloaded);

    auto form = newForm();
    form->LoadSettings(erasedImage());
    auto *grid = form->findChild<CharGrid *>(QStringLiteral("acgEvent4"));
    typeInto(grid, QStringLiteral("\b") + keys);
    ImageBytes image = erasedImage();
    form->StoreSettings(image);
    QCOMPARE(slice(image, 289, 2), bytes);
    form->LoadSettings(image);
    QCOMPARE(cellsOf(grid), reloaded);
}

void SettingsFormTest::smsTrailingBlanks()
{
    auto form = newForm();
    auto *sms = form->findChild<QLineEdit *>(QStringLiteral("edSMS2"));
    QTest::keyClicks(sms, QStringLiteral("Hi  "));
    ImageBytes image = erasedImage();
    form->StoreSettings(image);
    QCOMPARE(slice(image, 350, 41), QByteArray("\x04" "Hi", 3) + QByteArray(38, ' '));
    form->LoadSettings(image);
    QCOMPARE(sms->text(), QStringLiteral("Hi"));
}

void SettingsFormTest::apnTypedFortyStoredThirtySeven()
{
    auto form = newForm();
    const QString forty = repeat(QStringLiteral("0123456789"), 4);
    QTest::keyClicks(form->edAPN, forty);
    QCOMPARE(form->edAPN->text(), forty);
    ImageBytes image = erasedImage();
    form->StoreSettings(image);
    QCOMPARE(int(image[878]), 37);
    QCOMPARE(slice(image, 879, 37), forty.left(37).toLatin1());
    QCOMPARE(int(image[916]), 0); // the user name's own length byte
}

void SettingsFormTest::spinnerValues_data()
{
    QTest::addColumn<QString>("spinner");
    QTest::addColumn<QString>("field"); // the spinner's own text field
    QTest::addColumn<int>("offset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QByteArray>("stored");

    QTest::newRow("call limit above range") << "udCallMax" << "edCallMax" << 282 << QByteArray("\xFF") << 25 << QByteArray("\x19");
    QTest::newRow("call limit in range") << "udCallMax" << "edCallMax" << 282 << QByteArray("\x07") << 7 << QByteArray("\x07");
    QTest::newRow("output bistable") << "udREL2" << "edREL2" << 281 << QByteArray("\xFF") << 255 << QByteArray("\xFF");
    QTest::newRow("port 300") << "udPort1" << "edPort1" << 966 << QByteArray("\x01\x2C") << 300 << QByteArray("\x01\x2C");
    QTest::newRow("port 32767") << "udPort4" << "edPort4" << 990 << QByteArray("\x7F\xFF") << 32767 << QByteArray("\x7F\xFF");
    QTest::newRow("port 0x8000 is negative")
        << "udPort2" << "edPort2" << 974 << QByteArray("\x80\x00", 2) << 0 << QByteArray("\x00\x00", 2);
    QTest::newRow("centre id 0xFFFF") << "udServerID" << "edCentralID" << 1026 << QByteArray("\xFF\xFF") << 0
                                      << QByteArray("\x00\x00", 2);
    QTest::newRow("panel id 12345") << "udPanelID" << "edPanelID" << 960 << QByteArray("\x30\x39") << 12345
                                    << QByteArray("\x30\x39");
}

void SettingsFormTest::spinnerValues()
{
    QFETCH(QString, spinner);
    QFETCH(QString, field);
    QFETCH(int, offset);
    QFETCH(QByteArray, bytes);
    QFETCH(int, shown);
    QFETCH(QByteArray, stored);

    auto form = newForm();
    ImageBytes image = erasedImage();
    put(image, offset, bytes);
    auto *spin = form->findChild<QSpinBox *>(spinner);
    QVERIFY(spin && spin->findChild<QLineEdit *>(field));
    QCOMPARE(spin->value(), 0);
    QCOMPARE(spin->wrapping(), false);
    // Only the two identifiers show digit grouping.
    QCOMPARE(spin->isGroupSeparatorShown(), spinner == "udPanelID" || spinner == "udServerID");
    form->LoadSettings(image);
    QCOMPARE(spin->value(), shown);
    form->StoreSettings(image);
    QCOMPARE(slice(image, offset, static_cast<int>(stored.size())), stored);
}

void SettingsFormTest::addressControlTyping()
{
    auto form = newForm();
    form->PageControl1->setCurrentWidget(form->TabSheetTELL);
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto *address = form->findChild<IPAddressControl *>(QStringLiteral("IPAddressControl2"));
    address->octetField(0)->setFocus();
    QTRY_VERIFY(address->octetField(0)->hasFocus());

    // Keys go wherever the focus is, as the user's would: "." and a third
    // digit move on to the next octet.
    for (QChar c : QStringLiteral("192.1681.20"))
        QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
    QCOMPARE(address->text(), QStringLiteral("192.168.1.20"));

    ImageBytes image = erasedImage();
    form->StoreSettings(image);
    QCOMPARE(slice(image, 970, 4), QByteArray("\xC0\xA8\x01\x14"));

    address->setText(QStringLiteral("10.0"));
    QCOMPARE(address->text(), QStringLiteral("10.0.1.20"));
    address->setText(QStringLiteral("10.300"));
    QCOMPARE(address->text(), QString());
    form->StoreSettings(image);
    QCOMPARE(slice(image, 970, 4), QByteArray(4, '\0'));
}

void SettingsFormTest::cancelCloseAndReopen()
{
    SettingsForm = new TSettingsForm;
    std::unique_ptr<TSettingsForm> owner(SettingsForm);
    ParameterImage = erasedImage();
    parameterImageState().erase();
    put(ParameterImage, 68, QByteArray("\x02" "55", 3));
    const ImageBytes before = ParameterImage;
    auto *user2 = SettingsForm->findChild<CharGrid *>(QStringLiteral("acgUSER2"));

    // Cancel after editing: the image stays.
    QTimer::singleShot(0, this, [&] {
        typeInto(user2, QStringLiteral("9"));
        SettingsForm->PageControl1->setCurrentWidget(SettingsForm->TabSheetCallFilter);
        SettingsForm->btSettingCancel->click();
    });
    QCOMPARE(SettingsForm->editImage(), false);
    QVERIFY(ParameterImage == before);
    QVERIFY(!workingImage().state().hasUnkeptChanges());

    // Reopened: the image's values, on the page left last time; store.
    QString shownOnReopen;
    QWidget *pageOnReopen = nullptr;
    QTimer::singleShot(0, this, [&] {
        shownOnReopen = cellsOf(user2);
        pageOnReopen = SettingsForm->PageControl1->currentWidget();
        typeInto(user2, QStringLiteral("^>7"));
        SettingsForm->btSettingOK->click();
    });
    QCOMPARE(SettingsForm->editImage(), true);
    QCOMPARE(shownOnReopen, QStringLiteral("55") + QString(14, u'_'));
    QCOMPARE(pageOnReopen, SettingsForm->TabSheetCallFilter);
    QCOMPARE(slice(ParameterImage, 68, 3), QByteArray("\x02" "57", 3));
    QVERIFY(!SettingsForm->isVisible());
    // Stored through the image's owner: the changes are unkept until written or saved.
    QVERIFY(workingImage().state().hasUnkeptChanges());

    // The close box cancels (once its question is answered).
    BoxAnswerer discard(QMessageBox::Yes);
    const ImageBytes stored = ParameterImage;
    QTimer::singleShot(0, this, [&] {
        typeInto(user2, QStringLiteral("1"));
        SettingsForm->close();
    });
    QCOMPARE(SettingsForm->editImage(), false);
    QVERIFY(ParameterImage == stored);
    SettingsForm = nullptr;
}

void SettingsFormTest::escAndCloseAskBeforeDiscarding_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("asked");
    QTest::newRow("Esc, changed, No") << "Esc" << true << false << true;
    QTest::newRow("Esc, changed, Yes") << "Esc" << true << true << true;
    QTest::newRow("close button, changed, No") << "close" << true << false << true;
    QTest::newRow("close button, changed, Yes") << "close" << true << true << true;
    QTest::newRow("Esc, nothing changed") << "Esc" << false << false << false;
    QTest::newRow("close button, nothing changed") << "close" << false << false << false;
    QTest::newRow("Cancel changes, changed") << "Cancel" << true << false << false;
}

void SettingsFormTest::escAndCloseAskBeforeDiscarding()
{
    QFETCH(QString, how);
    QFETCH(bool, typed);
    QFETCH(bool, yes);
    QFETCH(bool, asked);
    SettingsForm = new TSettingsForm;
    std::unique_ptr<TSettingsForm> owner(SettingsForm);
    ParameterImage = erasedImage();
    const ImageBytes before = ParameterImage;
    auto *sms = SettingsForm->findChild<QLineEdit *>(QStringLiteral("edSMS3"));
    BoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);

    bool openAfter = false;
    QTimer::singleShot(0, this, [&] {
        if (typed)
            QTest::keyClicks(sms, QStringLiteral("Arm"));
        if (how == u"Esc")
            QTest::keyClick(SettingsForm, Qt::Key_Escape);
        else if (how == u"close")
            SettingsForm->close();
        else
            SettingsForm->btSettingCancel->click();
        openAfter = SettingsForm->isVisible();
        // "Cancel changes" never asks.
        if (openAfter)
            SettingsForm->btSettingCancel->click();
    });
    QCOMPARE(SettingsForm->editImage(), false);

    QCOMPARE(answerer.texts, asked ? QStringList{QStringLiteral("Discard the changes?")} : QStringList());
    if (asked)
        QCOMPARE(answerer.defaults.first(), QMessageBox::No);
    QCOMPARE(openAfter, asked && !yes);
    QVERIFY(ParameterImage == before);
    SettingsForm = nullptr;
}

void SettingsFormTest::storeAsksAboutValuesItWouldChange_data()
{
    QTest::addColumn<QString>("grid");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("question"); // empty: none
    QTest::addColumn<QByteArray>("stored"); // the field's bytes after "Store changes"; empty: not stored

    const QString notACode = QStringLiteral(
        "Event code 2 \"%1\" is not a code (four symbols 0 to 9 or *) and will be stored as no code.");
    QTest::newRow("letters in a code, No")
        << "acgEvent2" << "ab*2" << false << notACode.arg("AB*2") + " Store anyway?" << QByteArray();
    QTest::newRow("letters in a code, Yes")
        << "acgEvent2" << "1A34" << true << notACode.arg("1A34") + " Store anyway?" << QByteArray("\xFF\xFF", 2);
    QTest::newRow("short code, No") << "acgEvent2" << "12" << false << notACode.arg("12") + " Store anyway?"
                                    << QByteArray();
    QTest::newRow("a code") << "acgEvent2" << "12*4" << false << QString() << QByteArray("\x12\xA4", 2);
    QTest::newRow("number with an empty cell, No")
        << "acgUSER1" << "12>4" << false
        << "Primary User (#USER1) \"12 4\" has empty cells and will be stored as \"124\". Store anyway?"
        << QByteArray();
    QTest::newRow("two fields, No") << "acgUSER1 acgEvent2" << "1>2 12" << false
                                    << "Primary User (#USER1) \"1 2\" has empty cells and will be stored as \"12\".\n"
                                       + notACode.arg("12") + "\nStore anyway?"
                                    << QByteArray();
}

void SettingsFormTest::storeAsksAboutValuesItWouldChange()
{
    QFETCH(QString, grid);
    QFETCH(QString, keys);
    QFETCH(bool, yes);
    QFETCH(QString, question);
    QFETCH(QByteArray, stored);
    SettingsForm = new TSettingsForm;
    std::unique_ptr<TSettingsForm> owner(SettingsForm);
    ParameterImage = erasedImage();
    const ImageBytes before = ParameterImage;
    const QStringList grids = grid.split(' ');
    const QStringList typed = keys.split(' ');
    BoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);

    bool openAfter = false;
    QWidget *pageAfter = nullptr;
    QWidget *focusAfter = nullptr;
    QTimer::singleShot(0, this, [&] {
        for (int i = 0; i < grids.size(); ++i)
            typeInto(SettingsForm->findChild<CharGrid *>(grids[i]), QStringLiteral("\b") + typed[i]);
        SettingsForm->PageControl1->setCurrentWidget(SettingsForm->TabSheetOUTPUT);
        SettingsForm->btSettingOK->click();
        openAfter = SettingsForm->isVisible();
        pageAfter = SettingsForm->PageControl1->currentWidget();
        focusAfter = SettingsForm->focusWidget();
        if (openAfter)
            SettingsForm->btSettingCancel->click();
    });
    const bool accepted = SettingsForm->editImage();

    QCOMPARE(answerer.texts, question.isEmpty() ? QStringList() : QStringList{question});
    if (!question.isEmpty())
        QCOMPARE(answerer.defaults.first(), QMessageBox::No);
    QCOMPARE(accepted, !stored.isEmpty());
    QCOMPARE(openAfter, stored.isEmpty());
    if (stored.isEmpty()) {
        // Back in the editor, on the first listed field.
        QWidget *first = SettingsForm->findChild<CharGrid *>(grids.first());
        QCOMPARE(focusAfter, first);
        QVERIFY(pageAfter && pageAfter->isAncestorOf(first));
        QVERIFY(ParameterImage == before);
    } else {
        QCOMPARE(slice(ParameterImage, 285, 2), stored);
    }
    SettingsForm = nullptr;
}

void SettingsFormTest::typedNumberAboveRange_data()
{
    QTest::addColumn<QString>("spinner");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("yes");
    QTest::addColumn<QString>("question"); // empty: none
    QTest::addColumn<QByteArray>("stored"); // empty: not stored

    const QString callLimit = QStringLiteral(
        "Incoming call time limitation: 30 is above 25 and will be stored as 25. Store anyway?");
    QTest::newRow("call limit 30, No") << "udCallMax" << 282 << "30" << false << callLimit << QByteArray();
    QTest::newRow("call limit 30, Yes") << "udCallMax" << 282 << "30" << true << callLimit << QByteArray("\x19");
    QTest::newRow("call limit 20") << "udCallMax" << 282 << "20" << false << QString() << QByteArray("\x14");
    QTest::newRow("output 300, Yes")
        << "udREL1" << 280 << "300" << true
        << "1. Controllable Output Timing: 300 is above 255 and will be stored as 255. Store anyway?"
        << QByteArray("\xFF");
    QTest::newRow("port 40000, Yes") << "udPort1" << 966 << "40000" << true
                                     << "1. port: 40000 is above 32767 and will be stored as 32767. Store anyway?"
                                     << QByteArray("\x7F\xFF");
}

void SettingsFormTest::typedNumberAboveRange()
{
    QFETCH(QString, spinner);
    QFETCH(int, offset);
    QFETCH(QString, keys);
    QFETCH(bool, yes);
    QFETCH(QString, question);
    QFETCH(QByteArray, stored);
    SettingsForm = new TSettingsForm;
    std::unique_ptr<TSettingsForm> owner(SettingsForm);
    ParameterImage = erasedImage();
    const ImageBytes before = ParameterImage;
    BoxAnswerer answerer(yes ? QMessageBox::Yes : QMessageBox::No);

    QString shown;
    bool openAfter = false;
    QTimer::singleShot(0, this, [&] {
        auto *spin = SettingsForm->findChild<QSpinBox *>(spinner);
        QTabWidget *pages = SettingsForm->PageControl1;
        for (int k = 0; k < pages->count(); ++k)
            if (pages->widget(k)->isAncestorOf(spin))
                pages->setCurrentIndex(k);
        spin->setFocus();
        spin->selectAll();
        QTest::keyClicks(spin->findChild<QLineEdit *>(), keys);
        // Every digit typed stays: no digit is refused for the range.
        shown = spin->text();
        SettingsForm->btSettingOK->click();
        openAfter = SettingsForm->isVisible();
        if (openAfter)
            SettingsForm->btSettingCancel->click();
    });
    const bool accepted = SettingsForm->editImage();

    QCOMPARE(shown, keys);
    QCOMPARE(answerer.texts, question.isEmpty() ? QStringList() : QStringList{question});
    if (!question.isEmpty())
        QCOMPARE(answerer.defaults.first(), QMessageBox::No);
    QCOMPARE(accepted, !stored.isEmpty());
    QCOMPARE(openAfter, stored.isEmpty());
    if (stored.isEmpty())
        QVERIFY(ParameterImage == before);
    else
        QCOMPARE(slice(ParameterImage, offset, static_cast<int>(stored.size())), stored);
    SettingsForm = nullptr;
}

// ------------------------------------------------------------ presets

void SettingsFormTest::presetsWithoutFile()
{
    auto form = newForm();
    QCOMPARE(form->cbServiceProvider->count(), 5);
    QCOMPARE(form->cbServiceProvider->itemText(0), QStringLiteral("Egyéni beállítás"));
    QCOMPARE(form->cbServiceProvider->itemText(1), QStringLiteral("T-Mobile"));
    QCOMPARE(form->cbServiceProvider->currentIndex(), 0);
    for (QLineEdit *e : {form->edAPN, form->edUserName, form->edPWD}) {
        QVERIFY(e->isEnabled());
        QCOMPARE(e->text(), QString());
    }
    QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetPhone);
    auto *save = form->findChild<QPushButton *>(QStringLiteral("btSaveSettings"));
    QVERIFY(save && save->isHidden());
}

void SettingsFormTest::presetSelection()
{
    auto form = newForm();
    const QColor normalText = form->edAPN->palette().color(QPalette::Active, QPalette::Text);
    QTest::keyClick(form->cbServiceProvider, Qt::Key_Down);
    QCOMPARE(form->cbServiceProvider->currentIndex(), 1);

    QCOMPARE(form->edAPN->text(), QStringLiteral("internet"));
    QCOMPARE(form->edUserName->text(), QString());
    QCOMPARE(form->edPWD->text(), QString());
    for (QLineEdit *e : {form->edAPN, form->edUserName, form->edPWD}) {
        QVERIFY(!e->isEnabled());
        QCOMPARE(e->palette().color(QPalette::Disabled, QPalette::Text), QColor(Qt::gray));
    }

    // The GPRS check box enables the fields but leaves their colours.
    form->cbGPRSmode->setChecked(true);
    QVERIFY(form->edAPN->isEnabled());
    QCOMPARE(form->edAPN->palette().color(QPalette::Active, QPalette::Text), QColor(Qt::gray));

    QTest::keyClick(form->cbServiceProvider, Qt::Key_Home);
    QCOMPARE(form->cbServiceProvider->currentIndex(), 0);
    QVERIFY(form->edAPN->isEnabled());
    QCOMPARE(form->edAPN->palette().color(QPalette::Active, QPalette::Text), normalText);
    QCOMPARE(form->edAPN->text(), QString());

    // Store takes what the fields show.
    QTest::keyClick(form->cbServiceProvider, Qt::Key_Down);
    ImageBytes image = erasedImage();
    form->StoreSettings(image);
    QCOMPARE(slice(image, 878, 9), QByteArray("\x08" "internet"));
}

void SettingsFormTest::customTextsRemembered()
{
    auto form = newForm();
    form->PageControl1->setCurrentWidget(form->TabSheetGPRS);
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));

    form->edAPN->setFocus();
    QTRY_VERIFY(form->edAPN->hasFocus());
    QTest::keyClicks(form->edAPN, QStringLiteral("abc"));
    form->edUserName->setFocus(); // leaving the field remembers its text
    QTRY_VERIFY(form->edUserName->hasFocus());
    QCOMPARE(form->customTexts().apn, QStringLiteral("abc"));

    QTest::keyClick(form->cbServiceProvider, Qt::Key_Down);
    QTest::keyClick(form->cbServiceProvider, Qt::Key_Down);
    QCOMPARE(form->cbServiceProvider->currentText(), QStringLiteral("Pannon GSM"));
    QCOMPARE(form->edAPN->text(), QStringLiteral("net"));
    QTest::keyClick(form->cbServiceProvider, Qt::Key_Home);
    QCOMPARE(form->edAPN->text(), QStringLiteral("abc"));

    // A load fills the fields but not the remembered texts.
    ImageBytes image = erasedImage();
    put(image, 878, QByteArray("\x03" "xyz"));
    form->LoadSettings(image);
    QCOMPARE(form->edAPN->text(), QStringLiteral("xyz"));
    QCOMPARE(form->customTexts().apn, QStringLiteral("abc"));
}

void SettingsFormTest::presetFile()
{
    QFile file(m_dir.filePath(QStringLiteral("APNs.dat")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QString first = QStringLiteral("Operator One").leftJustified(39) + "\"one\",\"u1\",\"p1\"";
    const QString second = QStringLiteral("Operator Two").leftJustified(39) + "\"two\",\"u2\"";
    file.write((first + "\r\n" + second + "\r\n").toLatin1());
    file.close();

    auto form = newForm();
    QCOMPARE(form->cbServiceProvider->count(), 2);
    QCOMPARE(form->cbServiceProvider->itemText(0), QStringLiteral("Operator One"));
    // The first line is the custom entry whatever it says.
    QVERIFY(form->edAPN->isEnabled());
    QCOMPARE(form->edAPN->text(), QString());
    QTest::keyClick(form->cbServiceProvider, Qt::Key_Down);
    QCOMPARE(form->edAPN->text(), QStringLiteral("two"));
    QCOMPARE(form->edUserName->text(), QStringLiteral("u2"));
    QCOMPARE(form->edPWD->text(), QString());
}

// ------------------------------------------------------------ texts

void SettingsFormTest::englishTexts()
{
    auto form = newForm();
    QStringList pages;
    for (int i = 0; i < form->PageControl1->count(); ++i)
        pages << form->PageControl1->widget(i)->objectName();
    QCOMPARE(pages, QStringList({"TabSheetPhone", "TabSheetSMS", "TabSheetCallFilter", "TabSheetOUTPUT",
                                 "TabSheetBELL103", "TabSheetGPRS", "TabSheetTELL"}));
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbAPN"))->text(), QStringLiteral("APN :"));
    QCOMPARE(form->cbGPRSmode->text(), QStringLiteral("GPRS mode engedélyezése"));

    for (const EditorTexts::Row &row : EditorTexts::textRows())
        QVERIFY2(EditorTexts::applyRow(*form, row), qPrintable(row.control));
    removeEditorPages(form.get());

    QCOMPARE(form->windowTitle(), QStringLiteral("Quelmar5 - Settings"));
    QCOMPARE(form->size(), QSize(457, 427));
    QStringList titles;
    for (int i = 0; i < form->PageControl1->count(); ++i)
        titles << form->PageControl1->tabText(i);
    QCOMPARE(titles,
             QStringList({"Phone numbers", "SMS settings", "Call Filter", "Output Control", "Bell 103"}));
    QCOMPARE(form->btSettingOK->text(), QStringLiteral("Store changes"));
    QVERIFY(form->btSettingOK->font().bold());
    QCOMPARE(form->rgCallFilter->itemText(1), QStringLiteral("Accept calls from the following phone numbers only"));
    QCOMPARE(form->rgBELLCallFilter->itemText(0), QStringLiteral("Accept any incoming datacall as BELL103 call"));
    const QString no06 = form->findChild<QLabel *>(QStringLiteral("lbNo06_1"))->text();
    QCOMPARE(no06, QStringLiteral("Do not use any additonal prefix number, just area code and phone number."));
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbNo06_2"))->text(), no06);
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbNo06_3"))->text(), no06);
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbCallTimeLine2"))->text(), QString());
    QCOMPARE(form->findChild<QLabel *>(QStringLiteral("lbADDFIX2"))->text(), QStringLiteral("(#ADDFIX)"));

    // The detached pages keep their controls, which still load and store.
    ImageBytes image = erasedImage();
    put(image, 962, QByteArray("\x0A\x00\x00\x01\x1F\x90", 6));
    put(image, 958, QByteArray("\x01"));
    form->LoadSettings(image);
    auto *address = form->findChild<IPAddressControl *>(QStringLiteral("IPAddressControl1"));
    QVERIFY(address);
    QCOMPARE(address->text(), QStringLiteral("10.0.0.1"));
    QVERIFY(form->cbGPRSmode->isChecked());
    ImageBytes stored = erasedImage();
    form->StoreSettings(stored);
    QCOMPARE(slice(stored, 962, 6), QByteArray("\x0A\x00\x00\x01\x1F\x90", 6));
    QCOMPARE(int(stored[958]), 1);
}

QTEST_MAIN(SettingsFormTest)
#include "tst_settingsform.moc"
