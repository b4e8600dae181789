// The output folder of one match or series, held exclusively while it runs,
// and whole-file writes that a reader never sees half done.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace Kelp::Referee {

// Lives in a held folder while its holder runs; flock()ed, so a holder
// killed outright leaves no lock that counts.
inline constexpr const char* LOCK_FILE = ".kelp-referee.lock";

class OutputFolder {
 public:
  enum class Mode {
    New,     // the folder must not exist, or be empty
    Resume,  // the folder must exist (a series continued where it stopped)
  };
  // Takes `dir` for this process: creates it (and its parents) in New mode
  // and locks it. Refuses, with the reason in `why`, a path that is not a
  // folder, a folder with anything in it (New), a missing folder (Resume),
  // and a folder another referee holds; a refusal leaves the path as it was.
  static std::unique_ptr<OutputFolder> claim(const std::string& dir, Mode mode, std::string& why);
  // Takes a new folder `base`, or `base-2`, `base-3`, ... when the name is
  // taken: created with mkdir, so two referees never get the same one.
  static std::unique_ptr<OutputFolder> claimFresh(const std::string& base, std::string& why);
  ~OutputFolder();  // releases the folder
  OutputFolder(const OutputFolder&) = delete;
  OutputFolder& operator=(const OutputFolder&) = delete;

  const std::string& path() const { return dir_; }

 private:
  OutputFolder(std::string dir, int lockFd) : dir_(std::move(dir)), lockFd_(lockFd) {}
  std::string dir_;
  int lockFd_ = -1;
};

// Writes `bytes` to a temporary file beside `path` and renames it onto
// `path`: a reader finds the old file or the whole new one. False when
// any step fails (the temporary file is then removed).
bool writeFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace Kelp::Referee
