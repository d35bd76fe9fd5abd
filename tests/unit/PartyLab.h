#pragma once
// A party on a simulated network, in simulated time: members (PartyNode) with clocks of their
// own (any offset and drift, a system clock that can be set), datagrams that take a while and
// may be cut off between groups, and a record of what each member said and was sent.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/party/PartyKey.h"
#include "platform/party/PartyNode.h"

struct LabMember {
  std::string address;
  uint64_t id = 0;  // later members have smaller ids: seniority, not the id, leads
  int64_t monotonicOffsetUs = 0;
  double ppm = 0;              // its crystal against true time
  int64_t realtimeOffsetUs = 0;  // its system clock against true time: set at will
  int group = 0;               // members of different groups hear each other only when joined
  bool up = true;
  int64_t startedUs = 0;
  std::vector<std::string> lines;
  std::unique_ptr<PartyNode> node;

  int64_t partyUs() const { return node->partyUs(); }
  size_t said(const std::string& text) const {
    size_t n = 0;
    for (const std::string& line : lines) n += line.find(text) != std::string::npos;
    return n;
  }
};

class PartyLab {
 public:
  static PartyKey labKey() { return PartyKey(std::array<uint8_t, 32>{1, 2, 3}); }

  int64_t now = 1000 * 1000000LL;  // true time, microseconds
  bool groupsJoined = false;
  int64_t latencyUs = 300, jitterUs = 200;
  std::vector<std::string> announcedExtra;       // made-up announcements
  std::map<std::string, int> datagramsTo;        // every datagram sent, by address
  std::function<void(const std::string& from, const std::string& to, const PartyMessage::Bytes&)> overheard;

  // `address`: another member's, for one started again there (that one down by then).
  LabMember& add(int64_t monotonicOffsetUs, double ppm, int64_t realtimeOffsetUs, int group = 0,
                 const PartyKey& key = labKey(), const std::string& address = "") {
    auto member = std::make_unique<LabMember>();
    LabMember* m = member.get();
    m->address = address.empty() ? "10.0.0." + std::to_string(members_.size() + 1) + ":45617" : address;
    m->monotonicOffsetUs = monotonicOffsetUs;
    m->ppm = ppm;
    m->realtimeOffsetUs = realtimeOffsetUs;
    m->group = group;
    m->startedUs = now;
    PartyClocks clocks{[this, m] { return monotonic(*m); }, [this, m] { return now + m->realtimeOffsetUs; }};
    m->id = 100 - members_.size();
    m->node = std::make_unique<PartyNode>(
        key, m->id, clocks, 0, 45617,
        [this, m](const std::string& to, const PartyMessage::Bytes& bytes) { send(*m, to, bytes); },
        [m](const std::string& line) { m->lines.push_back(line); });
    members_.push_back(std::move(member));
    return *m;
  }

  // A datagram from anyone, arriving now.
  void inject(LabMember& to, const std::string& from, const uint8_t* data, size_t size) {
    to.node->receive(data, size, from, true);
  }

  // Runs for `forUs`, in steps of a millisecond: datagrams arrive, members tick, and each
  // settles two seconds after it started, as a member's first frame does.
  void run(int64_t forUs, const std::function<void()>& eachStep = {}) {
    for (const int64_t until = now + forUs; now < until;) {
      const int64_t step = now + 1000;
      // Datagrams arrive at their own moments between the steps.
      while (!inFlight_.empty() && inFlight_.begin()->first < step) {
        const Datagram d = inFlight_.begin()->second;
        now = std::max(now, inFlight_.begin()->first);
        inFlight_.erase(inFlight_.begin());
        for (auto& m : members_)
          if (m->address == d.to && m->up) m->node->receive(d.bytes.data(), d.bytes.size(), d.from, true);
      }
      now = step;
      for (auto& m : members_) {
        if (!m->up) continue;
        if (!m->node->members().settled() && now - m->startedUs >= 2000000) m->node->settle();
        m->node->tick(announced(*m));
      }
      if (eachStep) eachStep();
    }
  }

  std::vector<LabMember*> up() const {
    std::vector<LabMember*> all;
    for (const auto& m : members_)
      if (m->up) all.push_back(m.get());
    return all;
  }

  // The largest difference between the members' party times now.
  int64_t spreadUs() const {
    int64_t lowest = INT64_MAX, highest = INT64_MIN;
    for (LabMember* m : up()) {
      lowest = std::min(lowest, m->partyUs());
      highest = std::max(highest, m->partyUs());
    }
    return highest - lowest;
  }

 private:
  struct Datagram {
    std::string from, to;
    PartyMessage::Bytes bytes;
  };

  int64_t monotonic(const LabMember& m) const {
    return m.monotonicOffsetUs + now + static_cast<int64_t>(static_cast<double>(now) * m.ppm * 1e-6);
  }
  bool linked(const LabMember& a, const std::string& to) const {
    bool member = false;
    for (const auto& m : members_) {
      if (m->address != to) continue;
      if (m->up) return groupsJoined || m->group == a.group;
      member = true;
    }
    return !member;  // anyone else's address: it goes out
  }
  std::vector<std::string> announced(const LabMember& self) const {
    std::vector<std::string> all = announcedExtra;
    for (const auto& m : members_)
      if (m.get() != &self && m->up && (groupsJoined || m->group == self.group)) all.push_back(m->address);
    return all;
  }
  void send(const LabMember& from, const std::string& to, const PartyMessage::Bytes& bytes) {
    ++datagramsTo[to];
    if (overheard) overheard(from.address, to, bytes);
    if (!linked(from, to)) return;
    const int64_t delay = latencyUs + std::uniform_int_distribution<int64_t>(0, jitterUs)(random_);
    inFlight_.emplace(now + delay, Datagram{from.address, to, bytes});
  }

  std::vector<std::unique_ptr<LabMember>> members_;
  std::multimap<int64_t, Datagram> inFlight_;
  std::mt19937_64 random_{7};
};
