#pragma once

#include "dialup/dialup.h"

#include <QWidget>

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

    // The three boxes as they stand, and filled at start-up.
    DialCredentials credentials() const;
    void setCredentials(const DialCredentials &credentials);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Command1_Click();
    void Command2_Click();

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    DialUp &m_dialUp;
};
