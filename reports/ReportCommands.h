#pragma once

class StatementForm;

namespace kw {

// Runs a statement in a preview of its own. A statement of one month or one year opens its table
// with its filter on first; the multi-year statement's table is open from start-up and is read
// afresh, so years added since then are included.
void showReport(StatementForm &form);

} // namespace kw
