#include "chartframe.h"
#include "connectionstate.h"
#include "dialup.h"
#include "loginras.h"
#include "mainwindow.h"
#include "recordingdialogs.h"
#include "resizerules.h"
#include "testmain.h"
#include "twips.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDate>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

namespace {

class FixedConnection : public ConnectionQuery
{
public:
    ConnectionStatus status;
    int queries = 0;
    ConnectionStatus query() override
    {
        ++queries;
        return status;
    }
};

// No modem here: the dial-up service knows no entry and has no connection.
class NoDialUp : public RemoteAccess
{
public:
    qint32 dial(quintptr, const QString &, const QString &, const QString &, qint32 &) override
    {
        return RasCode::CannotFindEntry;
    }
    qint32 connectStatus(qint32, RasStatus &) override { return RasCode::InvalidHandle; }
    qint32 hangUp(qint32) override { return RasCode::InvalidHandle; }
    qint32 enumerate(QList<qint32> &handles) override
    {
        handles.clear();
        return RasCode::Success;
    }
};

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void hiddenControls();
    void tabOrder();
    void loadDefaults();
    void connectionState();
    void resizeRule_data();
    void resizeRule();
    void resizeWindow();
    void tooSmallSnapsBack();
    void focusSelectsAll();
    void fileChoosers();

private:
    QTemporaryDir *m_dir = nullptr;
    RecordingDialogs *m_dialogs = nullptr;
    FixedConnection *m_connection = nullptr;
    NoDialUp m_access;
    DialUp *m_dialUp = nullptr;
    LoginRas *m_login = nullptr;
    MainWindow *m_window = nullptr;
};

void TestMainWindow::init()
{
    m_dir = new QTemporaryDir;
    QFile list(m_dir->filePath(QStringLiteral("zantoro.TXT")));
    list.open(QIODevice::WriteOnly);
    list.write("EUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
    list.close();
    m_dialogs = new RecordingDialogs;
    m_connection = new FixedConnection;
    AppOptions options;
    options.dataDir = m_dir->path();
    options.pageUrl = QStringLiteral("http://127.0.0.1:1/delay/valute/index.shtml");
    QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), m_dir->filePath(QStringLiteral("VALUTE.MDB")));
    QFile(m_dir->filePath(QStringLiteral("VALUTE.MDB"))).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    m_dialUp = new DialUp(m_access, *m_dialogs);
    m_login = new LoginRas(*m_dialUp);
    m_window = new MainWindow(options, *m_dialogs, *m_connection, *m_dialUp, *m_login);
}

void TestMainWindow::cleanup()
{
    delete m_window;
    delete m_login;
    delete m_dialUp;
    delete m_connection;
    delete m_dialogs;
    delete m_dir;
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips"); // width -1: sized to the caption

    auto row = [](const char *name, const char *kind, const QString &caption, QRect twips) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << caption << twips;
    };
    row("Combo1", "QComboBox", "Combo1", {2550, 300, 5685, 315});
    row("txtsymbol", "QLineEdit", "DOLLARO USA", {300, 285, 2130, 300});
    row("Label1(0)", "QLabel", "Data:", {300, 1230, -1, -1});
    row("lblData", "QLabel", "", {1455, 1230, 1470, 270});
    row("Label1(1)", "QLabel", "Quotazione:", {300, 1575, -1, -1});
    row("lblQuote", "QLabel", "", {1455, 1545, 1470, 270});
    row("Label6", "QLabel", "Tipo connessione IE", {2940, 1890, -1, -1});
    row("Label15", "QLabel", "Numero records nel Database: 0", {3000, 1275, -1, -1});
    row("Label5", "QLabel", "Nome file Storico Cambi ufficiali", {90, 630, 2385, 255});
    row("Text4", "QLineEdit", "", {75, 840, 5235, 285});
    row("Command9", "QPushButton", "...", {5355, 840, 375, 300});
    row("Command8", "QPushButton", "Carica storico cambi ufficiali", {5820, 795, 2415, 360});
    row("Command5", "QPushButton", "Grafico", {5820, 1170, 1230, 375});
    row("Command10", "QPushButton", "Elenco", {7050, 1170, 1185, 375});
    row("Command11", "QPushButton", "Stampa", {3015, 1530, 1185, 300});
    row("Label1(2)", "QLabel", "Da data:", {4650, 1650, -1, -1});
    row("txtDA_DATA", "QLineEdit", "", {5355, 1620, 1110, 285});
    row("Label1(3)", "QLabel", " a data:", {6510, 1650, -1, -1});
    row("txtA_DATA", "QLineEdit", "", {7125, 1620, 1110, 285});
    row("Label2", "QLabel", "Nome file Storico Quotazioni", {135, 1905, 2175, 255});
    row("Text2", "QLineEdit", "", {105, 2115, 7455, 285});
    row("Command3", "QPushButton", "...", {7650, 2115, 615, 300});
    row("Text1", "QLineEdit", "", {90, 2595, 8145, 300});
}

