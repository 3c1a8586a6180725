#pragma once

#include "appoptions.h"
#include "startupfiles.h"

#include <QUrl>
#include <QWidget>

class ConnectionQuery;
class QComboBox;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QStringListModel;
class UserDialogs;

// The main window form1: the day's quote, the currency choice, the file names, the date range and
// the commands above; the history list or the chart below, on the same rectangle. Controls keep the
// names the rest of the program knows them by, as members and as objectName.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    MainWindow(const AppOptions &options, UserDialogs &dialogs, ConnectionQuery &connection,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // Load handler: defaults, currency list, listing, connection state. Runs once, before showing.
    void Form_Load();
    void Form_Resize();

    QString programFolder() const { return m_options.dataDir; }
    QStringList listLines() const;
    QUrl pageUrl() const; // the address in Text1

    // Upper part.
    QFrame *Frame1 = nullptr;
    QComboBox *Combo1 = nullptr;
    QLineEdit *txtsymbol = nullptr;
    QLabel *Label1[4] = {};
    QLabel *lblData = nullptr;
    QLabel *lblQuote = nullptr;
    QLabel *Label6 = nullptr;
    QLabel *Label15 = nullptr;
    QLabel *Label5 = nullptr;
    QLineEdit *Text4 = nullptr;
    QPushButton *Command9 = nullptr;
    QPushButton *Command8 = nullptr;
    QPushButton *Command5 = nullptr;
    QPushButton *Command10 = nullptr;
    QPushButton *Command11 = nullptr;
    QLineEdit *txtDA_DATA = nullptr;
    QLineEdit *txtA_DATA = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *Text2 = nullptr;
    QPushButton *Command3 = nullptr;
    QLineEdit *Text1 = nullptr;
    // Hidden buttons: never shown, their click operations are run from code.
    QPushButton *Command1 = nullptr;
    QPushButton *Command7 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command6 = nullptr;
    QPushButton *Command4 = nullptr;
    QFileDialog *CommonDialog1 = nullptr; // created on first use
    // Lower part.
    QListView *List1 = nullptr;
    QFrame *Frame2 = nullptr;
    QPlainTextEdit *Text3 = nullptr;

public Q_SLOTS:
    void Command3_Click();
    void Command9_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void setTabOrder();
    QString chooseFile();
    void showConnectionState();

    AppOptions m_options;
    UserDialogs &m_dialogs;
    ConnectionQuery &m_connection;
    QStringListModel *m_listModel = nullptr;
    bool m_resizing = false;
};
