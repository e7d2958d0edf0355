#pragma once
// The web step that the send flow calls for WebMode 1 to 6; none installed: web sending fails
// with a warning.

#include "CrashWebStep.h"

namespace crashreport
{

void CrashSetWebStep(TCrashWebStep *step); // null: none
TCrashWebStep *CrashWebStepInUse();

} // namespace crashreport
