#pragma once
// The parameter editor: shows the fields of the parameter image on seven
// pages, applies the typing and enabling rules, and writes the fields back.
// It holds no copy of the image: between load and store the values live in
// the controls only.

#include "FieldControls.h"
#include "GprsPresets.h"
#include "params/EEAddr.h"
#include "params/ParameterImage.h"

#include <QDialog>
#include <QHash>

#include <array>

class CharGrid;
class IPAddressControl;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class RadioGroup;

class TSettingsForm : public QDialog
{
    Q_OBJECT

public:
    explicit TSettingsForm(QWidget *parent = nullptr);

    // Fill every control from the image, resp. write every control's value
    // into it. Bytes that no field covers are left alone.
    void LoadSettings();
    void StoreSettings();
    void LoadSettings(const ImageBytes &image);
    void StoreSettings(ImageBytes &image);

    // What "Edit parameters" does: load the program's image, show the window
    // modally, and store into the image if the user chose "Store changes".
    bool editImage();

    // A field shows another value than the image had when it was loaded.
    bool fieldsChanged();
    // Esc and the window's close button: asks before changed fields are dropped.
    void reject() override;

    // Event handlers, named after their controls.
    void btSettingOKClick();
    void btSettingCancelClick();
    void acgUSER1KeyPress(CharGrid *grid, QChar key);
    void acgEvent1KeyPress(CharGrid *grid, QChar key);
    static QString acgUSER1CellValidate(const QString &value);
    static QString acgEvent1CellValidate(const QString &value);
    void edAPNKeyPress(QChar &key);
    void rgCallFilterClick();
    void cbGPRSmodeClick();
    void cbGPRSmodeMouseDown();
    void cbServiceProviderChange();
    void edAPNExit();
    void edUserNameExit();
    void edPWDExit();
    void btSaveSettingsClick();

    // The page set and its pages; each page stays owned by this window even
    // when it is taken out of the page set.
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheetPhone = nullptr;
    QWidget *TabSheetSMS = nullptr;
    QWidget *TabSheetCallFilter = nullptr;
    QWidget *TabSheetOUTPUT = nullptr;
    QWidget *TabSheetBELL103 = nullptr;
    QWidget *TabSheetGPRS = nullptr;
    QWidget *TabSheetTELL = nullptr;

    QPushButton *btSettingOK = nullptr;
    QPushButton *btSettingCancel = nullptr;

    RadioGroup *rgCallFilter = nullptr;
    RadioGroup *rgBELLCallFilter = nullptr;
    QCheckBox *cbVoiceCaller = nullptr;
    QCheckBox *cbBELLcallback = nullptr;
    QCheckBox *cbGPRSmode = nullptr;
    QComboBox *cbServiceProvider = nullptr;
    QLineEdit *edAPN = nullptr;
    QLineEdit *edUserName = nullptr;
    QLineEdit *edPWD = nullptr;
    QPushButton *btSaveSettings = nullptr;

    // The control of an image field (by its offset in EEAddr), or nullptr.
    QWidget *controlOf(int fieldOffset) const { return m_controls.value(fieldOffset); }

    // The remembered custom GPRS texts.
    const GprsPresets::PresetFields &customTexts() const { return m_custom; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();

    // Controls and layout (SettingsPages.cpp).
    void buildWindow();
    void buildPhonePage();
    void buildSmsPage();
    void buildCallFilterPage();
    void buildOutputPage();
    void buildBellPage();
    void buildGprsPage();
    void buildTellPage();

    QWidget *addPage(const char *name, const QString &title);
    QLabel *label(const QString &name, const QString &text, QWidget *parent);
    CharGrid *numberGrid(int fieldOffset, QWidget *parent);
    CharGrid *eventGrid(int fieldOffset, QWidget *parent);
    QLineEdit *textField(int fieldOffset, int maxLength, QWidget *parent);
    QSpinBox *spinner(int fieldOffset, bool grouping, QWidget *parent);
    IPAddressControl *addressControl(int fieldOffset, QWidget *parent);
    void bind(int fieldOffset, QWidget *control);
    template <class T> T *control(int fieldOffset) const
    {
        return static_cast<T *>(m_controls.value(fieldOffset));
    }

    void setPresetLook(QLineEdit *field, bool custom);
    // The page that holds a control, shown or detached; nullptr for none.
    QWidget *pageOf(const QWidget *control) const;

    QList<FieldControls::Binding> m_bindings; // every field, in load order
    QHash<int, QWidget *> m_controls;         // by field offset
    std::array<QLabel *, 4> m_callFilterLabels{};
    QStringList m_presets;
    GprsPresets::PresetFields m_custom;
    bool m_centred = false;
    // The image as the controls stored it right after the last load.
    ImageBytes m_asLoaded{};
    bool m_loaded = false;
};

extern TSettingsForm *SettingsForm;
