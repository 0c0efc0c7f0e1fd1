// The parts of the main window that need no saver: descriptions, the quality check, the
// placement, the option lookup, the single running copy, the busy pointer.

#include "app/busy_pointer.h"
#include "app/jpg_quality.h"
#include "app/option_group.h"
#include "app/save_descriptions.h"
#include "app/single_instance.h"
#include "app/window_placement.h"
#include "tests/app/qt_application.h"

#include <QDateTime>
#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace lumivert {
namespace {

// The save tests read every other description back from the result page.
TEST(SaveDescriptions, NameTheTransparentColourAsRgbUnlessThereIsNone) {
    EXPECT_EQ(TransparentColourDescription("GIF", "青", 0xFF0000, false),
              QString::fromUtf8("ファイル種類：GIF\u3000透過色：青 = RGB(0, 0, 255)"));
    EXPECT_EQ(TransparentColourDescription("GIF", "なし", -99, true), QString::fromUtf8("ファイル種類：GIF\u3000透過色：なし"));
}

TEST(JpgQuality, NumericTextHasSignFractionExponentAndBlanks) {
    for (const char* numeric : {"100", "0", "-5", "+7", " 42 ", "50.5", ".5", "5.", "1e12", "2.5E-1", "\t3"})
        EXPECT_TRUE(ParseNumericText(numeric).has_value()) << numeric;
    for (const char* other : {"", " ", "abc", "1a", "--1", ".", "1e", "e5", "1,5", "0x10", "１０"})
        EXPECT_FALSE(ParseNumericText(other).has_value()) << other;
    EXPECT_DOUBLE_EQ(*ParseNumericText(" -2.5e1 "), -25.0);
}

TEST(JpgQuality, ConversionRoundsHalvesToEvenAndRefusesWhatDoesNotFit) {
    EXPECT_EQ(ConvertToLong("50.5"), 50);
    EXPECT_EQ(ConvertToLong("51.5"), 52);
    EXPECT_EQ(ConvertToLong("-0.5"), 0);
    EXPECT_EQ(ConvertToLong("99.6"), 100);
    EXPECT_EQ(ConvertToLong("2147483647"), 2147483647);
    EXPECT_EQ(ConvertToLong("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ConvertToLong("2147483648"), std::nullopt);
    EXPECT_EQ(ConvertToLong("1e12"), std::nullopt);
    EXPECT_EQ(ConvertToLong("1e999"), std::nullopt);
    EXPECT_EQ(ConvertToLong("-1e999"), std::nullopt);
    EXPECT_EQ(ConvertToLong("1e-999"), 0);
    EXPECT_EQ(ConvertToLong("abc"), std::nullopt);
}

TEST(JpgQuality, TextIsClampedToZeroAndHundredOrKeptAsTyped) {
    EXPECT_EQ(CheckedQualityText("-5"), QString("0"));
    EXPECT_EQ(CheckedQualityText("250"), QString("100"));
    EXPECT_EQ(CheckedQualityText("100.4"), QString("100.4")); // rounds to 100: kept
    EXPECT_EQ(CheckedQualityText("100.5"), QString("100.5")); // rounds to 100 (even): kept
    EXPECT_EQ(CheckedQualityText("101.5"), QString("100"));
    EXPECT_EQ(CheckedQualityText("-0.5"), QString("-0.5"));   // rounds to 0: kept
    EXPECT_EQ(CheckedQualityText("50.5"), QString("50.5"));
    EXPECT_EQ(CheckedQualityText(" 7 "), QString(" 7 "));
    EXPECT_EQ(CheckedQualityText(""), std::nullopt);
    EXPECT_EQ(CheckedQualityText("abc"), std::nullopt);
    EXPECT_EQ(CheckedQualityText("1e12"), std::nullopt);
}

TEST(WindowPlacement, CentresAcrossAndPutsAQuarterOfTheFreeHeightAbove) {
    EXPECT_EQ(PlaceWindow({15360, 11520}, {11800, 6000}), QPoint(1780, 1380));
    EXPECT_EQ(PlaceWindow({1024, 600}, {775, 363}), QPoint(125, 59)); // 124.5 and 59.25, rounded
    EXPECT_EQ(PlaceWindow({700, 300}, {775, 363}), QPoint(-38, -16)); // larger than the screen
}

struct FakeMember {
    bool selected;
    bool Value() const { return selected; }
};
struct FakeGroup {
    std::vector<FakeMember> members;
    int count() const { return static_cast<int>(members.size()); }
    const FakeMember& Item(int index) const { return members.at(static_cast<std::size_t>(index)); }
};

TEST(GetSelectedIndex, WorksOnAnyIndexedGroupAndLetsTheLowestSelectedWin) {
    EXPECT_EQ(GetSelectedIndex(FakeGroup{{{false}, {false}, {true}}}), 2);
    EXPECT_EQ(GetSelectedIndex(FakeGroup{{{false}, {true}, {true}}}), 1);
    EXPECT_EQ(GetSelectedIndex(FakeGroup{{{false}, {false}}}), -1);
    EXPECT_EQ(GetSelectedIndex(FakeGroup{}), -1);
}

TEST(OptionGroup, GroupsByItsOwnButtonGroupNotByContainer) {
    testing::EnsureApplication();
    QWidget form;
    QWidget* inner = new QWidget(&form);
    OptionGroup outerGroup(&form);
    OptionGroup innerGroup(&form);
    outerGroup.Add("a", "A", "tip", &form);
    outerGroup.Add("b", "B", "", inner); // same container as the inner group's options
    innerGroup.Add("x", "", "", inner);
    innerGroup.Add("y", "", "", inner);
    outerGroup.Item(1).setChecked(true);
    innerGroup.Item(0).setChecked(true);
    EXPECT_EQ(GetSelectedIndex(outerGroup), 1);
    EXPECT_EQ(GetSelectedIndex(innerGroup), 0);
    outerGroup.Item(0).click();
    EXPECT_EQ(GetSelectedIndex(outerGroup), 0);
    EXPECT_FALSE(outerGroup.Item(1).Value());
    EXPECT_EQ(GetSelectedIndex(innerGroup), 0);
    EXPECT_EQ(outerGroup.buttons().id(&outerGroup.Item(1)), 1);
    EXPECT_EQ(outerGroup.Item(0).Tag(), "A");
    EXPECT_EQ(outerGroup.Item(0).ToolTipText(), "tip");
    EXPECT_EQ(outerGroup.Item(1).ToolTipText(), "");
}

TEST(SingleInstance, SecondHolderOfTheSameLockSeesAPreviousInstance) {
    QTemporaryDir folder;
    const QString lock = folder.filePath("program.lock");
    SingleInstance first(lock);
    EXPECT_FALSE(first.PrevInstance());
    EXPECT_FALSE(first.PrevInstance()); // asking again does not turn the answer
    SingleInstance second(lock);
    EXPECT_TRUE(second.PrevInstance());
    SingleInstance other(folder.filePath("other.lock"));
    EXPECT_FALSE(other.PrevInstance());
}

TEST(SingleInstance, LockOfALongRunningCopyDoesNotExpire) {
    QTemporaryDir folder;
    const QString lock = folder.filePath("program.lock");
    SingleInstance first(lock);
    ASSERT_FALSE(first.PrevInstance());
    // The running copy took its lock an hour ago.
    QFile file(lock);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600), QFileDevice::FileModificationTime));
    file.close();
    SingleInstance second(lock);
    EXPECT_TRUE(second.PrevInstance());
}

