// The event stream between a producer and its one consumer, without any server.

#include "llm/llmeventstream.h"
#include "support/testsupport.h"

using namespace velmora;
using namespace velmora::test;

namespace {

LLMStreamEvent text(const char *piece) {
    return LLMStreamEvent::makeText(QString::fromUtf8(piece));
}

} // namespace

TEST(LLMEventStream, CancelDropsWhatIsBufferedWhileANaturalEndDrainsIt) {
    struct Case {
        const char *name;
        bool finishFirst;     // the producer ends the stream before the consumer reads
        bool cancelAfterOne;  // the consumer stops after the first event
        QStringList expected; // the texts the consumer gets
        bool endsCancelled;   // the last next() throws CancelledError (else returns the end)
    };
    const Case cases[] = {
        {"cancel with one event still buffered", false, true, {QStringLiteral("one")}, true},
        {"cancel after the producer finished", true, true, {QStringLiteral("one")}, true},
        {"natural end", true, false, {QStringLiteral("one"), QStringLiteral("two")}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto [stream, producer] = LLMEventStream::make();
        producer.yield(text("one"));
        producer.yield(text("two"));
        if (c.finishFirst)
            producer.finish();

        QStringList got;
        const auto first = run(stream.next());
        ASSERT_TRUE(first);
        got << first->text;
        if (c.cancelAfterOne) {
            stream.cancel();
            EXPECT_TRUE(producer.token().isCancelled());
            // Events the producer yields after the cancel are dropped as well.
            producer.yield(text("three"));
        } else {
            const auto second = run(stream.next());
            ASSERT_TRUE(second);
            got << second->text;
        }
        EXPECT_EQ(got, c.expected);
        bool cancelled = false;
        std::optional<LLMStreamEvent> last;
        try {
            last = run(stream.next());
        } catch (const CancelledError &) {
            cancelled = true;
        }
        EXPECT_EQ(cancelled, c.endsCancelled);
        EXPECT_FALSE(last);
    }
}

TEST(LLMEventStream, CancelEndsANextThatIsWaiting) {
    auto [stream, producer] = LLMEventStream::make();
    bool ended = false;
    bool cancelled = false;
    auto reader = [](LLMEventStream *s, bool *ended, bool *cancelled) -> QCoro::Task<> {
        try {
            co_await s->next();
        } catch (const CancelledError &) {
            *cancelled = true;
        }
        *ended = true;
    }(&stream, &ended, &cancelled);
    EXPECT_FALSE(ended); // nothing to read yet: the reader waits
    stream.cancel();
    ASSERT_TRUE(waitUntil([&] { return ended; }));
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(producer.token().isCancelled());
}

TEST(LLMEventStream, AFailureArrivesAfterTheBufferedEvents) {
    auto [stream, producer] = LLMEventStream::make();
    producer.yield(text("one"));
    producer.fail(std::make_exception_ptr(Error(QStringLiteral("Test"), 3)));
    const auto first = run(stream.next());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->text, QStringLiteral("one"));
    try {
        run(stream.next());
        ADD_FAILURE() << "the failure was not delivered";
    } catch (const Error &e) {
        EXPECT_EQ(e.domain(), QStringLiteral("Test"));
        EXPECT_EQ(e.code(), 3);
    }
    // Read to its end, the stream tells the producer it may stop.
    EXPECT_TRUE(producer.token().isCancelled());
}
