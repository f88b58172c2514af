// The settings window's controls and their layout. Repeated rows come from
// the field table; each control is named after its field's control.

#include "Settings.h"

#include "CharGrid.h"
#include "IPAddressControl.h"
#include "RadioGroup.h"
#include "SettingsFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

using SettingsFields::companionName;
using SettingsFields::controlName;
using SettingsFields::fieldAt;

constexpr int GprsTextLimit = 40;
constexpr int GprsNameLimit = 20;

// Narrower tab padding than the platform's.
class CompactTabStyle : public QProxyStyle
{
public:
    explicit CompactTabStyle(QObject *owner)
    {
        setParent(owner);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const override
    {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        return metric == PM_TabBarTabHSpace ? value / 2 : value;
    }
};

QGridLayout *tightGrid(QWidget *parent)
{
    auto *layout = new QGridLayout(parent);
    layout->setContentsMargins(5, 4, 5, 4);
    layout->setHorizontalSpacing(8);
    layout->setVerticalSpacing(3);
    return layout;
}

} // namespace

void TSettingsForm::buildWindow()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(6);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    // Five page titles have to fit the narrow window side by side.
    PageControl1->tabBar()->setStyle(new CompactTabStyle(PageControl1->tabBar()));
    layout->addWidget(PageControl1, 1);

    buildPhonePage();
    buildSmsPage();
    buildCallFilterPage();
    buildOutputPage();
    buildBellPage();
    buildGprsPage();
    buildTellPage();

    auto *buttons = new QHBoxLayout;
    QFont bold = font();
    bold.setBold(true);
    btSettingOK = new QPushButton(QStringLiteral("Változások tárolása"), this);
    btSettingOK->setObjectName(QStringLiteral("btSettingOK"));
    btSettingCancel = new QPushButton(QStringLiteral("Változások elvetése"), this);
    btSettingCancel->setObjectName(QStringLiteral("btSettingCancel"));
    for (QPushButton *b : {btSettingOK, btSettingCancel}) {
        b->setFont(bold);
        // Enter inside a grid or field must not store and close the window.
        b->setAutoDefault(false);
        b->setMinimumWidth(150);
    }
    buttons->addWidget(btSettingOK);
    buttons->addStretch(1);
    buttons->addWidget(btSettingCancel);
    layout->addLayout(buttons);
}

QWidget *TSettingsForm::addPage(const char *name, const QString &title)
{
    auto *page = new QWidget(PageControl1);
    page->setObjectName(QLatin1String(name));
    PageControl1->addTab(page, title);
    return page;
}

