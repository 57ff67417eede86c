#pragma once

class QString;
class TForm1;

namespace kw {

// "Raporty" > "Analiza wydatków": the one analysis window, made when first asked for, shown on the
// period open in the main window (the current month when none is open), or brought forward as the
// user left it.
void showAnalysis(TForm1 &main);

// After every booking and every period opened: the analysis window shows the new figures, and the
// text naming a category the booking put over its plan for the open month comes back (empty when
// none, and after opening a period).
QString analysisAfterBooking(TForm1 &main);

} // namespace kw
