#include "core/jsonfield.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <limits>

using namespace velmora;
using jsonfield::Read;

namespace {
QJsonObject parse(const char *json) {
    return QJsonDocument::fromJson(QByteArray(json)).object();
}
} // namespace

TEST(JsonField, WholeNumbersAreExactAcrossSixtyFourBitsAndNothingElseIsOne) {
    struct Case {
        const char *json;
        Read read;
        std::optional<qint64> value;
    };
    const Case cases[] = {
        {R"({"n":0})", Read::Value, 0},
        {R"({"n":-42})", Read::Value, -42},
        {R"({"n":9007199254740993})", Read::Value, 9007199254740993LL}, // past a double's exact range
        {R"({"n":-9007199254740993})", Read::Value, -9007199254740993LL},
        {R"({"n":9223372036854775807})", Read::Value, std::numeric_limits<qint64>::max()},
        {R"({"n":-9223372036854775808})", Read::Value, std::numeric_limits<qint64>::min()},
        {R"({"n":4.0})", Read::Value, 4},
        {R"({"n":1e3})", Read::Value, 1000},
        {R"({"n":1.5})", Read::WrongType, std::nullopt},
        {R"({"n":9223372036854775808})", Read::WrongType, std::nullopt},
        {R"({"n":-1e19})", Read::WrongType, std::nullopt},
        {R"({"n":1e300})", Read::WrongType, std::nullopt},
        {R"({"n":"3"})", Read::WrongType, std::nullopt},
        {R"({"n":true})", Read::WrongType, std::nullopt},
        {R"({"n":null})", Read::Absent, std::nullopt},
        {R"({})", Read::Absent, std::nullopt},
    };
    for (const Case &c : cases) {
        std::optional<qint64> out;
        EXPECT_EQ(jsonfield::readInteger(parse(c.json), QLatin1StringView("n"), out), c.read) << c.json;
        EXPECT_EQ(out, c.value) << c.json;
    }
}

TEST(JsonField, EachTypeTakesOnlyItsOwnJsonType) {
    const QJsonObject o = parse(R"({"s":"x","b":false,"d":2.5,"o":{"k":1},"a":[1],"z":null})");
    std::optional<QString> s;
    std::optional<bool> b;
    std::optional<double> d;
    std::optional<QJsonObject> obj;
    std::optional<QJsonArray> arr;
    EXPECT_EQ(jsonfield::read(o, QLatin1StringView("s"), s), Read::Value);
    EXPECT_EQ(s, QStringLiteral("x"));
    EXPECT_EQ(jsonfield::read(o, QLatin1StringView("b"), b), Read::Value);
    EXPECT_EQ(b, false);
    EXPECT_EQ(jsonfield::read(o, QLatin1StringView("d"), d), Read::Value);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(jsonfield::read(o, QLatin1StringView("o"), obj), Read::Value);
    EXPECT_EQ(obj->value(QLatin1StringView("k")).toInt(), 1);
    EXPECT_EQ(jsonfield::read(o, QLatin1StringView("a"), arr), Read::Value);
    EXPECT_EQ(arr->size(), 1);
    // Every other pairing is the wrong type; null is absent for all.
    const char *keys[] = {"s", "b", "d", "o", "a"};
    for (const char *key : keys) {
        const QLatin1StringView k(key);
        std::optional<QString> s2;
        std::optional<bool> b2;
        std::optional<double> d2;
        std::optional<QJsonObject> o2;
        std::optional<QJsonArray> a2;
        const int matches =
            int(jsonfield::read(o, k, s2) == Read::Value) + int(jsonfield::read(o, k, b2) == Read::Value) +
            int(jsonfield::read(o, k, d2) == Read::Value) + int(jsonfield::read(o, k, o2) == Read::Value) +
            int(jsonfield::read(o, k, a2) == Read::Value);
        EXPECT_EQ(matches, 1) << key;
    }
    EXPECT_EQ(jsonfield::read(o, QLatin1StringView("z"), s), Read::Absent);
}

TEST(JsonField, ARawValueMustNameACase) {
    enum class Tone { Plain, Formal };
    auto parseTone = [](const QString &raw) -> std::optional<Tone> {
        if (raw == QLatin1String("plain"))
            return Tone::Plain;
        if (raw == QLatin1String("formal"))
            return Tone::Formal;
        return std::nullopt;
    };
    std::optional<Tone> tone;
    EXPECT_EQ(jsonfield::readRaw(parse(R"({"t":"formal"})"), QLatin1StringView("t"), tone, parseTone), Read::Value);
    EXPECT_EQ(tone, Tone::Formal);
    EXPECT_EQ(jsonfield::readRaw(parse(R"({"t":"loud"})"), QLatin1StringView("t"), tone, parseTone), Read::WrongType);
    EXPECT_EQ(jsonfield::readRaw(parse(R"({"t":1})"), QLatin1StringView("t"), tone, parseTone), Read::WrongType);
}

TEST(JsonField, WrittenFieldsReadBackAndAbsentOnesAreLeftOut) {
    QJsonObject o;
    const std::optional<qint64> big = (qint64(1) << 60) + 1;
    jsonfield::write(o, QLatin1StringView("big"), big);
    jsonfield::write(o, QLatin1StringView("name"), std::optional<QString>("x"));
    jsonfield::write(o, QLatin1StringView("none"), std::optional<bool>());
    EXPECT_EQ(o.keys(), (QStringList{"big", "name"}));
    std::optional<qint64> number;
    EXPECT_EQ(jsonfield::readInteger(o, QLatin1StringView("big"), number), Read::Value);
    EXPECT_EQ(number, big);
    std::optional<QString> name;
    EXPECT_EQ(jsonfield::readString(o, QLatin1StringView("name"), name), Read::Value);
    EXPECT_EQ(name, "x");
}
