#pragma once

#include <cstdint>
#include <map>
#include <string>

// Lines about messages dropped, said at most once a minute per kind, with how many there were:
// a flood of them tells the log no more than one does.
class PartyNotes {
 public:
  static constexpr int64_t kEveryUs = 60 * 1000000LL;

  // A message of `kind` was dropped at `nowUs`. The line to say now, or empty.
  std::string dropped(const std::string& kind, const std::string& from, int64_t nowUs);
  // The lines for kinds with drops not yet told whose minute is over.
  std::string due(int64_t nowUs);

 private:
  struct Kind {
    int64_t saidUs = 0;
    uint64_t untold = 0;
    std::string lastFrom;
  };
  static std::string counted(const std::string& kind, const Kind& k);
  std::map<std::string, Kind> kinds_;  // a fixed set of reasons: it does not grow with the network
};
