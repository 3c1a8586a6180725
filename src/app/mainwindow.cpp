#include "app/mainwindow.h"

#include "app/pagetextbox.h"
#include "app/recordlistmodel.h"
#include "app/resizerules.h"
#include "base/twips.h"
#include "base/userdialogs.h"
#include "chart/chartframe.h"
#include "core/pairsymbol.h"
#include "core/recordline.h"
#include "dialup/connectionstate.h"
#include "dialup/connectionwait.h"
#include "dialup/dialup.h"
#include "dialup/loginras.h"
#include "history/filechoice.h"

#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QDate>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QTimer>

namespace {

// The hourglass for the life of a long step, restored on every way out.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// A control of the form with its name and its place in twips.
template <typename W> W *makeControl(QWidget *parent, const QString &name, const QRectF &twips)
{
    auto *widget = new W(parent);
    widget->setObjectName(name);
    widget->setGeometry(Twips::rect(twips.x(), twips.y(), twips.width(), twips.height()));
    return widget;
}

QLabel *label(QWidget *parent, const QString &name, const QString &caption, const QRectF &twips)
{
    auto *label = makeControl<QLabel>(parent, name, twips);
    label->setText(caption);
    return label;
}

// Labels that size themselves to their caption.
QLabel *autoLabel(QWidget *parent, const QString &name, const QString &caption, double left, double top)
{
    QLabel *sized = label(parent, name, caption, {left, top, 0, 0});
    sized->adjustSize();
    return sized;
}

void setColor(QWidget *widget, QPalette::ColorRole role, const QColor &color)
{
    QPalette palette = widget->palette();
    palette.setColor(role, color);
    widget->setPalette(palette);
}

QLabel *boxedLabel(QWidget *parent, const QString &name, const QRectF &twips)
{
    auto *box = makeControl<QLabel>(parent, name, twips);
    box->setFrameStyle(QFrame::Box | QFrame::Plain);
    box->setAutoFillBackground(true);
    setColor(box, QPalette::Window, Qt::white);
    return box;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, const QRectF &twips)
{
    auto *command = makeControl<QPushButton>(parent, name, twips);
    command->setText(caption);
    command->setAutoDefault(false);
    return command;
}

} // namespace

class MainWindow::LongWork
{
public:
    explicit LongWork(MainWindow &window) : m_window(window) { ++m_window.m_longWork; }
    ~LongWork()
    {
        if (--m_window.m_longWork == 0 && m_window.m_closeRequested)
            QMetaObject::invokeMethod(&m_window, &QWidget::close, Qt::QueuedConnection);
    }
    LongWork(const LongWork &) = delete;
    LongWork &operator=(const LongWork &) = delete;

private:
    MainWindow &m_window;
};

