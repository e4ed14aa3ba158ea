// Stages of the run that this build does not carry yet. Each one says so in the
// log and reports failure, so no mode pretends to have done its work. They move
// to their own subsystems as those are built.
#pragma once

#include <windows.h>

#include <string>

namespace tarvolin {

void EnableActiveXHosting();

}  // namespace tarvolin
