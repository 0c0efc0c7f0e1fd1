// The program as a user starts it: one copy per user and program path.

#include <QFile>
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
    ASSERT_TRUE(second.process().waitForFinished(10000));
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

} // namespace
