// Resource ids shared by the resource script and the program.
#pragma once

#define IDR_DEFAULT_CONFIGURATION 179
#define TARVOLIN_DEFAULT_CONFIGURATION_TYPE "RT_RCDATA"

// Built-in translation tables (".lan" text, UTF-8) under the resource type "LANGUAGE".
#define IDR_TRANSLATION_TRADITIONAL_CHINESE 147
#define IDR_TRANSLATION_SIMPLIFIED_CHINESE 150
#define TARVOLIN_TRANSLATION_TYPE "LANGUAGE"
