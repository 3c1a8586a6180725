#pragma once

#include <QPlainTextEdit>

// Text3: the hidden box holding the whole text of the last fetched page. Laying out a page of many
// megabytes costs seconds, so the text is kept as it came and handed to the editor only when the
// box is actually shown.
class PageTextBox : public QPlainTextEdit
{
    Q_OBJECT
public:
    using QPlainTextEdit::QPlainTextEdit;

    QString pageText() const { return m_text; }
    void setPageText(const QString &text);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_text;
    bool m_stale = false;
};
