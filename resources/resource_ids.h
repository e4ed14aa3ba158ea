// Resource ids shared by the resource script and the program.
#pragma once

#define IDR_DEFAULT_CONFIGURATION 179
#define TARVOLIN_DEFAULT_CONFIGURATION_TYPE "RT_RCDATA"
