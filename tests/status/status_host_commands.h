// Shared between the status window host program and the tests that drive it:
// what the host can be told to do, and how it writes down what it received.
#pragma once

#include <windows.h>

namespace tarvolin::testing::status_host {

// Sent by the test to the host window; the host acts on its own window.
inline constexpr UINT kRemoveNeedMessages = WM_APP + 1;
inline constexpr UINT kSetPaused = WM_APP + 2;
inline constexpr UINT kClearPaused = WM_APP + 3;
inline constexpr UINT kSetExitWhenKilled = WM_APP + 4;
inline constexpr UINT kQuit = WM_APP + 5;

// Record lines: message number, then the fields, separated by this character.
inline constexpr wchar_t kFieldSeparator = L'|';
// Written in place of a text whose address was null.
inline constexpr wchar_t kNoText[] = L"<none>";

}  // namespace tarvolin::testing::status_host
