#include "Languages.h"

#include "editor/EditorTexts.h"
#include "editor/Settings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QWidget>

const std::vector<TextRow> &englishTexts()
{
    using W = TextWhat;
    static const std::vector<TextRow> rows = {
        // Main window; its caption is set further down.
        {"MainForm", "btDetails", W::Hidden, {}},
        {"MainForm", "ButtonSelectSerial", W::Caption, "Select serial port"},
        {"MainForm", "btConnect", W::Caption, "Open serial port"},
        {"MainForm", "btDisconnect", W::Caption, "Close serial port"},
        {"MainForm", "btParameterSetting", W::Caption, "Set module parameters"},
        {"MainForm", "btStatus", W::Caption, "Show module status"},
        {"MainForm", "btClose", W::Caption, "Close"},

        // The main window's port selection dialog.
        {"MainForm", "SorosDialog1", W::Property, "Serial ports", "DialogusCimke"},
        {"MainForm", "SorosDialog1", W::Property, "Select serial port!", "DialogusSzoveg"},
        {"MainForm", "SorosDialog1", W::Property, "Add port", "HozzaadCimke"},
        {"MainForm", "SorosDialog1", W::Property, "Give a number for the new port!", "HozzaadSzoveg"},

        // Transfer window; its "Stop" button keeps its own text.
        {"FormDownload", {}, W::Caption, "Quelmar5 - Parameter Download/Upload"},
        {"FormDownload", "btOpen", W::Caption, "Read from File"},
        {"FormDownload", "btSave", W::Caption, "Save to File"},
        {"FormDownload", "btRead", W::Caption, "<-- Read parameters from module"},
        {"FormDownload", "btWrite", W::Caption, "--> Write parameters to module"},
        {"FormDownload", "btCompare", W::Caption, "<--> Compare parameters with module"},
        {"FormDownload", "btEdit", W::Caption, "Edit parameters"},
        {"FormDownload", "btClose", W::Caption, "Close window"},

        // Status window.
        {"StateForm", {}, W::Caption, "Quelmar5 - Status"},
        {"StateForm", "lbGSMpower", W::Caption, "GSM power (0-31) :"},
        {"StateForm", "btClearMsg", W::Caption, "Clear message window"},
        {"StateForm", "btClose", W::Caption, "Close Window"},
        {"StateForm", "lbStateMessages", W::Caption, "State messages from the module:"},
        {"StateForm", "PanelLineVoltage", W::Caption, "PSTN Line"},
        {"StateForm", "PanelGSMLine", W::Caption, "GSM Line State"},

        // The editor's rows (EditorTexts) are applied here, then the main
        // window's caption, then the editor's two pages are removed.
        {"MainForm", {}, W::Caption, "Quelmar 5  v1.03b BELL"},
    };
    return rows;
}

QWidget *findForm(const QString &window)
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == window)
            return w;
    return nullptr;
}

QWidget *findControl(const TextRow &row)
{
    QWidget *form = findForm(row.window);
    if (!form || row.control.isEmpty())
        return form;
    return form->findChild<QWidget *>(row.control);
}

QObject *findObject(const TextRow &row)
{
    QWidget *form = findForm(row.window);
    if (!form || row.control.isEmpty())
        return form;
    return form->findChild<QObject *>(row.control);
}

namespace {

void setCaption(QWidget *target, const TextRow &row)
{
    if (row.control.isEmpty())
        target->setWindowTitle(row.text);
    else if (auto *button = qobject_cast<QAbstractButton *>(target))
        button->setText(row.text);
    else if (auto *label = qobject_cast<QLabel *>(target))
        label->setText(row.text);
    else if (auto *group = qobject_cast<QGroupBox *>(target))
        group->setTitle(row.text);
    else
        qWarning("ApplyEnglishTexts: %s.%s has no caption", qPrintable(row.window), qPrintable(row.control));
}

} // namespace

namespace {

void applyRow(const TextRow &row)
{
    if (row.what == TextWhat::Property) {
        QObject *component = findObject(row);
        if (!component || !component->setProperty(row.property, row.text))
            qWarning("ApplyEnglishTexts: no property %s.%s", qPrintable(row.control), row.property);
        return;
    }
    QWidget *target = findControl(row);
    if (!target) {
        qWarning("ApplyEnglishTexts: no control %s.%s", qPrintable(row.window), qPrintable(row.control));
        return;
    }
    switch (row.what) {
    case TextWhat::Caption:
        setCaption(target, row);
        break;
    case TextWhat::Hidden:
        target->hide();
        break;
    case TextWhat::Property:
        break;
    }
}

} // namespace

void ApplyEnglishTexts()
{
    const std::vector<TextRow> &rows = englishTexts();
    // Every row but the last (the main window's caption), the editor's own
    // rows, the caption, and the editor's page removal last of all.
    for (std::size_t i = 0; i + 1 < rows.size(); ++i)
        applyRow(rows[i]);
    applyEditorEnglishTexts(SettingsForm);
    applyRow(rows.back());
    removeEditorPages(SettingsForm);
}
