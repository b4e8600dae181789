#include "referee/distributed.h"

#include <fmt/format.h>
#include <mpi.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "referee/cli.h"
#include "referee/folder_pack.h"
#include "referee/game_slots.h"
#include "referee/resume.h"
#include "referee/stop.h"

namespace Kelp::Referee {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Messages, all between rank 0 and one other rank.
enum Tag : int {
  TAG_GAMES = 1,    // 0 -> r: int[] the 0-based games of one pair to play
  TAG_STOP = 2,     // 0 -> r: start no more games; finish, report, say goodbye
  TAG_RESULT = 3,   // r -> 0: JSON {result, error, bytes}, then the folder in TAG_FOLDER parts
  TAG_FOLDER = 4,   // r -> 0: the packed game folder, in parts of at most FOLDER_PART bytes
  TAG_GOODBYE = 5,  // r -> 0: every game started has been reported
};
constexpr std::size_t FOLDER_PART = std::size_t{1} << 30;
constexpr auto POLL = std::chrono::milliseconds(5);

void sendBytes(const std::string& bytes, int to, int tag) {
  MPI_Send(bytes.data(), static_cast<int>(bytes.size()), MPI_BYTE, to, tag, MPI_COMM_WORLD);
}

std::string receiveBytes(int from, int tag, MPI_Status* status = nullptr) {
  MPI_Status probed;
  MPI_Probe(from, tag, MPI_COMM_WORLD, &probed);
  int n = 0;
  MPI_Get_count(&probed, MPI_BYTE, &n);
  std::string bytes(static_cast<std::size_t>(n), '\0');
  MPI_Recv(bytes.data(), n, MPI_BYTE, probed.MPI_SOURCE, tag, MPI_COMM_WORLD,
           status ? status : MPI_STATUS_IGNORE);
  return bytes;
}

// The settings go to every rank at once; an empty text means "no series,
// go home".
std::string broadcastSettings(const std::string& text) {
  int n = static_cast<int>(text.size());
  MPI_Bcast(&n, 1, MPI_INT, 0, MPI_COMM_WORLD);
  std::string got = text;
  got.resize(static_cast<std::size_t>(n));
  if (n > 0) MPI_Bcast(got.data(), n, MPI_CHAR, 0, MPI_COMM_WORLD);
  return got;
}

// Rank 0's messages to the others go out without blocking, so rank 0 never
// waits on a rank that is itself sending a game's folder.
class Outbox {
 public:
  void send(std::vector<int> data, int to, int tag) {
    Message& m = messages_.emplace_back();
    m.data = std::move(data);
    MPI_Isend(m.data.data(), static_cast<int>(m.data.size()), MPI_INT, to, tag, MPI_COMM_WORLD,
              &m.request);
  }
  void tidy() {
    for (auto it = messages_.begin(); it != messages_.end();) {
      int done = 0;
      MPI_Test(&it->request, &done, MPI_STATUS_IGNORE);
      it = done ? messages_.erase(it) : std::next(it);
    }
  }
  ~Outbox() {
    for (Message& m : messages_) MPI_Wait(&m.request, MPI_STATUS_IGNORE);
  }

