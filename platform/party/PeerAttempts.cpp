#include "platform/party/PeerAttempts.h"

#include <algorithm>

void PeerAttempts::announced(const std::vector<std::string>& addresses) {
  std::erase_if(tries_, [&](const auto& entry) {
    return std::find(addresses.begin(), addresses.end(), entry.first) == addresses.end();
  });
  for (const std::string& address : addresses)
    if (tries_.size() < kMostAddresses) tries_.try_emplace(address);
}

std::vector<std::string> PeerAttempts::due(int64_t nowUs) {
  std::vector<std::string> due;
  for (auto& [address, tries] : tries_) {
    if (tries.count >= kQuickTries && nowUs - tries.lastUs < kRarelyUs) continue;
    ++tries.count;
    tries.lastUs = nowUs;
    due.push_back(address);
  }
  return due;
}

void PeerAttempts::answered(const std::string& address) {
  if (auto at = tries_.find(address); at != tries_.end()) at->second = Tries{};
}