void TestMainWindow::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);

    // The design state, before showing starts the day's job.
    auto *control = m_window->findChild<QWidget *>(name);
    QVERIFY2(control, qPrintable(name));
    QVERIFY(control->inherits(kind.toLatin1()));
    QCOMPARE(control->parentWidget(), m_window->Frame1);
    QVERIFY(!control->isHidden());

    QString text;
    if (auto *label = qobject_cast<QLabel *>(control))
        text = label->text();
    else if (auto *line = qobject_cast<QLineEdit *>(control))
        text = line->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(control))
        text = button->text();
    else if (auto *combo = qobject_cast<QComboBox *>(control))
        text = combo->currentText();
    QCOMPARE(text, caption);

    QCOMPARE(control->pos(), QPoint(Twips::toPixels(twips.x()), Twips::toPixels(twips.y())));
    if (twips.width() >= 0) {
        QCOMPARE(control->size(), QSize(Twips::toPixels(twips.width()), Twips::toPixels(twips.height())));
    } else {
        // Sized to the caption: the whole caption fits.
        QVERIFY(control->width() >= control->fontMetrics().horizontalAdvance(caption));
    }
}

void TestMainWindow::hiddenControls()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const QList<std::pair<const char *, const char *>> hidden = {
        {"Command1", "Aggiorna Quotazione C1"},
        {"Command7", "Aggiorna Quotazione C7"},
        {"Command2", "Registra Quotazione odierna C2"},
        {"Command6", "Apre DB C6"},
        {"Command4", "Legge Storico Quotazioni C4"}};
    for (const auto &[name, caption] : hidden) {
        auto *button = m_window->findChild<QAbstractButton *>(QString::fromLatin1(name));
        QVERIFY2(button, name);
        QVERIFY2(!button->isVisible(), name);
        QCOMPARE(button->text(), QString::fromUtf8(caption));
    }
    QCOMPARE(m_window->Text3->parentWidget(), m_window->Frame2);
    QVERIFY(!m_window->Text3->isVisible());
    QCOMPARE(m_window->Text3->toPlainText(), QStringLiteral("Text3\n"));
    QCOMPARE(m_window->List1->pos(), m_window->Frame2->pos());
    QCOMPARE(m_window->List1->pos(), QPoint(0, Twips::toPixels(3120)));
    QVERIFY(m_window->Text1->palette().color(QPalette::Base) == QColor(128, 255, 255));
    QVERIFY(m_window->Label6->palette().color(QPalette::WindowText) == QColor(0, 0, 192));
    QVERIFY(m_window->lblQuote->palette().color(QPalette::Window) == Qt::white);
    QVERIFY(!m_window->windowTitle().isEmpty());
    QVERIFY(!m_window->windowIcon().pixmap(16, 16).isNull());
    QVERIFY(!m_window->windowIcon().pixmap(32, 32).isNull());
}

void TestMainWindow::tabOrder()
{
    const QList<QWidget *> expected = {static_cast<QWidget *>(m_window->txtsymbol),
                                       m_window->Text1,
                                       m_window->Combo1,
                                       m_window->Text2,
                                       m_window->Command3,
                                       m_window->List1,
                                       m_window->Command5,
                                       m_window->Command8,
                                       m_window->Text4,
                                       m_window->Command9,
                                       m_window->Command10,
                                       m_window->txtDA_DATA,
                                       m_window->txtA_DATA,
                                       m_window->Command11};
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QWidget *current = m_window->txtsymbol;
    for (qsizetype i = 1; i < expected.size(); ++i) {
        do {
            current = current->nextInFocusChain();
        } while (!(current->isVisible() && current->focusPolicy() & Qt::TabFocus) ||
                 !expected.contains(current));
        QCOMPARE(current, expected.at(i));
    }
}

void TestMainWindow::loadDefaults()
{
    m_window->Form_Load();
    const QString year = QString::number(QDate::currentDate().year());
    QCOMPARE(m_window->Text1->text(), QStringLiteral("http://127.0.0.1:1/delay/valute/index.shtml"));
    QCOMPARE(m_window->Text2->text(), m_dir->filePath(QStringLiteral("Storico_Quotazioni_Valute.TXT")));
    QCOMPARE(m_window->Text4->text(), m_dir->filePath(QStringLiteral("cambiSto.csv")));
    QCOMPARE(m_window->txtDA_DATA->text(), QStringLiteral("01/01/") + year);
    QCOMPARE(m_window->txtA_DATA->text(), QStringLiteral("31/12/") + year);
    QCOMPARE(m_window->Combo1->count(), 4);
    QCOMPARE(m_window->Combo1->itemText(3), QStringLiteral("EUR/GBP - STERLINA INGLESE - 4"));
    QCOMPARE(m_window->Combo1->currentText(), QStringLiteral("EUR/USD DOLLARO USA - 1"));
    QCOMPARE(m_window->Combo1->currentIndex(), -1);
    QCOMPARE(m_window->txtsymbol->text(), QStringLiteral("EUR/USD"));
    QVERIFY(m_window->Frame2->isHidden());
    QVERIFY(m_dialogs->texts().isEmpty());
    QCOMPARE(m_dialogs->beepCount(), 1); // the listing's
    QCOMPARE(m_window->Label15->text(), QStringLiteral("Numero records nel Database: 0"));
    QVERIFY(!QApplication::overrideCursor());
}

