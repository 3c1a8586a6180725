#pragma once

#include <QString>

// The Italian texts the user reads for the codes and states of the remote-access service. They are
// our own table: the platform's message texts are never asked for.
QString RasErrorText(qint32 code);
// An empty text means the state has nothing to show.
QString RasStateText(qint32 state);
