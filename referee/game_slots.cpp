#include "referee/game_slots.h"

namespace Kelp::Referee {

GameSlots::GameSlots(const SeriesConfig& config, int slots, std::function<std::string(int)> dirOf)
    : config_(config), dirOf_(std::move(dirOf)) {
  for (int i = 0; i < slots; ++i) threads_.emplace_back([this] { work(); });
}

GameSlots::~GameSlots() {
  stop();
  for (auto& t : threads_) t.join();
}

void GameSlots::add(int index) {
  std::lock_guard lock(mutex_);
  queue_.push_back(index);
  queued_.notify_one();
}

void GameSlots::stop() {
  std::lock_guard lock(mutex_);
  stop_ = true;
  queue_.clear();
  queued_.notify_all();
}

std::vector<GameResult> GameSlots::takeFinished() {
  std::lock_guard lock(mutex_);
  return std::exchange(finished_, {});
}

bool GameSlots::idle() {
  std::lock_guard lock(mutex_);
  return queue_.empty() && running_ == 0 && finished_.empty();
}

void GameSlots::waitForFinished(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  finishedOne_.wait_for(lock, timeout, [&] { return !finished_.empty(); });
}

void GameSlots::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    queued_.wait(lock, [&] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    const int index = queue_.front();
    queue_.pop_front();
    ++running_;
    lock.unlock();
    GameResult g = playSeriesGame(config_, index, dirOf_(index));
    lock.lock();
    --running_;
    finished_.push_back(std::move(g));
    finishedOne_.notify_all();
  }
}

}  // namespace Kelp::Referee
