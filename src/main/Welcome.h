#pragma once
// The splash window. It is the application's main window: it exists first,
// creates the main window when it is shown, steps aside on its timer's first
// tick, and closing it ends the program.

#include <QFrame>

class QLabel;
class QTimer;

class TWelcomeForm : public QFrame
{
    Q_OBJECT

public:
    static inline const QString Version = QStringLiteral(" v1.03b BELL");
    static constexpr int SplashTime = 20; // ms

    explicit TWelcomeForm(QWidget *parent = nullptr);

    QLabel *lbVersion;
    QTimer *Timer1;

public slots:
    void Timer1Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormShow();
};

extern TWelcomeForm *WelcomeForm;
