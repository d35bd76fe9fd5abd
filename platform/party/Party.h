#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// A party: discos on one local network that show the same frame and play the music in step.
// They find each other through Avahi, authenticate every message with a key derived from the
// party's name, agree on one start, and follow one clock of the party's own that each measures
// over its own messages: no machine's system clock need be right.
class Party {
 public:
  struct Request {
    std::string name;
    bool silent = false;  // play no sound: another member's speakers play
    std::string guests;   // the web page's folder, served to guests' phones; empty: none
  };
  // DISCO_PARTY=name asks to join; DISCO_PARTY_SILENT=1 keeps this member quiet;
  // DISCO_PARTY_GUESTS=1 welcomes guests' phones with the page built beside the program (or
  // installed with it), DISCO_PARTY_GUESTS=FOLDER with the page built there. Nothing when not
  // asked, or (with `why`) when the name cannot be a party's.
  static std::optional<Request> requested(std::string& why);

  using Report = std::function<void(const std::string& line)>;

  // Starts answering and looking for the party's members, on a thread of its own. Without
  // Avahi or the network the member is alone (said once), and the party is its own.
  static std::unique_ptr<Party> join(const Request& request, Report report);
  ~Party();

  // Waits until `windowMs` after joining for the others to answer (or until the first of them
  // is measured, whose party this member then has), then says the start.
  void settle(int windowMs = kJoinWindowMs);

  // The party's start (party time, microseconds): it changes only when this member's party
  // meets one that has run longer.
  int64_t startUs() const;
  // The floor's colours: the same for everyone at the same start (a guest's page too).
  static unsigned seedOf(int64_t startUs) {
    const uint64_t start = static_cast<uint64_t>(startUs);
    return static_cast<unsigned>(start ^ (start >> 32));
  }
  // The party's time now, in seconds since its start.
  double seconds() const;
  bool silent() const;
  const std::string& name() const;

  // How the party stands, for a line in the log.
  struct State {
    size_t members = 1;       // this one too
    double clocksApart = 0;   // seconds between the members' party clocks, as measured
    bool followed = true;     // this member's clock is the one the others follow
  };
  State state() const;

  // Messages and their bytes so far, sent and taken (whatever was dropped).
  struct Traffic {
    uint64_t sent = 0, sentBytes = 0, received = 0, receivedBytes = 0;
  };
  Traffic traffic() const;

  static constexpr int kJoinWindowMs = 2000;

  struct Impl;

 private:
  explicit Party(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};
