#include "app/pagetextbox.h"

void PageTextBox::setPageText(const QString &text)
{
    m_text = text;
    m_stale = true;
    if (isVisible())
        showEvent(nullptr);
}

void PageTextBox::showEvent(QShowEvent *event)
{
    if (m_stale) {
        m_stale = false;
        setPlainText(m_text);
    }
    if (event)
        QPlainTextEdit::showEvent(event);
}
