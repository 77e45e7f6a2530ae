#pragma once
// The one place where a Windows error code becomes text.

#include <string>

namespace zep {

// "subject: system text (code N)" for the thread's last error: what users
// read names the file, not the call that failed.
std::string LastErrorText(const std::string& subject);
// "system text (code N)" alone, for file.cpp to put the path in front.
std::string LastErrorReason();
std::string WindowsErrorString(unsigned long code);

}  // namespace zep
