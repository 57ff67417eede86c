#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <cstdint>

namespace kw::import {

// Amounts are counted in ten-thousandths of the currency unit: the ledger keeps four decimals, and
// whole numbers let a statement's balance check come out exact.
using Amount = std::int64_t;
inline constexpr Amount AmountScale = 10000;
inline double toDouble(Amount a)
{
    return double(a) / double(AmountScale);
}

// One line of a bank statement, whatever the file's format.
struct Transaction
{
    QDate date;        // the day it is booked into: the operation date where the file has one
    QDate bookingDate; // the bank's booking date, when the file tells it apart
    Amount amount = 0; // credits positive, debits negative
    QString currency;  // ISO code as the file gives it; empty when the file does not say
    QString counterparty;
    QString title;
    QString account;   // the counterparty's account
    QString reference; // the bank's own reference; empty when the file has none
    bool pending = false;
    int line = 0; // where it starts in the file (1-based), for messages
};

// A statement's opening balance carried through its lines against the closing balance it states.
struct BalanceCheck
{
    QString account;
    QString statement; // the statement's number or identifier, as the file gives it
    Amount opening = 0;
    Amount closing = 0;
    Amount lines = 0; // the booked lines' total
    int line = 0;     // where the statement starts
    bool matches() const { return opening + lines == closing; }
};

enum class Format
{
    Mt940,
    Mt942,
    Camt053,
    Camt052,
    Ofx,
    Csv
};

// Everything read from one file.
struct Statement
{
    Format format = Format::Csv;
    QString account; // the statement's own account, when the file names one
    QList<Transaction> transactions;
    QList<BalanceCheck> balances;
    QString profile; // the CSV column profile that read it, when one did
};

// The name shown to the user ("MT940", "camt.053", ...).
QString formatName(Format format);

} // namespace kw::import