MainWindow::MainWindow(const AppOptions &options, UserDialogs &dialogs, ConnectionQuery &connection,
                       DialUp &dialUp, LoginRas &loginRas, QWidget *parent)
    : QWidget(parent), m_options(options), m_dialogs(dialogs), m_connection(connection), m_dialUp(dialUp),
      m_loginRas(loginRas), m_session(options.dataDir, dialogs)
{
    setObjectName(QStringLiteral("form1"));
    m_session.setDatabaseLocation(options.databaseUrl);
    setWindowTitle(QStringLiteral("Lettura quotazioni valute da Internet"));
    Q_INIT_RESOURCE(resources); // the icons live in this static library
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/quotazioni-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/quotazioni-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    buildControls();
    fitFont();
    setTabOrder();
    setGeometry(Twips::rect(1845, 810, 8490, 6135));

    // The day's job runs by itself once; F5 runs it again on demand.
    auto *again = new QShortcut(QKeySequence(Qt::Key_F5), this);
    connect(again, &QShortcut::activated, this, &MainWindow::runDailyCycle);
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    Frame1 = makeControl<QFrame>(this, QStringLiteral("Frame1"), {-15, 0, 8400, 3105});
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);

    Combo1 = makeControl<QComboBox>(Frame1, QStringLiteral("Combo1"), {2550, 300, 5685, 315});
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    // Qt takes Return in the box, leaving the box (Tab) and a completion as picking the item whose
    // text the box holds; here only a pick from the list, with the mouse or the keys, selects a pair.
    // The box keeps its completion, which fills in the text and nothing more.
    QObject::disconnect(Combo1->lineEdit(), SIGNAL(returnPressed()), Combo1, SLOT(_q_returnPressed()));
    QObject::disconnect(Combo1->lineEdit(), SIGNAL(editingFinished()), Combo1, SLOT(_q_editingFinished()));
    QObject::disconnect(Combo1->completer(), SIGNAL(activated(QModelIndex)), Combo1,
                        SLOT(_q_completerActivated(QModelIndex)));
    Combo1->setEditText(QStringLiteral("Combo1"));
    txtsymbol = makeControl<QLineEdit>(Frame1, QStringLiteral("txtsymbol"), {300, 285, 2130, 300});
    txtsymbol->setText(QStringLiteral("DOLLARO USA"));

    Label1[0] = autoLabel(Frame1, QStringLiteral("Label1(0)"), QStringLiteral("Data:"), 300, 1230);
    lblData = boxedLabel(Frame1, QStringLiteral("lblData"), {1455, 1230, 1470, 270});
    Label1[1] = autoLabel(Frame1, QStringLiteral("Label1(1)"), QStringLiteral("Quotazione:"), 300, 1575);
    lblQuote = boxedLabel(Frame1, QStringLiteral("lblQuote"), {1455, 1545, 1470, 270});
    Label6 = autoLabel(Frame1, QStringLiteral("Label6"), QStringLiteral("Tipo connessione IE"), 2940, 1890);
    setColor(Label6, QPalette::WindowText, QColor(0, 0, 192));
    Label15 = autoLabel(Frame1, QStringLiteral("Label15"), QStringLiteral("Numero records nel Database: 0"),
                        3000, 1275);

    Label5 = label(Frame1, QStringLiteral("Label5"), QStringLiteral("Nome file Storico Cambi ufficiali"),
                   {90, 630, 2385, 255});
    Text4 = makeControl<QLineEdit>(Frame1, QStringLiteral("Text4"), {75, 840, 5235, 285});
    Command9 = button(Frame1, QStringLiteral("Command9"), QStringLiteral("..."), {5355, 840, 375, 300});
    Command8 = button(Frame1, QStringLiteral("Command8"), QStringLiteral("Carica storico cambi ufficiali"),
                      {5820, 795, 2415, 360});
    Command5 = button(Frame1, QStringLiteral("Command5"), QStringLiteral("Grafico"), {5820, 1170, 1230, 375});
    Command10 =
        button(Frame1, QStringLiteral("Command10"), QStringLiteral("Elenco"), {7050, 1170, 1185, 375});
    Command11 =
        button(Frame1, QStringLiteral("Command11"), QStringLiteral("Stampa"), {3015, 1530, 1185, 300});

    Label1[2] = autoLabel(Frame1, QStringLiteral("Label1(2)"), QStringLiteral("Da data:"), 4650, 1650);
    txtDA_DATA = makeControl<QLineEdit>(Frame1, QStringLiteral("txtDA_DATA"), {5355, 1620, 1110, 285});
    Label1[3] = autoLabel(Frame1, QStringLiteral("Label1(3)"), QStringLiteral(" a data:"), 6510, 1650);
    txtA_DATA = makeControl<QLineEdit>(Frame1, QStringLiteral("txtA_DATA"), {7125, 1620, 1110, 285});

    Label2 = label(Frame1, QStringLiteral("Label2"), QStringLiteral("Nome file Storico Quotazioni"),
                   {135, 1905, 2175, 255});
    Text2 = makeControl<QLineEdit>(Frame1, QStringLiteral("Text2"), {105, 2115, 7455, 285});
    Command3 = button(Frame1, QStringLiteral("Command3"), QStringLiteral("..."), {7650, 2115, 615, 300});
    Text1 = makeControl<QLineEdit>(Frame1, QStringLiteral("Text1"), {90, 2595, 8145, 300});
    setColor(Text1, QPalette::Base, QColor(128, 255, 255));

    Command1 = button(Frame1, QStringLiteral("Command1"), QStringLiteral("Aggiorna Quotazione C1"),
                      {30, 90, 1890, 225});
    Command7 = button(Frame1, QStringLiteral("Command7"), QStringLiteral("Aggiorna Quotazione C7"),
                      {1920, 90, 1920, 225});
    Command2 = button(Frame1, QStringLiteral("Command2"), QStringLiteral("Registra Quotazione odierna C2"),
                      {3825, 60, 2415, 270});
    Command6 =
        button(Frame1, QStringLiteral("Command6"), QStringLiteral("Apre DB C6"), {6225, 105, 1095, 240});
    Command4 = button(Frame1, QStringLiteral("Command4"), QStringLiteral("Legge Storico Quotazioni C4"),
                      {2535, 585, 2415, 285});
    for (QPushButton *hidden : {Command1, Command7, Command2, Command6, Command4})
        hidden->setVisible(false);

    List1 = makeControl<QListView>(this, QStringLiteral("List1"), {0, 3120, 8415, 2205});
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listModel = new RecordListModel(this);
    List1->setModel(m_listModel);
    Frame2 = makeControl<ChartFrame>(this, QStringLiteral("Frame2"), {0, 3120, 8415, 2895});
    Text3 = makeControl<PageTextBox>(Frame2, QStringLiteral("Text3"), {3630, 1605, 8430, 2865});
    Text3->setPageText(QStringLiteral("Text3\r\n"));
    Text3->setVisible(false);

    for (QWidget *box :
         std::initializer_list<QWidget *>{Text1, Text2, Text3, Text4, txtA_DATA, txtDA_DATA, txtsymbol})
        box->installEventFilter(this);

    const std::pair<QPushButton *, void (MainWindow::*)()> handlers[] = {
        {Command1, &MainWindow::Command1_Click},  {Command2, &MainWindow::Command2_Click},
        {Command3, &MainWindow::Command3_Click},  {Command4, &MainWindow::Command4_Click},
        {Command5, &MainWindow::Command5_Click},  {Command6, &MainWindow::Command6_Click},
        {Command7, &MainWindow::Command7_Click},  {Command8, &MainWindow::Command8_Click},
        {Command9, &MainWindow::Command9_Click},  {Command10, &MainWindow::Command10_Click},
        {Command11, &MainWindow::Command11_Click}};
    for (const auto &[command, handler] : handlers)
        connect(command, &QPushButton::clicked, this, handler);
    // Only a pick from the list selects a pair; typing into the box changes nothing else.
    connect(Combo1, &QComboBox::activated, this, &MainWindow::Combo1_Click);
}

