#include "EditorTexts.h"

#include "RadioGroup.h"
#include "Settings.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>

namespace EditorTexts {
namespace {

const QString EnabledNumber = QStringLiteral("%1. Enabled phone number");

Row caption(const QString &control, const QString &text)
{
    return {control, What::Caption, text};
}

void addEnabledNumbers(std::vector<Row> &rows, const QString &prefix, int count)
{
    for (int n = 1; n <= count; ++n)
        rows.push_back(caption(prefix + QString::number(n), EnabledNumber.arg(n)));
}

std::vector<Row> buildTextRows()
{
    std::vector<Row> rows = {
        caption({}, QStringLiteral("Quelmar5 - Settings")),
        caption(QStringLiteral("btSettingOK"), QStringLiteral("Store changes")),
        caption(QStringLiteral("btSettingCancel"), QStringLiteral("Cancel changes")),
        {QStringLiteral("TabSheetPhone"), What::PageTitle, QStringLiteral("Phone numbers")},
        {QStringLiteral("TabSheetSMS"), What::PageTitle, QStringLiteral("SMS settings")},
        {QStringLiteral("TabSheetCallFilter"), What::PageTitle, QStringLiteral("Call Filter")},
        {QStringLiteral("TabSheetOUTPUT"), What::PageTitle, QStringLiteral("Output Control")},

        // Phone numbers
        caption(QStringLiteral("lbTPhone1"), QStringLiteral("Primary User   (#USER1)")),
        caption(QStringLiteral("lbTPhone2"), QStringLiteral("Secondary User (#USER2)")),
        caption(QStringLiteral("lbTSMSforward1"), QStringLiteral("1. SMS forward nr. (#SMSFW1)")),
        caption(QStringLiteral("lbTSMSforward2"), QStringLiteral("2. SMS forward nr. (#SMSFW2)")),
        caption(QStringLiteral("lbAutoDial"), QStringLiteral("Automatic dial nr. (#AUTO)")),
        caption(QStringLiteral("lbPrefix"), QStringLiteral("Dial prefix number used for outside line (#PREFIX)")),
        caption(QStringLiteral("lbADDFIX"), QStringLiteral("Prefix to add before phone numbers called in GSM mode")),
        caption(QStringLiteral("cbVoiceCaller"),
                QStringLiteral("Voice caller support (Signal between dial and connect)")),

        // SMS settings
        caption(QStringLiteral("lbEventCode"), QStringLiteral("Event Code")),
        caption(QStringLiteral("lbSMSText"), QStringLiteral("SMS text *")),
        caption(QStringLiteral("lbIn1"), QStringLiteral("IN1 input")),
        caption(QStringLiteral("lbIn2"), QStringLiteral("IN2 input")),
        caption(QStringLiteral("lbIn3"), QStringLiteral("IN3 input")),
        caption(QStringLiteral("lbSMS_COMMENT"),
                QStringLiteral("* : The $ character in the SMS text will be replaced to : "
                               "\"eventcode/partition/zone\"")),

        // Call Filter
        caption(QStringLiteral("gbCallFilter"), QStringLiteral("  Filtering incoming calls  ")),
        {QStringLiteral("rgCallFilter"), What::RadioItem, QStringLiteral("Accept all incoming call"), 0},
        {QStringLiteral("rgCallFilter"), What::RadioItem,
         QStringLiteral("Accept calls from the following phone numbers only"), 1},
    };
    addEnabledNumbers(rows, QStringLiteral("lbPhnrEnabled"), 4);
    rows.insert(rows.end(), {
        caption(QStringLiteral("lbCallTimeLine1"),
                QStringLiteral("Incoming call time limitation (0-25 min, 0=no limit)")),
        // Its own text is folded into the line above.
        caption(QStringLiteral("lbCallTimeLine2"), QString()),
        caption(QStringLiteral("lbNo06_1"),
                QStringLiteral("Do not use any additonal prefix number, just area code and phone number.")),

        // Output Control
        caption(QStringLiteral("gbOutputControl"),
                QStringLiteral("  Enable Output Control from the following phone numbers ")),
    });
    addEnabledNumbers(rows, QStringLiteral("lbRelPhnrEnabled"), 4);
    rows.insert(rows.end(), {
        caption(QStringLiteral("lbControlOut1"),
                QStringLiteral("1. Controllable Output Timing (0-254 sec, 255=bistable)")),
        caption(QStringLiteral("lbControlOut2"),
                QStringLiteral("2. Controllable Output Timing (0-254 sec, 255=bistable)")),
        caption(QStringLiteral("lbControlOut3"), QStringLiteral("3. Output = GSM error signal")),
        caption(QStringLiteral("lbControlOut4"), QStringLiteral("4. Output = Wired phone line error signal")),
        caption(QStringLiteral("lbControlOutText1"), QStringLiteral("Commands during the call:")),
        caption(QStringLiteral("lbControlOutText2"),
                QStringLiteral("1# = OUT1 ON,  2# = OUT2 ON,  4# = OUT1 OFF,  5# = OUT2 OFF")),
        {QStringLiteral("lbNo06_2"), What::CopyOf, QStringLiteral("lbNo06_1")},

        // Bell 103
        {QStringLiteral("rgBELLCallFilter"), What::RadioItem,
         QStringLiteral("Accept any incoming datacall as BELL103 call"), 0},
        {QStringLiteral("rgBELLCallFilter"), What::RadioItem,
         QStringLiteral("Accept datacalls from the following phone numbers only"), 1},
    });
    addEnabledNumbers(rows, QStringLiteral("lbBELLphnrEnabled"), 2);
    rows.insert(rows.end(), {
        caption(QStringLiteral("gbBell103"), QStringLiteral(" Receiving \"BELL103\" GSM datacall  ")),
        caption(QStringLiteral("cbBELLcallback"), QStringLiteral("Enable BELL103 callback")),
        caption(QStringLiteral("lbBELLcallback"),
                QStringLiteral("Outgoing GSM calls to the above numbers will be initiated as GSM DataCall.")),
        {QStringLiteral("lbNo06_3"), What::CopyOf, QStringLiteral("lbNo06_1")},
    });
    return rows;
}

QString textOf(QWidget *w)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        return label->text();
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        return button->text();
    if (auto *group = qobject_cast<QGroupBox *>(w))
        return group->title();
    return {};
}

bool setText(QWidget *w, const QString &text)
{
    if (auto *label = qobject_cast<QLabel *>(w))
        label->setText(text);
    else if (auto *button = qobject_cast<QAbstractButton *>(w))
        button->setText(text);
    else if (auto *group = qobject_cast<QGroupBox *>(w))
        group->setTitle(text);
    else
        return false;
    return true;
}

} // namespace

