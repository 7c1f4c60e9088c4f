// `zarncap ports` from a given calls table (the real library, or a model).
#pragma once

#include "parport/ieee1284_calls.h"
#include "parport/register.h"

namespace parallel {

PortsSurvey SurveyPorts(const Ieee1284Calls& calls, bool devPortPresent);
// "nibble", "byte", "compat", "ECP", ... for a capabilities word.
std::vector<std::string> CapabilityNames(int caps);

}  // namespace parallel
