// Where the channel file lives: a program file placed where the program is installed (a
// test build whose install folder is a folder of the build's) keeps its list in the
// user's config folder; a copy anywhere else keeps it beside itself. Both are the same
// program to the single-copy rule.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <filesystem>
#include <fstream>

#include "app/qt/singlecopy.h"
#include "core/channelfile.h"
#include "tests/app/qt/guitest.h"
#include "tests/support/testenv.h"

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

void writeLines(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

class InstalledProgramTest : public testing::Test {
  protected:
    InstalledProgramTest()
        : runtimeEnv("XDG_RUNTIME_DIR", runtime.path()), receiver(simOptions(ports.path())) {
        fs::create_directories(KIVO_TEST_BINDIR);
        fs::copy_file(KIVO_AS_INSTALLED, installed, fs::copy_options::overwrite_existing);
        fs::copy_file(KIVO_AS_INSTALLED, elsewhere.file("kivo"));
        // The same channel name in three places, each tuned to a frequency of its own.
        writeLines(config.file("kivo/KIVO.ini"), "Radio1,AM,594,80,COM3\r\n");
        writeLines(elsewhere.file("KIVO.ini"), "Radio1,AM,954,80,COM3\r\n");
        writeLines(std::string(KIVO_TEST_BINDIR) + "/KIVO.ini", "Radio1,AM,1134,80,COM3\r\n");
    }
    ~InstalledProgramTest() override {
        std::error_code ec;
        fs::remove_all(fs::path(KIVO_TEST_BINDIR).parent_path(), ec);
    }

    static sim::Simulator::Options simOptions(const std::string& portsDir) {
        sim::Simulator::Options o;
        o.portsDir = portsDir;
        o.portName = "COM3";
        return o;
    }

    std::unique_ptr<QProcess> launch(const std::string& program, const QStringList& args) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("KIVO_PORTS", QString::fromStdString(ports.path()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.path()));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path()));
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(QString::fromStdString(program), args);
        EXPECT_TRUE(p->waitForStarted(10000));
        return p;
    }

    // A running copy answers a second start once its endpoint is there.
    bool waitUntilListening(QProcess& p) {
        const std::string endpoint = SingleCopy::endpointFor("kivo").toStdString();
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000 && p.state() == QProcess::Running) {
            struct stat st {};
            if (::stat(endpoint.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return true;
            QThread::msleep(20);
        }
        return false;
    }

    // Starts `program` on Radio1 and returns the tune command it sent.
    std::string tuneOf(const std::string& program) {
        receiver.clear();
        auto running = launch(program, {"Radio1"});
        EXPECT_TRUE(waitUntilListening(*running)) << program;
        EXPECT_TRUE(receiver.waitForLines(6, 20s)) << program;
        std::vector<std::string> lines = receiver.lines();
        auto closer = launch(program, {});
        EXPECT_TRUE(closer->waitForFinished(30000));
        EXPECT_TRUE(running->waitForFinished(10000));
        return lines.size() > 3 ? lines[3] : std::string();
    }

    testenv::TempDir runtime;
    testenv::TempDir ports;
    testenv::TempDir config;
    testenv::TempDir elsewhere;
    testenv::ScopedEnv runtimeEnv;
    const std::string installed = std::string(KIVO_TEST_BINDIR) + "/kivo";
    sim::Simulator receiver;
};

}  // namespace

// One test, as the install folder is one for the whole build.
TEST_F(InstalledProgramTest, ConfigFolderForTheInstalledCopyAndOneProgramToASecondStart) {
    // Reached through a link from another folder, the program is still the installed one.
    fs::create_symlink(installed, elsewhere.file("linked"));
    EXPECT_EQ(tuneOf(installed), "K00000594000020100");
    EXPECT_EQ(tuneOf(elsewhere.file("linked")), "K00000594000020100");
    EXPECT_EQ(tuneOf(elsewhere.file("kivo")), "K00000954000020100");

    // The title is the key: each copy closes the other.
    for (auto [first, second] : {std::pair{installed, elsewhere.file("kivo")},
                                 std::pair{elsewhere.file("kivo"), installed}}) {
        receiver.clear();  // the copy listens before its start-up has sent anything
        auto running = launch(first, {"Radio1"});
        ASSERT_TRUE(waitUntilListening(*running)) << first;
        ASSERT_TRUE(receiver.waitForLines(6, 20s)) << first;
        receiver.clear();
        auto closer = launch(second, {});
        ASSERT_TRUE(closer->waitForFinished(30000));
        EXPECT_EQ(closer->exitCode(), 0);
        ASSERT_TRUE(running->waitForFinished(10000)) << first;
        receiver.waitForLines(1, 5s);
        EXPECT_EQ(receiver.lines(), std::vector<std::string>{"H100"});
    }
}

// The window side: an installed program whose config folder does not exist yet says the
// list is missing, and its first Save makes the folder and the file.
TEST_F(WindowTest, InstalledProgramSavesIntoTheConfigFolderItMakes) {
    testenv::TempDir home;
    testenv::ScopedEnv xdg("XDG_CONFIG_HOME", home.file("config"));
    const std::string folder = kivo::channelFileFolder(program.path(), program.path());
    ASSERT_EQ(folder, home.file("config/kivo/"));

    form1 = std::make_unique<TForm1>();
    form1->FormCreate(QString::fromStdString(folder), std::nullopt);
    const QString path = QString::fromStdString(folder + "KIVO.ini");
    EXPECT_EQ(boxes.messages, QStringList{QString::fromUtf8("\"KIVO.ini\" ファイルが開けません")});

    form1->show();
    typeInto(form1->Edit2, "Radio1");
    typeInto(form1->Edit1, "594");
    QTest::mouseClick(form1->Button1, Qt::LeftButton);
    QTest::mouseClick(form1->Button5, Qt::LeftButton);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join(' ').toStdString();
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::string saved((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(saved, "Radio1,FM,594,80,\r\n");

    // A Reload that fails names the full path it used.
    fs::remove(path.toStdString());
    QTest::mouseClick(form1->Button4, Qt::LeftButton);
    EXPECT_EQ(boxes.errors, QStringList{QString::fromUtf8("ファイル ") + path +
                                        QString::fromUtf8(" は開けません.")});
}