void MainWindow::fitFont()
{
    // The layout is sized for a small sans-serif face of about 8 points. Prefer faces with those
    // metrics and, where only wider ones exist, step down until the longest fixed captions fit.
    QFont face = font();
    face.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica"), face.family()});
    const QList<QWidget *> fixed = {Label5, Label2, Command8, Command3};
    for (qreal size = 8; size >= 6; size -= 0.25) {
        face.setPointSizeF(size);
        const QFontMetrics metrics(face);
        const bool fits = std::all_of(fixed.begin(), fixed.end(), [&metrics](QWidget *control) {
            const auto *label = qobject_cast<QLabel *>(control);
            const QString text = label ? label->text() : qobject_cast<QPushButton *>(control)->text();
            const int margin = label ? 0 : 8;
            return metrics.horizontalAdvance(text) + margin <= control->width();
        });
        if (fits)
            break;
    }
    setFont(face);
    for (QLabel *label : findChildren<QLabel *>()) {
        if (label->objectName().startsWith(QLatin1String("Label1(")) || label == Label6 || label == Label15)
            label->adjustSize(); // the captions that size themselves follow the face
    }
}

void MainWindow::setTabOrder()
{
    const QList<QWidget *> order = {txtsymbol, Text1,    Combo1,    Text2,      Command3,  List1,    Command4,
                                    Command5,  Text3,    Command7,  Command2,   Command1,  Command8, Text4,
                                    Command9,  Command6, Command10, txtDA_DATA, txtA_DATA, Command11};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order.at(i - 1), order.at(i));
}

