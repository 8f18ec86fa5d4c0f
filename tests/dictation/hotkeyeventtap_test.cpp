// The key logic of the two taps, fed key sequences as the platform's taps hand them over.

#include "dictation/hotkeyeventtap.h"

#include "platform/keychord.h"
#include "platform/secureinput.h"
#include "platform/virtualkeys.h"
#include "support/testsupport.h"

#include <QCoreApplication>
#include <QThread>

#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace velmora;
using namespace velmora::test;
using Kind = HotkeyEventTap::Kind;
using Event = HotkeyEventTap::Event;
using Type = KeyTapEvent::Type;

namespace {

constexpr quint64 kFn = KeyChord::kFunctionFlag;
constexpr quint64 kShift = KeyChord::kShiftFlag;
constexpr quint64 kCtrl = KeyChord::kCommandFlag;

// One event in, and whether the tap should swallow it.
struct Step {
    KeyTapEvent event;
    bool swallowed = false;
};

Step flags(quint64 held, quint32 keyDowns = 0) {
    KeyTapEvent e;
    e.type = Type::FlagsChanged;
    e.keyCode = VirtualKeys::kFunction;
    e.flags = held;
    e.keyDowns = keyDowns;
    return {e, false};
}

Step escape(Type type, bool swallowed, quint64 held = 0, bool repeat = false, bool secure = false) {
    KeyTapEvent e;
    e.type = type;
    e.keyCode = VirtualKeys::kEscape;
    e.flags = held;
    e.autorepeat = repeat;
    e.secureInput = secure;
    return {e, swallowed};
}
Step escDown(bool swallowed, quint64 held = 0) {
    return escape(Type::KeyDown, swallowed, held);
}
Step escRepeat(bool swallowed) {
    return escape(Type::KeyDown, swallowed, 0, true);
}
Step escUp(bool swallowed) {
    return escape(Type::KeyUp, swallowed);
}

Step disabled(bool byUser) {
    KeyTapEvent e;
    e.type = byUser ? Type::DisabledByUserInput : Type::DisabledByTimeout;
    return {e, false};
}

const Event kToggle{Event::Type::Toggle};
const Event kCancel{Event::Type::Cancel};
const Event kBlocked{Event::Type::Blocked};

struct Case {
    const char *name;
    Kind kind;
    std::vector<Step> steps;
    std::vector<Event> reports;
    bool secureInput = false;
};
void PrintTo(const Case &c, std::ostream *os) {
    *os << c.name;
}

const Case kCases[] = {
    // The fn key (Right Ctrl): only a bare tap counts, and it never swallows anything.
    {"a bare tap toggles", Kind::Globe, {flags(kFn), flags(0)}, {kToggle}},
    {"two taps toggle twice", Kind::Globe, {flags(kFn), flags(0), flags(kFn, 3), flags(0, 3)}, {kToggle, kToggle}},
    {"a key typed during the hold", Kind::Globe, {flags(kFn, 7), flags(0, 8)}, {}},
    {"fn pressed while Shift is held", Kind::Globe, {flags(kShift), flags(kShift | kFn), flags(kShift), flags(0)}, {}},
    {"Ctrl joins during the hold", Kind::Globe, {flags(kFn), flags(kFn | kCtrl), flags(kFn), flags(0)}, {}},
    {"Shift let go before fn is pressed again",
     Kind::Globe,
     {flags(kShift), flags(0), flags(kFn), flags(0)},
     {kToggle}},
    {"a modifier alone", Kind::Globe, {flags(kCtrl), flags(0)}, {}},
    {"secure input blocks", Kind::Globe, {flags(kFn), flags(0)}, {kBlocked}, true},
    {"a release after a time-out starts from up",
     Kind::Globe,
     {flags(kFn), disabled(false), flags(0), flags(kFn), flags(0)},
     {Event{Event::Type::Disabled, false}, kToggle}},
    {"switched off because of user input", Kind::Globe, {disabled(true)}, {Event{Event::Type::Disabled, true}}},

    // Escape.
    {"Escape cancels and is taken with its release", Kind::Escape, {escDown(true), escUp(true)}, {kCancel}},
    {"a held Escape cancels once",
     Kind::Escape,
     {escDown(true), escRepeat(true), escRepeat(true), escUp(true)},
     {kCancel}},
    {"a fresh press while consuming cancels again",
     Kind::Escape,
     {escDown(true), escDown(true), escUp(true)},
     {kCancel, kCancel}},
    {"a repeat of an Escape held before the tap passes", Kind::Escape, {escRepeat(false), escUp(false)}, {}},
    {"Escape with a modifier passes",
     Kind::Escape,
     {escDown(false, kShift), escUp(false), escDown(false, kFn), escUp(false)},
     {}},
    {"a modifier joining a held Escape is taken with it",
     Kind::Escape,
     {escDown(true), escape(Type::KeyDown, true, kShift, true), escUp(true), escDown(false, kShift)},
     {kCancel}},
    {"secure input lets Escape through untouched",
     Kind::Escape,
     {escape(Type::KeyDown, false, 0, false, true), escape(Type::KeyUp, false, 0, false, true)},
     {}},
    // A release that passes on to a secure field still ends the press it belongs to: the next
    // stray repeat is not swallowed for a press long over.
    {"a release under secure input ends the consumption",
     Kind::Escape,
     {escDown(true), escape(Type::KeyUp, false, 0, false, true), escRepeat(false), escUp(false)},
     {kCancel}},
    {"a time-out ends the consumption",
     Kind::Escape,
     {escDown(true), disabled(false), escUp(false)},
     {kCancel, Event{Event::Type::Disabled, false}}},
    {"other keys pass",
     Kind::Escape,
     {Step{KeyTapEvent{Type::KeyDown, 0x00, 0, false, false, 1}, false},
      Step{KeyTapEvent{Type::KeyUp, 0x00, 0, false, false, 1}, false}},
     {}},
};

class HotkeyEventTapSequence : public ::testing::TestWithParam<Case> {};

TEST_P(HotkeyEventTapSequence, ReportsAndSwallows) {
    const Case &c = GetParam();
    FakeSecureInput secure;
    secure.enabled = c.secureInput;
    QObject context;
    std::vector<Event> reports;
    HotkeyEventTap tap(c.kind, secure, &context, [&](Event e) { reports.push_back(e); });
    for (std::size_t i = 0; i < c.steps.size(); ++i)
        EXPECT_EQ(tap.handleKeyTapEvent(c.steps[i].event), c.steps[i].swallowed) << "step " << i;
    QCoreApplication::sendPostedEvents(&context);
    ASSERT_EQ(reports.size(), c.reports.size());
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].type, c.reports[i].type) << "report " << i;
        EXPECT_EQ(reports[i].byUser, c.reports[i].byUser) << "report " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(KeySequences, HotkeyEventTapSequence, ::testing::ValuesIn(kCases), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

// Whether a bare fn tap is blocked is asked when its report arrives, by a check that began
// after the tap ended; one check serves every tap that ended before it began.
class ScriptedSecureInput : public SecureInput {
public:
    bool isEnabled() override {
        ++checks;
        const bool answer = enabled;
        if (auto during = std::exchange(duringNextCheck, {}))
            during();
        return answer;
    }
    bool enabled = false;
    int checks = 0;
    // Runs inside the next check, after it has read the state.
    std::function<void()> duringNextCheck;
};

struct SecureCase {
    const char *name;
    // t: a bare fn tap ends on the tap's side; +/-: secure input goes on/off; d: the reports
    // queued so far arrive; !: during the next check a tap ends and secure input goes on.
    std::string script;
    std::vector<Event> reports;
    int checks;
};
void PrintTo(const SecureCase &c, std::ostream *os) {
    *os << c.name;
}

const SecureCase kSecureCases[] = {
    {"taps queued together share one check", "tttd", {kToggle, kToggle, kToggle}, 1},
    {"a tap after an answered check is checked afresh", "td+td", {kToggle, kBlocked}, 2},
    {"secure input on before the reports arrive blocks taps that ended earlier", "tt+d", {kBlocked, kBlocked}, 1},
    {"secure input off again before the report arrives", "+t-d", {kToggle}, 1},
    {"a tap that ends during a check gets one of its own", "t!d", {kToggle, kBlocked}, 2},
};

class HotkeyEventTapSecureInput : public ::testing::TestWithParam<SecureCase> {};

TEST_P(HotkeyEventTapSecureInput, DecidesEachTapByACheckBegunAfterIt) {
    const SecureCase &c = GetParam();
    ScriptedSecureInput secure;
    QObject context;
    std::vector<Event> reports;
    HotkeyEventTap tap(Kind::Globe, secure, &context, [&](Event e) { reports.push_back(e); });
    const auto tapFn = [&] {
        tap.handleKeyTapEvent(flags(kFn).event);
        tap.handleKeyTapEvent(flags(0).event);
    };
    for (char step : c.script) {
        switch (step) {
        case 't': tapFn(); break;
        case '+': secure.enabled = true; break;
        case '-': secure.enabled = false; break;
        case 'd': QCoreApplication::sendPostedEvents(&context); break;
        case '!':
            secure.duringNextCheck = [&] {
                tapFn();
                secure.enabled = true;
            };
            break;
        default: FAIL() << "unknown step " << step;
        }
    }
    // A report queued during a delivery arrives with the next one.
    ASSERT_TRUE(waitUntil([&] { return reports.size() >= c.reports.size(); }));
    QCoreApplication::sendPostedEvents(&context);
    ASSERT_EQ(reports.size(), c.reports.size());
    for (std::size_t i = 0; i < reports.size(); ++i)
        EXPECT_EQ(reports[i].type, c.reports[i].type) << "report " << i;
    EXPECT_EQ(secure.checks, c.checks);
}

INSTANTIATE_TEST_SUITE_P(Taps, HotkeyEventTapSecureInput, ::testing::ValuesIn(kSecureCases), [](const auto &info) {
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
});

TEST(HotkeyEventTap, ReportsFromTheTapThreadArriveOnTheMainThreadInOrder) {
    FakeSecureInput secure;
    QObject context;
    std::vector<Event> reports;
    bool allOnMain = true;
    HotkeyEventTap tap(Kind::Escape, secure, &context, [&](Event e) {
        allOnMain = allOnMain && QThread::currentThread() == QCoreApplication::instance()->thread();
        reports.push_back(e);
    });
    std::thread tapThread([&] {
        for (int i = 0; i < 50; ++i) {
            tap.handleKeyTapEvent(escDown(true).event);
            tap.handleKeyTapEvent(escUp(true).event);
        }
        tap.handleKeyTapEvent(disabled(true).event);
    });
    tapThread.join();
    ASSERT_TRUE(waitUntil([&] { return reports.size() == 51; }));
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(reports.back().type, Event::Type::Disabled);
}

TEST(HotkeyEventTap, ReportsForAContextThatIsGoneAreDropped) {
    FakeSecureInput secure;
    auto context = std::make_unique<QObject>();
    int reports = 0;
    HotkeyEventTap tap(Kind::Globe, secure, context.get(), [&](Event) { ++reports; });
    tap.handleKeyTapEvent(flags(kFn).event);
    tap.handleKeyTapEvent(flags(0).event);
    context.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(reports, 0);
}

TEST(HotkeyEventTap, ATapTheSystemRefusesIsNone) {
    FakeKeyEventTaps taps;
    taps.refused = {KeyEventTaps::Kind::Modifiers};
    FakeSecureInput secure;
    QObject context;
    EXPECT_FALSE(HotkeyEventTap::create(Kind::Globe, taps, secure, &context, [](Event) {}));
    auto escapeTap = HotkeyEventTap::create(Kind::Escape, taps, secure, &context, [](Event) {});
    ASSERT_TRUE(escapeTap);
    EXPECT_TRUE(taps.isRunning(KeyEventTaps::Kind::Escape));
    escapeTap.reset();
    EXPECT_FALSE(taps.isRunning(KeyEventTaps::Kind::Escape));
}

} // namespace
