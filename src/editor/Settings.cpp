#include "Settings.h"

#include "CharGrid.h"
#include "FieldControls.h"
#include "GridRules.h"
#include "IPAddressControl.h"
#include "RadioGroup.h"
#include "SettingsFields.h"
#include "StoreCheck.h"
#include "params/Encodings.h"
#include "params/ImageState.h"
#include "ui/WindowHelpers.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>

#include <algorithm>
#include <cstdint>

TSettingsForm *SettingsForm = nullptr;

namespace {

constexpr int ClientWidth = 457;
constexpr int ClientHeight = 427;

} // namespace

TSettingsForm::TSettingsForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SettingsForm"));
    setWindowTitle(QStringLiteral("Quelmar5 - Beállítások"));
    setModal(true);

    buildWindow();
    m_bindings = FieldControls::bindByName(this);
    for (const FieldControls::Binding &b : m_bindings)
        m_controls.insert(b.field->offset, b.control);
    connect(btSettingOK, &QPushButton::clicked, this, &TSettingsForm::btSettingOKClick);
    connect(btSettingCancel, &QPushButton::clicked, this, &TSettingsForm::btSettingCancelClick);

    // The window has a fixed size; only a font too large for it makes it
    // grow, rather than clip its texts.
    const QSize needed = layout()->totalMinimumSize();
    setFixedSize(std::max(ClientWidth, needed.width()), std::max(ClientHeight, needed.height()));

    FormCreate();
}

// ------------------------------------------------------------ creation

void TSettingsForm::FormCreate()
{
    m_presets = GprsPresets::loadPresetList();
    cbServiceProvider->clear();
    for (const QString &line : m_presets)
        cbServiceProvider->addItem(line.left(GprsPresets::NameWidth).trimmed());
    m_custom = {};
    cbServiceProvider->setCurrentIndex(0);
    cbServiceProviderChange();

    PageControl1->setCurrentWidget(TabSheetSMS);
    PageControl1->setCurrentWidget(TabSheetPhone);
}

void TSettingsForm::showEvent(QShowEvent *event)
{
    // Centred on the screen the first time; later the user's place is kept.
    if (!m_centred) {
        centreOnScreen(this);
        m_centred = true;
    }
    QDialog::showEvent(event);
}

// ------------------------------------------------------------ load and store

void TSettingsForm::LoadSettings()
{
    LoadSettings(ParameterImage);
}

void TSettingsForm::StoreSettings()
{
    // Into a copy: the image's owner takes it, with where it came from.
    ImageBytes image = workingImage().bytes();
    StoreSettings(image);
    workingImage().storeFromEditor(image);
}

void TSettingsForm::LoadSettings(const ImageBytes &image)
{
    // The fields are disjoint; the bindings come in the order that the
    // enabling rules need.
    for (const FieldControls::Binding &b : m_bindings)
        FieldControls::show(b, FieldModel::Decode(image, *b.field));
    // A store can differ from the image even with nothing typed (an erased
    // number becomes zero digits): changes are counted against this.
    m_asLoaded = image;
    StoreSettings(m_asLoaded);
    m_loaded = true;
}

bool TSettingsForm::fieldsChanged()
{
    if (!m_loaded)
        return false;
    ImageBytes now = m_asLoaded;
    StoreSettings(now);
    return now != m_asLoaded;
}

void TSettingsForm::StoreSettings(ImageBytes &image)
{
    // Text typed straight into a spinner counts once it is a valid number.
    for (QSpinBox *spin : findChildren<QSpinBox *>())
        spin->interpretText();
    // Every field is rewritten, the reserved bytes after the ports included.
    for (const FieldControls::Binding &b : m_bindings)
        FieldModel::store(image, *b.field, FieldControls::valueOf(b));
}

bool TSettingsForm::editImage()
{
    LoadSettings();
    return exec() == QDialog::Accepted;
}

// ------------------------------------------------------------ buttons

void TSettingsForm::btSettingOKClick()
{
    // Fields on the pages shown whose value the store would change or drop.
    QStringList sentences;
    QWidget *first = nullptr;
    for (const FieldControls::Binding &b : m_bindings) {
        QWidget *page = b.control ? pageOf(b.control) : nullptr;
        if (!page || PageControl1->indexOf(page) < 0)
            continue;
        const QString sentence = StoreCheck::check(*b.field, FieldControls::shownText(b));
        if (sentence.isEmpty())
            continue;
        sentences << sentence;
        if (!first)
            first = b.control;
    }
    if (first && !askYesNo(this, StoreCheck::question(sentences))) {
        PageControl1->setCurrentWidget(pageOf(first));
        first->setFocus(Qt::OtherFocusReason);
        return;
    }
    StoreSettings();
    accept();
}