const std::vector<Row> &textRows()
{
    static const std::vector<Row> rows = buildTextRows();
    return rows;
}

const std::vector<Row> &pageRemovalRows()
{
    static const std::vector<Row> rows = {
        {QStringLiteral("TabSheetTELL"), What::RemovePage, {}},
        {QStringLiteral("TabSheetGPRS"), What::RemovePage, {}},
    };
    return rows;
}

bool applyRow(TSettingsForm &form, const Row &row)
{
    if (row.control.isEmpty()) {
        form.setWindowTitle(row.text);
        return true;
    }
    QWidget *target = form.findChild<QWidget *>(row.control);
    if (!target)
        return false;

    switch (row.what) {
    case What::Caption:
        return setText(target, row.text);
    case What::PageTitle: {
        const int index = form.PageControl1->indexOf(target);
        if (index < 0)
            return false;
        form.PageControl1->setTabText(index, row.text);
        return true;
    }
    case What::RadioItem: {
        auto *group = qobject_cast<RadioGroup *>(target);
        if (!group || row.item < 0 || row.item >= group->count())
            return false;
        group->setItemText(row.item, row.text);
        return true;
    }
    case What::CopyOf: {
        QWidget *source = form.findChild<QWidget *>(row.text);
        return source && setText(target, textOf(source));
    }
    case What::RemovePage: {
        // The tab widget only forgets the page; the page stays a child of the
        // window, hidden, with all its controls.
        const int index = form.PageControl1->indexOf(target);
        if (index >= 0)
            form.PageControl1->removeTab(index);
        return true;
    }
    }
    return false;
}

} // namespace EditorTexts

void applyEditorEnglishTexts(TSettingsForm *form)
{
    if (!form)
        return;
    for (const EditorTexts::Row &row : EditorTexts::textRows())
        if (!EditorTexts::applyRow(*form, row))
            qWarning("ApplyEditorEnglishTexts: no control %s", qPrintable(row.control));
}

void removeEditorPages(TSettingsForm *form)
{
    if (!form)
        return;
    for (const EditorTexts::Row &row : EditorTexts::pageRemovalRows())
        EditorTexts::applyRow(*form, row);
}
