#include "core/error.h"
#include "core/log.h"

#include <gtest/gtest.h>

#include <system_error>
#include <thread>

using namespace velmora;

TEST(Log, RendersUnifiedLogFormats) {
    struct Case {
        const char *format;
        std::vector<LogArg> args;
        const char *expected;
    };
    const std::vector<Case> cases = {
        {"Dictation finished: %{public}s, %ld s audio, %ld chunks",
         {"ok", 12, 3},
         "Dictation finished: ok, 12 s audio, 3 chunks"},
        {"flag %{bool,public}d / %{bool}d", {true, false}, "flag true / false"},
        {"ratio %.2f and %f", {0.5, 1.25}, "ratio 0.50 and 1.250000"},
        {"100%% done %{public}@", {"x"}, "100% done x"},
        {"unsigned %lu, long long %lld, int %d", {7u, -3LL, 4}, "unsigned 7, long long -3, int 4"},
        {"missing %{public}s", {}, "missing <missing>"},
        {"no args", {}, "no args"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Log::render(c.format, c.args).toStdString(), c.expected) << c.format;
}

TEST(Log, ErrorCodeIsDomainAndCodeOnly) {
    EXPECT_EQ(Log::errorCode(Error("Velmora.LLMServerError", 2, "secret details")), "Velmora.LLMServerError 2");
    EXPECT_EQ(Log::errorCode(PosixError(ENOSPC)), "NSPOSIXErrorDomain 28");
    EXPECT_EQ(Log::errorCode(std::system_error(EACCES, std::generic_category())), "NSPOSIXErrorDomain 13");
    EXPECT_EQ(Log::errorCode(std::runtime_error("boom")), "std::runtime_error 0");
    EXPECT_EQ(Log::errorCode(std::make_exception_ptr(Error("D", -5))), "D -5");
    EXPECT_EQ(Log::errorCode(std::exception_ptr()), "none");
}

TEST(Log, ElevenCategoriesUnderTheBundleIdentifier) {
    EXPECT_EQ(Log::subsystem(), "com.velmora.app");
    EXPECT_EQ(Log::subsystemFor(QString()), "Velmora");
    const std::vector<std::pair<const Logger *, const char *>> loggers = {
        {&Log::app(), "app"},
        {&Log::dictation(), "dictation"},
        {&Log::speech(), "speech"},
        {&Log::llm(), "llm"},
        {&Log::models(), "models"},
        {&Log::library(), "library"},
        {&Log::translate(), "translate"},
        {&Log::notes(), "notes"},
        {&Log::voiceCompose(), "voiceCompose"},
        {&Log::summarize(), "summarize"},
        {&Log::proofread(), "proofread"},
    };
    for (const auto &[logger, name] : loggers) {
        EXPECT_EQ(logger->category(), name);
        EXPECT_EQ(QString::fromUtf8(logger->qtCategory().categoryName()), QString("com.velmora.app.") + name);
    }
}

TEST(Log, CaptureSeesLinesFromAnyThreadWhileItLives) {
    Log::library().error("before capture");
    LogCapture capture;
    Log::library().error("History delete failed: %{public}s", {Log::errorCode(PosixError(EIO))});
    std::thread t([] { Log::speech().info("from a thread %ld", {5}); });
    t.join();
    EXPECT_TRUE(capture.contains("library", LogLevel::Error, "History delete failed: NSPOSIXErrorDomain 5"));
    EXPECT_FALSE(capture.contains("library", LogLevel::Info, "History delete failed: NSPOSIXErrorDomain 5"));
    EXPECT_EQ(capture.messages("speech"), QStringList{"from a thread 5"});
    EXPECT_FALSE(capture.contains("library", "before capture"));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].subsystem, "com.velmora.app");
}
