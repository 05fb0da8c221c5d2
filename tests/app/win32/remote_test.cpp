// The remote-control server's limits on Winsock, served on the test's own thread: clients
// connect from here with non-blocking sockets while the thread runs its message loop.
#include "app/win32/dialogs.h"
#include "app/win32/remoteserver.h"
#include "tests/app/win32/formtest.h"

namespace {

// A client on 127.0.0.1, non-blocking so that the server's loop runs while it waits.
class Client {
  public:
    explicit Client(unsigned short port) {
        s_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        u_long on = 1;
        ioctlsocket(s_, FIONBIO, &on);
        connect(s_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~Client() { closesocket(s_); }
    void send(const std::string& text) {
        std::size_t at = 0;
        winport::runMessagesUntil([&] {
            const int n = ::send(s_, text.data() + at, static_cast<int>(text.size() - at), 0);
            if (n > 0) at += static_cast<std::size_t>(n);
            return at == text.size();
        });
    }
    // All that has come back so far, once it is `want` bytes long, or the connection ended,
    // or 5 s passed.
    std::string receive(std::size_t want) {
        winport::runMessagesUntil([&] {
            char buf[4096];
            const int n = recv(s_, buf, sizeof buf, 0);
            if (n > 0) got_.append(buf, static_cast<std::size_t>(n));
            if (n == 0 || (n < 0 && WSAGetLastError() != WSAEWOULDBLOCK)) ended_ = true;
            return ended_ || got_.size() >= want;
        });
        return got_;
    }
    bool ended() {
        receive(static_cast<std::size_t>(-1) / 2);
        return ended_;
    }

  private:
    SOCKET s_;
    std::string got_;
    bool ended_ = false;
};

}  // namespace

TEST_F(FormTest, RemoteClientsAreBoundedAndWaitWhileABoxIsOpen) {
    start({"a,AM,954,80,COM1"});
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    {
        RemoteServer server(form1_->control());
        std::string error;
        kivo::RemoteEndpoint endpoint;
        endpoint.port = 0;  // any free port
        ASSERT_TRUE(server.listen(endpoint, error)) << error;
        const unsigned short port = server.serverPort();

        // Eight at once; a ninth is turned away while none has been idle long enough.
        std::vector<std::unique_ptr<Client>> clients;
        for (int i = 0; i < RemoteServer::kMaxClients; ++i) {
            clients.push_back(std::make_unique<Client>(port));
            clients.back()->send("\\get_powerstat\n");
            EXPECT_EQ(clients.back()->receive(2), "0\n");
        }
        Client ninth(port);
        EXPECT_TRUE(ninth.ended());
        EXPECT_EQ(server.clientCount(), RemoteServer::kMaxClients);
        // Once the idle limit is passed, a newcomer takes the idlest one's place.
        server.setIdleLimit(std::chrono::milliseconds(0));
        Client tenth(port);
        tenth.send("f\n");
        EXPECT_EQ(tenth.receive(2), "0\n");
        EXPECT_TRUE(clients.front()->ended());

        // A line longer than the bound is refused and the rest of it dropped.
        tenth.send(std::string(2000, 'x') + "\nf\n");
        EXPECT_EQ(tenth.receive(12), "0\nRPRT -1\n0\n");

        // No command while a handler's box waits: the client's line waits for it.
        answers_.clear();
        bool answered = false;
        setMessageBoxSeam([&](const std::wstring&, const std::wstring&, UINT) {
            tenth.send("F 594000\n");
            // The box's loop runs: the command must not.
            winport::runMessagesUntil([] { return false; }, std::chrono::milliseconds(300));
            answered = true;
            EXPECT_EQ(sent(), "");
            return IDNO;
        });
        click(form1_->Button5);
        ASSERT_TRUE(answered);
        EXPECT_EQ(tenth.receive(19), "0\nRPRT -1\n0\nRPRT 0\n");
        EXPECT_EQ(text(form1_->Edit1), "594");
    }
    WSACleanup();
}
