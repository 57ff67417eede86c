#pragma once

#include <QIcon>

namespace kw::icons {

// The tool-bar pictures of the main window, in the order of its image list.
enum class ToolImage
{
    OpenPeriod,      // 0: a calendar
    NewDay,          // 1: a calendar with a plus
    AddSubtract,     // 2: a sheet with plus and minus
    Change,          // 3: a sheet with a pencil
    Delete,          // 4: a sheet crossed out
    MonthlyReport,   // 5: a printed page
    YearlyReport,    // 6: a page with a bar chart
    MultiYearReport, // 7: stacked pages with a bar chart
    Notepad,         // 8: a spiral notepad
    BankCalculator,  // 9: a bank
    Help,            // 10: a question mark
    Calculator,      // the number box's button
};

// Drawn in code at 16 and 32 pixels, so the pictures stay sharp on a high-density screen.
QIcon toolIcon(ToolImage image);
// One picture at the given side length in device pixels.
QPixmap toolPixmap(ToolImage image, int side);

} // namespace kw::icons
