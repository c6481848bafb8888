// online_standin: the stand-in online-access server of the tests. It plays
// the service's side of the packet channel and of the client protocol on
// loopback UDP, reusing the channel, stream and soup code of the client.
// Test tool only: never installed.
//
// Command line:
//   online_standin --port N [--key TEXT] [--key-error TEXT]
//                  [--login-error TEXT] [--limits PER_MINUTE PER_HOUR]
//                  [--members NAME,NAME,...] [--echo] [--seed N]
//   --port        the UDP port on 127.0.0.1 (0: the system picks one)
//   --key         the channel key sent in the key packet (default
//                 "ABCDEFGH"; shorter than 8 characters: the client
//                 answers with status 2)
//   --key-error   an error text in the key packet (the client: status 3)
//   --login-error an error text in the login result (the client: status 3
//                 and report of the refusal to the daemon)
//   --limits      answer the login with type 4 and these flood limits
//                 (else type 3)
//   --members     the member list of every created or opened group, each
//                 with status 1 and mode flags 0
//   --echo        send every message (type 11) back to its sender
//   --seed        the seed of the garbage and fault generator
//
// Standard output, one line per event, flushed at once:
//   ready PORT | hello USER APP TOKEN-HEX | credential TEXT
//   message USER-ID CONTENT-ID VERSION ADDRESSEE MODIFIED
//   group-create ID MODE | group-open COOKIE MODE | group-leave COOKIE
//   group-user COOKIE OPERATION NAME | group-message COOKIE
//   group-mode COOKIE A B | group-user-mode COOKIE NAME A B | disconnect
//   done COMMAND (after each command of standard input)
// Standard input, one command per line (fault injection and server pushes;
// each answered by "done <command word>"):
//   drop N | dup N | reorder N     the next N datagrams out are lost /
//                                  sent twice / held behind the next one
//   garbage N                      N malformed datagrams to every client:
//                                  random bytes, acknowledging nothing,
//                                  either unsequenced with a payload of 2
//                                  or more bytes or a fragment numbered 127
//                                  (a well-formed datagram from the
//                                  server's address is indistinguishable
//                                  from a real one: the channel has no
//                                  integrity check)
//   deliver USER-ID CONTENT-ID VERSION FROM
//                                  a versioned message (body: text "hello")
//   created ID COOKIE              a group-created reply with that id
//   users COOKIE NAME STATUS FLAGS a group-users packet with one entry
//   close-group COOKIE             a group-closed packet
//   quit                           (also at the end of standard input)
// Exit status 0, or 2 for a bad command line or a port that cannot be bound.
#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FaultySocket.h"
#include "foundation/stream/TStreamTyped.h"
#include "gsnative/online/ChannelCipher.h"
#include "gsnative/online/OnlineMessages.h"
#include "gsnative/online/OnlineWire.h"
#include "gsnative/online/TMEEndpoint.h"

namespace {

struct Options {
  int port = -1;
  std::string key = "ABCDEFGH";
  std::string keyError;
  std::string loginError;
  bool limits = false;
  uint32_t perMinute = 0;
  uint32_t perHour = 0;
  std::vector<std::string> members;
  bool echo = false;
  uint32_t seed = 1;
};

void Event(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string text;
  for (unsigned char c : bytes) {
    text.push_back(digits[c >> 4]);
    text.push_back(digits[c & 15]);
  }
  return text;
}

class Session : public TMEEndpoint {
 public:
  Session(const Options& options, TMESocket& socket, const sockaddr_in& address)
      : options_(options) {
    socket.AddPeerAddress(address, &peer_);
    SetFragmentMode(kModeFragment);
    Reset(&peer_);
    closed = false;
  }
  ~Session() override {
    if (peer_.Socket() != nullptr) peer_.Socket()->RemovePeer(&peer_);
  }

  void OnDisconnected() override {
    if (!closed) Event("disconnect");
    closed = true;
  }

