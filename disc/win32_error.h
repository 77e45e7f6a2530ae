#pragma once
// The one place where a Windows error code becomes text.

#include <string>

namespace zep {

// "call(subject): system text (code N)" for the thread's last error.
std::string LastErrorText(const char* call, const std::string& subject);
std::string WindowsErrorString(unsigned long code);

}  // namespace zep
