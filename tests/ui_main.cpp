// The main of the tests of the Windows program's windows: COM for the shell's
// folder browser, as the program itself has.

#include <windows.h>
#include <objbase.h>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
