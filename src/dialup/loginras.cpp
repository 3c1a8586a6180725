#include "dialup/loginras.h"

#include "base/twips.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>

namespace {
// QLineEdit takes its password character from the style; this one masks with '#'.
class HashMaskStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '#';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

template <typename Widget> Widget *place(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *widget = new Widget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}
} // namespace

LoginRas::LoginRas(DialUp &dialUp, QWidget *parent) : QWidget(parent, Qt::Dialog), m_dialUp(dialUp)
{
    setObjectName(QStringLiteral("Login_RAS"));
    setWindowTitle(QStringLiteral("RASApi Sample"));
    setFixedSize(Twips::rect(0, 0, 4125, 2445).size());

    Label1 = place<QLabel>(this, "Label1", Twips::rect(120, 240, 1935, 255));
    Label1->setText(QStringLiteral("Nome Connessione"));
    Text1 = place<QLineEdit>(this, "Text1", Twips::rect(1560, 240, 2415, 285));
    Label2 = place<QLabel>(this, "Label2", Twips::rect(120, 720, 1215, 255));
    Label2->setText(QStringLiteral("Nome Utente"));
    Text2 = place<QLineEdit>(this, "Text2", Twips::rect(1560, 720, 2415, 285));
    Label3 = place<QLabel>(this, "Label3", Twips::rect(120, 1200, 1335, 255));
    Label3->setText(QStringLiteral("Password"));
    Text3 = place<QLineEdit>(this, "Text3", Twips::rect(1560, 1200, 2415, 285));
    auto *mask = new HashMaskStyle;
    mask->setParent(Text3);
    Text3->setStyle(mask);
    Text3->setEchoMode(QLineEdit::Password);
    Command1 = place<QPushButton>(this, "Command1", Twips::rect(1560, 1560, 1215, 375));
    Command1->setText(QStringLiteral("Connetti"));
    Command2 = place<QPushButton>(this, "Command2", Twips::rect(2880, 1560, 1095, 375));
    Command2->setText(m_dialUp.cancelCaption());
    Label4 = place<QLabel>(this, "Label4", Twips::rect(120, 2040, 3855, 255));
    Label4->setText(m_dialUp.statusLine());

    setTabOrder(Text1, Text2);
    setTabOrder(Text2, Text3);
    setTabOrder(Text3, Command1);
    setTabOrder(Command1, Command2);

    connect(Command1, &QPushButton::clicked, this, &LoginRas::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &LoginRas::Command2_Click);
    connect(&m_dialUp, &DialUp::statusLineChanged, Label4, &QLabel::setText);
    connect(&m_dialUp, &DialUp::cancelCaptionChanged, Command2, &QPushButton::setText);
}

quintptr LoginRas::notifyHandle()
{
    return quintptr(winId());
}

DialCredentials LoginRas::credentials() const
{
    return {Text1->text(), Text2->text(), Text3->text()};
}

void LoginRas::setCredentials(const DialCredentials &credentials)
{
    Text1->setText(credentials.entryName);
    Text2->setText(credentials.userName);
    Text3->setText(credentials.password);
}

void LoginRas::Command1_Click()
{
    m_dialUp.dialWith(notifyHandle(), credentials());
}

void LoginRas::Command2_Click()
{
    m_dialUp.cancel();
}

void LoginRas::closeEvent(QCloseEvent *event)
{
    m_dialUp.hangUpOnClose();
    event->accept();
}