  void HandlePacket(TMEPacket& packet) override {
    if (keyed_) {
      ChannelCipher::Decipher(token_ + options_.key, inState_, packet.Payload(),
                              packet.PayloadSize());
    }
    WireReader reader(packet);
    uint8_t type = 0;
    if (!reader.U8(type)) return;
    switch (type) {
      case 31: return Hello(reader);
      case 2: return Credential(reader);
      case 11: return Message(reader);
      case 22: return OneCookie("group-leave", reader);
      case 23: return GroupUser(reader);
      case 24: return GroupMessage(reader);
      case 25: return GroupMode(reader);
      case 26: return GroupUserMode(reader);
      case 28: return OpenGroup(reader);
      case 29: return CreateGroup(reader);
      default: return;
    }
  }

  // Builds a packet of `type`; Send enciphers it once the key is in use.
  static std::unique_ptr<TMEPacket> New(uint8_t type) {
    auto packet = std::make_unique<TMEPacket>();
    TStreamWriteU8(*packet, type);
    return packet;
  }
  void Send(std::unique_ptr<TMEPacket> packet) {
    if (keyed_) {
      ChannelCipher::Encipher(options_.key + token_, outState_, packet->Payload(),
                              packet->PayloadSize());
    }
    if (SendPacket(packet.get())) packet.release();
  }
  void WriteMembers(TMEPacket& packet, const std::vector<std::string>& names, uint8_t status,
                    uint32_t flags) {
    const auto count = static_cast<uint16_t>(names.size());
    TStreamWriteU8(packet, static_cast<uint8_t>(count & 0xFF));
    TStreamWriteU8(packet, static_cast<uint8_t>(count >> 8));
    for (const std::string& name : names) {
      OnlineWire::WriteString(packet, name);
      TStreamWriteU8(packet, status);
      TStreamWriteU32(packet, flags);
    }
  }

  TMEPeer* Peer() { return &peer_; }

  bool closed = false;

 private:
  void Hello(WireReader& reader) {
    std::string user, app;
    float version = 0;
    uint32_t build = 0;
    bool flag = false;
    uint8_t last = 0;
    if (!reader.String(user) || !reader.String(app) || !reader.F32(version) ||
        !reader.U32(build) || !reader.Bool(flag) || !reader.String(token_) || !reader.U8(last)) {
      return;
    }
    Event("hello " + user + " " + app + " " + Hex(token_));
    auto reply = New(1);
    OnlineWire::WriteString(*reply, options_.keyError);
    OnlineWire::WriteString(*reply, options_.key);
    Send(std::move(reply));
    keyed_ = options_.keyError.empty() && options_.key.size() >= 8;
  }

  void Credential(WireReader& reader) {
    std::string credential;
    if (!reader.String(credential)) return;
    Event("credential " + credential);
    auto reply = New(options_.limits ? 4 : 3);
    OnlineWire::WriteString(*reply, options_.loginError);
    if (options_.limits) {
      TStreamWriteBool(*reply, false);
      TStreamWriteU32(*reply, options_.perMinute);
      TStreamWriteU32(*reply, 0);
      TStreamWriteU32(*reply, options_.perHour);
    } else {
      TStreamWriteU32(*reply, 0);
      TStreamWriteFloat(*reply, 0.0f);
    }
    Send(std::move(reply));
  }

  void Message(WireReader& reader) {
    OnlineVersionedMessage message;
    if (!message.Read(reader)) return;
    Event("message " + std::to_string(message.kuid.userId) + " " +
          std::to_string(message.kuid.contentId) + " " + std::to_string(message.kuid.version) +
          " " + message.userName + " " + (message.modified ? "1" : "0"));
    if (!options_.echo) return;
    auto reply = New(11);
    message.Write(*reply);
    Send(std::move(reply));
  }

