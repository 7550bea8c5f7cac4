// Travelling names, local files and chunked transfers between two processes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>

#include "peer.h"
#include "protocol/xrbbld.h"

namespace {

// Peer that serves one file: waits for the request, then sends it.
int serveFile(int fd, std::string const& local)
{
    CommPacket request(fd, 0);
    if (request.get_commtype() != COMM_REQ_FILE)
        return 2;
    std::string name = request.get_strdata();
    FILE* f = openFile4Read(local.c_str());
    if (!f)
        return 3;
    FileBulkPacket bulk(name.c_str(), f);
    sendBulk(fd, bulk, 0);
    return 0;
}

class FileXfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/xrbfxXXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
        setenv("XRB_CHUNK", "10", 1);
    }
    void TearDown() override
    {
        unsetenv("XRB_CHUNK");
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
    }
    std::string path(std::string const& name) const { return dir + "/" + name; }
    void writeText(std::string const& name, std::string const& text) const
    {
        std::ofstream(path(name), std::ios::binary) << text;
    }
    std::string readText(std::string const& name) const
    {
        std::ifstream in(path(name), std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    // A peer serves content as src<suffix>; it is fetched into copy<suffix>,
    // whose last chunk has lastLength bytes.
    void expectFetched(std::string const& content, std::string const& suffix, uint32_t lastLength)
    {
        writeText("src", content);
        SocketPair sp;
        std::string src = path("src" + suffix);
        pid_t pid = runPeer(sp, [&](int fd) { return serveFile(fd, src); });
        std::string copy = "copy" + suffix;
        FileBulkPacket got(copy.c_str(), openFile4Write(path(copy).c_str()));
        EXPECT_EQ(thrownText([&] { recvBulk(sp.a, got, 0); }), "");
        EXPECT_EQ(got.get_length(), lastLength);
        EXPECT_EQ(waitPeer(pid), 0);
        EXPECT_EQ(readText("copy"), content);
    }
    std::string dir;
};

// Peer that receives chunks by hand, records "length/last" per chunk, and
// acknowledges each non-final chunk unless told not to.
int recordChunks(int fd, int reportFd, bool acknowledge)
{
    std::string record;
    for (;;) {
        FileBulkPacket chunk("", static_cast<FILE*>(nullptr));
        chunk.recv(fd, PKT_FILEBULK, 0);
        chunk.parse();
        record += std::to_string(chunk.get_length()) + "/" + std::to_string(chunk.get_lastChunk()) + " ";
        if (chunk.get_lastChunk())
            break;
        if (acknowledge)
            CommPacket(COMM_FILE_NEXT).send(fd, 0);
    }
    writeAll(reportFd, record);
    return 0;
}

TEST(FileNames, Suffixes)
{
    EXPECT_STREQ(stripSuffix("src/a.c.TXT"), "src/a.c");
    EXPECT_STREQ(stripSuffix("a.NON"), "a");
    EXPECT_STREQ(stripSuffix("a.txt"), "a.txt");
    EXPECT_STREQ(stripSuffix("abc"), "abc");
    EXPECT_STREQ(stripSuffix(".ERR"), "");
    EXPECT_EQ(stripSuffix(""), nullptr);
    EXPECT_EQ(stripSuffix(nullptr), nullptr);
    std::string longName(400, 'n');
    EXPECT_EQ(std::string(stripSuffix((longName + ".BIN").c_str())), longName);
    EXPECT_EQ(isSuffix("x.BIN", ".BIN"), 1);
    EXPECT_EQ(isSuffix("x.BIN", ".TXT"), 0);
    EXPECT_EQ(isSuffix("IN", ".BIN"), 0);
    EXPECT_STREQ(localPath("dir\\sub\\f.TXT"), "dir/sub/f");
    EXPECT_STREQ(localPath("LIB(PROG).TXT"), "LIB/PROG)");
}

TEST(FileNames, ChunkSizeFromEnvironment)
{
    setenv("XRB_CHUNK", "4096", 1);
    EXPECT_EQ(xrbChunkSize(), 4096);
    setenv("XRB_CHUNK", "-3", 1);
    EXPECT_EQ(xrbChunkSize(), 1000000);
    setenv("XRB_CHUNK", "junk", 1);
    EXPECT_EQ(xrbChunkSize(), 1000000);
    unsetenv("XRB_CHUNK");
    EXPECT_EQ(xrbChunkSize(), 1000000);
}

TEST_F(FileXfer, OpenAndReadLocalFiles)
{
    EXPECT_EQ(openFile4Read(""), nullptr);
    EXPECT_NE(thrownText([] { openFile4Write(""); }).find("XRBE-055"), std::string::npos);

    FILE* f = openFile4Write(path("out/deep/f.BIN").c_str());
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    struct stat st;
    ASSERT_EQ(stat(path("out/deep").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(stat(path("out/deep/f").c_str(), &st), 0);

    writeText("list", std::string("a\0b", 3));
    unsigned long len = 99;
    char* data = readFile(path("list").c_str(), &len);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, len), std::string("a\0b", 3));
    std::string big(5000, 'q');
    writeText("big", big);
    data = readFile(path("big").c_str(), &len);
    ASSERT_EQ(len, 5000u);
    EXPECT_EQ(std::string(data, len), big);
    EXPECT_EQ(readFile(path("missing").c_str(), &len), nullptr);
    EXPECT_EQ(len, 0u);
}

// A file whose size is read must be a regular file: a folder
// (whose size some file systems give as 2^63-1) or a FIFO (which would wait
// for a writer forever) reads as a file that cannot be opened.  In a child
// with an alarm, so that a hang fails the test instead of the suite.
TEST_F(FileXfer, OnlyRegularFilesAreReadOrSent)
{
    ASSERT_EQ(mkdir(path("folder").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        alarm(5);
        int rc = 0;
        unsigned long len = 1;
        if (readFile(path("folder").c_str(), &len) != nullptr || len != 0)
            rc |= 1;
        len = 1;
        if (readFile(path("fifo").c_str(), &len) != nullptr || len != 0)
            rc |= 2;
        if (openFile4Read(path("folder.TXT").c_str()) != nullptr)
            rc |= 4;
        if (openFile4Read(path("fifo.BIN").c_str()) != nullptr)
            rc |= 8;
        _exit(rc);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1 folder read, 2 FIFO read, 4 folder opened, 8 FIFO opened";
}

TEST_F(FileXfer, ChunksOfTenTenAndFiveWithTwoAcknowledgements)
{
    std::string content = "0123456789abcdefghijKLMNO";
    writeText("in", content);
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    SocketPair sp;
    pid_t pid = runPeer(sp, [&](int fd) {
        close(report[0]);
        CommPacket request(fd, 0);
        return recordChunks(fd, report[1], true);
    });
    close(report[1]);
    CommPacket(COMM_REQ_FILE, "in.BIN").send(sp.a, 0);
    FileBulkPacket bulk("in.BIN", openFile4Read(path("in.BIN").c_str()));
    sendBulk(sp.a, bulk, 0);
    EXPECT_EQ(waitPeer(pid), 0);
    EXPECT_EQ(readExactly(report[0], 14), "10/0 10/0 5/1 ");
    // Both acknowledgements were consumed by the sender: nothing is left over.
    EXPECT_EQ(readExactly(sp.a, 1), "");
    close(report[0]);
}

TEST_F(FileXfer, ReceiveWritesEveryChunk)
{
    expectFetched("0123456789abcdefghijKLMNO", ".TXT", 5);
}

// Binary chunks are written from the packet buffer, which the acknowledgement
// after each chunk reuses: every chunk must reach the file before that.
TEST_F(FileXfer, ReceiveBinaryWritesEveryChunkWhole)
{
    std::string content;
    for (int i = 0; i < 47; ++i)
        content += static_cast<char>(i * 37);
    expectFetched(content, ".BIN", 7);
}

TEST_F(FileXfer, EmptyFile)
{
    writeText("empty", "");
    SocketPair sp;
    std::string src = path("empty.BIN");
    pid_t pid = runPeer(sp, [&](int fd) { return serveFile(fd, src); });
    writeText("old", "old contents");
    FileBulkPacket got("empty.BIN", openFile4Write(path("old.BIN").c_str()));
    recvBulk(sp.a, got, 0);
    EXPECT_EQ(got.get_length(), 0u);
    EXPECT_EQ(waitPeer(pid), 0);
    EXPECT_EQ(readText("old"), "");
}

TEST_F(FileXfer, FileOfExactlyOneChunkNeedsNoAcknowledgement)
{
    writeText("ten", "0123456789");
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    SocketPair sp;
    pid_t pid = runPeer(sp, [&](int fd) {
        close(report[0]);
        return recordChunks(fd, report[1], false);
    });
    close(report[1]);
    // Would wait for an acknowledgement that never comes if it asked for one.
    FileBulkPacket bulk("ten.BIN", openFile4Read(path("ten.BIN").c_str()));
    sendBulk(sp.a, bulk, 0);
    EXPECT_EQ(waitPeer(pid), 0);
    EXPECT_EQ(readExactly(report[0], 5), "10/1 ");
    close(report[0]);
}

TEST_F(FileXfer, ShortWriteAbortsTheSender)
{
    writeText("src", std::string(25, 'z'));
    SocketPair sp;
    std::string src = path("src.BIN");
    pid_t pid = runPeer(sp, [&](int fd) {
        int rc = serveFile(fd, src);
        // After the abort the sender sends nothing more.
        char extra;
        return rc == 0 && recv(fd, &extra, 1, MSG_DONTWAIT) <= 0 ? 0 : 7;
    });
    FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    FileBulkPacket got("out.BIN", full);
    std::string text = thrownText([&] { recvBulk(sp.a, got, 0); });
    EXPECT_NE(text.find("XRBE-055"), std::string::npos);
    EXPECT_NE(text.find("out"), std::string::npos);
    EXPECT_EQ(waitPeer(pid), 0);
}

// A chunk without a data unit carries no bytes: nothing of the chunk
// before it is written a second time, and nothing is read from nowhere.
TEST_F(FileXfer, ChunkWithoutDataUnitAddsNothing)
{
    for (char const* name : {"gap.BIN", "gap.TXT"}) {
        SocketPair sp;
        pid_t pid = runPeer(sp, [&](int fd) {
            CommPacket request(fd, 0);
            if (request.get_commtype() != COMM_REQ_FILE)
                return 2;
            Packet chunk;
            chunk.xmitInit(PKT_FILEBULK);
            chunk.xmitAddText(501, name, UNIT_NLSTEXT);
            chunk.xmitAddInt(503, 0);
            chunk.xmitAddUnit(502, 3, "abc", UNIT_BINARY);
            chunk.xmitAddEnd();
            chunk.send(fd, 0);
            if (CommPacket(fd, 0).get_commtype() != COMM_FILE_NEXT)
                return 3;
            chunk.xmitInit(PKT_FILEBULK);
            chunk.xmitAddText(501, name, UNIT_NLSTEXT);
            chunk.xmitAddInt(503, 1);
            chunk.xmitAddEnd();
            chunk.send(fd, 0);
            return 0;
        });
        FileBulkPacket got(name, openFile4Write(path(name).c_str()));
        EXPECT_EQ(thrownText([&] { recvBulk(sp.a, got, 0); }), "") << name;
        EXPECT_EQ(got.get_length(), 0u) << name;
        EXPECT_EQ(waitPeer(pid), 0) << name;
        EXPECT_EQ(readText("gap"), "abc") << name;
    }
}

TEST_F(FileXfer, NonFileOutputIsCreatedEmpty)
{
    writeText("n", "stale");
    FileBulkPacket(path("n.NON").c_str(), openFile4Write(path("n.NON").c_str())).writeFile();
    EXPECT_EQ(readText("n"), "");
}

} // namespace
