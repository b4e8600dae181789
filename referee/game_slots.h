// Games of a series played in this process, a fixed number at a time, in the
// order they are handed in: the series's own games, or those of one MPI
// rank. Whoever hands the games in decides which to play and counts them;
// the slots only play them and hand back the results.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "referee/series.h"

namespace Kelp::Referee {

class GameSlots {
 public:
  // Plays up to `slots` games at once; game i is played in folder dirOf(i).
  GameSlots(const SeriesConfig& config, int slots, std::function<std::string(int)> dirOf);
  // Drops the games not started and waits for those running.
  ~GameSlots();
  GameSlots(const GameSlots&) = delete;
  GameSlots& operator=(const GameSlots&) = delete;

  void add(int index);
  // Starts no more games; those running finish and are handed back.
  void stop();
  // The games finished since the last call.
  std::vector<GameResult> takeFinished();
  // Nothing queued, running or finished and not yet taken.
  bool idle();
  // Waits until a game finishes or the time passes.
  void waitForFinished(std::chrono::milliseconds timeout);

 private:
  void work();

  const SeriesConfig& config_;
  std::function<std::string(int)> dirOf_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finishedOne_;
  std::deque<int> queue_;
  std::vector<GameResult> finished_;
  int running_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace Kelp::Referee
