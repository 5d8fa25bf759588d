// The reason a failure gives.
#include "host/failure.h"

#include <cstring>

std::string failure::reason() const { return refusal != nullptr ? refusal : std::strerror(error); }
