#include "app/pagetextbox.h"
#include "app/resizerules.h"
#include "app/translations.h"
#include "app/widgetdialogs.h"
#include "base/twips.h"
#include "chart/chartframe.h"
#include "common/testmain.h"
#include "dialup/connectionwait.h"
#include "windowfixture.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDate>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void controls_data();
    void controls();
    void lowerAreaAndLook();
    void tabOrder();
    void loadDefaults();
    void resizeRule_data();
    void resizeRule();
    void resizeWindow();
    void focusSelectsAll();
    void fileChoosers_data();
    void fileChoosers();
    void standardButtonsInItalian();

private:
    void show();
    WindowFixture *m_fixture = nullptr;
    MainWindow *m_window = nullptr;
};

void TestMainWindow::initTestCase()
{
    // As the program does at start, for the pinned Italian locale.
    QVERIFY(installQtTranslations());
}

void TestMainWindow::init()
{
    m_fixture = new WindowFixture;
    m_window = &m_fixture->open(QStringLiteral("http://127.0.0.1:1/delay/valute/index.shtml"));
}

void TestMainWindow::cleanup()
{
    delete m_fixture;
}

void TestMainWindow::show()
{
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestMainWindow::controls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips"); // width -1: sized to the caption
    QTest::addColumn<bool>("shown");
    auto row = [](const char *name, const char *kind, const char *caption, QRect twips, bool shown = true) {
        QTest::newRow(name) << QString::fromLatin1(kind) << QString::fromUtf8(caption) << twips << shown;
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
    row("Command1", "QPushButton", "Aggiorna Quotazione C1", {30, 90, 1890, 225}, false);
    row("Command7", "QPushButton", "Aggiorna Quotazione C7", {1920, 90, 1920, 225}, false);
    row("Command2", "QPushButton", "Registra Quotazione odierna C2", {3825, 60, 2415, 270}, false);
    row("Command6", "QPushButton", "Apre DB C6", {6225, 105, 1095, 240}, false);
    row("Command4", "QPushButton", "Legge Storico Quotazioni C4", {2535, 585, 2415, 285}, false);
}

void TestMainWindow::controls()
{
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    // The design state, before showing starts the day's job.
    auto *widget = m_window->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QVERIFY(widget->inherits(kind.toLatin1()));
    QCOMPARE(widget->parentWidget(), control<QFrame>(m_window, "Frame1"));
    QTEST(!widget->isHidden(), "shown");

    QCOMPARE(widget->property(widget->inherits("QComboBox") ? "currentText" : "text").toString(), caption);

    QCOMPARE(widget->pos(), QPoint(Twips::toPixels(twips.x()), Twips::toPixels(twips.y())));
    if (twips.width() >= 0)
        QCOMPARE(widget->size(), QSize(Twips::toPixels(twips.width()), Twips::toPixels(twips.height())));
    else // sized to the caption: the whole caption fits
        QVERIFY(widget->width() >= widget->fontMetrics().horizontalAdvance(caption));
    // Fixed sizes hold their captions at the chosen face.
    if (!caption.isEmpty() && widget->inherits("QLabel"))
        QVERIFY(widget->width() >= widget->fontMetrics().horizontalAdvance(caption));
}

void TestMainWindow::lowerAreaAndLook()
{
    show();
    auto *text3 = control<PageTextBox>(m_window, "Text3");
    auto *frame2 = control<ChartFrame>(m_window, "Frame2");
    QCOMPARE(text3->parentWidget(), frame2);
    QVERIFY(!text3->isVisible());
    QCOMPARE(text3->pageText(), QStringLiteral("Text3\r\n"));
    frame2->show();
    text3->show(); // the editor gets the text when the box shows
    QCOMPARE(text3->toPlainText(), QStringLiteral("Text3\n"));
    QCOMPARE(control<QListView>(m_window, "List1")->pos(), QPoint(0, Twips::toPixels(3120)));
    QCOMPARE(frame2->pos(), control<QListView>(m_window, "List1")->pos());
    QCOMPARE(control<QLineEdit>(m_window, "Text1")->palette().color(QPalette::Base), QColor(128, 255, 255));
    QCOMPARE(control<QLabel>(m_window, "Label6")->palette().color(QPalette::WindowText), QColor(0, 0, 192));
    QCOMPARE(control<QLabel>(m_window, "lblQuote")->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(!m_window->windowTitle().isEmpty());
    QVERIFY(!m_window->windowIcon().pixmap(16, 16).isNull());
    QVERIFY(!m_window->windowIcon().pixmap(32, 32).isNull());
}

void TestMainWindow::tabOrder()
{
    const QList<QWidget *> expected = {
        control<QLineEdit>(m_window, "txtsymbol"),   control<QLineEdit>(m_window, "Text1"),
        control<QComboBox>(m_window, "Combo1"),      control<QLineEdit>(m_window, "Text2"),
        control<QPushButton>(m_window, "Command3"),  control<QListView>(m_window, "List1"),
        control<QPushButton>(m_window, "Command5"),  control<QPushButton>(m_window, "Command8"),
        control<QLineEdit>(m_window, "Text4"),       control<QPushButton>(m_window, "Command9"),
        control<QPushButton>(m_window, "Command10"), control<QLineEdit>(m_window, "txtDA_DATA"),
        control<QLineEdit>(m_window, "txtA_DATA"),   control<QPushButton>(m_window, "Command11")};
    show();
    QWidget *current = expected.first();
    for (qsizetype i = 1; i < expected.size(); ++i) {
        do
            current = current->nextInFocusChain();
        while (!current->isVisible() || !(current->focusPolicy() & Qt::TabFocus) ||
               !expected.contains(current));
        QCOMPARE(current, expected.at(i));
    }
}

void TestMainWindow::loadDefaults()
{
    m_fixture->connection.status = {true, ConnectionStatus::Lan | ConnectionStatus::Proxy};
    m_window->Form_Load();
    const QString year = QString::number(QDate::currentDate().year());
    QCOMPARE(control<QLineEdit>(m_window, "Text1")->text(),
             QStringLiteral("http://127.0.0.1:1/delay/valute/index.shtml"));
    QCOMPARE(control<QLineEdit>(m_window, "Text2")->text(), m_fixture->file("Storico_Quotazioni_Valute.TXT"));
    QCOMPARE(control<QLineEdit>(m_window, "Text4")->text(), m_fixture->file("cambiSto.csv"));
    QCOMPARE(control<QLineEdit>(m_window, "txtDA_DATA")->text(), QStringLiteral("01/01/") + year);
    QCOMPARE(control<QLineEdit>(m_window, "txtA_DATA")->text(), QStringLiteral("31/12/") + year);
    QCOMPARE(control<QComboBox>(m_window, "Combo1")->count(), 4);
    QCOMPARE(control<QComboBox>(m_window, "Combo1")->itemText(3),
             QStringLiteral("EUR/GBP - STERLINA INGLESE - 4"));
    QCOMPARE(control<QComboBox>(m_window, "Combo1")->currentText(),
             QStringLiteral("EUR/USD DOLLARO USA - 1"));
    QCOMPARE(control<QComboBox>(m_window, "Combo1")->currentIndex(), -1);
    QCOMPARE(control<QLineEdit>(m_window, "txtsymbol")->text(), QStringLiteral("EUR/USD"));
    QVERIFY(control<ChartFrame>(m_window, "Frame2")->isHidden());
    QCOMPARE(control<QLabel>(m_window, "Label6")->text(), QStringLiteral("Connection uses a Proxy"));
    QCOMPARE(control<QLabel>(m_window, "Label15")->text(), QStringLiteral("Numero records nel Database: 0"));
    QCOMPARE(m_fixture->dialogs.texts(), QStringList());
    QCOMPARE(m_fixture->dialogs.beepCount(), 1); // the listing's
    QVERIFY(!QApplication::overrideCursor());
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
    show();
    // The rules read the outer size, borders included.
    const QSize border = m_window->frameGeometry().size() - m_window->size();
    m_window->resize(QSize(Twips::toPixels(8000), Twips::toPixels(6000)) - border);
    const QSize expected(Twips::toPixels(7795), Twips::toPixels(2300));
    for (QWidget *lower : std::initializer_list<QWidget *>{control<QListView>(m_window, "List1"),
                                                           control<ChartFrame>(m_window, "Frame2")}) {
        QVERIFY(qAbs(lower->width() - expected.width()) <= 1);
        QVERIFY(qAbs(lower->height() - expected.height()) <= 1);
    }
    QCOMPARE(control<QFrame>(m_window, "Frame1")->width(), control<QListView>(m_window, "List1")->width());
    QCOMPARE(control<QFrame>(m_window, "Frame1")->height(), Twips::toPixels(3105));
    QCOMPARE(control<QListView>(m_window, "List1")->pos(),
             QPoint(0, Twips::toPixels(3120))); // positions never move

    // Too small snaps back to 200 by 200 twips; the lower controls keep their sizes.
    const QSize before = control<QListView>(m_window, "List1")->size();
    m_window->resize(3, 3);
    QCOMPARE(m_window->frameGeometry().size(), QSize(Twips::toPixels(200), Twips::toPixels(200)));
    QCOMPARE(control<QListView>(m_window, "List1")->size(), before);
}

void TestMainWindow::focusSelectsAll()
{
    m_window->Form_Load();
    show();
    m_window->activateWindow();
    control<QLineEdit>(m_window, "Text1")->setFocus();
    QTest::keyClick(control<QLineEdit>(m_window, "Text1"), Qt::Key_Tab);  // Text1 -> Combo1
    QTest::keyClick(control<QComboBox>(m_window, "Combo1"), Qt::Key_Tab); // Combo1 -> Text2
    QTRY_VERIFY(control<QLineEdit>(m_window, "Text2")->hasFocus());
    QVERIFY(!control<QLineEdit>(m_window, "Text2")->text().isEmpty());
    QTRY_COMPARE(control<QLineEdit>(m_window, "Text2")->selectedText(),
                 control<QLineEdit>(m_window, "Text2")->text());
}

namespace {

// What a chooser showed when it opened, and its Cancel caption.
struct ChooserView
{
    QString folder;
    QString nameField;
    QStringList filters;
    QString cancel;
};

// Answers the chooser the window is about to open: notes what it shows, then picks the file in
// its folder and opens it, or cancels when there is none.
void answerChooser(QWidget *window, ChooserView &view, const QString &pick)
{
    QTimer::singleShot(0, window, [window, &view, pick] {
        auto *dialog = window->findChild<QFileDialog *>(QStringLiteral("CommonDialog1"));
        if (!dialog)
            return;
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        auto *buttons = dialog->findChild<QDialogButtonBox *>();
        view = {QDir(dialog->directory()).canonicalPath(), name ? name->text() : QStringLiteral("?"),
                dialog->nameFilters(),
                buttons && buttons->button(QDialogButtonBox::Cancel)
                    ? buttons->button(QDialogButtonBox::Cancel)->text()
                    : QString()};
        if (pick.isEmpty() || !name || !buttons)
            return dialog->reject();
        dialog->selectFile(pick);
        buttons->button(QDialogButtonBox::Open)->click();
    });
}

} // namespace

void TestMainWindow::fileChoosers_data()
{
    QTest::addColumn<QString>("button");  // "Command3" fills Text2, "Command9" Text4
    QTest::addColumn<QString>("boxText"); // "~" stands for the data folder; empty: the default
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("nameField");
    QTest::addColumn<QStringList>("filters");
    QTest::addColumn<QString>("pick");   // picked in the chooser; empty: cancel
    QTest::addColumn<QString>("chosen"); // the box afterwards; empty: unchanged
    const QStringList history{"Storico quotazioni (*.TXT *.txt)", "Tutti i file (*)"};
    const QStringList rates{"Cambi ufficiali (*.csv *.CSV *.zip *.xml)", "Tutti i file (*)"};
    const auto add = [](const char *name, const char *button, const char *boxText, const char *folder,
                        const char *nameField, const QStringList &filters, const char *pick = "",
                        const char *chosen = "") {
        QTest::newRow(name) << button << boxText << folder << nameField << filters << pick << chosen;
    };
    add("rates box, its file selected", "Command9", "~/storici/cambi.csv", "~/storici", "cambi.csv", rates);
    add("missing file in an existing folder", "Command3", "~/storici/nuovo.TXT", "~/storici", "", history);
    add("missing folder: the program folder", "Command9", "/non/esiste/cambi.csv", "~", "", rates);
    add("history file chosen", "Command3", "~/storici/Storico.TXT", "~/storici", "Storico.TXT", history,
        "altro.TXT", "~/storici/altro.TXT");
    add("rates file chosen", "Command9", "", "~", "", rates, "cambi.zip", "~/cambi.zip");
}

// Every row first picks a file with the other box's chooser: it must not show in this one.
void TestMainWindow::fileChoosers()
{
    QFETCH(QString, button);
    QFETCH(QString, boxText);
    QFETCH(QString, folder);
    QFETCH(QString, pick);
    QFETCH(QString, chosen);
    const QString root = m_fixture->dir.path();
    const auto inRoot = [&root](QString path) { return path.replace(QLatin1Char('~'), root); };
    QDir(root).mkdir(QStringLiteral("storici"));
    for (const char *name : {"storici/Storico.TXT", "storici/cambi.csv", "scelto.csv"})
        m_fixture->write(QString::fromLatin1(name), "x");
    m_window->Form_Load();
    const bool history = button == QLatin1String("Command3");
    auto *box = control<QLineEdit>(m_window, history ? "Text2" : "Text4");
    auto *otherBox = control<QLineEdit>(m_window, history ? "Text4" : "Text2");
    if (!boxText.isEmpty())
        box->setText(inRoot(boxText));
    const QString before = box->text();

    ChooserView view;
    answerChooser(m_window, view, QStringLiteral("scelto.csv"));
    control<QPushButton>(m_window, history ? "Command9" : "Command3")->click();
    const QString otherChoice = inRoot(QStringLiteral("~/scelto.csv"));
    QCOMPARE(otherBox->text(), otherChoice);
    QCOMPARE(box->text(), before);

    view = {};
    answerChooser(m_window, view, pick);
    control<QPushButton>(m_window, qPrintable(button))->click();
    QCOMPARE(view.folder, QDir(inRoot(folder)).canonicalPath());
    QTEST(view.nameField, "nameField");
    QTEST(view.filters, "filters");
    QCOMPARE(view.cancel, QStringLiteral("Annulla"));
    QCOMPARE(box->text(), chosen.isEmpty() ? before : inRoot(chosen));
    QCOMPARE(otherBox->text(), otherChoice);
}

// The end-of-program question, with Qt's own captions in Italian.
void TestMainWindow::standardButtonsInItalian()
{
    WidgetDialogs dialogs(m_window);
    DialUp dialUp(m_fixture->access, dialogs);
    QStringList captions;
    QString title;
    QTimer::singleShot(0, m_window, [&captions, &title] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        for (QAbstractButton *button : box->buttons())
            captions << button->text();
        box->button(QMessageBox::Cancel)->click();
    });
    askCloseConnection(dialogs, dialUp);
    captions.sort();
    QCOMPARE(title, QStringLiteral("Fine programma"));
    QCOMPARE(captions, QStringList({"Annulla", "OK"}));
    QCOMPARE(m_fixture->access.hungUp, QList<qint32>()); // cancelled: the connection stays
}

QUOTAZIONI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
