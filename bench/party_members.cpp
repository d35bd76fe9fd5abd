// What a party costs its members: N members of one party in this process, found through the
// Avahi daemon on the system bus, for a while. Prints per member the messages and bytes sent
// and taken each second, and the CPU the party's threads take, as a share of a core.
//
// Usage: party_members MEMBERS SECONDS

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "bench/ProcessCpu.h"
#include "platform/party/Party.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s MEMBERS SECONDS\n", argv[0]);
    return 2;
  }
  const int count = std::atoi(argv[1]);
  const double seconds = std::atof(argv[2]);
  std::vector<std::unique_ptr<Party>> members;
  for (int i = 0; i < count; ++i)
    members.push_back(Party::join({"bench", true}, [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }));
  for (auto& member : members) member->settle();
  // Counted once every member has found every other.
  std::vector<Party::Traffic> before;
  for (auto& member : members) before.push_back(member->traffic());
  const double cpuBefore = processCpuSeconds();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double cpu = processCpuSeconds() - cpuBefore;
  Party::Traffic total;
  bool oneStart = true;
  for (size_t i = 0; i < members.size(); ++i) {
    const Party::Traffic now = members[i]->traffic();
    total.sent += now.sent - before[i].sent;
    total.sentBytes += now.sentBytes - before[i].sentBytes;
    total.received += now.received - before[i].received;
    total.receivedBytes += now.receivedBytes - before[i].receivedBytes;
    oneStart = oneStart && members[i]->startUs() == members[0]->startUs();
  }
  const double perMember = count * seconds;
  std::printf("members %d\none_start %s\nsent_per_second %.2f\nsent_bytes_per_second %.1f\n"
              "received_per_second %.2f\ncpu_share %.5f\n",
              count, oneStart ? "yes" : "no", total.sent / perMember, total.sentBytes / perMember,
              total.received / perMember, cpu / perMember);
  return 0;
}
