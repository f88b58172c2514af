#include "Settings.h"

#include "CharGrid.h"
#include "GridRules.h"
#include "IPAddressControl.h"
#include "RadioGroup.h"
#include "SettingsFields.h"
#include "params/Encodings.h"
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

using namespace Encodings;
using SettingsFields::FieldAt;

constexpr int ClientWidth = 457;
constexpr int ClientHeight = 427;

// The number grids in the order load and store visit them.
constexpr std::array<int, 7> PhoneGrids = {EEAddr::USER1,     EEAddr::USER2,  EEAddr::SMSFW1, EEAddr::SMSFW2,
                                          EEAddr::NETPREFIX, EEAddr::ADDFIX, EEAddr::AUTODIAL};

template <class Image>
auto FieldOf(Image &image, int offset)
{
    return FieldBytes(image, FieldAt(offset));
}

template <std::size_t N>
void PutDigits(CharGrid *grid, const DigitCells<N> &digits)
{
    grid->clearCells();
    for (std::size_t p = 0; p < N; ++p)
        if (digits[p])
            grid->setCell(static_cast<int>(p), QString(QLatin1Char(*digits[p])));
}

} // namespace

TSettingsForm::TSettingsForm(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("SettingsForm"));
    setWindowTitle(QStringLiteral("Quelmar5 - Beállítások"));
    setModal(true);

    buildWindow();
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
    m_presets = GprsPresets::LoadPresetList();
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
        CentreOnScreen(this);
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
    StoreSettings(ParameterImage);
}

void TSettingsForm::loadNumberGrid(const ImageBytes &image, int fieldOffset)
{
    auto *grid = control<CharGrid>(fieldOffset);
    if (FieldAt(fieldOffset).encoding == EEAddr::Encoding::Digits8)
        PutDigits(grid, Digits8::Read(FieldOf(image, fieldOffset)));
    else
        PutDigits(grid, Digits16::Read(FieldOf(image, fieldOffset)));
}

void TSettingsForm::storeNumberGrid(ImageBytes &image, int fieldOffset) const
{
    const QString digits = DigitsFromCells(control<CharGrid>(fieldOffset)->cells());
    if (FieldAt(fieldOffset).encoding == EEAddr::Encoding::Digits8)
        Digits8::Write(FieldOf(image, fieldOffset), digits);
    else
        Digits16::Write(FieldOf(image, fieldOffset), digits);
}

void TSettingsForm::LoadSettings(const ImageBytes &image)
{
    // 1. SMS texts.
    for (int offset : EEAddr::SmsOffsets)
        control<QLineEdit>(offset)->setText(SmsText::Read(FieldOf(image, offset)));

    // 2. The phone page's numbers.
    for (int offset : PhoneGrids)
        loadNumberGrid(image, offset);

    // 3. Event codes: four blank cells, then the code's symbols if there is one.
    for (int offset : EEAddr::EventOffsets) {
        auto *grid = control<CharGrid>(offset);
        for (int c = 0; c < grid->cellCount(); ++c)
            grid->setCell(c, QStringLiteral(" "));
        const QString symbols = EventCode::Read(FieldOf(image, offset));
        for (int c = 0; c < grid->cellCount() && c < symbols.size(); ++c)
            grid->setCell(c, QString(symbols[c]));
    }

    // 4. Addresses with their ports, then the two identifiers. The spinners
    // take the 16-bit values as signed numbers and clamp them to their range.
    for (std::size_t i = 0; i < EEAddr::IPAddressOffsets.size(); ++i) {
        control<IPAddressControl>(EEAddr::IPAddressOffsets[i])
            ->setAddress(IPv4Address::Read(FieldOf(image, EEAddr::IPAddressOffsets[i])));
        control<QSpinBox>(EEAddr::PortOffsets[i])
            ->setValue(static_cast<std::int16_t>(Word16BE::Read(FieldOf(image, EEAddr::PortOffsets[i]))));
    }
    for (int offset : {EEAddr::PanelID, EEAddr::CentralID})
        control<QSpinBox>(offset)->setValue(static_cast<std::int16_t>(Word16BE::Read(FieldOf(image, offset))));

    // 5. GPRS texts, enabled or not; the operator list stays as it is.
    for (int offset : {EEAddr::APN, EEAddr::UserName, EEAddr::PWD})
        control<QLineEdit>(offset)->setText(GprsText::Read(FieldOf(image, offset)));

    // 6. Call filter and output control numbers.
    for (int offset : EEAddr::PhnrEnabledOffsets)
        loadNumberGrid(image, offset);
    for (int offset : EEAddr::RelPhnrEnabledOffsets)
        loadNumberGrid(image, offset);

    // 7. Output timings and the call time limit.
    for (int offset : {EEAddr::REL1, EEAddr::REL2, EEAddr::CallMax})
        control<QSpinBox>(offset)->setValue(ByteValue::Read(FieldOf(image, offset)));

    // 8. and 9. A changed choice or check mark sets off its enabling rule.
    rgCallFilter->setItemIndex(
        FlagByte::Read(FieldOf(image, EEAddr::CallFilter), FieldAt(EEAddr::CallFilter).flagRead) ? 1 : 0);
    cbGPRSmode->setChecked(FlagByte::Read(FieldOf(image, EEAddr::GPRSmode), FieldAt(EEAddr::GPRSmode).flagRead));

    // 10. Bell 103 numbers.
    for (int offset : EEAddr::BellPhnrEnabledOffsets)
        loadNumberGrid(image, offset);

    // 11. Bell 103 flags.
    const FlagBits::Flags bell = FlagBits::Read(FieldOf(image, EEAddr::BELLFlags));
    rgBELLCallFilter->setItemIndex(bell.bit0 ? 1 : 0);
    cbBELLcallback->setChecked(bell.bit1);

    // 12. Voice caller support.
    cbVoiceCaller->setChecked(
        FlagByte::Read(FieldOf(image, EEAddr::VoiceCaller), FieldAt(EEAddr::VoiceCaller).flagRead));
}

