// The program as a user starts it: one copy per user and program path, a picture named on
// the command line handed to the copy that runs, --help and --version.

#include "app/picture_hand_over.h"
#include "app/single_instance.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

// Runs the program with its own runtime folder, so a copy the user runs is not involved.
class Program {
public:
    explicit Program(const QString& runtimeFolder, const QString& program = LUMIVERT_PROGRAM) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_RUNTIME_DIR", runtimeFolder);
        process_.setProcessEnvironment(environment);
        process_.setProgram(program);
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    QProcess& process() { return process_; }

    // Started and still running after a while: the window is up and waits for clicks.
    bool StartAndStayUp() {
        process_.start();
        return process_.waitForStarted(5000) && !process_.waitForFinished(1500);
    }

private:
    QProcess process_;
};

TEST(Program, SecondCopyEndsAtOnceWithoutAMessage) {
    QTemporaryDir runtime;
    Program first(runtime.path());
    ASSERT_TRUE(first.StartAndStayUp());

    Program second(runtime.path());
    second.process().start();
    ASSERT_TRUE(second.process().state() == QProcess::NotRunning || second.process().waitForFinished(10000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0);
    EXPECT_TRUE(second.process().readAllStandardOutput().isEmpty());
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(Program, CopyKilledWithoutCleaningUpDoesNotBlockTheNextStart) {
    QTemporaryDir runtime;
    {
        Program killed(runtime.path());
        ASSERT_TRUE(killed.StartAndStayUp());
        ::kill(static_cast<pid_t>(killed.process().processId()), SIGKILL);
        ASSERT_TRUE(killed.process().waitForFinished(5000));
    }
    Program next(runtime.path());
    EXPECT_TRUE(next.StartAndStayUp());
}

TEST(Program, ProgramsInDifferentFoldersRunSideBySide) {
    QTemporaryDir runtime;
    QTemporaryDir elsewhere;
    const QString copy = elsewhere.filePath("lumivert");
    ASSERT_TRUE(QFile::copy(LUMIVERT_PROGRAM, copy));
    Program first(runtime.path());
    Program second(runtime.path(), copy);
    ASSERT_TRUE(first.StartAndStayUp());
    EXPECT_TRUE(second.StartAndStayUp());
}

TEST(Program, HelpAndVersionAnswerOnStandardOutput) {
    QTemporaryDir runtime;
    Program help(runtime.path());
    help.process().setArguments({"--help"});
    help.process().start();
    ASSERT_TRUE(help.process().waitForFinished(10000));
    EXPECT_EQ(help.process().exitCode(), 0);
    EXPECT_TRUE(help.process().readAllStandardOutput().contains("PICTURE"));

    Program version(runtime.path());
    version.process().setArguments({"--version"});
    version.process().start();
    ASSERT_TRUE(version.process().waitForFinished(10000));
    EXPECT_EQ(version.process().exitCode(), 0);
    EXPECT_TRUE(version.process().readAllStandardOutput().startsWith("Lumivert "));
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
    Program unheard(runtime.path());
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
    Program second(runtime.path());
    second.process().setWorkingDirectory(pictures.path());
    second.process().setArguments({"写真 1.jpg"}); // relative: the running copy gets it whole
    second.process().start();
    QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 10000);
    EXPECT_EQ(received.front(), pictures.filePath("写真 1.jpg"));
    ASSERT_TRUE(second.process().state() == QProcess::NotRunning || second.process().waitForFinished(10000));
    EXPECT_EQ(second.process().exitCode(), 0);
}

} // namespace