QStringList MainWindow::listLines() const
{
    return m_listModel->lines().toStringList();
}

QUrl MainWindow::pageUrl() const
{
    return QUrl(Text1->text().trimmed());
}

void MainWindow::Form_Load()
{
    WaitCursor hourglass;
    m_session.loadDefaults(m_options.pageUrl);
    const QString year = QString::number(QDate::currentDate().year()).rightJustified(4, QLatin1Char('0'));
    Text1->setText(m_session.pageAddress());
    Text2->setText(m_session.historyFileName());
    Text4->setText(m_session.ratesFileName());
    txtDA_DATA->setText(QStringLiteral("01/01/") + year);
    txtA_DATA->setText(QStringLiteral("31/12/") + year);

    Combo1->clear();
    Combo1->addItems(m_session.pairItems());
    // A text that matches no item: nothing is selected and the selection handler does not run.
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(m_session.selector());
    txtsymbol->setText(PairSymbol::of(Combo1->currentText()));
    Frame2->setVisible(false);

    Command6_Click();
    if (programEnded())
        return;
    waitForConnection();
    QCoreApplication::processEvents();
}

void MainWindow::waitForConnection()
{
    auto state = [this] {
        const ConnectionStatus status = m_connection.query();
        Label6->setText(connectionStateText(status));
        Label6->adjustSize();
        return status;
    };
    auto texts = [this] { return m_loginRas.credentials(); };
    // Dials at most once per run and gives up when the dial fails or after a minute.
    ConnectionWait wait(m_dialUp, state, texts, m_loginRas.notifyHandle());
    wait.run();
}

void MainWindow::Form_Resize()
{
    if (isMinimized() || m_resizing)
        return;
    // The rules work on the outer size, borders included.
    QSize outer = frameGeometry().size();
    const int minimum = Twips::toPixels(200);
    if (outer.width() < minimum || outer.height() < minimum) {
        const QSize border = outer - size();
        const QScopedValueRollback guard(m_resizing, true);
        resize(std::max(outer.width(), minimum) - border.width(),
               std::max(outer.height(), minimum) - border.height());
        outer = frameGeometry().size();
    }
    const LowerAreaSize lower =
        lowerAreaSize(Twips::fromPixels(outer.width()), Twips::fromPixels(outer.height()));
    if (lower.width) {
        for (QWidget *control : std::initializer_list<QWidget *>{List1, Frame1, Frame2})
            control->resize(Twips::toPixels(*lower.width), control->height());
    }
    if (lower.height) {
        for (QWidget *control : std::initializer_list<QWidget *>{List1, Frame2})
            control->resize(control->width(), Twips::toPixels(*lower.height));
    }
    if (Frame2->isVisible())
        Command5_Click(); // the chart follows the new size
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize(); // restoring from minimised applies the rules again
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        // Select the whole text once the focus has settled, so a mouse click does not undo it.
        if (auto *line = qobject_cast<QLineEdit *>(watched))
            QTimer::singleShot(0, line, &QLineEdit::selectAll);
        else if (auto *text = qobject_cast<QPlainTextEdit *>(watched))
            QTimer::singleShot(0, text, &QPlainTextEdit::selectAll);
    }
    return QWidget::eventFilter(watched, event);
}

namespace {

// A new chooser each time, set up from its own box alone: nothing typed or chosen in one box's
// chooser reaches the other's.
QString chooseFile(QWidget *parent, const FileChoice &choice)
{
    QFileDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("CommonDialog1"));
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setNameFilters(choice.nameFilters);
    dialog.setDirectory(choice.folder);
    if (!choice.selectedFile.isEmpty())
        dialog.selectFile(choice.selectedFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0).trimmed();
}

} // namespace

void MainWindow::Command3_Click()
{
    const QString chosen =
        chooseFile(this, fileChoice(FileChoice::Kind::QuoteHistory, Text2->text(), m_options.dataDir));
    if (!chosen.isEmpty())
        Text2->setText(chosen);
}

