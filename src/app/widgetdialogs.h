#pragma once

#include "base/userdialogs.h"

class QWidget;

// Message boxes on screen, modal to the given window.
class WidgetDialogs : public UserDialogs
{
public:
    explicit WidgetDialogs(QWidget *parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget *parent) { m_parent = parent; }

    void message(const QString &text, const QString &title = {}, Icon icon = Icon::None) override;
    Answer question(const QString &text, const QString &title, Buttons buttons,
                    Icon icon = Icon::None) override;
    void beep() override;

private:
    QWidget *m_parent;
};
