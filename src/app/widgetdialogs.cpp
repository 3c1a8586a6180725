#include "app/widgetdialogs.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon boxIcon(UserDialogs::Icon icon)
{
    switch (icon) {
    case UserDialogs::Icon::Information:
        return QMessageBox::Information;
    case UserDialogs::Icon::Critical:
        return QMessageBox::Critical;
    case UserDialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The texts use CR alone as a line break in places; a label wants LF.
QString displayText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

} // namespace

void WidgetDialogs::message(const QString &text, const QString &title, Icon icon)
{
    QMessageBox box(boxIcon(icon), title.isEmpty() ? appTitle() : title, displayText(text), QMessageBox::Ok,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

UserDialogs::Answer WidgetDialogs::question(const QString &text, const QString &title, Buttons buttons,
                                            Icon icon)
{
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == Buttons::OkCancel)
        standard = QMessageBox::Ok | QMessageBox::Cancel;
    else if (buttons == Buttons::RetryCancel)
        standard = QMessageBox::Retry | QMessageBox::Cancel;
    QMessageBox box(boxIcon(icon), title.isEmpty() ? appTitle() : title, displayText(text), standard,
                    m_parent);
    box.setTextFormat(Qt::PlainText);
    switch (box.exec()) {
    case QMessageBox::Ok:
        return Answer::Ok;
    case QMessageBox::Retry:
        return Answer::Retry;
    default:
        return Answer::Cancel; // Cancel, or the box closed
    }
}

void WidgetDialogs::beep()
{
    QApplication::beep();
}
