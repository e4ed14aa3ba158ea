// The process-wide translation table: loading it from the built-in tables and
// from ".lan" files, and looking texts up in it.
//
// Thread affinity: start-up loads on the main thread before any worker exists;
// afterwards every thread may call Translate without a lock.
#pragma once

#include <windows.h>

#include <string>

#include "config/translation_table.h"

namespace tarvolin {

// The one table of the process. Empty until start-up loads it.
CLanguage& ProcessTranslationTable();

// Merges the built-in table `id` (resource type "LANGUAGE" of this executable).
// The built-in tables are UTF-8, so they read the same under every code page.
// False when the executable carries no such table.
bool LoadTranslationResource(int id);

// Merges a ".lan" file written in the ANSI code page; false when it cannot be read.
bool LoadTranslationFile(const std::wstring& path);

// The translation of `text` in `section`, or `text` itself.
std::wstring Translate(const std::wstring& section, const std::wstring& text);
// The same in the main section, which holds nearly every text of the program.
std::wstring Translate(const std::wstring& text);

// Translates the caption of `window` and of its direct children (not deeper).
void TranslateWindow(HWND window, const std::wstring& section);

// Loads the tables that the configuration names: a built-in table or a file
// from the configuration folder, then the executable's own ".lan" on top.
// Missing files are skipped silently.
void LoadStartupTranslation();

}  // namespace tarvolin
