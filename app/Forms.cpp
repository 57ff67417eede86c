#include "app/Forms.h"

namespace kw {

Forms &forms()
{
    static Forms f;
    return f;
}

} // namespace kw