  void OneCookie(const char* name, WireReader& reader) {
    std::string cookie;
    if (reader.String(cookie)) Event(std::string(name) + " " + cookie);
  }

  void GroupUser(WireReader& reader) {
    std::string cookie, name;
    uint8_t operation = 0;
    if (!reader.String(cookie) || !reader.U8(operation) || !reader.String(name)) return;
    Event("group-user " + cookie + " " + std::to_string(operation) + " " + name);
  }

  void GroupMessage(WireReader& reader) {
    OnlineGroupMessage message;
    if (message.Read(reader)) Event("group-message " + std::string(message.cookie.View()));
  }

  void GroupMode(WireReader& reader) {
    std::string cookie;
    uint32_t a = 0, b = 0;
    if (!reader.String(cookie) || !reader.U32(a) || !reader.U32(b)) return;
    Event("group-mode " + cookie + " " + std::to_string(a) + " " + std::to_string(b));
  }

  void GroupUserMode(WireReader& reader) {
    std::string cookie, name;
    uint32_t a = 0, b = 0;
    if (!reader.String(cookie) || !reader.String(name) || !reader.U32(a) || !reader.U32(b)) return;
    Event("group-user-mode " + cookie + " " + name + " " + std::to_string(a) + " " +
          std::to_string(b));
  }

  void OpenGroup(WireReader& reader) {
    std::string cookie;
    uint32_t mode = 0;
    if (!reader.String(cookie) || !reader.U32(mode)) return;
    Event("group-open " + cookie + " " + std::to_string(mode));
    auto reply = New(21);
    OnlineWire::WriteString(*reply, cookie);
    WriteMembers(*reply, options_.members, 1, 0);
    Send(std::move(reply));
  }

  void CreateGroup(WireReader& reader) {
    uint32_t id = 0, mode = 0;
    if (!reader.U32(id) || !reader.U32(mode)) return;
    Event("group-create " + std::to_string(id) + " " + std::to_string(mode));
    auto reply = New(29);
    TStreamWriteU32(*reply, id);
    OnlineWire::WriteString(*reply, "group-" + std::to_string(id));
    WriteMembers(*reply, options_.members, 1, 0);
    Send(std::move(reply));
  }

  const Options& options_;
  TMEPeer peer_;
  std::string token_;
  bool keyed_ = false;
  uint32_t inState_ = 0;
  uint32_t outState_ = 0;
};

class Server {
 public:
  explicit Server(const Options& options) : options_(options), socket_(options.seed), random_(options.seed) {}

  bool Start() {
    if (!socket_.Bind(INADDR_LOOPBACK, static_cast<uint16_t>(options_.port))) return false;
    socket_.SetUnregisteredHook(&Server::NewSession, this);
    Event("ready " + std::to_string(socket_.LocalPort()));
    return true;
  }

  void Run() {
    std::string pending;
    while (running_) {
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {socket_.Handle(), POLLIN, 0}};
      ::poll(fds, 2, 20);
      if (fds[0].revents != 0) ReadCommands(pending);
      while (socket_.ReceiveOne()) {
      }
      for (auto& session : sessions_) session->Update();
      std::erase_if(sessions_, [](const std::unique_ptr<Session>& s) { return s->closed; });
    }
    sessions_.clear();
  }

 private:
  static TMEPeer* NewSession(void* context, const sockaddr_in& sender) {
    auto* server = static_cast<Server*>(context);
    if (server->sessions_.size() >= 64) return nullptr;
    server->sessions_.push_back(std::make_unique<Session>(server->options_, server->socket_, sender));
    return server->sessions_.back()->Peer();
  }

