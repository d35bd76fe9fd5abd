#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The addresses the service discovery announces for the party, tried until a member answers
// from there: a few times at the sending pace, then rarely, since anyone on the network can
// announce anything. At most kMostAddresses are kept.
class PeerAttempts {
 public:
  static constexpr size_t kMostAddresses = 32;
  static constexpr int kQuickTries = 5;
  static constexpr int64_t kRarelyUs = 30 * 1000000LL;

  // What is announced now: new addresses are added while there is room, gone ones dropped.
  void announced(const std::vector<std::string>& addresses);
  // Those to try at `nowUs`, each counted as tried.
  std::vector<std::string> due(int64_t nowUs);
  // A member answered from there: when it goes, it is tried quickly again.
  void answered(const std::string& address);
  bool announcedAt(const std::string& address) const { return tries_.count(address) != 0; }

 private:
  struct Tries {
    int count = 0;
    int64_t lastUs = 0;
  };
  std::map<std::string, Tries> tries_;
};
