#pragma once
// The port selection window: the known serial ports, present ones in black
// and absent ones in dark red, refreshed once a second; a right-click adds a
// port by number. TSorosDialog creates one for each run.

#include <QDialog>
#include <QStringList>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;
class PortGridModel;

class TFormComPort : public QDialog
{
    Q_OBJECT

public:
    // The model role that holds a row's whole entry, presence mark included.
    static constexpr int EntryRole = Qt::UserRole;

    explicit TFormComPort(QWidget *parent = nullptr);

    QLabel *Label1;
    QTableView *StringGrid1;
    QMenu *PopupMenu1;
    QAction *jporthozzadsa1;
    QLabel *Panel1;
    QLabel *Panel2;
    QPushButton *Button1;
    QTimer *Timer1;

    void setDefaultDisplayName(const QString &name) { m_defaultName = name; }
    void setAddPrompt(const QString &prompt) { m_addPrompt = prompt; }
    QString addPrompt() const { return m_addPrompt; }

    int chosenNumber() const { return m_chosenNumber; }
    QString chosenName() const { return m_chosenName; }
    QString chosenDisplayName() const { return m_chosenDisplayName; }

    void FormActivate();
    void FormClose();
    void Timer1Timer();
    void StringgridInit();
    void GridBeallit(const QString &displayName);
    void StringGrid1SelectCell(int row);
    void Kivalaszt(int row);
    void UpdatePanelHints();
    void Button1Click();
    void jporthozzadsa1Click();
    // The add-port step for a typed answer: a number from 1 to 96 adds that
    // port, highlighted and chosen; anything else is ignored.
    void addPort(const QString &answer);

    // Top row that puts `row` near the middle of `visibleRows`.
    static int centredTopRow(int row, int rowCount, int visibleRows);

    void done(int result) override;

protected:
    bool event(QEvent *e) override;
    void showEvent(QShowEvent *e) override;

private:
    void FormCreate();
    void buildControls();
    QString entryAt(int row) const;

    PortGridModel *m_model = nullptr;
    QStringList m_marked;
    QStringList m_user;
    int m_chosenNumber = 0;
    QString m_chosenName;
    QString m_chosenDisplayName;
    QString m_defaultName;
    QString m_addPrompt;
    bool m_settingRow = false;
    bool m_centred = false;
    bool m_activateOnReturn = true;
};
