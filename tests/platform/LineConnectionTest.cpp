#include "platform/LineConnection.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/Files.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

namespace {

// A one-connection server on 127.0.0.1 that runs a script against the accepted socket.
class ScriptServer
{
public:
    explicit ScriptServer(std::function<void(int fd, std::atomic<bool>& stop)> script)
    {
        FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(FListen, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(FListen, 1);
        socklen_t len = sizeof addr;
        ::getsockname(FListen, reinterpret_cast<sockaddr*>(&addr), &len);
        FPort = ntohs(addr.sin_port);
        FThread = std::thread([this, script] {
            int fd = ::accept(FListen, nullptr, nullptr);
            if (fd < 0)
                return;
            script(fd, FStop);
            ::close(fd);
        });
    }
    ~ScriptServer()
    {
        FStop = true;
        ::shutdown(FListen, SHUT_RDWR);
        FThread.join();
        ::close(FListen);
    }
    int Port() const { return FPort; }

private:
    int FListen = -1;
    int FPort = 0;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

void Send(int fd, const std::string& s)
{
    ::send(fd, s.data(), s.size(), MSG_NOSIGNAL);
}

// Reads until a line end arrives (or the peer closes).
std::string ReadCommand(int fd)
{
    std::string line;
    char c;
    while (::recv(fd, &c, 1, 0) == 1) {
        line += c;
        if (c == '\n')
            break;
    }
    return line;
}

class LineConnectionTest : public SandboxTest
{
protected:
    TLineConnection conn;
    void SetUp() override
    {
        conn.ReadTimeout = 1000;
        conn.Log().SetFileName(sandbox.Path("proto.log"));
        conn.Log().SetActive(true);
    }
};

TEST_F(LineConnectionTest, ReadsSingleAndMultiLineReplies)
{
    ScriptServer server([](int fd, std::atomic<bool>&) {
        Send(fd, "220 Welcome\r\n");
        ReadCommand(fd);
        Send(fd, "211-Features:\r\n MLST type*;size*;\r\n UTF8\r\n211-still more\r\n211 End\r\n");
        ReadCommand(fd);
        Send(fd, "200\n");
        ReadCommand(fd);
    });
    conn.Connect("127.0.0.1", server.Port(), 4, 1000);
    EXPECT_EQ(conn.ReadReply().CodeAndText(), "220 Welcome");
    const TLineReply& feat = conn.Command("FEAT");
    EXPECT_EQ(feat.Code, 211);
    ASSERT_EQ(feat.Lines.size(), 5u);
    EXPECT_EQ(feat.Lines[1], " MLST type*;size*;");
    EXPECT_EQ(feat.Lines[3], "still more");
    EXPECT_EQ(feat.Lines[4], "End");
    EXPECT_EQ(conn.Command("NOOP").CodeAndText(), "200 ");
    conn.Disconnect();
    std::string log = ReadFileBytes(sandbox.Path("proto.log"));
    EXPECT_NE(log.find("Recv: 220 Welcome"), std::string::npos);
    EXPECT_NE(log.find("Sent: FEAT"), std::string::npos);
}

TEST_F(LineConnectionTest, BrokenServersEndWithErrorsNotHangs)
{
    struct Case
    {
        const char* name;
        std::function<void(int, std::atomic<bool>&)> script;
        TNetErrorKind kind;
    };
    const Case cases[] = {
        {"endless multi-line reply",
         [](int fd, std::atomic<bool>& stop) {
             Send(fd, "220-hello\r\n");
             while (!stop && ::send(fd, "220-more\r\n", 10, MSG_NOSIGNAL) > 0) {
             }
         },
         nekProtocol},
        {"line of megabytes",
         [](int fd, std::atomic<bool>& stop) {
             std::string chunk(65536, 'x');
             Send(fd, "220 ");
             for (int i = 0; i < 64 && !stop; ++i)
                 if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0)
                     break;
         },
         nekProtocol},
        {"garbage", [](int fd, std::atomic<bool>&) { Send(fd, "\x16\x03\x01 hello there\r\n"); },
         nekProtocol},
        {"silence",
         [](int, std::atomic<bool>& stop) {
             while (!stop)
                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
         },
         nekTimeout},
        {"one byte at a time, never finishing",
         [](int fd, std::atomic<bool>& stop) {
             while (!stop && ::send(fd, "2", 1, MSG_NOSIGNAL) > 0)
                 std::this_thread::sleep_for(std::chrono::milliseconds(50));
         },
         nekTimeout},
        {"closed mid-reply", [](int fd, std::atomic<bool>&) { Send(fd, "220-part\r\n220-"); }, nekClosed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptServer server(c.script);
        TLineConnection client;
        client.ReadTimeout = 500;
        client.Connect("127.0.0.1", server.Port(), 4, 1000);
        auto start = std::chrono::steady_clock::now();
        try {
            client.ReadReply();
            ADD_FAILURE() << "no error";
        } catch (const ENetError& e) {
            EXPECT_EQ(e.Kind(), c.kind) << e.Message();
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        client.Disconnect();
    }
}

TEST_F(LineConnectionTest, LogShowsMaskedTextAndNeverASecret)
{
    ScriptServer server([](int fd, std::atomic<bool>&) {
        Send(fd, "220 ready\r\n");
        ReadCommand(fd);
        Send(fd, "331 Password required for s3cr3t-user\r\n");
        std::string pass = ReadCommand(fd);
        Send(fd, pass == "PASS pa55word\r\n" ? "230 ok\r\n" : "530 wrong\r\n");
    });
    conn.Log().AddSecret("pa55word");
    conn.Connect("127.0.0.1", server.Port(), 4, 1000);
    conn.ReadReply();
    conn.Command("USER s3cr3t-user");
    EXPECT_EQ(conn.Command("PASS pa55word", "PASS ***").Code, 230);
    conn.Disconnect();
    std::string log = ReadFileBytes(sandbox.Path("proto.log"));
    EXPECT_EQ(log.find("pa55word"), std::string::npos);
    EXPECT_NE(log.find("Sent: PASS ***"), std::string::npos);
}

TEST_F(LineConnectionTest, LineBreaksInsideACommandAreNotSentAsSecondCommand)
{
    std::string received;
    {
        ScriptServer server([&received](int fd, std::atomic<bool>&) {
            Send(fd, "220 ready\r\n");
            received = ReadCommand(fd);
            Send(fd, "250 ok\r\n");
        });
        conn.Connect("127.0.0.1", server.Port(), 4, 1000);
        conn.ReadReply();
        conn.Command("CWD a\r\nDELE b");
        conn.Disconnect();
    }
    EXPECT_EQ(received, "CWD a  DELE b\r\n");
}

TEST_F(LineConnectionTest, ConnectToAClosedPortIsASocketError)
{
    int port;
    {
        ScriptServer server([](int, std::atomic<bool>&) {});
        port = server.Port();
        TLineConnection probe;
        probe.Connect("127.0.0.1", port, 4, 1000);
    }
    try {
        conn.Connect("127.0.0.1", port, 4, 1000);
        FAIL() << "connected";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.Kind(), nekSocket);
        EXPECT_TRUE(e.IsConnectionLoss());
    }
    EXPECT_FALSE(conn.Connected());
}

TEST_F(LineConnectionTest, ConnectedTurnsFalseWhenThePeerCloses)
{
    ScriptServer server([](int fd, std::atomic<bool>&) { Send(fd, "421 bye\r\n"); });
    conn.Connect("127.0.0.1", server.Port(), 4, 1000);
    EXPECT_EQ(conn.ReadReply().Code, 421);
    EXPECT_TRUE(WaitFor([&] { return !conn.Connected(); }));
}

} // namespace
