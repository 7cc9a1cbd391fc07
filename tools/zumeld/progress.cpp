// The progress line of a command (cli.h).
#include <unistd.h>

#include <cstdio>

#include "cli.h"

namespace zumeld_cli {

namespace {

using Clock = std::chrono::steady_clock;

// A command shorter than this shows no progress at all.
constexpr std::chrono::milliseconds kQuietStart{500};
constexpr std::chrono::milliseconds kRedraw{100};

}  // namespace

CommandProgress::CommandProgress(const char* command, int steps, bool quiet)
    : command_(command), steps_(steps), start_(Clock::now()) {
    if (!quiet && ::isatty(STDERR_FILENO) == 1) thread_ = std::thread([this] { Run(); });
}

CommandProgress::~CommandProgress() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
    if (drawn_) std::fputs("\r\033[K", stderr);  // the line erased
}

void CommandProgress::Step(const std::string& name, const char* unit) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++step_;
    name_ = name;
    fraction_ = -1;
    unit_ = unit;
    done_ = total_ = 0;
    stepStart_ = Clock::now();
}

void CommandProgress::Update(std::uint64_t done, std::uint64_t total) {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = std::min(done, total);
    total_ = total;
    fraction_ = total > 0 ? static_cast<double>(done_) / total : -1;
}

LoadProgress CommandProgress::Reporter() {
    return [this](std::uint64_t done, std::uint64_t total) { Update(done, total); };
}

void CommandProgress::Say(const std::string& line) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(stderr, "%s%s\n", drawn_ ? "\r\033[K" : "", line.c_str());
    std::fflush(stderr);
}

void CommandProgress::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_until(lock, start_ + kQuietStart, [this] { return stop_; })) return;
    do Draw();
    while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; }));
}

void CommandProgress::Draw() {
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    char bar[40] = "";
    if (fraction_ >= 0) {
        constexpr int kWidth = 20;
        const int filled = static_cast<int>(fraction_ * kWidth);
        bar[0] = '[';
        for (int k = 0; k < kWidth; ++k) bar[1 + k] = k < filled ? '#' : '.';
        std::snprintf(bar + 1 + kWidth, sizeof bar - 1 - kWidth, "] %3d%%",
                      static_cast<int>(fraction_ * 100));
    }
    // Long names (paths) are cut from the front, keeping the line on one terminal row.
    std::string name = name_;
    if (name.size() > 32) name = "..." + name.substr(name.size() - 29);
    std::fprintf(stderr, "\r\033[Kzumeld %s: %s (%d/%d) %s", command_, name.c_str(), step_, steps_,
                 bar);
    if (unit_ && total_ > 0) {
        // A counted step: "573/1365 tiles 210/s 4 s left" in place of the time taken.
        const double stepSeconds = std::chrono::duration<double>(Clock::now() - stepStart_).count();
        const double rate = stepSeconds > 0 ? static_cast<double>(done_) / stepSeconds : 0;
        std::fprintf(stderr, " %llu/%llu %s", static_cast<unsigned long long>(done_),
                     static_cast<unsigned long long>(total_), unit_);
        if (rate > 0)
            std::fprintf(stderr, " %.0f/s %.0f s left", rate,
                         static_cast<double>(total_ - done_) / rate);
    } else {
        std::fprintf(stderr, " %.1f s", seconds);
    }
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace zumeld_cli
