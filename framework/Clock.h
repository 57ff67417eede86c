#pragma once

#include <QDateTime>
#include <functional>

namespace kw {

// The computer clock, replaceable so a test can run the program past midnight.
QDateTime now();
inline QDate today()
{
    return now().date();
}
// An empty function gives the computer clock back.
void setClock(std::function<QDateTime()> clock);

} // namespace kw
