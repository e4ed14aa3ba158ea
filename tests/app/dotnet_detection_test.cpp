// The framework versions as the system's folder tree shows them: folders under
// the Windows folder's Microsoft.NET\Framework, named by version and build.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/prerequisites.h"
#include "common/files.h"
#include "support/temp_folder.h"

namespace tarvolin {
namespace {

TEST(DotNetDetection, FoldersNamedByVersionCountFilesDoNot) {
  const std::wstring framework = WindowsFolder() + L"\\Microsoft.NET\\Framework";
  const std::wstring v11 = framework + L"\\v1.1.4322";
  const std::wstring v30_file = framework + L"\\v3.0.4506";
  const bool had_framework = DirectoryExists(framework);
  ASSERT_FALSE(FileExists(v11));
  ASSERT_FALSE(FileExists(v30_file));
  const DotNetFlags before = DetectDotNet();

  ASSERT_TRUE(CreateDirectoryTree(v11));
  testing::WriteTextFile(v30_file, L"not a folder");
  const DotNetFlags after = DetectDotNet();
  ::RemoveDirectoryW(v11.c_str());
  ::DeleteFileW(v30_file.c_str());
  if (!had_framework) DeleteTree(WindowsFolder() + L"\\Microsoft.NET");

  EXPECT_TRUE(after[1]);                // v1.1.4322
  EXPECT_EQ(after[3], before[3]);       // a file named like 3.0 is not a framework
  EXPECT_EQ(DetectDotNet(), before);    // gone again
}

}  // namespace
}  // namespace tarvolin
