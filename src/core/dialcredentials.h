#pragma once

#include <QString>

// The three texts a dial needs, as the credentials file and the login window hold them.
struct DialCredentials
{
    QString entryName;
    QString userName;
    QString password;
};