void TSettingsForm::StoreSettings(ImageBytes &image)
{
    // Text typed straight into a spinner counts once it is a valid number.
    for (QSpinBox *spin : findChildren<QSpinBox *>())
        spin->interpretText();

    // 1. SMS texts.
    for (int offset : EEAddr::SmsOffsets)
        SmsText::Write(FieldOf(image, offset), control<QLineEdit>(offset)->text());

    // 2. The phone page's numbers; gaps between filled cells close up.
    for (int offset : PhoneGrids)
        storeNumberGrid(image, offset);

    // 3. Event codes: anything but four symbols is no code.
    for (int offset : EEAddr::EventOffsets)
        EventCode::WriteCells(FieldOf(image, offset), control<CharGrid>(offset)->cells());

    // 4. Addresses, ports and the reserved bytes after each port; then the
    // identifiers. The spinners' range keeps every value within 0 to 32767.
    for (std::size_t i = 0; i < EEAddr::IPAddressOffsets.size(); ++i) {
        IPv4Address::Write(FieldOf(image, EEAddr::IPAddressOffsets[i]),
                           control<IPAddressControl>(EEAddr::IPAddressOffsets[i])->address());
        Word16BE::Write(FieldOf(image, EEAddr::PortOffsets[i]),
                        static_cast<std::uint16_t>(control<QSpinBox>(EEAddr::PortOffsets[i])->value()));
        ReservedZero::Write(FieldOf(image, EEAddr::ReservedOffsets[i]));
    }
    for (int offset : {EEAddr::PanelID, EEAddr::CentralID})
        Word16BE::Write(FieldOf(image, offset), static_cast<std::uint16_t>(control<QSpinBox>(offset)->value()));

    // 5. GPRS texts.
    for (int offset : {EEAddr::APN, EEAddr::UserName, EEAddr::PWD})
        GprsText::Write(FieldOf(image, offset), control<QLineEdit>(offset)->text());

    // 6. Call filter and output control numbers.
    for (int offset : EEAddr::PhnrEnabledOffsets)
        storeNumberGrid(image, offset);
    for (int offset : EEAddr::RelPhnrEnabledOffsets)
        storeNumberGrid(image, offset);

    // 7. Output timings and the call time limit.
    for (int offset : {EEAddr::REL1, EEAddr::REL2, EEAddr::CallMax})
        ByteValue::Write(FieldOf(image, offset), static_cast<std::uint8_t>(control<QSpinBox>(offset)->value()));

    // 8. and 9.
    FlagByte::Write(FieldOf(image, EEAddr::CallFilter), rgCallFilter->itemIndex() == 1);
    FlagByte::Write(FieldOf(image, EEAddr::GPRSmode), cbGPRSmode->isChecked());

    // 10. Bell 103 numbers.
    for (int offset : EEAddr::BellPhnrEnabledOffsets)
        storeNumberGrid(image, offset);

    // 11. Bell 103 flags.
    FlagBits::Write(FieldOf(image, EEAddr::BELLFlags),
                    {rgBELLCallFilter->itemIndex() == 1, cbBELLcallback->isChecked()});

    // 12. Voice caller support.
    FlagByte::Write(FieldOf(image, EEAddr::VoiceCaller), cbVoiceCaller->isChecked());
}

bool TSettingsForm::EditImage()
{
    LoadSettings();
    return exec() == QDialog::Accepted;
}

// ------------------------------------------------------------ buttons

void TSettingsForm::btSettingOKClick()
{
    StoreSettings();
    accept();
}

void TSettingsForm::btSettingCancelClick()
{
    reject();
}

// ------------------------------------------------------------ typing rules

void TSettingsForm::acgUSER1KeyPress(CharGrid *grid, QChar key)
{
    GridRules::GridState state = grid->state();
    GridRules::DigitGridKeyPress(state, key);
    // The original grid left and re-entered the current cell after each key
    // to commit it; this grid commits at once, so that step has no effect.
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
    return GridRules::DigitCellValidate(value);
}

QString TSettingsForm::acgEvent1CellValidate(const QString &value)
{
    return GridRules::EventCellValidate(value);
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
    const bool custom = GprsPresets::IsCustomEntry(m_presets, index);
    const GprsPresets::PresetFields texts = GprsPresets::SelectionTexts(m_presets, index, m_custom);
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
    (void)GprsPresets::SavePresetList(m_presets);
}
