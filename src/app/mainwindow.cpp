#include "mainwindow.h"

#include "connectionstate.h"
#include "resizerules.h"
#include "twips.h"
#include "userdialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStringListModel>
#include <QTimer>

namespace {

template <typename W> W *makeControl(QWidget *parent, const QString &name)
{
    auto *widget = new W(parent);
    widget->setObjectName(name);
    return widget;
}

void place(QWidget *widget, double left, double top, double width, double height)
{
    widget->setGeometry(Twips::rect(left, top, width, height));
}

// Labels that size themselves to their caption.
QLabel *autoLabel(QWidget *parent, const QString &name, const QString &caption, double left, double top)
{
    auto *label = makeControl<QLabel>(parent, name);
    label->setText(caption);
    label->move(Twips::toPixels(left), Twips::toPixels(top));
    label->adjustSize();
    return label;
}

QLabel *boxedLabel(QWidget *parent, const QString &name)
{
    auto *label = makeControl<QLabel>(parent, name);
    label->setFrameStyle(QFrame::Box | QFrame::Plain);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::white);
    label->setPalette(palette);
    return label;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption)
{
    auto *command = makeControl<QPushButton>(parent, name);
    command->setText(caption);
    command->setAutoDefault(false);
    return command;
}

} // namespace

MainWindow::MainWindow(const AppOptions &options, UserDialogs &dialogs, ConnectionQuery &connection,
                       QWidget *parent)
    : QWidget(parent), m_options(options), m_dialogs(dialogs), m_connection(connection)
{
    setObjectName(QStringLiteral("form1"));
    setWindowTitle(QStringLiteral("Lettura quotazioni valute da Internet"));
    Q_INIT_RESOURCE(resources); // the icons live in this static library
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/quotazioni-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/icons/quotazioni-16.png"), QSize(16, 16));
    setWindowIcon(icon);
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);

    buildControls();
    setTabOrder();
    setGeometry(Twips::rect(1845, 810, 8490, 6135));
}

MainWindow::~MainWindow() = default;

void MainWindow::buildControls()
{
    Frame1 = makeControl<QFrame>(this, QStringLiteral("Frame1"));
    Frame1->setFrameStyle(QFrame::Box | QFrame::Sunken);
    place(Frame1, -15, 0, 8400, 3105);

    Combo1 = makeControl<QComboBox>(Frame1, QStringLiteral("Combo1"));
    Combo1->setEditable(true);
    Combo1->setInsertPolicy(QComboBox::NoInsert);
    Combo1->setEditText(QStringLiteral("Combo1"));
    place(Combo1, 2550, 300, 5685, 315);

    txtsymbol = makeControl<QLineEdit>(Frame1, QStringLiteral("txtsymbol"));
    txtsymbol->setText(QStringLiteral("DOLLARO USA"));
    place(txtsymbol, 300, 285, 2130, 300);

    Label1[0] = autoLabel(Frame1, QStringLiteral("Label1(0)"), QStringLiteral("Data:"), 300, 1230);
    lblData = boxedLabel(Frame1, QStringLiteral("lblData"));
    place(lblData, 1455, 1230, 1470, 270);
    Label1[1] = autoLabel(Frame1, QStringLiteral("Label1(1)"), QStringLiteral("Quotazione:"), 300, 1575);
    lblQuote = boxedLabel(Frame1, QStringLiteral("lblQuote"));
    place(lblQuote, 1455, 1545, 1470, 270);

    Label6 = autoLabel(Frame1, QStringLiteral("Label6"), QStringLiteral("Tipo connessione IE"), 2940, 1890);
    QPalette blue = Label6->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 192));
    Label6->setPalette(blue);
    Label15 = autoLabel(Frame1, QStringLiteral("Label15"), QStringLiteral("Numero records nel Database: 0"),
                        3000, 1275);

    Label5 = makeControl<QLabel>(Frame1, QStringLiteral("Label5"));
    Label5->setText(QStringLiteral("Nome file Storico Cambi ufficiali"));
    place(Label5, 90, 630, 2385, 255);
    Text4 = makeControl<QLineEdit>(Frame1, QStringLiteral("Text4"));
    place(Text4, 75, 840, 5235, 285);
    Command9 = button(Frame1, QStringLiteral("Command9"), QStringLiteral("..."));
    place(Command9, 5355, 840, 375, 300);
    Command8 = button(Frame1, QStringLiteral("Command8"), QStringLiteral("Carica storico cambi ufficiali"));
    place(Command8, 5820, 795, 2415, 360);
    Command5 = button(Frame1, QStringLiteral("Command5"), QStringLiteral("Grafico"));
    place(Command5, 5820, 1170, 1230, 375);
    Command10 = button(Frame1, QStringLiteral("Command10"), QStringLiteral("Elenco"));
    place(Command10, 7050, 1170, 1185, 375);
    Command11 = button(Frame1, QStringLiteral("Command11"), QStringLiteral("Stampa"));
    place(Command11, 3015, 1530, 1185, 300);

    Label1[2] = autoLabel(Frame1, QStringLiteral("Label1(2)"), QStringLiteral("Da data:"), 4650, 1650);
    txtDA_DATA = makeControl<QLineEdit>(Frame1, QStringLiteral("txtDA_DATA"));
    place(txtDA_DATA, 5355, 1620, 1110, 285);
    Label1[3] = autoLabel(Frame1, QStringLiteral("Label1(3)"), QStringLiteral(" a data:"), 6510, 1650);
    txtA_DATA = makeControl<QLineEdit>(Frame1, QStringLiteral("txtA_DATA"));
    place(txtA_DATA, 7125, 1620, 1110, 285);

    Label2 = makeControl<QLabel>(Frame1, QStringLiteral("Label2"));
    Label2->setText(QStringLiteral("Nome file Storico Quotazioni"));
    place(Label2, 135, 1905, 2175, 255);
    Text2 = makeControl<QLineEdit>(Frame1, QStringLiteral("Text2"));
    place(Text2, 105, 2115, 7455, 285);
    Command3 = button(Frame1, QStringLiteral("Command3"), QStringLiteral("..."));
    place(Command3, 7650, 2115, 615, 300);

    Text1 = makeControl<QLineEdit>(Frame1, QStringLiteral("Text1"));
    place(Text1, 90, 2595, 8145, 300);
    QPalette cyan = Text1->palette();
    cyan.setColor(QPalette::Base, QColor(128, 255, 255));
    Text1->setPalette(cyan);

    Command1 = button(Frame1, QStringLiteral("Command1"), QStringLiteral("Aggiorna Quotazione C1"));
    place(Command1, 30, 90, 1890, 225);
    Command7 = button(Frame1, QStringLiteral("Command7"), QStringLiteral("Aggiorna Quotazione C7"));
    place(Command7, 1920, 90, 1920, 225);
    Command2 = button(Frame1, QStringLiteral("Command2"), QStringLiteral("Registra Quotazione odierna C2"));
    place(Command2, 3825, 60, 2415, 270);
    Command6 = button(Frame1, QStringLiteral("Command6"), QStringLiteral("Apre DB C6"));
    place(Command6, 6225, 105, 1095, 240);
    Command4 = button(Frame1, QStringLiteral("Command4"), QStringLiteral("Legge Storico Quotazioni C4"));
    place(Command4, 2535, 585, 2415, 285);
    for (QPushButton *hidden : {Command1, Command7, Command2, Command6, Command4})
        hidden->setVisible(false);

    List1 = makeControl<QListView>(this, QStringLiteral("List1"));
    List1->setUniformItemSizes(true);
    List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_listModel = new QStringListModel(this);
    List1->setModel(m_listModel);
    place(List1, 0, 3120, 8415, 2205);

    Frame2 = makeControl<QFrame>(this, QStringLiteral("Frame2"));
    place(Frame2, 0, 3120, 8415, 2895);
    Text3 = makeControl<QPlainTextEdit>(Frame2, QStringLiteral("Text3"));
    Text3->setPlainText(QStringLiteral("Text3\r\n"));
    place(Text3, 3630, 1605, 8430, 2865);
    Text3->setVisible(false);

    for (QWidget *box :
         std::initializer_list<QWidget *>{Text1, Text2, Text3, Text4, txtA_DATA, txtDA_DATA, txtsymbol})
        box->installEventFilter(this);

    connect(Command3, &QPushButton::clicked, this, &MainWindow::Command3_Click);
    connect(Command9, &QPushButton::clicked, this, &MainWindow::Command9_Click);
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
    return m_listModel->stringList();
}

