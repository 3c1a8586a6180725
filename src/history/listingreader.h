#pragma once

#include "base/runtimeerror.h"
#include "core/quotetable.h"
#include "core/recordlist.h"

#include <QString>
#include <memory>
#include <optional>

// What an engine keeps of a listing so as to read the next one from what this program changed
// since, instead of from every record again.
class ListingBasis
{
public:
    virtual ~ListingBasis() = default;
};

// What a listing finds in the database: every record in date order loaded and counted, the
// selected pair's dated records listed. Loading stops at the first record that cannot be read,
// which is counted (with what was read of it) and named by readError.
struct ListingSnapshot
{
    qsizetype count = 0;
    RecordList lines;
    PairQuotes pairQuotes; // the pair's records as the quote table keeps them
    RuntimeError readError;
    std::shared_ptr<const ListingBasis> basis; // none when the next listing must read everything
};

// Tells whether a database may have changed: equal tokens of one connection mean that nothing was
// written since, neither through that connection nor by any other.
struct ChangeToken
{
    qint64 connection = 0; // which connection of the program
    qint64 others = 0;     // the engine's count of what other connections committed
    qint64 own = 0;        // rows this connection changed

    bool operator==(const ChangeToken &) const = default;
};

// How one engine answers a listing, from one consistent state of the database and without
// reading, sorting or copying every record: the pair's records through the index on code and
// date, the count and the check for unreadable quotes by aggregate queries.
class ListingReader
{
public:
    virtual ~ListingReader() = default;
    // Starts reading; a failure here (no table, the database locked) is the one the user may retry.
    virtual RuntimeError open() = 0;
    // The listing of a pair (the code as selected, compared with the trimmed stored codes). previous,
    // when given, is an earlier listing of the same pair on the same connection, which the reader may
    // bring up to date when only this program changed the database since.
    virtual ListingSnapshot read(const QString &pair, const QuoteFormat &format,
                                 const ListingSnapshot *previous) = 0;
    // The database's state as the listing read it (after a successful open); none when the engine
    // cannot tell.
    virtual std::optional<ChangeToken> changeToken() const = 0;
};