 private:
  struct Message {
    std::vector<int> data;
    MPI_Request request = MPI_REQUEST_NULL;
  };
  std::list<Message> messages_;
};

// Rank 0: receives one game from rank `from` and writes its folder where the
// series keeps it. Returns the game and counts the bytes that came.
GameResult receiveGame(const SeriesConfig& config, int from, uint64_t& bytesIn) {
  const std::string header = receiveBytes(from, TAG_RESULT);
  bytesIn += header.size();
  const json h = json::parse(header, nullptr, false);
  auto parsed = h.is_discarded() ? std::nullopt : gameFromJson(h.value("result", json()));
  GameResult g;
  if (!parsed) {
    // A rank that speaks another language than ours: nothing can be trusted.
    MPI_Abort(MPI_COMM_WORLD, 3);
  }
  g = *parsed;
  g.error = h.value("error", "");
  const uint64_t size = h.value("bytes", uint64_t{0});
  std::string folder;
  while (folder.size() < size) folder += receiveBytes(from, TAG_FOLDER);
  bytesIn += folder.size();
  std::string why;
  if (g.error.empty() &&
      !unpackFolder(folder, gameFolder(config.match.outDir, g.number - 1), why)) {
    g.error = fmt::format("the folder that rank {} sent: {}", from, why);
  }
  return g;
}

// Rank r: sends one finished game and its folder to rank 0, then drops the
// folder here.
void sendGame(const GameResult& game, const std::string& dir) {
  std::string why;
  GameResult g = game;
  std::optional<std::string> folder;
  if (g.error.empty()) {
    folder = packFolder(dir, why);
    if (!folder) g.error = why;
  }
  const std::string packed = folder.value_or("");
  const json header = {{"result", gameJson(g)}, {"error", g.error}, {"bytes", packed.size()}};
  sendBytes(header.dump(), 0, TAG_RESULT);
  for (std::size_t at = 0; at < packed.size(); at += FOLDER_PART) {
    sendBytes(packed.substr(at, FOLDER_PART), 0, TAG_FOLDER);
  }
  std::error_code ec;
  fs::remove_all(dir, ec);
}

// Rank 0's side of a series over `ranks` ranks.
SeriesResult keepSeries(Series& series, const SeriesConfig& config, int ranks, std::ostream& out) {
  broadcastSettings(settingsJson(config).dump());
  const int slots = config.concurrency;
  // A rank with a free slot gets the next pair, so it holds at most
  // slots + 1 games (with an odd slot count a pair's second game may wait
  // for the first). A pair goes out only while its last game is fewer than
  // `window` games past the oldest uncounted game: when the SPRT decides
  // after game n, no game past n + window - 1 has been started.
  const int window = ranks * (slots + 1);
  const int pairs = (config.games + 1) / 2;
  std::vector<int> held(ranks, 0);  // games handed to each rank and not yet back
  int nextPair = 0;
  int goodbyes = 0;
  bool stopSent = false;
  uint64_t bytesIn = 0;
  int gamesIn = 0;
  Outbox outbox;
  GameSlots local(config, slots, [&](int index) { return gameFolder(config.match.outDir, index); });

  for (;;) {
    while (!series.stopping() && nextPair < pairs) {
      std::vector<int> games;
      for (int i = 2 * nextPair; i < std::min(2 * nextPair + 2, config.games); ++i) {
        if (series.pending(i)) games.push_back(i);
      }
      if (games.empty()) {  // played before a resume
        ++nextPair;
        continue;
      }
      if (games.back() >= series.counted() + window) break;
      int rank = 0;
      while (rank < ranks && held[rank] >= slots) ++rank;
      if (rank == ranks) break;
      held[rank] += static_cast<int>(games.size());
      if (rank == 0) {
        for (int i : games) local.add(i);
      } else {
        outbox.send(games, rank, TAG_GAMES);
      }
      ++nextPair;
    }

    for (GameResult& g : local.takeFinished()) {
      --held[0];
      series.finish(std::move(g));
    }
    for (int flag = 1; flag;) {
      MPI_Status status;
      MPI_Iprobe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status);
      if (!flag) break;
      if (status.MPI_TAG == TAG_RESULT) {
        GameResult g = receiveGame(config, status.MPI_SOURCE, bytesIn);
        --held[status.MPI_SOURCE];
        ++gamesIn;
        series.finish(std::move(g));
      } else {
        receiveBytes(status.MPI_SOURCE, status.MPI_TAG);
        if (status.MPI_TAG == TAG_GOODBYE) ++goodbyes;
      }
    }
    outbox.tidy();

    int inFlight = 0;
    for (int h : held) inFlight += h;
    if (!stopSent && (series.stopping() || (nextPair >= pairs && inFlight == 0))) {
      for (int r = 1; r < ranks; ++r) outbox.send({}, r, TAG_STOP);
      local.stop();
      stopSent = true;
    }
    if (stopSent && goodbyes == ranks - 1 && local.idle()) break;
    local.waitForFinished(POLL);
  }
  out << fmt::format("over {} MPI ranks: {} games came from other ranks, {} bytes ({} per game)\n",
                     ranks, gamesIn, bytesIn, gamesIn > 0 ? bytesIn / gamesIn : 0);
  return series.result();
}

