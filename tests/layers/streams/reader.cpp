// A reader that climbs to the layer above it: the check must refuse it.
#include "merge/state.h"