QWidget *TSettingsForm::pageOf(const QWidget *control) const
{
    for (QWidget *page : {TabSheetPhone, TabSheetSMS, TabSheetCallFilter, TabSheetOUTPUT, TabSheetBELL103,
                          TabSheetGPRS, TabSheetTELL})
        if (page && page->isAncestorOf(control))
            return page;
    return nullptr;
}

void TSettingsForm::btSettingCancelClick()
{
    // The button says what it does: no question.
    QDialog::reject();
}

void TSettingsForm::reject()
{
    if (fieldsChanged() && !askYesNo(this, QStringLiteral("Discard the changes?")))
        return;
    QDialog::reject();
}

// ------------------------------------------------------------ typing rules

void TSettingsForm::acgUSER1KeyPress(CharGrid *grid, QChar key)
{
    GridRules::GridState state = grid->state();
    GridRules::DigitGridKeyPress(state, key);
    // setState commits the cell at once, so the key needs no extra step to
    // take effect before the next one.
    grid->setState(state);
}

void TSettingsForm::acgEvent1KeyPress(CharGrid *grid, QChar key)
{
    GridRules::GridState state = grid->state();
    GridRules::EventGridKeyPress(state, key);
    grid->setState(state);
}

QString TSettingsForm::acgUSER1CellValidate(const QString &value)
{
    return GridRules::digitCellValidate(value);
}

QString TSettingsForm::acgEvent1CellValidate(const QString &value)
{
    return GridRules::eventCellValidate(value);
}

void TSettingsForm::edAPNKeyPress(QChar &key)
{
    if (key == u' ')
        key = QChar();
}

bool TSettingsForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == cbGPRSmode && event->type() == QEvent::MouseButtonPress) {
        cbGPRSmodeMouseDown();
        return false;
    }
    const bool gprsField = watched == edAPN || watched == edUserName || watched == edPWD;
    if (!gprsField)
        return QDialog::eventFilter(watched, event);

    if (event->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(event);
        if (k->text().size() == 1) {
            QChar key = k->text().front();
            edAPNKeyPress(key);
            if (key.isNull())
                return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Leaving the field for another control; a window switch is no exit.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            if (watched == edAPN)
                edAPNExit();
            else if (watched == edUserName)
                edUserNameExit();
            else
                edPWDExit();
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ------------------------------------------------------------ enabling rules

void TSettingsForm::rgCallFilterClick()
{
    // No choice at all enables as well; only "accept all" disables.
    const bool enabled = rgCallFilter->itemIndex() != 0;
    for (std::size_t i = 0; i < EEAddr::PhnrEnabledOffsets.size(); ++i) {
        control<CharGrid>(EEAddr::PhnrEnabledOffsets[i])->setEnabled(enabled);
        m_callFilterLabels[i]->setEnabled(enabled);
    }
}

void TSettingsForm::cbGPRSmodeClick()
{
    // Colours are left as the operator selection set them.
    const bool enabled = cbGPRSmode->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{cbServiceProvider, edAPN, edUserName, edPWD})
        w->setEnabled(enabled);
    for (const char *name : {"lbServiceProvider", "lbAPN", "lbUserName", "lbPWD"})
        findChild<QLabel *>(QLatin1String(name))->setEnabled(enabled);
}

void TSettingsForm::cbGPRSmodeMouseDown()
{
    // Nothing happens on the press itself; the check mark's change does the work.
}

// ------------------------------------------------------------ GPRS presets

void TSettingsForm::setPresetLook(QLineEdit *field, bool custom)
{
    if (custom) {
        field->setPalette(QPalette());
        return;
    }
    QPalette look = field->palette();
    const QColor menu = QApplication::palette("QMenu").color(QPalette::Window);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        look.setColor(group, QPalette::Base, menu);
        look.setColor(group, QPalette::Text, Qt::gray);
    }
    field->setPalette(look);
}

void TSettingsForm::cbServiceProviderChange()
{
    const int index = cbServiceProvider->currentIndex();
    const bool custom = GprsPresets::isCustomEntry(m_presets, index);
    const GprsPresets::PresetFields texts = GprsPresets::selectionTexts(m_presets, index, m_custom);
    edAPN->setText(texts.apn);
    edUserName->setText(texts.userName);
    edPWD->setText(texts.password);
    for (QLineEdit *field : {edAPN, edUserName, edPWD}) {
        field->setEnabled(custom);
        setPresetLook(field, custom);
    }
}

void TSettingsForm::edAPNExit()
{
    m_custom.apn = edAPN->text();
}

void TSettingsForm::edUserNameExit()
{
    m_custom.userName = edUserName->text();
}

void TSettingsForm::edPWDExit()
{
    m_custom.password = edPWD->text();
}

void TSettingsForm::btSaveSettingsClick()
{
    // The button is never shown; a failed save keeps the old file.
    (void)GprsPresets::savePresetList(m_presets);
}
