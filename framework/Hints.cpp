#include "framework/Hints.h"

namespace kw {

HintHub &HintHub::instance()
{
    static HintHub hub;
    return hub;
}

void HintHub::setHint(const QString &hint)
{
    if (hint == hint_)
        return;
    hint_ = hint;
    emit hintChanged(hint_);
}

} // namespace kw
