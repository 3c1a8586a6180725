#pragma once

#include "history/historyengine.h"

#include <memory>

// A listing read record by record, in date order, through an engine's cursor: for an engine with
// no reader of its own. Keeps no more of the records than the listing's result needs.
class CursorListingReader final : public ListingReader
{
public:
    explicit CursorListingReader(std::unique_ptr<RecordCursor> cursor);

    RuntimeError open() override;
    ListingSnapshot read(const QString &pair, const QuoteFormat &format,
                         const ListingSnapshot *previous) override;
    std::optional<ChangeToken> changeToken() const override { return std::nullopt; }

private:
    std::unique_ptr<RecordCursor> m_cursor;
};