QLabel *TSettingsForm::label(const QString &name, const QString &text, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// Load and store find the control by this name.
void TSettingsForm::bind(int fieldOffset, QWidget *control)
{
    control->setObjectName(controlName(fieldOffset));
}

CharGrid *TSettingsForm::numberGrid(int fieldOffset, QWidget *parent)
{
    auto *grid = new CharGrid(fieldAt(fieldOffset).capacity, parent);
    bind(fieldOffset, grid);
    grid->setCellValidator(&TSettingsForm::acgUSER1CellValidate);
    connect(grid, &CharGrid::characterTyped, this, [this, grid](QChar key) { acgUSER1KeyPress(grid, key); });
    return grid;
}

CharGrid *TSettingsForm::eventGrid(int fieldOffset, QWidget *parent)
{
    auto *grid = new CharGrid(fieldAt(fieldOffset).capacity, parent);
    bind(fieldOffset, grid);
    grid->setCellValidator(&TSettingsForm::acgEvent1CellValidate);
    connect(grid, &CharGrid::characterTyped, this, [this, grid](QChar key) { acgEvent1KeyPress(grid, key); });
    return grid;
}

QLineEdit *TSettingsForm::textField(int fieldOffset, int maxLength, QWidget *parent)
{
    auto *field = new QLineEdit(parent);
    bind(fieldOffset, field);
    field->setMaxLength(maxLength);
    return field;
}

QSpinBox *TSettingsForm::spinner(int fieldOffset, bool grouping, QWidget *parent)
{
    auto *spin = new FieldSpinner(fieldAt(fieldOffset).maximum, parent);
    bind(fieldOffset, spin);
    // The spinner's own text field carries the name of the separate field
    // that the value is shown in.
    spin->findChild<QLineEdit *>()->setObjectName(companionName(fieldOffset));
    spin->setWrapping(false);
    spin->setGroupSeparatorShown(grouping);
    spin->setAlignment(Qt::AlignRight);
    return spin;
}

IPAddressControl *TSettingsForm::addressControl(int fieldOffset, QWidget *parent)
{
    auto *address = new IPAddressControl(parent);
    bind(fieldOffset, address);
    return address;
}

void TSettingsForm::buildPhonePage()
{
    TabSheetPhone = addPage("TabSheetPhone", QStringLiteral("Telefonszámok"));
    QGridLayout *grid = tightGrid(TabSheetPhone);

    struct Row
    {
        int offset;
        const char *label;
        const char *text;
    };
    // Numbers whose caption fits beside the grid.
    const Row beside[] = {
        {EEAddr::USER1, "lbTPhone1", "Elsődleges felhasználó (#USER1)"},
        {EEAddr::USER2, "lbTPhone2", "Másodlagos felhasználó (#USER2)"},
        {EEAddr::SMSFW1, "lbTSMSforward1", "1. SMS továbbító szám (#SMSFW1)"},
        {EEAddr::SMSFW2, "lbTSMSforward2", "2. SMS továbbító szám (#SMSFW2)"},
        {EEAddr::AUTODIAL, "lbAutoDial", "Automatikus hívószám (#AUTO)"},
    };
    int row = 0;
    for (const Row &r : beside) {
        QLabel *l = label(r.label, QString::fromUtf8(r.text), TabSheetPhone);
        CharGrid *g = numberGrid(r.offset, TabSheetPhone);
        l->setBuddy(g);
        grid->addWidget(l, row, 0);
        grid->addWidget(g, row, 1, Qt::AlignLeft);
        ++row;
    }

    // The prefixes have long captions: caption above, grid below.
    grid->setRowMinimumHeight(row++, 6);
    QLabel *lbPrefix = label("lbPrefix", QStringLiteral("Külső vonal előhívó száma (#PREFIX)"), TabSheetPhone);
    CharGrid *prefix = numberGrid(EEAddr::NETPREFIX, TabSheetPhone);
    lbPrefix->setBuddy(prefix);
    grid->addWidget(lbPrefix, row++, 0, 1, 2);
    grid->addWidget(prefix, row++, 0, Qt::AlignLeft);

    grid->setRowMinimumHeight(row++, 6);
    QLabel *lbADDFIX =
        label("lbADDFIX", QStringLiteral("GSM módban hívott számok elé illesztett előtag"), TabSheetPhone);
    CharGrid *addfix = numberGrid(EEAddr::ADDFIX, TabSheetPhone);
    lbADDFIX->setBuddy(addfix);
    grid->addWidget(lbADDFIX, row++, 0, 1, 2);
    auto *addfixRow = new QHBoxLayout;
    addfixRow->setSpacing(6);
    addfixRow->addWidget(addfix);
    addfixRow->addWidget(label("lbADDFIX2", QStringLiteral("(#ADDFIX)"), TabSheetPhone));
    addfixRow->addStretch(1);
    grid->addLayout(addfixRow, row++, 0, 1, 2);

    grid->setRowMinimumHeight(row++, 10);
    cbVoiceCaller = new QCheckBox(QStringLiteral("Hanghívás támogatás (jelzés tárcsázás és kapcsolás között)"),
                                  TabSheetPhone);
    bind(EEAddr::VoiceCaller, cbVoiceCaller);
    grid->addWidget(cbVoiceCaller, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
}

void TSettingsForm::buildSmsPage()
{
    TabSheetSMS = addPage("TabSheetSMS", QStringLiteral("SMS beállítások"));
    QGridLayout *grid = tightGrid(TabSheetSMS);
    grid->setVerticalSpacing(1);

    grid->addWidget(label("lbEventCode", QStringLiteral("Eseménykód"), TabSheetSMS), 0, 0);
    grid->addWidget(label("lbSMSText", QStringLiteral("SMS szöveg *"), TabSheetSMS), 0, 1);

    int row = 1;
    for (std::size_t i = 0; i < EEAddr::EventOffsets.size(); ++i, ++row) {
        CharGrid *code = eventGrid(EEAddr::EventOffsets[i], TabSheetSMS);
        code->setAccessibleName(QStringLiteral("Event code %1").arg(i + 1));
        QLineEdit *text = textField(EEAddr::SmsOffsets[i], EEAddr::SmsCapacity, TabSheetSMS);
        text->setAccessibleName(QStringLiteral("SMS text %1").arg(i + 1));
        grid->addWidget(code, row, 0, Qt::AlignLeft | Qt::AlignVCenter);
        grid->addWidget(text, row, 1);
    }
    // The last SMS texts belong to the inputs rather than to event codes.
    for (std::size_t i = EEAddr::EventOffsets.size(); i < EEAddr::SmsOffsets.size(); ++i, ++row) {
        const int input = static_cast<int>(i - EEAddr::EventOffsets.size()) + 1;
        QLabel *l = label(QStringLiteral("lbIn%1").arg(input),
                          QStringLiteral("IN%1 bemenet").arg(input), TabSheetSMS);
        QLineEdit *text = textField(EEAddr::SmsOffsets[i], EEAddr::SmsCapacity, TabSheetSMS);
        l->setBuddy(text);
        grid->addWidget(l, row, 0);
        grid->addWidget(text, row, 1);
    }

    QLabel *note = label("lbSMS_COMMENT",
                         QStringLiteral("* : Az SMS szövegben a $ karakter helyére ez kerül : "
                                        "\"eseménykód/partíció/zóna\""),
                         TabSheetSMS);
    note->setWordWrap(true);
    grid->setRowMinimumHeight(row++, 4);
    grid->addWidget(note, row++, 0, 1, 2);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);
}

void TSettingsForm::buildCallFilterPage()
{
    TabSheetCallFilter = addPage("TabSheetCallFilter", QStringLiteral("Hívásszűrés"));
    auto *page = new QVBoxLayout(TabSheetCallFilter);
    page->setContentsMargins(6, 6, 6, 6);

    auto *gbCallFilter = new QGroupBox(QStringLiteral("  Bejövő hívások szűrése  "), TabSheetCallFilter);
    gbCallFilter->setObjectName(QStringLiteral("gbCallFilter"));
    QGridLayout *box = tightGrid(gbCallFilter);

    rgCallFilter = new RadioGroup(gbCallFilter);
    bind(EEAddr::CallFilter, rgCallFilter);
    rgCallFilter->addItem(QStringLiteral("Minden bejövő hívás fogadása"));
    rgCallFilter->addItem(QStringLiteral("Csak az alábbi telefonszámokról érkező hívások fogadása"));
    box->addWidget(rgCallFilter, 0, 0, 1, 2);
    box->setRowMinimumHeight(1, 4);

    for (std::size_t i = 0; i < EEAddr::PhnrEnabledOffsets.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        QLabel *l = label(QStringLiteral("lbPhnrEnabled%1").arg(n),
                          QStringLiteral("%1. engedélyezett telefonszám").arg(n), gbCallFilter);
        CharGrid *g = numberGrid(EEAddr::PhnrEnabledOffsets[i], gbCallFilter);
        l->setBuddy(g);
        m_callFilterLabels[i] = l;
        box->addWidget(l, n + 1, 0);
        box->addWidget(g, n + 1, 1, Qt::AlignLeft);
    }
    box->setColumnStretch(1, 1);
    page->addWidget(gbCallFilter);
    page->addSpacing(8);

    auto *limit = new QHBoxLayout;
    QLabel *line1 = label("lbCallTimeLine1", QStringLiteral("Bejövő hívások időkorlátja (0-25 perc)"),
                          TabSheetCallFilter);
    QSpinBox *callMax = spinner(EEAddr::CallMax, false, TabSheetCallFilter);
    line1->setBuddy(callMax);
    limit->addWidget(line1);
    limit->addWidget(callMax);
    limit->addStretch(1);
    page->addLayout(limit);
    page->addWidget(label("lbCallTimeLine2", QStringLiteral("( 0 = nincs korlátozva )"), TabSheetCallFilter));

    page->addSpacing(8);
    QLabel *no06 = label("lbNo06_1",
                         QStringLiteral("Ne használjon semmilyen előhívó számot, csak körzetszámot és "
                                        "telefonszámot."),
                         TabSheetCallFilter);
    no06->setWordWrap(true);
    page->addWidget(no06);
    page->addStretch(1);

    connect(rgCallFilter, &RadioGroup::itemIndexChanged, this, &TSettingsForm::rgCallFilterClick);
}

void TSettingsForm::buildOutputPage()
{
    TabSheetOUTPUT = addPage("TabSheetOUTPUT", QStringLiteral("Kimenetvezérlés"));
    auto *page = new QVBoxLayout(TabSheetOUTPUT);
    page->setContentsMargins(6, 6, 6, 6);
    page->setSpacing(3);

    auto *gbOutputControl = new QGroupBox(
        QStringLiteral("  Kimenetvezérlés engedélyezése az alábbi telefonszámokról "), TabSheetOUTPUT);
    gbOutputControl->setObjectName(QStringLiteral("gbOutputControl"));
    QGridLayout *box = tightGrid(gbOutputControl);
    for (std::size_t i = 0; i < EEAddr::RelPhnrEnabledOffsets.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        QLabel *l = label(QStringLiteral("lbRelPhnrEnabled%1").arg(n),
                          QStringLiteral("%1. engedélyezett telefonszám").arg(n), gbOutputControl);
        CharGrid *g = numberGrid(EEAddr::RelPhnrEnabledOffsets[i], gbOutputControl);
        l->setBuddy(g);
        box->addWidget(l, n, 0);
        box->addWidget(g, n, 1, Qt::AlignLeft);
    }
    box->setColumnStretch(1, 1);
    page->addWidget(gbOutputControl);
    page->addSpacing(6);

    auto *timing = new QGridLayout;
    timing->setVerticalSpacing(3);
    const struct
    {
        int offset;
        const char *label;
        const char *text;
    } outputs[] = {
        {EEAddr::REL1, "lbControlOut1", "1. vezérelhető kimenet időzítése (0-254 mp, 255=bistabil)"},
        {EEAddr::REL2, "lbControlOut2", "2. vezérelhető kimenet időzítése (0-254 mp, 255=bistabil)"},
    };
    int row = 0;
    for (const auto &o : outputs) {
        QLabel *l = label(o.label, QString::fromUtf8(o.text), TabSheetOUTPUT);
        QSpinBox *s = spinner(o.offset, false, TabSheetOUTPUT);
        l->setBuddy(s);
        timing->addWidget(l, row, 0);
        timing->addWidget(s, row, 1);
        ++row;
    }
    timing->setColumnStretch(2, 1);
    page->addLayout(timing);

    page->addWidget(label("lbControlOut3", QStringLiteral("3. kimenet = GSM hibajelzés"), TabSheetOUTPUT));
    page->addWidget(
        label("lbControlOut4", QStringLiteral("4. kimenet = vezetékes vonal hibajelzés"), TabSheetOUTPUT));
    page->addSpacing(6);
    page->addWidget(label("lbControlOutText1", QStringLiteral("Parancsok hívás közben:"), TabSheetOUTPUT));
    page->addWidget(label("lbControlOutText2",
                          QStringLiteral("1# = OUT1 BE,  2# = OUT2 BE,  4# = OUT1 KI,  5# = OUT2 KI"),
                          TabSheetOUTPUT));
    page->addSpacing(6);
    QLabel *no06 = label("lbNo06_2",
                         QStringLiteral("Ne használjon semmilyen előhívó számot, csak körzetszámot és "
                                        "telefonszámot."),
                         TabSheetOUTPUT);
    no06->setWordWrap(true);
    page->addWidget(no06);
    page->addStretch(1);
}

void TSettingsForm::buildBellPage()
{
    TabSheetBELL103 = addPage("TabSheetBELL103", QStringLiteral("Bell 103"));
    auto *page = new QVBoxLayout(TabSheetBELL103);
    page->setContentsMargins(6, 6, 6, 6);

    auto *gbBell103 = new QGroupBox(QStringLiteral(" \"BELL103\" GSM adathívás fogadása  "), TabSheetBELL103);
    gbBell103->setObjectName(QStringLiteral("gbBell103"));
    QGridLayout *box = tightGrid(gbBell103);

    // Bit 0 of BELLFlags is this choice, bit 1 the callback check box.
    rgBELLCallFilter = new RadioGroup(gbBell103);
    bind(EEAddr::BELLFlags, rgBELLCallFilter);
    rgBELLCallFilter->addItem(QStringLiteral("Minden bejövő adathívás fogadása BELL103 hívásként"));
    rgBELLCallFilter->addItem(QStringLiteral("Csak az alábbi telefonszámokról érkező adathívások fogadása"));
    box->addWidget(rgBELLCallFilter, 0, 0, 1, 2);
    box->setRowMinimumHeight(1, 4);

    for (std::size_t i = 0; i < EEAddr::BellPhnrEnabledOffsets.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        QLabel *l = label(QStringLiteral("lbBELLphnrEnabled%1").arg(n),
                          QStringLiteral("%1. engedélyezett telefonszám").arg(n), gbBell103);
        CharGrid *g = numberGrid(EEAddr::BellPhnrEnabledOffsets[i], gbBell103);
        l->setBuddy(g);
        box->addWidget(l, n + 1, 0);
        box->addWidget(g, n + 1, 1, Qt::AlignLeft);
    }
    box->setRowMinimumHeight(4, 6);
    cbBELLcallback = new QCheckBox(QStringLiteral("BELL103 visszahívás engedélyezése"), gbBell103);
    cbBELLcallback->setObjectName(companionName(EEAddr::BELLFlags));
    box->addWidget(cbBELLcallback, 5, 0, 1, 2);
    QLabel *callback = label("lbBELLcallback",
                             QStringLiteral("A fenti számokra induló GSM hívások adathívásként indulnak."),
                             gbBell103);
    callback->setWordWrap(true);
    box->addWidget(callback, 6, 0, 1, 2);
    box->setColumnStretch(1, 1);
    page->addWidget(gbBell103);

    page->addSpacing(8);
    QLabel *no06 = label("lbNo06_3",
                         QStringLiteral("Ne használjon semmilyen előhívó számot, csak körzetszámot és "
                                        "telefonszámot."),
                         TabSheetBELL103);
    no06->setWordWrap(true);
    page->addWidget(no06);
    page->addStretch(1);

    // The Bell choice shares the call filter's handler, which looks at the
    // call filter only.
    connect(rgBELLCallFilter, &RadioGroup::itemIndexChanged, this, &TSettingsForm::rgCallFilterClick);
}

void TSettingsForm::buildGprsPage()
{
    TabSheetGPRS = addPage("TabSheetGPRS", QStringLiteral("GPRS"));
    QGridLayout *grid = tightGrid(TabSheetGPRS);
    grid->setVerticalSpacing(6);

    cbGPRSmode = new QCheckBox(QStringLiteral("GPRS mode engedélyezése"), TabSheetGPRS);
    bind(EEAddr::GPRSmode, cbGPRSmode);
    cbGPRSmode->installEventFilter(this);
    grid->addWidget(cbGPRSmode, 0, 0, 1, 2);
    grid->setRowMinimumHeight(1, 6);

    QLabel *lbServiceProvider = label("lbServiceProvider", QStringLiteral("Mobil szolgáltató :"), TabSheetGPRS);
    cbServiceProvider = new QComboBox(TabSheetGPRS);
    cbServiceProvider->setObjectName(QStringLiteral("cbServiceProvider"));
    cbServiceProvider->setMinimumContentsLength(GprsPresets::NameWidth / 2);
    lbServiceProvider->setBuddy(cbServiceProvider);
    grid->addWidget(lbServiceProvider, 2, 0);
    grid->addWidget(cbServiceProvider, 2, 1, Qt::AlignLeft);

    const struct
    {
        int offset;
        int limit;
        const char *label;
        const char *text;
    } fields[] = {
        {EEAddr::APN, GprsTextLimit, "lbAPN", "APN :"},
        {EEAddr::UserName, GprsNameLimit, "lbUserName", "Azonosító :"},
        {EEAddr::PWD, GprsNameLimit, "lbPWD", "Jelszó :"},
    };
    int row = 3;
    for (const auto &f : fields) {
        QLabel *l = label(f.label, QString::fromUtf8(f.text), TabSheetGPRS);
        QLineEdit *e = textField(f.offset, f.limit, TabSheetGPRS);
        e->installEventFilter(this);
        l->setBuddy(e);
        grid->addWidget(l, row, 0);
        grid->addWidget(e, row, 1);
        ++row;
    }
    edAPN = findChild<QLineEdit *>(controlName(EEAddr::APN));
    edUserName = findChild<QLineEdit *>(controlName(EEAddr::UserName));
    edPWD = findChild<QLineEdit *>(controlName(EEAddr::PWD));

    btSaveSettings = new QPushButton(QStringLiteral("Save"), TabSheetGPRS);
    btSaveSettings->setObjectName(QStringLiteral("btSaveSettings"));
    btSaveSettings->setAutoDefault(false);
    btSaveSettings->hide();
    grid->addWidget(btSaveSettings, row++, 1, Qt::AlignRight);
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(1, 1);

    connect(cbGPRSmode, &QCheckBox::toggled, this, &TSettingsForm::cbGPRSmodeClick);
    connect(cbServiceProvider, &QComboBox::activated, this, &TSettingsForm::cbServiceProviderChange);
    connect(btSaveSettings, &QPushButton::clicked, this, &TSettingsForm::btSaveSettingsClick);
}

void TSettingsForm::buildTellPage()
{
    TabSheetTELL = addPage("TabSheetTELL", QStringLiteral("TELL"));
    QGridLayout *grid = tightGrid(TabSheetTELL);
    grid->setVerticalSpacing(6);

    QLabel *lbPanelID = label("lbPanelID", QStringLiteral("Sorozatszám:"), TabSheetTELL);
    QSpinBox *panel = spinner(EEAddr::PanelID, true, TabSheetTELL);
    lbPanelID->setBuddy(panel);
    grid->addWidget(lbPanelID, 0, 0);
    grid->addWidget(panel, 0, 1, Qt::AlignLeft);
    grid->setRowMinimumHeight(1, 6);

    for (std::size_t i = 0; i < EEAddr::IPAddressOffsets.size(); ++i) {
        const int n = static_cast<int>(i) + 1;
        const int row = n + 1;
        QLabel *l = label(QStringLiteral("lbIPAddress%1").arg(n),
                          QStringLiteral("%1. IP cím").arg(n), TabSheetTELL);
        IPAddressControl *address = addressControl(EEAddr::IPAddressOffsets[i], TabSheetTELL);
        l->setBuddy(address);
        // The caption names the whole control; the octets take the focus.
        for (int k = 0; k < 4; ++k)
            address->octetField(k)->setAccessibleName(QStringLiteral("IP address %1, octet %2").arg(n).arg(k + 1));
        QLabel *p = label(QStringLiteral("lbPort%1").arg(n), QStringLiteral("port:"),
                          TabSheetTELL);
        QSpinBox *port = spinner(EEAddr::PortOffsets[i], false, TabSheetTELL);
        p->setBuddy(port);
        grid->addWidget(l, row, 0);
        grid->addWidget(address, row, 1, Qt::AlignLeft);
        grid->addWidget(p, row, 2, Qt::AlignRight);
        grid->addWidget(port, row, 3);
    }
    grid->setRowMinimumHeight(6, 6);

    QLabel *lbServerID = label("lbServerID", QStringLiteral("Távfelügyelet azonosító:"), TabSheetTELL);
    QSpinBox *server = spinner(EEAddr::CentralID, true, TabSheetTELL);
    lbServerID->setBuddy(server);
    grid->addWidget(lbServerID, 7, 0);
    grid->addWidget(server, 7, 1, Qt::AlignLeft);
    grid->setRowStretch(8, 1);
    grid->setColumnStretch(4, 1);
}
