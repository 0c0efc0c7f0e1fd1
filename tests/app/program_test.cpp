// The program as a user starts it: one copy per user and program path, a picture named on
// the command line handed to the copy that runs, --help and --version.

#include "app/picture_hand_over.h"
#include "app/single_instance.h"
#include "tests/support/scratch_folder.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

using namespace std::chrono_literals;

// Runs the program with its own runtime folder, so a copy the user runs is not involved.
class Program {
public:
    explicit Program(const QTemporaryDir& runtime, const QString& program = LUMIVERT_PROGRAM) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", runtime.path());
        process_.setProcessEnvironment(environment);
        process_.setProgram(program);
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
        lockPath_ = lumivert::SingleInstance::LockPathFor(program).toStdString();
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    QProcess& process() { return process_; }

    // Started, and the lock of the running copy holds this process's id: the window is up.
    bool StartAndHoldTheLock() {
        process_.start();
        if (!process_.waitForStarted(5000))
            return false;
        const std::string owner = std::to_string(process_.processId()) + "\n";
        return test_support::WaitForWholeFile(lockPath_, 30s, [&](const std::string& b) { return b.starts_with(owner); })
                   .has_value() &&
               process_.state() == QProcess::Running;
    }

    // Run to its end with arguments: exit code and standard output.
    std::pair<int, QByteArray> Run(const QStringList& arguments) {
        process_.setArguments(arguments);
        process_.start();
        if (!process_.waitForFinished(20000))
            return {-1, {}};
        return {process_.exitCode(), process_.readAllStandardOutput()};
    }

private:
    QProcess process_;
    std::string lockPath_;
};

TEST(Program, SecondCopyEndsAtOnceWithoutAMessage) {
    QTemporaryDir runtime;
    Program first(runtime);
    ASSERT_TRUE(first.StartAndHoldTheLock());
    Program second(runtime);
    EXPECT_EQ(second.Run({}), std::make_pair(0, QByteArray()));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(Program, CopyKilledWithoutCleaningUpDoesNotBlockTheNextStart) {
    QTemporaryDir runtime;
    {
        Program killed(runtime);
        ASSERT_TRUE(killed.StartAndHoldTheLock());
        ::kill(static_cast<pid_t>(killed.process().processId()), SIGKILL);
        ASSERT_TRUE(killed.process().waitForFinished(5000));
    }
    Program next(runtime);
    EXPECT_TRUE(next.StartAndHoldTheLock());
}

TEST(Program, ProgramsInDifferentFoldersRunSideBySide) {
    QTemporaryDir runtime, elsewhere;
    const QString copy = elsewhere.filePath("lumivert");
    ASSERT_TRUE(QFile::copy(LUMIVERT_PROGRAM, copy));
    Program first(runtime);
    ASSERT_TRUE(first.StartAndHoldTheLock());
    Program second(runtime, copy);
    EXPECT_TRUE(second.StartAndHoldTheLock());
}

TEST(Program, HelpAndVersionAnswerOnStandardOutput) {
    QTemporaryDir runtime;
    const auto [helpCode, help] = Program(runtime).Run({"--help"});
    EXPECT_EQ(helpCode, 0);
    EXPECT_TRUE(help.contains("PICTURE"));
    const auto [versionCode, version] = Program(runtime).Run({"--version"});
    EXPECT_EQ(versionCode, 0);
    EXPECT_TRUE(version.startsWith("Lumivert "));
}

// This test program takes the running copy's place (its lock and its socket); the real
// program, started with a picture, hands it over through the socket and ends.
TEST(Program, PictureNamedOnTheCommandLineGoesToTheRunningCopy) {
    static int argc = 1;
    static char name[] = "program_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* application = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)application;
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    const QString lockPath = lumivert::SingleInstance::LockPathFor(LUMIVERT_PROGRAM);
    ASSERT_TRUE(lockPath.startsWith(runtime.path()));
    lumivert::SingleInstance running(lockPath);
    ASSERT_FALSE(running.PrevInstance());

    // No copy listens yet: the picture is not taken, and the second copy says so.
    Program unheard(runtime);
    unheard.process().setArguments({"picture.png"});
    unheard.process().start();
    ASSERT_TRUE(unheard.process().waitForFinished(20000));
    EXPECT_EQ(unheard.process().exitCode(), 1);
    EXPECT_TRUE(unheard.process().readAllStandardError().contains("did not take the picture"));

    QStringList received;
    lumivert::PictureHandOver handOver(lumivert::PictureHandOver::SocketPathFor(lockPath),
                                       [&received](const QString& path) { received << path; });
    ASSERT_TRUE(handOver.listening());
    QTemporaryDir pictures;
    Program second(runtime);
    second.process().setWorkingDirectory(pictures.path());
    second.process().setArguments({"写真 1.jpg"}); // relative: the running copy gets it whole
    second.process().start();
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 10000);
    EXPECT_EQ(received.front(), pictures.filePath("写真 1.jpg"));
    ASSERT_TRUE(second.process().state() == QProcess::NotRunning || second.process().waitForFinished(10000));
    EXPECT_EQ(second.process().exitCode(), 0);
}

} // namespace