void MainWindow::Command9_Click()
{
    const QString chosen =
        chooseFile(this, fileChoice(FileChoice::Kind::OfficialRates, Text4->text(), m_options.dataDir));
    if (!chosen.isEmpty())
        Text4->setText(chosen);
}

void MainWindow::endProgram()
{
    hide();
    // Before the event loop runs this is a no-op; main() checks programEnded() after the load.
    QCoreApplication::exit(1);
}

void MainWindow::copyTypedIn()
{
    m_session.setPageAddress(Text1->text());
    m_session.setHistoryFileName(Text2->text());
    m_session.setRatesFileName(Text4->text());
    m_session.setSelector(Combo1->currentText());
    QStringList items;
    items.reserve(Combo1->count());
    for (int i = 0; i < Combo1->count(); ++i)
        items.append(Combo1->itemText(i));
    m_session.setPairItems(items);
    m_session.setPageText(Text3->pageText());
}

void MainWindow::showQuote()
{
    // "-1" marks a quote that could not be had.
    const ShownQuote shown = m_session.shownQuote();
    switch (shown.state) {
    case ShownQuote::State::Empty:
        lblQuote->clear();
        break;
    case ShownQuote::State::Unavailable:
        lblQuote->setText(QStringLiteral("-1"));
        break;
    case ShownQuote::State::Quote:
        lblQuote->setText(quoteText(shown.value));
        break;
    }
    if (const std::optional<QString> date = m_session.shownDate())
        lblData->setText(dayMonth(*date));
    const bool reference = m_session.source() == QuoteSession::Source::ReferenceRates;
    lblData->setToolTip(reference && m_session.shownDate()
                            ? QStringLiteral("Cambio di riferimento del ") +
                                  dayMonthYear(*m_session.shownDate(), QLatin1Char('/'))
                            : QString());
    // A source that has published nothing for days is shown in red.
    setColor(lblData, QPalette::WindowText,
             m_session.stale() ? QColor(Qt::red) : palette().color(QPalette::WindowText));
}

