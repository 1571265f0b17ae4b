#include "util/pass_meter.h"

#include <cstdio>

namespace {

// At most four lines a second, and none for a pass shorter than that.
constexpr std::chrono::milliseconds kTick{250};
// The thread only formats a line and hands it on.
constexpr std::size_t kThreadStack = 256 * 1024;

double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

bool pass_meter::start_showing(std::function<void(const char* line)> show) {
  stop_showing();
  show_ = std::move(show);
  stopping_ = false;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, kThreadStack);
  showing_ = pthread_create(&thread_, &attr, &pass_meter::tick_thread, this) == 0;
  pthread_attr_destroy(&attr);
  return showing_;
}

void pass_meter::stop_showing() {
  if (!showing_) return;
  end();
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  pthread_join(thread_, nullptr);
  showing_ = false;
}

void* pass_meter::tick_thread(void* self) {
  static_cast<pass_meter*>(self)->tick();
  return nullptr;
}

void pass_meter::tick() {
  std::unique_lock<std::mutex> hold(lock_);
  while (!stopping_) {
    wake_.wait_for(hold, kTick);
    if (stopping_ || kind_ == kind::none) continue;
    if (std::chrono::steady_clock::now() - began_ < kTick) continue;
    show_(line_held().c_str());
    shown_ = true;
  }
}

void pass_meter::begin(kind k, const char* what, std::uint64_t total, int level,
                       bool with_transactions) {
  if (!showing_) return;
  std::lock_guard<std::mutex> hold(lock_);
  kind_ = k;
  what_ = what;
  total_ = total;
  level_ = level;
  with_transactions_ = with_transactions;
  began_ = std::chrono::steady_clock::now();
  bytes_.store(0, std::memory_order_relaxed);
  transactions_.store(0, std::memory_order_relaxed);
  candidates_.store(0, std::memory_order_relaxed);
}

void pass_meter::begin_file(const char* what, std::uint64_t total_bytes, bool with_transactions) {
  begin(kind::file, what, total_bytes, 0, with_transactions);
}

void pass_meter::begin_level(int k) { begin(kind::level, "", 0, k, false); }

void pass_meter::end() {
  if (!showing_) return;
  std::lock_guard<std::mutex> hold(lock_);
  kind_ = kind::none;
  if (shown_) show_("");
  shown_ = false;
}

std::string pass_meter::line() const {
  std::lock_guard<std::mutex> hold(lock_);
  return line_held();
}

std::string pass_meter::line_held() const {
  char text[160];
  const std::uint64_t bytes = bytes_.load(std::memory_order_relaxed);
  switch (kind_) {
    case kind::none:
      return "";
    case kind::level:
      std::snprintf(text, sizeof text, "level %d: %llu candidates", level_,
                    static_cast<unsigned long long>(candidates_.load(std::memory_order_relaxed)));
      return text;
    case kind::file:
      break;
  }
  int n = total_ > 0 ? std::snprintf(text, sizeof text, "%s: %.1f of %.1f MiB", what_, mib(bytes),
                                     mib(total_))
                     : std::snprintf(text, sizeof text, "%s: %.1f MiB", what_, mib(bytes));
  if (with_transactions_ && n > 0 && static_cast<std::size_t>(n) < sizeof text)
    std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), ", %llu transactions",
                  static_cast<unsigned long long>(transactions_.load(std::memory_order_relaxed)));
  return text;
}
