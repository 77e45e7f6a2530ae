#include "ui/background_job.h"

#include <commctrl.h>

#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "disc/problem.h"
#include "res/resource.h"
#include "ui/commands.h"
#include "ui/shell_state.h"

namespace zep::ui {

class BackgroundJob {
 public:
  BackgroundJob(HWND window, std::string title, JobWork work) : title_(std::move(title)) {
    control_.window_ = window;
    control_.job_ = this;
    thread_ = std::thread([this, work = std::move(work)] { Run(work); });
  }
  // A job is never left running: its thread is joined here.
  ~BackgroundJob() {
    control_.cancelled_ = true;
    if (thread_.joinable()) thread_.join();
  }
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  void Cancel() { control_.cancelled_ = true; }

  void SetStatus(const std::string& text, std::uint64_t done, std::uint64_t total) {
    const std::lock_guard lock(mutex_);
    text_ = text, done_ = done, total_ = total;
  }
  void ShowStatus(HWND dialog) {
    control_.posted_ = false;  // from here a newer report posts again
    if (control_.cancelled()) return;  // the dialog says it is cancelling
    std::string text;
    int permille = 0;
    {
      const std::lock_guard lock(mutex_);
      text = text_;
      if (total_ > 0) permille = static_cast<int>(std::min<std::uint64_t>(done_, total_) * 1000 / total_);
    }
    SetDlgItemTextA(dialog, IDC_JOB_TEXT, text.c_str());
    ShowStatusLine(text);
    SendDlgItemMessageA(dialog, IDC_JOB_BAR, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
  }
  JobFinish TakeFinish() {
    if (thread_.joinable()) thread_.join();
    return std::move(finish_);
  }

 private:
  void Run(const JobWork& work) {
    try {
      finish_ = work(control_);
    } catch (const JobCancelled&) {
      finish_ = [title = title_](HWND) { ShowStatusLine(title + ": cancelled"); };
    } catch (const std::exception& e) {
      // A broken promise or no memory: the program's fault, named as such.
      const Problem problem{.subject = title_, .what = e.what(), .kind = ProblemKind::kBug};
      finish_ = [problem](HWND window) {
        ShowStatusLine("");
        MessageBoxA(window, problem.Text().c_str(), "Error", MB_OK);
      };
    }
    PostMessageA(control_.window_, kJobDoneMessage, 0, 0);
  }

  std::string title_;
  JobControl control_;
  std::mutex mutex_;
  std::string text_;
  std::uint64_t done_ = 0, total_ = 0;
  JobFinish finish_;
  std::thread thread_;  // last: it starts once the rest is in place
};

namespace {

std::unique_ptr<BackgroundJob> g_job;
HWND g_dialog = nullptr;

INT_PTR CALLBACK JobDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SendDlgItemMessageA(dialog, IDC_JOB_BAR, PBM_SETRANGE32, 0, 1000);
      return FALSE;  // no focus: the dialog does not take it from the main window
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      CancelJob();
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void JobControl::Report(const std::string& text, std::uint64_t done, std::uint64_t total) {
  job_->SetStatus(text, done, total);
  if (!posted_.exchange(true)) PostMessageA(window_, kJobProgressMessage, 0, 0);
  if (g_jobReportHook) g_jobReportHook(*this, done, total);
}

void JobControl::Step(const std::string& text, std::uint64_t done, std::uint64_t total) {
  Report(text, done, total);
  if (cancelled()) throw JobCancelled{};
}

bool StartJob(HWND window, const std::string& title, JobWork work) {
  if (g_job) return false;
  g_dialog = CreateDialogParamA(g_shell.instance, MAKEINTRESOURCEA(IDD_JOB_PROGRESS), window, JobDialogProc, 0);
  SetWindowTextA(g_dialog, title.c_str());
  SetDlgItemTextA(g_dialog, IDC_JOB_TEXT, (title + "...").c_str());
  // Shown without taking the focus: the window stays the user's to work in.
  ShowWindow(g_dialog, SW_SHOWNOACTIVATE);
  ShowStatusLine(title + "...");
  g_job = std::make_unique<BackgroundJob>(window, title, std::move(work));
  return true;
}

bool JobRunning() { return g_job != nullptr; }

void CancelJob() {
  if (!g_job) return;
  g_job->Cancel();
  SetDlgItemTextA(g_dialog, IDC_JOB_TEXT, "Cancelling...");
  EnableWindow(GetDlgItem(g_dialog, IDCANCEL), FALSE);
}

HWND JobDialog() { return g_job ? g_dialog : nullptr; }

void OnJobProgress() {
  if (g_job) g_job->ShowStatus(g_dialog);
}

void OnJobDone(HWND window) {
  if (!g_job) return;
  const JobFinish finish = g_job->TakeFinish();
  g_job.reset();
  DestroyWindow(std::exchange(g_dialog, nullptr));
  if (finish) finish(window);
}

void EndJobWithWindow() {
  g_job.reset();
  if (g_dialog) DestroyWindow(std::exchange(g_dialog, nullptr));
}

}  // namespace zep::ui
