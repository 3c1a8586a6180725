#pragma once

#include "fuzzcheck.h"
#include "history/bankhistorycsv.h"

#include <QSet>
#include <cmath>

// Reads the bank's CSV from the device and checks what it promises of every day handed over.
inline void readAndCheckCsv(QIODevice &device)
{
    QSet<QDate> days;
    qint64 handed = 0;
    const BankHistoryCsv::Result result = BankHistoryCsv::read(device, [&](const RateDay &day) {
        FUZZ_CHECK(day.day.isValid() && day.day >= ReferenceRates::firstEuroDay());
        FUZZ_CHECK(!days.contains(day.day));
        days.insert(day.day);
        for (const CurrencyRate &rate : day.rates) {
            FUZZ_CHECK(ReferenceRates::isCurrencyCode(rate.code));
            FUZZ_CHECK(std::isfinite(rate.rate) && rate.rate > 0);
        }
        ++handed;
        return true;
    });
    FUZZ_CHECK(!result.stopped);
    FUZZ_CHECK(handed <= result.days);
    FUZZ_CHECK(result.ok() || !result.error.isEmpty());
}
