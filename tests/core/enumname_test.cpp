#include "core/enumname.h"

#include <gtest/gtest.h>

using namespace velmora;

namespace {

struct Sample {
    Q_GADGET
public:
    enum class Kind { Idle, EmptyAudio, X, WriteFailed };
    Q_ENUM(Kind)
};

} // namespace

TEST(EnumName, EveryEnumeratorHasItsLowerCamelNameAndBack) {
    using Kind = Sample::Kind;
    const std::vector<std::pair<Kind, QString>> cases = {
        {Kind::Idle, "idle"}, {Kind::EmptyAudio, "emptyAudio"}, {Kind::X, "x"}, {Kind::WriteFailed, "writeFailed"}};
    for (const auto &[kind, name] : cases) {
        EXPECT_EQ(enumName(kind), name);
        EXPECT_EQ(enumFromName<Kind>(name), kind);
    }
}

TEST(EnumName, OnlyExactNamesAndKnownValuesMap) {
    using Kind = Sample::Kind;
    EXPECT_EQ(enumName(Kind(42)), QString());
    for (const QString name : {"EmptyAudio", "emptyaudio", "", "empty Audio", "writeFailed "})
        EXPECT_EQ(enumFromName<Kind>(name), std::nullopt) << name.toStdString();
}

#include "enumname_test.moc"