TEST(SingleInstance, LockLeftByAKilledCopyDoesNotBlock) {
    QTemporaryDir folder;
    const QString lock = folder.filePath("program.lock");
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        QLockFile held(lock);
        const bool locked = held.tryLock(0);
        _exit(locked ? 0 : 1); // dies holding the lock: the file stays
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(QFile::exists(lock));
    SingleInstance next(lock);
    EXPECT_FALSE(next.PrevInstance());
}

TEST(SingleInstance, LockThatCannotBeMadeDoesNotKeepTheProgramFromRunning) {
    SingleInstance missingFolder("/nonexistent-folder/program.lock");
    EXPECT_FALSE(missingFolder.PrevInstance());
    SingleInstance underProc("/proc/version/program.lock"); // a file where a folder should be
    EXPECT_FALSE(underProc.PrevInstance());
}

TEST(SingleInstance, LockPathDependsOnTheProgramPath) {
    EXPECT_EQ(SingleInstance::LockPathFor("/opt/a/lumivert"), SingleInstance::LockPathFor("/opt/a//lumivert"));
    EXPECT_NE(SingleInstance::LockPathFor("/opt/a/lumivert"), SingleInstance::LockPathFor("/opt/b/lumivert"));
}

TEST(BusyPointer, ShowsTheHourglassAndPutsBackWhatWasThereOnEveryWayOut) {
    testing::EnsureApplication();
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    {
        const BusyPointer busy;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    try {
        const BusyPointer busy;
        throw std::runtime_error("inside");
    } catch (const std::runtime_error&) {
    }
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
}

} // namespace
} // namespace lumivert
