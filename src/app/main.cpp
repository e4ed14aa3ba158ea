#include <windows.h>

#include "app/update_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  tarvolin::CUpdateApp app;
  if (app.InitInstance()) app.Run();
  // ExitInstance always runs last and has the final word on the exit code.
  return app.ExitInstance();
}
