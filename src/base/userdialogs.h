#pragma once

#include <QString>

// Every message box, question and beep of the program goes through this interface, so that the
// window, batch mode and tests each decide how a message reaches the user.
class UserDialogs
{
public:
    enum class Icon { None, Information, Critical };
    enum class Buttons { Ok, OkCancel, RetryCancel };
    enum class Answer { Ok, Cancel, Retry };

    virtual ~UserDialogs() = default;

    // An empty title stands for the program's title (appTitle()).
    virtual void message(const QString &text, const QString &title = {}, Icon icon = Icon::None) = 0;
    virtual Answer question(const QString &text, const QString &title, Buttons buttons,
                            Icon icon = Icon::None) = 0;
    virtual void beep() = 0;
};

// The title of every message box that has none of its own.
QString appTitle();
