#include "platform/guests/GuestRequests.h"

#include <libsoup/soup.h>
#include <sys/socket.h>

#include <string>

#include "platform/guests/LocalNetwork.h"
#include "platform/guests/PageFiles.h"
#include "platform/party/PartySocket.h"

namespace {
// Whether the request comes from a private or link-local address, or from a network one of this
// machine's interfaces is on: a LAN of public addresses is as local as one behind a router.
bool fromLocalNetwork(SoupServerMessage* message) {
  GSocketAddress* remote = soup_server_message_get_remote_address(message);
  if (!remote || !G_IS_INET_SOCKET_ADDRESS(remote)) return false;
  char* text = g_inet_address_to_string(g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(remote)));
  const bool privateAddress = guests::onLocalNetwork(text);
  g_free(text);
  sockaddr_storage native{};
  return privateAddress ||
         (g_socket_address_to_native(remote, &native, sizeof native, nullptr) && onLocalNetwork(native));
}

// The Host header's host, without its port or an IPv6 address's brackets.
std::string hostOf(const char* header) {
  const std::string host = header;
  if (!host.empty() && host[0] == '[') return host.substr(1, host.find(']') - 1);
  return host.substr(0, host.find(':'));
}

// Whether the request named its resource by a path on this server: libsoup makes an absolute
// URI's host the request's own, whatever the Host header says.
bool forThisServer(SoupServerMessage* message) {
  const char* header =
      soup_message_headers_get_one(soup_server_message_get_request_headers(message), "Host");
  const char* host = g_uri_get_host(soup_server_message_get_uri(message));
  return header && host && g_ascii_strcasecmp(hostOf(header).c_str(), host) == 0;
}

// Whether the request's Accept-Encoding takes gzip: named, or under "*", and not with q=0.
bool takesGzip(SoupServerMessage* message) {
  const char* header =
      soup_message_headers_get_list(soup_server_message_get_request_headers(message), "Accept-Encoding");
  if (!header) return false;
  GSList* refused = nullptr;
  GSList* accepted = soup_header_parse_quality_list(header, &refused);
  auto names = [](GSList* list, const char* name) {
    return g_slist_find_custom(list, name, [](const void* a, const void* b) {
             return g_ascii_strcasecmp(static_cast<const char*>(a), static_cast<const char*>(b));
           }) != nullptr;
  };
  const bool takes = names(accepted, "gzip") || (names(accepted, "*") && !names(refused, "gzip"));
  soup_header_free_list(accepted);
  soup_header_free_list(refused);
  return takes;
}

// Whether the request's If-None-Match names `tag` (or is "*"): the client has these bytes.
bool alreadyHas(SoupServerMessage* message, const std::string& tag) {
  const char* header =
      soup_message_headers_get_list(soup_server_message_get_request_headers(message), "If-None-Match");
  if (!header) return false;
  GSList* tags = soup_header_parse_list(header);
  bool has = false;
  for (GSList* t = tags; t && !has; t = t->next) {
    const std::string given = static_cast<const char*>(t->data);
    has = given == "*" || given == tag || given == "W/" + tag;  // a weak match is enough for a GET
  }
  soup_header_free_list(tags);
  return has;
}

bool refuse(SoupServerMessage* message, guint status) {
  soup_server_message_set_status(message, status, nullptr);
  return false;
}
}  // namespace

bool admitGuestRequest(SoupServerMessage* message) {
  if (!fromLocalNetwork(message)) return refuse(message, SOUP_STATUS_FORBIDDEN);
  const char* method = soup_server_message_get_method(message);
  if (method != SOUP_METHOD_GET && method != SOUP_METHOD_HEAD) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Allow", "GET, HEAD");
    return refuse(message, SOUP_STATUS_METHOD_NOT_ALLOWED);
  }
  SoupMessageHeaders* asked = soup_server_message_get_request_headers(message);
  const SoupEncoding body = soup_message_headers_get_encoding(asked);
  if (body != SOUP_ENCODING_NONE &&
      !(body == SOUP_ENCODING_CONTENT_LENGTH && soup_message_headers_get_content_length(asked) == 0)) {
    // libsoup reads a body even past a refusal: it is dropped as it comes, and so is the connection.
    soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection", "close");
    return refuse(message, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE);
  }
  if (!forThisServer(message)) return refuse(message, SOUP_STATUS_NOT_FOUND);
  return true;
}

void serveGuestFile(SoupServerMessage* message, const PageFiles& files) {
  const PageFiles::File* file = files.find(g_uri_get_path(soup_server_message_get_uri(message)));
  if (!file) {
    soup_server_message_set_status(message, SOUP_STATUS_NOT_FOUND, nullptr);
    return;
  }
  SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
  soup_message_headers_replace(headers, "Content-Type", file->type);
  // A party's page changes with the demo: phones ask again rather than keep an old one.
  soup_message_headers_replace(headers, "Cache-Control", "no-cache");
  soup_message_headers_replace(headers, "X-Content-Type-Options", "nosniff");
  GBytes* body = file->bytes.get();
  std::string tag = file->tag;
  if (file->gzipped) {
    soup_message_headers_replace(headers, "Vary", "Accept-Encoding");
    if (takesGzip(message)) {
      soup_message_headers_replace(headers, "Content-Encoding", "gzip");
      body = file->gzipped.get();
      tag.insert(tag.size() - 1, "-gz");
    }
  }
  soup_message_headers_replace(headers, "ETag", tag.c_str());
  // Asked again (no-cache), a phone that has the file already gets a few bytes, not the music.
  if (alreadyHas(message, tag)) {
    soup_server_message_set_status(message, SOUP_STATUS_NOT_MODIFIED, nullptr);
    return;
  }
  soup_message_body_append_bytes(soup_server_message_get_response_body(message), body);
  soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
}
