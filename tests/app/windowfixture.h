#pragma once

#include "app/mainwindow.h"
#include "common/recordingdialogs.h"
#include "dialup/connectionstate.h"
#include "dialup/dialup.h"
#include "dialup/loginras.h"

#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// A control of a window, found by the name the program's users know it by.
template <typename Control> Control *control(const QWidget *window, const char *name)
{
    auto *found = window->findChild<Control *>(QLatin1StringView(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// Types into a box as the user would, replacing what it held.
inline void typeInto(QLineEdit *box, const QString &text)
{
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

// A data folder with the shipped database and a currency list of the four pairs, and the main
// window over it. The connection state is whatever the test sets; the dial-up service (no modem
// here) knows no entry and has one connection, 7, that goes away at the first hang-up.
class WindowFixture
{
public:
    class Connection : public ConnectionQuery
    {
    public:
        ConnectionStatus status{true, ConnectionStatus::Lan};
        ConnectionStatus query() override { return status; }
    };

    class Access : public RemoteAccess
    {
    public:
        QList<qint32> hungUp;
        qint32 dial(quintptr, const QString &, const QString &, const QString &, qint32 &) override
        {
            return RasCode::CannotFindEntry;
        }
        qint32 connectStatus(qint32, RasStatus &) override { return RasCode::InvalidHandle; }
        qint32 hangUp(qint32 handle) override
        {
            hungUp.append(handle);
            return RasCode::InvalidHandle;
        }
        qint32 enumerate(QList<qint32> &handles) override
        {
            handles = {7};
            return RasCode::Success;
        }
    };

    WindowFixture()
    {
        QFile::copy(QStringLiteral(QUOTAZIONI_DATABASE), file("VALUTE.MDB"));
        QFile(file("VALUTE.MDB")).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        write("zantoro.TXT", "Elenco valute\r\nEUR/USD\r\nEUR/CHF\r\nEUR/JPY\r\nEUR/GBP\r\n");
    }

    MainWindow &open(const QString &pageUrl)
    {
        AppOptions options;
        options.dataDir = dir.path();
        options.pageUrl = pageUrl;
        window = std::make_unique<MainWindow>(options, dialogs, connection, dialUp, login);
        return *window;
    }

    QString file(const QString &name) const { return dir.filePath(name); }
    void write(const QString &name, const QByteArray &content) const
    {
        QFile out(file(name));
        out.open(QIODevice::WriteOnly | QIODevice::Truncate);
        out.write(content);
    }

    QTemporaryDir dir;
    RecordingDialogs dialogs;
    Connection connection;
    Access access;
    DialUp dialUp{access, dialogs};
    LoginRas login{dialUp};
    std::unique_ptr<MainWindow> window;
};
