#include "platform/Application.h"

#include <QApplication>
#include <QCoreApplication>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include <sys/syscall.h>
#include <unistd.h>

namespace zuvo::platform {
namespace {

std::once_flag applicationOnce;
std::atomic<bool> uiThreadKnown{false};
std::thread::id uiThreadId;
QApplication* ownedApplication = nullptr;

}  // namespace

bool EnsureApplication() {
  std::call_once(applicationOnce, [] {
    uiThreadId = std::this_thread::get_id();
    uiThreadKnown.store(true, std::memory_order_release);
    if (QCoreApplication::instance() != nullptr) return;
    // Without a display the application would abort; run offscreen instead.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "zuvo";
    static char* argv[] = {name, nullptr};
    ownedApplication = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  });
  return QCoreApplication::instance() != nullptr;
}

bool IsUiThread() {
  // Before the application exists the process's main thread is taken as the UI thread, so that
  // a worker started early still marshals its calls.
  if (!uiThreadKnown.load(std::memory_order_acquire)) return syscall(SYS_gettid) == getpid();
  return std::this_thread::get_id() == uiThreadId;
}

}  // namespace zuvo::platform
