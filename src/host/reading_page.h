// The reading page of this run, from the book's settings, the machine ids,
// the launcher files and a probe of the publisher's login page.
#pragma once

#include <string>

#include "host/launcher_files.h"

namespace tarvolin {

// Where the page and the probe go; the build's publisher and this program's
// launcher files unless a test says otherwise.
struct ReadingPageSources {
  std::wstring server;
  std::wstring login_page;
  LauncherFiles launcher;
  static ReadingPageSources OfThisBuild();
};

// [APPLICATION] EBookID and AgentName, MachineID() and OldMachineID(), the
// launcher files' package id, and the page variant the probe picks. Takes up
// to the probe's wait when the login page does not answer.
std::wstring ReadingPageAddressForThisRun(const ReadingPageSources& sources = ReadingPageSources::OfThisBuild());

// [APPLICATION] Application without ".exe": the host window's title and the
// prefix of its message captions.
std::wstring HostTitle();

}  // namespace tarvolin