QUrl MainWindow::pageUrl() const
{
    return QUrl(Text1->text().trimmed());
}

void MainWindow::Form_Load()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const QString year = QString::number(QDate::currentDate().year()).rightJustified(4, QLatin1Char('0'));
    Text1->setText(m_options.pageUrl);
    Text2->setText(QDir(programFolder()).filePath(QStringLiteral("Storico_Quotazioni_Valute.TXT")));
    Text4->setText(QDir(programFolder()).filePath(QStringLiteral("cambiSto.csv")));
    txtDA_DATA->setText(QStringLiteral("01/01/") + year);
    txtA_DATA->setText(QStringLiteral("31/12/") + year);

    Combo1->clear();
    Combo1->addItems(
        StartupFiles::readCurrencyList(QDir(programFolder()).filePath(QStringLiteral("zantoro.TXT"))));
    Combo1->setCurrentIndex(-1);
    Combo1->setEditText(QStringLiteral("EUR/USD DOLLARO USA - 1"));
    txtsymbol->setText(Combo1->currentText().left(7));
    Frame2->setVisible(false);

    showConnectionState();
    QApplication::restoreOverrideCursor();
    QCoreApplication::processEvents();
}

void MainWindow::showConnectionState()
{
    Label6->setText(connectionStateText(m_connection.query()));
    Label6->adjustSize();
    QCoreApplication::processEvents();
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

QString MainWindow::chooseFile()
{
    if (!CommonDialog1) {
        CommonDialog1 = new QFileDialog(this);
        CommonDialog1->setObjectName(QStringLiteral("CommonDialog1"));
        CommonDialog1->setFileMode(QFileDialog::AnyFile);
        CommonDialog1->setOption(QFileDialog::DontUseNativeDialog);
        CommonDialog1->setOption(QFileDialog::DontConfirmOverwrite);
    }
    CommonDialog1->setDirectory(programFolder());
    CommonDialog1->selectFile(QString());
    if (CommonDialog1->exec() != QDialog::Accepted)
        return {};
    return CommonDialog1->selectedFiles().value(0).trimmed();
}

void MainWindow::Command3_Click()
{
    const QString chosen = chooseFile();
    if (!chosen.isEmpty())
        Text2->setText(chosen);
}

void MainWindow::Command9_Click()
{
    const QString chosen = chooseFile();
    if (!chosen.isEmpty())
        Text4->setText(chosen);
}
