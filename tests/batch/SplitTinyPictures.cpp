#include "core/Resize.h"

// The pictures of these tests are tiny and stand for photographs, whose
// resizes spread over pass threads: split theirs too, so that the tests that
// ask for several threads get them.
namespace {
[[maybe_unused]] const bool SplitTinyPictures = (PassThreads.MinWork = 0, true);
}
