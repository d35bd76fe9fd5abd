#pragma once

#include <avahi-client/client.h>
#include <avahi-client/publish.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One service published through an AvahiConnection under a name that Avahi's alternatives
// ("name #2", …) replace while another service on the network holds it. Lives on the
// connection's thread, and must outlive the connection.
class AvahiPublication {
 public:
  using Report = std::function<void(const std::string& line)>;

  struct Service {
    std::string name;  // cut to one DNS label
    std::string type;  // "_http._tcp"
    uint16_t port = 0;
    std::vector<std::string> txt;  // "key=value"
  };

  // `what` names it in `report`'s lines: "cannot publish <what>: …".
  AvahiPublication(Service service, std::string what, Report report);
  ~AvahiPublication();
  AvahiPublication(const AvahiPublication&) = delete;
  AvahiPublication& operator=(const AvahiPublication&) = delete;

  // "<what> on <this host's name>".
  static std::string onThisHost(const std::string& what);

  // Published while the client runs, withdrawn while the host's own name is being registered again.
  void follow(AvahiClient* client, AvahiClientState state);

 private:
  void publish();
  void rename();
  static void groupChanged(AvahiEntryGroup* group, AvahiEntryGroupState state, void* user);
  void say(const std::string& line);

  Service service_;
  std::string what_;
  Report report_;
  AvahiClient* client_ = nullptr;
  AvahiEntryGroup* group_ = nullptr;  // the client's: freed with it
  char* name_ = nullptr;              // avahi_malloc'ed: a collision changes it
};
