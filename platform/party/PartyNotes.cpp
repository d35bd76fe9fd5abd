#include "platform/party/PartyNotes.h"

std::string PartyNotes::dropped(const std::string& kind, const std::string& from, int64_t nowUs) {
  auto [at, first] = kinds_.try_emplace(kind);
  Kind& k = at->second;
  if (first) {
    k.saidUs = nowUs;
    return "a message from " + from + " dropped: " + kind;
  }
  ++k.untold;
  k.lastFrom = from;
  return nowUs - k.saidUs >= kEveryUs ? due(nowUs) : std::string();
}

std::string PartyNotes::due(int64_t nowUs) {
  std::string lines;
  for (auto& [kind, k] : kinds_) {
    if (k.untold == 0 || nowUs - k.saidUs < kEveryUs) continue;
    if (!lines.empty()) lines += '\n';
    lines += counted(kind, k);
    k.saidUs = nowUs;
    k.untold = 0;
  }
  return lines;
}

std::string PartyNotes::counted(const std::string& kind, const Kind& k) {
  return std::to_string(k.untold) + " more message(s) dropped since said: " + kind + " (the last from " + k.lastFrom + ")";
}
