#pragma once
// One job at a time on a worker thread, so that a whole-disc read or a box of
// discs leaves the window responsive: the job reports its progress, which
// the window shows in a small dialog with Cancel; when it ends, what it
// leaves to show runs back on the window's thread.
//
// The worker never touches a window: it posts to the main window, and the
// shell's state it needs is copied before it starts. While a job runs, the
// commands that read the source or change it are refused (see JobRunning),
// so the source's memory of failed reads has one user at a time.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace zep::ui {

// Posted by the worker to the main window.
inline constexpr UINT kJobProgressMessage = WM_APP + 1;  // the latest progress is waiting
inline constexpr UINT kJobDoneMessage = WM_APP + 2;      // the work has returned

// Thrown by JobControl::Step once Cancel was pressed: it unwinds work that
// has no way of its own to stop, and every output file the work had started
// is discarded on the way out.
struct JobCancelled {};

class BackgroundJob;

// What the work, on the worker thread, sees of its job.
class JobControl {
 public:
  // The line and position the dialog shows; cheap, call it as often as you like.
  void Report(const std::string& text, std::uint64_t done, std::uint64_t total);
  // Report, then throws JobCancelled when Cancel was pressed.
  void Step(const std::string& text, std::uint64_t done, std::uint64_t total);
  bool cancelled() const { return cancelled_.load(); }

 private:
  friend class BackgroundJob;
  BackgroundJob* job_ = nullptr;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> posted_{false};  // a progress message is on its way: no second one
  HWND window_ = nullptr;
};

// What the job leaves to do on the window's thread: fill a window, show a box.
using JobFinish = std::function<void(HWND window)>;
using JobWork = std::function<JobFinish(JobControl& control)>;

// Starts work under the title (the dialog's caption); false while another
// job runs.
bool StartJob(HWND window, const std::string& title, JobWork work);
bool JobRunning();
// As the dialog's Cancel does.
void CancelJob();
// The progress dialog, while a job runs; null otherwise.
HWND JobDialog();

// The main window's handlers of the two messages, and of its destruction: a
// job still running is cancelled and waited for.
void OnJobProgress();
void OnJobDone(HWND window);
void EndJobWithWindow();

// For the tests: runs on the worker at each report, after the dialog's
// progress was posted.
inline std::function<void(JobControl&, std::uint64_t done, std::uint64_t total)> g_jobReportHook;

}  // namespace zep::ui