// Rank r > 0: plays what rank 0 hands out until told to stop.
int serveSeries(int rank, std::ostream& err) {
  // mpirun passes a signal on to every rank: games here end in order too.
  installStopHandlers();
  const std::string text = broadcastSettings("");
  if (text.empty()) return 0;
  std::string why;
  const json settings = json::parse(text, nullptr, false);
  auto config = settings.is_discarded() ? std::nullopt : settingsFromJson(settings, why);
  if (!config) {
    err << fmt::format("kelp-referee rank {}: {}\n", rank, why);
    MPI_Abort(MPI_COMM_WORLD, 2);
  }
  const fs::path scratch =
      fs::temp_directory_path() / fmt::format("kelp-referee-{}-rank{}", ::getpid(), rank);
  const auto dirOf = [&](int index) { return gameFolder(scratch.string(), index); };
  {
    GameSlots slots(*config, config->concurrency, dirOf);
    bool stopped = false;
    for (;;) {
      for (int flag = 1; flag;) {
        MPI_Status status;
        MPI_Iprobe(0, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &status);
        if (!flag) break;
        int n = 0;
        MPI_Get_count(&status, MPI_INT, &n);
        std::vector<int> games(static_cast<std::size_t>(n));
        MPI_Recv(games.data(), n, MPI_INT, 0, status.MPI_TAG, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        if (status.MPI_TAG == TAG_STOP) {
          slots.stop();
          stopped = true;
        } else {
          for (int i : games) slots.add(i);
        }
      }
      // A game cut short by a signal is not a result: rank 0 counts
      // nothing past it, and a resumed series plays it again.
      for (const GameResult& g : slots.takeFinished()) {
        if (!g.interrupted) sendGame(g, dirOf(g.number - 1));
      }
      if (stopped && slots.idle()) break;
      slots.waitForFinished(POLL);
    }
    MPI_Send(nullptr, 0, MPI_BYTE, 0, TAG_GOODBYE, MPI_COMM_WORLD);
  }
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return 0;
}

}  // namespace

bool launchedByMpi() {
  // Open MPI's mpirun, PMIx (Open MPI 4 and 5, srun --mpi=pmix), PMI/PMI2
  // (MPICH's hydra, srun --mpi=pmi2).
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE"}) {
    if (std::getenv(name)) return true;
  }
  return false;
}

int mpiMain(int argc, char** argv, std::ostream& out, std::ostream& err) {
  if (!launchedByMpi()) {
    // srun with no MPI plug-in starts every task as a series of its own, all
    // writing the same folder.
    const char* tasks = std::getenv("SLURM_STEP_NUM_TASKS");
    if (tasks && std::atoi(tasks) > 1) {
      err << "kelp-referee: started by srun as one of " << tasks
          << " tasks without MPI; use srun --mpi=pmix (or mpirun)\n";
      return 2;
    }
    return refereeMain(argc, argv, out, err);
  }
  // Games run in threads of their own; only the main thread calls MPI.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  int rank = 0, ranks = 1;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank);
  MPI_Comm_size(MPI_COMM_WORLD, &ranks);
  int status = 0;
  if (ranks == 1) {
    status = refereeMain(argc, argv, out, err);
  } else if (rank == 0) {
    bool served = false;
    const SeriesRunner runner = [&](Series& series, const SeriesConfig& config) {
      served = true;
      return keepSeries(series, config, ranks, out);
    };
    status = refereeMain(argc, argv, out, err, runner);
    // No series (a single match, help, a usage error): send the others home.
    if (!served) broadcastSettings("");
  } else {
    status = serveSeries(rank, err);
  }
  MPI_Finalize();
  return status;
}

}  // namespace Kelp::Referee
