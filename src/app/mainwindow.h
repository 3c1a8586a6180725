#pragma once

#include "app/appoptions.h"
#include "session/quotesession.h"

#include <QUrl>
#include <QWidget>

class ChartFrame;
class ConnectionQuery;
class DialUp;
class LoginRas;
class PageTextBox;
class QPrinter;
class RecordListModel;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class UserDialogs;

// The main window form1: the day's quote, the currency choice, the file names, the date range and
// the commands above; the history list or the chart below, on the same rectangle. Controls keep the
// names the program's users know them by, as private members and as objectName. The work is the
// session's: each handler copies what the user typed into it, runs a step and shows the result.
class MainWindow : public QWidget
{
    Q_OBJECT
public:
    // The login window Login_RAS keeps the dial-up credentials that start-up read into it.
    MainWindow(const AppOptions &options, UserDialogs &dialogs, ConnectionQuery &connection, DialUp &dialUp,
               LoginRas &loginRas, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Load handler: defaults, currency list, listing, connection wait. Runs once, before showing.
    void Form_Load();
    void Form_Resize();
    // The day's job: list, fetch, record, show, list again, chart. Runs once at the first showing
    // of the window, and again on F5.
    void runDailyCycle();
    // The first activation's job: the daily cycle, or the import asked for on the command line.
    void Form_Activate();
    // Shutdown: database closed, the question about the dial-up connection, the end.
    void Form_Unload();
    // Picks the pair whose item starts with the symbol, as the user would in Combo1.
    bool selectPair(const QString &symbol);

    QStringList listLines() const; // the lines the record list shows
    QUrl pageUrl() const;          // the address in Text1
    // The database could not be opened: the program ends without its shutdown handling.
    bool programEnded() const { return m_session.ended(); }
    const QuoteSession &session() const { return m_session; }

public Q_SLOTS:
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void Command5_Click();
    void Command6_Click();
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();
    void Command10_Click();
    void Command11_Click();
    void Combo1_Click();

public:
    // Prints the window's image on one page of the printer, scaled to fit.
    void printWindow(QPrinter &printer);

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
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
    // Lower part.
    QListView *List1 = nullptr;
    ChartFrame *Frame2 = nullptr;
    PageTextBox *Text3 = nullptr;

    void buildControls();
    void fitFont();
    void setTabOrder();
    void waitForConnection();
    void copyTypedIn();
    void showQuote();
    void showFillProgress(const ReferenceFill::Progress &progress);
    void endProgram();
    // Long work that lets events through (the daily cycle, the import, a pair's listing): a close
    // request that arrives meanwhile stops it first, and the window closes once it has returned.
    class LongWork;
    bool closing() const { return m_closeRequested; }

    AppOptions m_options;
    UserDialogs &m_dialogs;
    ConnectionQuery &m_connection;
    DialUp &m_dialUp;
    LoginRas &m_loginRas;
    RecordListModel *m_listModel = nullptr;
    QuoteSession m_session;
    bool m_resizing = false;
    bool m_activated = false;
    bool m_unloaded = false;
    int m_longWork = 0; // long work under way, nested
    bool m_closeRequested = false;
};
