#include <gio/gio.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/guests/GuestServer.h"
#include "platform/guests/LocalNetwork.h"
#include "unit/GuestWire.h"

namespace fs = std::filesystem;

namespace {
const GuestServer::Clock kClock{12.5, 1700000000123456, 0xdeadbeef};

const std::string kTune(1024, 'm');  // compresses well, but music is never re-encoded

std::string everyByte() {
  std::string bytes;
  for (int i = 0; i < 1024; ++i) bytes += static_cast<char>(i * 7 % 256);
  return bytes;
}

// A gzip stream's content, or "(not gzip)".
std::string gunzip(const std::string& encoded) {
  GZlibDecompressor* decompressor = g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP);
  std::string plain(1 << 16, '\0');
  gsize read = 0, written = 0;
  const GConverterResult result =
      g_converter_convert(G_CONVERTER(decompressor), encoded.data(), encoded.size(), plain.data(), plain.size(),
                          G_CONVERTER_INPUT_AT_END, &read, &written, nullptr);
  g_object_unref(decompressor);
  return result == G_CONVERTER_FINISHED && read == encoded.size() ? plain.substr(0, written) : "(not gzip)";
}

// A page in a temporary folder, with a secret beside it that a link inside points to, and a
// server on it, on loopback.
class GuestServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/guests-XXXXXX";
    root_ = mkdtemp(name);
    page_ = root_ / "page";
    fs::create_directories(page_ / "resources");
    write(page_ / "index.html", "<!doctype html><title>disco</title>");
    write(page_ / "disco.wasm", everyByte());
    write(page_ / "resources" / "tune.m4a", kTune);
    write(root_ / "secret.txt", "the party's name");
    fs::create_symlink(root_ / "secret.txt", page_ / "link.txt");
    fs::create_directory_symlink(root_, page_ / "up");
    GuestServer::Options options{page_.string(), 0, false, false, true};
    server_ = GuestServer::start(options, [] { return kClock; }, [this](const std::string& line) {
      std::lock_guard<std::mutex> hold(saying_);
      said_ += line + "\n";
    });
    ASSERT_TRUE(server_) << said_;
  }
  void TearDown() override {
    server_.reset();
    fs::remove_all(root_);
  }
  static void write(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

  GuestWire::Response ask(const std::string& request) { return GuestWire(server_->port()).ask(request); }

  std::unique_ptr<GuestWire> guest() {
    auto wire = std::make_unique<GuestWire>(server_->port());
    EXPECT_EQ(wire->openWebSocket(), 101);
    return wire;
  }

  fs::path root_, page_;
  bool said(const std::string& line) {
    std::lock_guard<std::mutex> hold(saying_);
    return said_.find(line) != std::string::npos;
  }

  std::mutex saying_;
  std::string said_;  // the server's log
  std::unique_ptr<GuestServer> server_;
};

