#pragma once
// The switch of the windows' own (Hungarian) texts to English, applied once
// at start-up before the main window is first shown.

#include <QString>
#include <vector>

class QObject;
class QWidget;

enum class TextWhat {
    Caption, // the text of a button or label, a group's title, or the window's title
    Hidden,  // the control is hidden; text unused
    Property, // a text property of a non-visual component, named by `property`
};

struct TextRow
{
    QString window;  // the window's program-wide name, e.g. "MainForm"
    QString control; // the control's name; empty for the window itself
    TextWhat what;
    QString text;
    const char *property = nullptr;
};

// The rows in the order they are applied.
const std::vector<TextRow> &englishTexts();

// The window and the control a row names; null when they do not exist.
QWidget *findForm(const QString &window);
QWidget *findControl(const TextRow &row);
QObject *findObject(const TextRow &row);

void ApplyEnglishTexts();