void MainWindow::showFillProgress(const ReferenceFill::Progress &progress)
{
    // Label15 is given back its count by the listing that follows; its geometry stays as it is.
    const QLocale locale;
    if (progress.stage == ReferenceFill::Progress::Stage::Downloading) {
        Label15->setText(
            QStringLiteral("Storico scaricato: %1 kB").arg(locale.toString(progress.done / 1024)));
        return; // the download's own wait keeps the window painted
    }
    Label15->setText(QStringLiteral("Giorni registrati: %1/%2")
                         .arg(locale.toString(progress.done), locale.toString(progress.total)));
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::Command1_Click()
{
    copyTypedIn();
    m_session.fetch(QDate::currentDate());
    Text3->setPageText(m_session.pageText());
    showQuote();
}

void MainWindow::Command7_Click()
{
    copyTypedIn();
    m_session.show();
    showQuote();
}

void MainWindow::Command6_Click()
{
    LongWork work(*this);
    WaitCursor hourglass;
    const QList<QPushButton *> commands = {Command1, Command2, Command3, Command4};
    for (QPushButton *command : commands)
        command->setEnabled(false);
    QCoreApplication::processEvents();

    if (closing()) {
        for (QPushButton *command : commands)
            command->setEnabled(true);
        return;
    }

    copyTypedIn();
    const ListingResult listing = m_session.list();
    if (listing.openFailed) {
        endProgram();
        return;
    }
    // A cancelled listing read nothing: the quote table is empty, and so are the list and the count,
    // rather than showing the previous pair's lines over an empty table.
    m_listModel->setLines(m_session.lines());
    Label15->setText(listing.countText());
    Label15->adjustSize();
    for (QPushButton *command : commands)
        command->setEnabled(true);
    if (listing.selectIndex >= 0) {
        const QModelIndex last = m_listModel->index(int(listing.selectIndex));
        List1->setCurrentIndex(last);
        List1->scrollTo(last);
    }
}

void MainWindow::Command2_Click()
{
    copyTypedIn();
    m_session.record([this](const ReferenceFill::Progress &progress) { showFillProgress(progress); });
    showQuote();
}

void MainWindow::Command4_Click()
{
    Frame2->setVisible(false);
    copyTypedIn();
    m_listModel->setLines(m_session.readHistoryFile());
}

void MainWindow::Command5_Click()
{
    Frame2->raise(); // over the record list
    Frame2->draw(m_listModel->lines(), Combo1->currentText(), txtDA_DATA->text(), txtA_DATA->text());
}

void MainWindow::Command8_Click()
{
    LongWork work(*this);
    {
        WaitCursor hourglass;
        // Keep the window painted through a long import without letting the user start anything.
        auto paint = [](qint64, qint64) {
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
        copyTypedIn();
        m_session.importRates(paint);
    }
    // The window is closing: the import kept what it stored, and nothing is listed any more.
    if (closing())
        return;
    // One listing shows the result: the chart gives way to the refreshed list.
    Command10_Click();
}

void MainWindow::Command10_Click()
{
    Frame2->setVisible(false);
    Command6_Click();
}

void MainWindow::Command11_Click()
{
    WaitCursor hourglass;
    // No printer is not worth a message: printing is simply skipped.
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (defaultPrinter.isNull())
        return;
    QPrinter printer(defaultPrinter, QPrinter::HighResolution);
    printWindow(printer);
}

void MainWindow::printWindow(QPrinter &printer)
{
    const QPixmap image = grab();
    QPainter painter;
    if (!painter.begin(&printer))
        return; // a printer that refuses the job is ignored like a missing one
    const QRect page = painter.viewport();
    QSize size = image.size();
    size.scale(page.size(), Qt::KeepAspectRatio);
    painter.setViewport(page.x(), page.y(), size.width(), size.height());
    painter.setWindow(image.rect());
    painter.drawPixmap(0, 0, image);
    painter.end();
}

void MainWindow::Combo1_Click()
{
    LongWork work(*this);
    const QString text = Combo1->currentText();
    txtsymbol->setText(PairSymbol::of(text));
    copyTypedIn();
    m_session.choosePair(text);
    Text1->setText(m_session.pageAddress());

    if (Frame2->isHidden()) {
        Command6_Click();
    } else {
        Command6_Click();
        QCoreApplication::processEvents();
        if (closing())
            return;
        Command5_Click();
    }
    if (closing())
        return;
    Command7_Click();
}

bool MainWindow::selectPair(const QString &symbol)
{
    const int index = m_session.findPair(symbol);
    if (index < 0)
        return false;
    Combo1->setCurrentIndex(index);
    Combo1_Click();
    return true;
}

void MainWindow::runDailyCycle()
{
    if (programEnded() || closing())
        return;
    LongWork work(*this);
    WaitCursor hourglass;
    // Every step may let a close request through; the cycle ends there, before the next step.
    const auto stopped = [this] { return programEnded() || closing(); };
    Command6_Click();
    if (stopped())
        return;
    Command1_Click();
    // The fetch has finished when Command1 returns: there is nothing more to wait for.
    QCoreApplication::processEvents();
    if (stopped())
        return;
    Command2_Click();
    QCoreApplication::processEvents();
    if (stopped())
        return;
    Command7_Click();
    Command10_Click();
    if (stopped())
        return;
    Command5_Click();
}

void MainWindow::Form_Activate()
{
    if (!m_options.importFile.isEmpty()) {
        Text4->setText(m_options.importFile);
        Command8_Click();
    } else {
        runDailyCycle();
    }
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Once per start: message boxes and other programs reactivate the window all the time.
    if (!m_activated) {
        m_activated = true;
        QTimer::singleShot(0, this, &MainWindow::Form_Activate);
    }
}

void MainWindow::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_session.close();
    if (!m_options.batch)
        askCloseConnection(m_dialogs, m_dialUp);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_longWork > 0) {
        // Closing the database under the work would lose it: the work stops first (a fetch is
        // abandoned, an import keeps what it stored) and the window closes when it has returned.
        m_closeRequested = true;
        m_session.requestStop();
        event->ignore();
        return;
    }
    Form_Unload();
    QWidget::closeEvent(event);
    // The end: the login window goes too, without its own close handling.
    m_loginRas.hide();
    QCoreApplication::quit();
}
