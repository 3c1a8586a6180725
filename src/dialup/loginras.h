#pragma once

#include <QWidget>

class DialUp;
class QLabel;
class QLineEdit;
class QPushButton;

// The small dial-up login window. Start-up fills its three boxes from the credentials file and keeps
// it hidden; it then serves as the keeper of the credentials. Its logic lives in DialUp.
class LoginRas : public QWidget
{
    Q_OBJECT
public:
    explicit LoginRas(DialUp &dialUp, QWidget *parent = nullptr);

    // The native handle the dial passes to the service as its notifier.
    quintptr notifyHandle();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Command1_Click();
    void Command2_Click();

    DialUp &m_dialUp;
};