TEST_F(GuestServerTest, ServesThePagesFilesByteForByteAndSaysItsLink) {
  const auto wasm = ask(GuestWire::get("/disco.wasm"));
  EXPECT_EQ(wasm.status, 200);
  EXPECT_EQ(wasm.body, everyByte());
  EXPECT_EQ(wasm.header("Content-Type"), "application/wasm");
  EXPECT_EQ(wasm.header("Cache-Control"), "no-cache");
  const auto index = ask(GuestWire::get("/"));
  EXPECT_EQ(index.body, "<!doctype html><title>disco</title>");
  EXPECT_EQ(index.header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(ask(GuestWire::get("/resources/tune.m4a")).header("Content-Type"), "audio/mp4");
  const auto head = ask(GuestWire::get("/disco.wasm", "HEAD"));
  EXPECT_EQ(head.status, 200);
  EXPECT_EQ(head.body, "");
  EXPECT_EQ(server_->link(), "http://127.0.0.1:" + std::to_string(server_->port()) + "/?party");  // the page joins
  EXPECT_TRUE(said("guests join the party at " + server_->link()));
}

TEST_F(GuestServerTest, GzipsCodeToAClientThatTakesIt) {
  struct Case {
    const char *path, *accepts;
    bool gzipped;
  };
  for (const Case& c : {Case{"/disco.wasm", "", false}, Case{"/disco.wasm", "Accept-Encoding: gzip, deflate, br\r\n", true},
                        Case{"/disco.wasm", "Accept-Encoding: *\r\n", true},
                        Case{"/disco.wasm", "Accept-Encoding: br\r\n", false},
                        Case{"/disco.wasm", "Accept-Encoding: *, gzip;q=0\r\n", false},
                        Case{"/resources/tune.m4a", "Accept-Encoding: gzip\r\n", false}}) {
    const auto answer = ask(GuestWire::get(c.path, "GET", c.accepts));
    const std::string what = std::string(c.path) + " to \"" + c.accepts + "\"";
    EXPECT_EQ(answer.header("Content-Encoding"), c.gzipped ? "gzip" : "") << what;
    if (c.gzipped) {
      EXPECT_LT(answer.body.size(), everyByte().size() / 2) << what;
      EXPECT_EQ(gunzip(answer.body), everyByte()) << what;
    }
  }
  EXPECT_EQ(ask(GuestWire::get("/disco.wasm")).header("Vary"), "Accept-Encoding");  // caches keep the two apart
  EXPECT_EQ(ask(GuestWire::get("/resources/tune.m4a", "GET", "Accept-Encoding: gzip\r\n")).body, kTune);
}

TEST_F(GuestServerTest, AClientThatHasAFileIsToldSoInAFewBytes) {
  const std::string tag = ask(GuestWire::get("/resources/tune.m4a")).header("ETag");
  ASSERT_EQ(tag.size(), 34u) << tag;  // quoted
  const auto again = ask(GuestWire::get("/resources/tune.m4a", "GET", "If-None-Match: \"x\", " + tag + "\r\n"));
  EXPECT_EQ(again.status, 304);
  EXPECT_EQ(again.body, "");
  EXPECT_EQ(ask(GuestWire::get("/resources/tune.m4a", "GET", "If-None-Match: \"x\"\r\n")).body, kTune);
  EXPECT_EQ(ask(GuestWire::get("/index.html", "GET", "If-None-Match: " + tag + "\r\n")).status, 200);
  // The gzipped form is another representation, with a tag of its own.
  const std::string plainTag = ask(GuestWire::get("/disco.wasm")).header("ETag");
  const std::string gzip = "Accept-Encoding: gzip\r\n";
  const auto zipped = ask(GuestWire::get("/disco.wasm", "GET", gzip + "If-None-Match: " + plainTag + "\r\n"));
  EXPECT_EQ(zipped.status, 200);
  EXPECT_NE(zipped.header("ETag"), plainTag);
  EXPECT_EQ(ask(GuestWire::get("/disco.wasm", "GET", gzip + "If-None-Match: " + zipped.header("ETag") + "\r\n")).status,
            304);
}

TEST_F(GuestServerTest, NamesNothingOutsideThePage) {
  for (const char* target :
       {"/../secret.txt", "/%2e%2e/secret.txt", "/resources/..%2f..%2f..%2fsecret.txt", "/resources%2ftune.m4a",
        "/..\\secret.txt", "/index.html%00", "/link.txt", "/up/secret.txt", "/up/page/index.html", "//secret.txt",
        "/index.html/", "/party-clock/x", "http://elsewhere.example/index.html"}) {
    const auto answer = ask(GuestWire::get(target));
    EXPECT_EQ(answer.status, 404) << target;
    EXPECT_EQ(answer.body.find("party's name"), std::string::npos) << target;
  }
  EXPECT_EQ(ask("GET /index.html HTTP/1.1\r\nHost: elsewhere.example\r\nConnection: close\r\n\r\n").status, 200);
  EXPECT_EQ(ask(GuestWire::get("/index.html", "POST")).status, 405);
  EXPECT_EQ(ask("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 5\r\n\r\nhello").status, 413);
}

TEST_F(GuestServerTest, AnswersAClockQuestionWithItsBytesAndThePartysClock) {
  auto wire = guest();
  const std::string ask = "\x01\x02\x03\x04\x05\x06\x07\x80";
  wire->sendFrame(2, ask);
  const auto frame = wire->readFrame();
  ASSERT_EQ(frame.opcode, 2);
  ASSERT_EQ(frame.payload.size(), 32u);
  double seconds = 0, startUs = 0;
  uint32_t seed = 0;
  std::memcpy(&seconds, frame.payload.data() + 8, 8);  // little-endian, as this machine
  std::memcpy(&startUs, frame.payload.data() + 16, 8);
  std::memcpy(&seed, frame.payload.data() + 24, 4);
  EXPECT_EQ(frame.payload.substr(0, 8), ask);
  EXPECT_EQ(seconds, kClock.seconds);
  EXPECT_EQ(startUs, static_cast<double>(kClock.startUs));
  EXPECT_EQ(seed, kClock.seed);
  EXPECT_EQ(frame.payload.substr(28), std::string(4, '\0'));
}

TEST_F(GuestServerTest, ClosesASocketThatSendsAnythingButClockQuestions) {
  struct Case {
    const char* what;
    int opcode;
    std::string payload;
    int repeat, code;
  };
  // libsoup drops an oversized frame's connection before reading it: a reset may beat its 1009.
  for (const Case& c : {Case{"text", 1, "12345678", 1, 1008}, Case{"9 bytes", 2, "123456789", 1, 1008},
                        Case{"oversized", 2, std::string(4096, 'x'), 1, 1009},
                        Case{"a flood", 2, "12345678", 100, 1008}}) {
    auto wire = guest();
    for (int i = 0; i < c.repeat; ++i) wire->sendFrame(c.opcode, c.payload);
    const int code = wire->closeCode();
    EXPECT_TRUE(code == c.code || (c.code == 1009 && code == 0)) << c.what << " closed with " << code;
  }
}

TEST_F(GuestServerTest, TurnsAwayTheGuestPastTheMost) {
  std::vector<std::unique_ptr<GuestWire>> guests;
  for (int i = 0; i < 64; ++i) guests.push_back(guest());
  EXPECT_EQ(GuestWire(server_->port()).openWebSocket(), 503);
  EXPECT_TRUE(said("64 guests already"));
}
}  // namespace