void TestMainWindow::connectionState()
{
    m_connection->status = {true, ConnectionStatus::Lan | ConnectionStatus::Proxy};
    m_window->Form_Load();
    QCOMPARE(m_window->Label6->text(), QStringLiteral("Connection uses a Proxy"));
    QVERIFY(m_window->Label6->width() >=
            m_window->Label6->fontMetrics().horizontalAdvance(m_window->Label6->text()));
}

void TestMainWindow::resizeRule_data()
{
    QTest::addColumn<double>("width");
    QTest::addColumn<double>("height");
    QTest::addColumn<double>("lowerWidth"); // -1: unchanged
    QTest::addColumn<double>("lowerHeight");
    QTest::newRow("8000 by 6000") << 8000.0 << 6000.0 << 7795.0 << 2300.0;
    QTest::newRow("at the limits") << 205.0 << 3700.0 << -1.0 << -1.0;
    QTest::newRow("just above") << 206.0 << 3701.0 << 1.0 << 1.0;
}

void TestMainWindow::resizeRule()
{
    QFETCH(double, width);
    QFETCH(double, height);
    const LowerAreaSize size = lowerAreaSize(width, height);
    QTEST(size.width.value_or(-1), "lowerWidth");
    QTEST(size.height.value_or(-1), "lowerHeight");
}

void TestMainWindow::resizeWindow()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    // The rules read the outer size, borders included.
    const QSize border = m_window->frameGeometry().size() - m_window->size();
    m_window->resize(QSize(Twips::toPixels(8000), Twips::toPixels(6000)) - border);
    const QSize expected(Twips::toPixels(7795), Twips::toPixels(2300));
    for (QWidget *lower : std::initializer_list<QWidget *>{m_window->List1, m_window->Frame2}) {
        QVERIFY(qAbs(lower->width() - expected.width()) <= 1);
        QVERIFY(qAbs(lower->height() - expected.height()) <= 1);
    }
    QCOMPARE(m_window->Frame1->width(), m_window->List1->width());
    QCOMPARE(m_window->Frame1->height(), Twips::toPixels(3105));
    QCOMPARE(m_window->List1->pos(), QPoint(0, Twips::toPixels(3120))); // positions never move
}

void TestMainWindow::tooSmallSnapsBack()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    const QSize before = m_window->List1->size();
    m_window->resize(3, 3);
    QCOMPARE(m_window->frameGeometry().size(), QSize(Twips::toPixels(200), Twips::toPixels(200)));
    QCOMPARE(m_window->List1->size(), before);
}

void TestMainWindow::focusSelectsAll()
{
    m_window->Form_Load();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    m_window->activateWindow();
    m_window->Text1->setFocus();
    QTest::keyClick(m_window->Text1, Qt::Key_Tab);  // Text1 -> Combo1
    QTest::keyClick(m_window->Combo1, Qt::Key_Tab); // Combo1 -> Text2
    QTRY_VERIFY(m_window->Text2->hasFocus());
    QTRY_COMPARE(m_window->Text2->selectedText(), m_window->Text2->text());
    QVERIFY(!m_window->Text2->text().isEmpty());
}

void TestMainWindow::fileChoosers()
{
    m_window->Form_Load();
    const QString chosen = m_dir->filePath(QStringLiteral("altro.TXT"));
    QFile(chosen).open(QIODevice::WriteOnly);
    const QString rates = m_window->Text4->text();

    auto answer = [this](const QString &file) {
        QTimer::singleShot(0, this, [this, file] {
            QFileDialog *dialog = m_window->findChild<QFileDialog *>(QStringLiteral("CommonDialog1"));
            QVERIFY(dialog);
            QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(m_dir->path()).canonicalPath());
            if (file.isEmpty()) {
                dialog->reject();
            } else {
                dialog->selectFile(file);
                QMetaObject::invokeMethod(dialog, "accept");
            }
        });
    };
    answer(chosen);
    m_window->Command3_Click();
    QCOMPARE(m_window->Text2->text(), chosen);
    QCOMPARE(m_window->Text4->text(), rates); // the other box is left alone

    answer(QString());
    m_window->Command9_Click();
    QCOMPARE(m_window->Text4->text(), rates); // cancelled
    answer(QString());
    m_window->Command3_Click();
    QCOMPARE(m_window->Text2->text(), chosen);
}

QUOTAZIONI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