  void ReadCommands(std::string& pending) {
    char chunk[4096];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got <= 0) {
      running_ = false;
      return;
    }
    pending.append(chunk, static_cast<size_t>(got));
    size_t end;
    while ((end = pending.find('\n')) != std::string::npos) {
      Command(pending.substr(0, end));
      pending.erase(0, end + 1);
    }
  }

  void Command(const std::string& line) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "quit") {
      running_ = false;
    } else if (word == "drop" || word == "dup" || word == "reorder" || word == "garbage") {
      uint32_t n = 0;
      in >> n;
      if (word == "drop") socket_.DropNext(n);
      if (word == "dup") socket_.DuplicateNext(n);
      if (word == "reorder") socket_.ReorderNext(n);
      if (word == "garbage") Garbage(n);
    } else if (word == "deliver") {
      OnlineVersionedMessage message;
      in >> message.kuid.userId >> message.kuid.contentId >> message.kuid.version >> message.userName;
      message.body.SetNamedTag(Kiv::PString("text"), "hello");
      ForEach([&](Session& s) {
        auto packet = Session::New(11);
        message.Write(*packet);
        s.Send(std::move(packet));
      });
    } else if (word == "created" || word == "users" || word == "close-group") {
      Push(word, in);
    }
    Event("done " + word);
  }

  void Push(const std::string& word, std::istringstream& in) {
    uint32_t id = 0;
    if (word == "created") in >> id;
    std::string cookie, name;
    uint32_t status = 0, flags = 0;
    in >> cookie;
    if (word == "users") in >> name >> status >> flags;
    ForEach([&](Session& s) {
      auto packet = Session::New(word == "created" ? 29 : word == "users" ? 23 : 22);
      if (word == "created") TStreamWriteU32(*packet, id);
      OnlineWire::WriteString(*packet, cookie);
      if (word == "created") s.WriteMembers(*packet, options_.members, 1, 0);
      if (word == "users") s.WriteMembers(*packet, {name}, static_cast<uint8_t>(status), flags);
      s.Send(std::move(packet));
    });
  }

  template <class F>
  void ForEach(F f) {
    for (auto& session : sessions_) f(*session);
  }

  void Garbage(uint32_t n) {
    for (auto& session : sessions_) {
      const sockaddr_in to = session->Peer()->Address();
      for (uint32_t i = 0; i < n; ++i) {
        std::vector<uint8_t> bytes(std::uniform_int_distribution<int>(4, 1600)(random_));
        for (uint8_t& b : bytes) b = static_cast<uint8_t>(random_());
        bytes[1] = 0;
        if (i % 2 == 0) {
          bytes[0] = 0;
        } else {
          bytes[0] = static_cast<uint8_t>(bytes[0] | 1);
          bytes[2] = 0x7F;
        }
        socket_.SendDatagram(to, bytes.data(), static_cast<uint32_t>(bytes.size()));
      }
    }
  }

  const Options& options_;
  FaultySocket socket_;
  std::mt19937 random_;
  std::vector<std::unique_ptr<Session>> sessions_;
  bool running_ = true;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--echo") {
      options.echo = true;
    } else if (arg == "--port" && hasValue) {
      options.port = std::atoi(argv[++i]);
    } else if (arg == "--key" && hasValue) {
      options.key = argv[++i];
    } else if (arg == "--key-error" && hasValue) {
      options.keyError = argv[++i];
    } else if (arg == "--login-error" && hasValue) {
      options.loginError = argv[++i];
    } else if (arg == "--seed" && hasValue) {
      options.seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--limits" && i + 2 < argc) {
      options.limits = true;
      options.perMinute = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
      options.perHour = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (arg == "--members" && hasValue) {
      std::istringstream names(argv[++i]);
      std::string name;
      while (std::getline(names, name, ',')) {
        if (!name.empty()) options.members.push_back(name);
      }
    } else {
      return false;
    }
  }
  return options.port >= 0 && options.port <= 65535;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: online_standin --port N [options] (see its source)\n");
    return 2;
  }
  Server server(options);
  if (!server.Start()) {
    std::fprintf(stderr, "online_standin: cannot bind 127.0.0.1:%d\n", options.port);
    return 2;
  }
  server.Run();
  return 0;
}
