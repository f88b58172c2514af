#pragma once
// The settings window's rows of the start-up switch to English: what each
// control shows once the window definitions' Hungarian texts are replaced.
// The start-up applies the texts with the other windows' rows, and takes the
// GPRS and TELL pages out of the page set as its very last step.

#include <QString>

#include <vector>

class TSettingsForm;

namespace EditorTexts {

enum class What {
    Caption,    // window title, button, check box, label or group title
    PageTitle,  // the title of a page of PageControl1
    RadioItem,  // the text of one item of a radio group
    CopyOf,     // the text of another control, as it reads at that moment
    RemovePage, // the page leaves the page set but keeps its controls
};

struct Row
{
    QString control; // objectName in the settings window; empty for the window
    What what;
    QString text;    // CopyOf: the control to copy from
    int item = -1;   // RadioItem: which item
};

// The text rows in the order they are applied; then the two page removals.
const std::vector<Row> &textRows();
const std::vector<Row> &pageRemovalRows();

// Returns false when the row names a control the window does not have.
bool applyRow(TSettingsForm &form, const Row &row);

} // namespace EditorTexts

// All text rows of the settings window, in order.
void applyEditorEnglishTexts(TSettingsForm *form);
// Takes TabSheetTELL and TabSheetGPRS out of the page set; their controls
// stay alive and keep taking part in load and store.
void removeEditorPages(TSettingsForm *form);
