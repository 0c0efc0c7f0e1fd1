// The program as started: one copy per program path, a picture not taken.

#include "app/single_instance.h"
#include "tests/support/scratch_folder.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <signal.h>

namespace {

using namespace std::chrono_literals;

// The program with a runtime folder of its own, so a copy the user runs is not involved.
class Program {
public:
    explicit Program(const QTemporaryDir& runtime, const QStringList& arguments = {},
                     const QString& program = LUMIVERT_PROGRAM) {
        qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit()); // the program inherits both
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) // else as given: wayland under Weston
            qputenv("QT_QPA_PLATFORM", "offscreen");
        process.setProgram(program);
        process.setArguments(arguments);
        lockPath_ = lumivert::SingleInstance::LockPathFor(program).toStdString();
    }
    ~Program() {
        process.kill();
        process.waitForFinished(5000);
    }

    // Started, and the lock of the running copy holds this process's id: the window is up.
    bool StartAndHoldTheLock() {
        process.start();
        if (!process.waitForStarted(5000))
            return false;
        const std::string owner = std::to_string(process.processId()) + "\n";
        return test_support::WaitForWholeFile(lockPath_, 30s, [&](const std::string& b) { return b.starts_with(owner); })
                   .has_value() &&
               process.state() == QProcess::Running;
    }

    // Run to its end: exit code, standard output and standard error.
    std::tuple<int, QByteArray, QByteArray> Run() {
        process.start();
        if (!process.waitForFinished(20000))
            return {-1, {}, {}};
        return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
    }

    QProcess process;
    std::string lockPath_;
};

// A second copy of the same program ends at once without a word; one in another folder runs;
// a copy killed without cleaning up does not block the next start.
TEST(Program, OneCopyRunsPerProgramPath) {
    QTemporaryDir runtime, elsewhere;
    Program first(runtime);
    ASSERT_TRUE(first.StartAndHoldTheLock());
    EXPECT_EQ(Program(runtime).Run(), std::make_tuple(0, QByteArray(), QByteArray()));
    EXPECT_EQ(first.process.state(), QProcess::Running);
    ASSERT_TRUE(QFile::copy(LUMIVERT_PROGRAM, elsewhere.filePath("lumivert")));
    EXPECT_TRUE(Program(runtime, {}, elsewhere.filePath("lumivert")).StartAndHoldTheLock());
    ::kill(static_cast<pid_t>(first.process.processId()), SIGKILL);
    ASSERT_TRUE(first.process.waitForFinished(5000));
    EXPECT_TRUE(Program(runtime).StartAndHoldTheLock());
}

// This test holds the running copy's lock but listens on no socket: the picture is not taken,
// and the second copy says so (a real hand-over: tests/app/check_output_folder.py).
TEST(Program, PictureNotTakenByTheRunningCopyIsToldAndEndsWithAnError) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    lumivert::SingleInstance running(lumivert::SingleInstance::LockPathFor(LUMIVERT_PROGRAM));
    ASSERT_FALSE(running.PrevInstance());
    const auto [code, out, errors] = Program(runtime, {"picture.png"}).Run();
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(errors.contains("did not take the picture")) << errors.toStdString();
}

} // namespace