TEST(GuestNetwork, LocalAddressesOnly) {
  using guests::onLocalNetwork;
  // loopback
  EXPECT_TRUE(onLocalNetwork("127.0.0.1"));
  EXPECT_TRUE(onLocalNetwork("127.255.0.9"));
  EXPECT_TRUE(onLocalNetwork("::1"));
  // RFC 1918, to their edges
  EXPECT_TRUE(onLocalNetwork("10.200.3.4"));
  EXPECT_TRUE(onLocalNetwork("172.16.0.1"));
  EXPECT_TRUE(onLocalNetwork("172.31.255.254"));
  EXPECT_FALSE(onLocalNetwork("172.15.255.255"));
  EXPECT_FALSE(onLocalNetwork("172.32.0.1"));
  EXPECT_TRUE(onLocalNetwork("192.168.1.20"));
  EXPECT_FALSE(onLocalNetwork("192.169.1.20"));
  // link-local
  EXPECT_TRUE(onLocalNetwork("169.254.10.1"));
  EXPECT_FALSE(onLocalNetwork("169.253.10.1"));
  EXPECT_TRUE(onLocalNetwork("fe80::1"));
  EXPECT_TRUE(onLocalNetwork("febf::1"));
  EXPECT_FALSE(onLocalNetwork("fec0::1"));
  // unique-local
  EXPECT_TRUE(onLocalNetwork("fc00::1"));
  EXPECT_TRUE(onLocalNetwork("fd12:3456::1"));
  EXPECT_FALSE(onLocalNetwork("fe00::1"));
  // carrier-grade NAT
  EXPECT_TRUE(onLocalNetwork("100.64.0.1"));
  EXPECT_TRUE(onLocalNetwork("100.127.255.255"));
  EXPECT_FALSE(onLocalNetwork("100.128.0.1"));
  EXPECT_FALSE(onLocalNetwork("100.63.255.255"));
  // IPv4 mapped into IPv6 counts as itself
  EXPECT_TRUE(onLocalNetwork("::ffff:192.168.0.7"));
  EXPECT_FALSE(onLocalNetwork("::ffff:8.8.8.8"));
  // the rest of the world, and what is no address
  EXPECT_FALSE(onLocalNetwork("8.8.8.8"));
  EXPECT_FALSE(onLocalNetwork("2001:db8::1"));
  EXPECT_FALSE(onLocalNetwork("::"));
  EXPECT_FALSE(onLocalNetwork(""));
  EXPECT_FALSE(onLocalNetwork("localhost"));
}
