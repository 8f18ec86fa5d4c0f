#include "dictation/dictationcontext.h"
#include "dictation/dictationsettings.h"

#include "core/defaults.h"
#include "support/testsupport.h"

#include <QSignalSpy>

using namespace velmora;

namespace velmora {
void PrintTo(const CleanupContext &c, std::ostream *os) {
    *os << "{" << (c.field ? c.field->toStdString() : "none") << ", " << (c.about ? c.about->toStdString() : "none")
        << ", [" << c.vocabulary.join(QStringLiteral(", ")).toStdString() << "]}";
}
} // namespace velmora

namespace {

QStringList numbered(int count, const QString &prefix = QStringLiteral("term")) {
    QStringList terms;
    for (int i = 0; i < count; ++i)
        terms.append(prefix + QString::number(i));
    return terms;
}

// ---------------------------------------------------------------------------------------------
// Splitting free text into terms.

struct SplitCase {
    const char *name;
    QString text;
    QStringList terms;
};
void PrintTo(const SplitCase &c, std::ostream *os) {
    *os << c.name;
}

class VocabularyTermsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(VocabularyTermsTest, SplitsTrimsAndDropsEmptyPieces) {
    EXPECT_EQ(DictationContext::vocabularyTerms(GetParam().text), GetParam().terms);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VocabularyTermsTest,
    ::testing::Values(
        SplitCase{"CommasAndSpaces",
                  QStringLiteral(" Kubernetes , gRPC,Postgres "),
                  {QStringLiteral("Kubernetes"), QStringLiteral("gRPC"), QStringLiteral("Postgres")}},
        SplitCase{
            "IdeographicComma", QStringLiteral("東京\u3001大阪"), {QStringLiteral("東京"), QStringLiteral("大阪")}},
        SplitCase{"FullWidthCommaDoesNotSplit", QStringLiteral("a\uFF0Cb"), {QStringLiteral("a\uFF0Cb")}},
        SplitCase{"EveryKindOfLineBreak",
                  QStringLiteral("a\r\nb\rc\nd\u0085e\u2028f\u2029g\u000Bh\u000Ci"),
                  {"a", "b", "c", "d", "e", "f", "g", "h", "i"}},
        SplitCase{"TabsAndNoBreakSpacesAreTrimmed", QStringLiteral("\t\u00A0Swift\u3000\t"), {QStringLiteral("Swift")}},
        SplitCase{"InnerSpacesStay", QStringLiteral("New York Times"), {QStringLiteral("New York Times")}},
        SplitCase{"DuplicatesAndOrderStay", QStringLiteral("b,a,b"), {"b", "a", "b"}},
        SplitCase{"OnlySeparators", QStringLiteral(" , ,\n\r\n,\u3001 "), {}},
        SplitCase{"CommaWithCombiningMarkIsNoSeparator", QStringLiteral("a,\u0301b"), {QStringLiteral("a,\u0301b")}}),
    [](const auto &info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Adding and removing terms.

class DictationContextTest : public ::testing::Test {
protected:
    Defaults defaults{QString{}};
    QStringList stored() const { return defaults.stringList(QStringLiteral("dictationVocabulary")); }
};

TEST_F(DictationContextTest, NewTermsGoInFrontAndAReAddedTermMovesWithItsNewSpelling) {
    DictationContext context(defaults);
    EXPECT_TRUE(context.addVocabulary(QStringLiteral("a, b")).isEmpty());
    EXPECT_EQ(context.vocabulary(), (QStringList{"a", "b"}));
    EXPECT_TRUE(context.addVocabulary(QStringLiteral("c\nB")).isEmpty());
    EXPECT_EQ(context.vocabulary(), (QStringList{"c", "B", "a"}));
    EXPECT_EQ(stored(), (QStringList{"c", "B", "a"}));

    // Two spellings of one term in one text: the first wins, nothing is rejected.
    EXPECT_TRUE(context.addVocabulary(QStringLiteral("GraphQL, graphql")).isEmpty());
    EXPECT_EQ(context.vocabulary(), (QStringList{"GraphQL", "c", "B", "a"}));
}

TEST_F(DictationContextTest, CaseFoldingIsFullUnicodeLowerCasing) {
    DictationContext context(defaults);
    context.addVocabulary(QStringLiteral("ÆSIR, İstanbul"));
    context.addVocabulary(QStringLiteral("æsir\ni\u0307stanbul"));
    EXPECT_EQ(context.vocabulary(), (QStringList{QStringLiteral("æsir"), QStringLiteral("i\u0307stanbul")}));
}

TEST_F(DictationContextTest, TermsLongerThanFiftyCharactersAreRejected) {
    DictationContext context(defaults);
    // User-perceived characters: 50 flags are 100 code points, still 50 characters.
    const QString fifty = QString(50, QLatin1Char('x'));
    const QString flags = QString(QStringLiteral("🇯🇵")).repeated(50);
    const QString fiftyOne = QString(51, QLatin1Char('y'));
    EXPECT_TRUE(context.addVocabulary(fifty + QLatin1Char(',') + flags).isEmpty());
    EXPECT_EQ(context.vocabulary(), (QStringList{fifty, flags}));

    EXPECT_EQ(context.addVocabulary(fiftyOne), QStringList{fiftyOne});
    EXPECT_EQ(context.vocabulary(), (QStringList{fifty, flags}));

    // An entry stays as it is when a too long new spelling of it is refused.
    context.setVocabulary({fiftyOne, QStringLiteral("b")});
    const QString shouted = fiftyOne.toUpper();
    EXPECT_EQ(context.addVocabulary(shouted + QStringLiteral("\nc")), QStringList{shouted});
    EXPECT_EQ(context.vocabulary(), (QStringList{QStringLiteral("c"), fiftyOne, QStringLiteral("b")}));
}

TEST_F(DictationContextTest, AFullVocabularyRefusesNewTermsButTakesNewSpellings) {
    defaults.setStringList(QStringLiteral("dictationVocabulary"), numbered(100));
    DictationContext context(defaults);
    EXPECT_EQ(context.addVocabulary(QStringLiteral("fresh, TERM7")), QStringList{QStringLiteral("fresh")});
    ASSERT_EQ(context.vocabulary().size(), 100);
    EXPECT_EQ(context.vocabulary().first(), QStringLiteral("TERM7"));
    EXPECT_FALSE(context.vocabulary().contains(QStringLiteral("term7")));

    // Room for exactly one: the second new term of the text is refused.
    context.removeVocabulary(QStringLiteral("term0"));
    EXPECT_EQ(context.addVocabulary(QStringLiteral("one, two")), QStringList{QStringLiteral("two")});
    EXPECT_EQ(context.vocabulary().size(), 100);
}

TEST_F(DictationContextTest, AnOverfullStoredVocabularyLoadsUnchangedAndRefusesEveryNewTerm) {
    defaults.setStringList(QStringLiteral("dictationVocabulary"), numbered(120));
    DictationContext context(defaults);
    EXPECT_EQ(context.vocabulary().size(), 120);
    EXPECT_EQ(context.addVocabulary(QStringLiteral("new")), QStringList{QStringLiteral("new")});
    EXPECT_EQ(stored().size(), 120);
}

TEST_F(DictationContextTest, TextWithoutTermsChangesAndWritesNothing) {
    DictationContext context(defaults);
    QSignalSpy written(&defaults, &Defaults::changed);
    EXPECT_TRUE(context.addVocabulary(QStringLiteral(" ,\n , \u3001")).isEmpty());
    EXPECT_EQ(written.count(), 0);
    EXPECT_FALSE(defaults.contains(QStringLiteral("dictationVocabulary")));
}

TEST_F(DictationContextTest, RemovingIsExactAndAlwaysWrites) {
    DictationContext empty(defaults);
    empty.removeVocabulary(QStringLiteral("absent"));
    EXPECT_TRUE(defaults.isStored(kDictationVocabulary));

    defaults.setStringList(QStringLiteral("dictationVocabulary"), {"Rust", "rust", "Rust"});
    DictationContext context(defaults);
    QSignalSpy changed(&context, &DictationContext::vocabularyChanged);
    context.removeVocabulary(QStringLiteral("Rust"));
    EXPECT_EQ(context.vocabulary(), QStringList{QStringLiteral("rust")});
    context.removeVocabulary(QStringLiteral("RUST"));
    EXPECT_EQ(context.vocabulary(), QStringList{QStringLiteral("rust")});
    EXPECT_EQ(stored(), QStringList{QStringLiteral("rust")});
    EXPECT_EQ(changed.count(), 1);
}

TEST_F(DictationContextTest, SettersWriteEveryTimeButNotifyOnlyOnChange) {
    DictationContext context(defaults);
    QSignalSpy fieldChanged(&context, &DictationContext::fieldChanged);
    QSignalSpy aboutChanged(&context, &DictationContext::aboutChanged);
    // Setting the value it already has still stores it.
    context.setField(DictationField::Unspecified);
    EXPECT_EQ(fieldChanged.count(), 0);
    EXPECT_EQ(defaults.string(QStringLiteral("dictationField")), QStringLiteral("unspecified"));
    context.setField(DictationField::Law);
    context.setField(DictationField::Law);
    context.setAbout(QStringLiteral("  I draft contracts  "));
    context.setAbout(QStringLiteral("  I draft contracts  "));
    EXPECT_EQ(fieldChanged.count(), 1);
    EXPECT_EQ(aboutChanged.count(), 1);
    EXPECT_EQ(defaults.string(QStringLiteral("dictationField")), QStringLiteral("law"));
    // Stored as typed.
    EXPECT_EQ(defaults.string(QStringLiteral("dictationAbout")), QStringLiteral("  I draft contracts  "));

    DictationContext reloaded(defaults);
    EXPECT_EQ(reloaded.field(), DictationField::Law);
    EXPECT_EQ(reloaded.about(), QStringLiteral("  I draft contracts  "));
}

TEST_F(DictationContextTest, ValuesOfAnotherKindOrUnknownFieldsLoadAsDefaults) {
    defaults.setString(QStringLiteral("dictationField"), QStringLiteral("Software"));
    defaults.setInteger(QStringLiteral("dictationFieldName"), 7);
    defaults.setBool(QStringLiteral("dictationAbout"), true);
    defaults.setString(QStringLiteral("dictationVocabulary"), QStringLiteral("a, b"));
    DictationContext context(defaults);
    EXPECT_EQ(context.field(), DictationField::Unspecified);
    EXPECT_EQ(context.fieldName(), QString());
    EXPECT_EQ(context.about(), QString());
    EXPECT_EQ(context.vocabulary(), QStringList());
}

TEST(DictationFieldTest, RawValuesRoundTripExactly) {
    for (DictationField field : kAllDictationFields)
        EXPECT_EQ(dictationFieldFromString(toString(field)), field);
    EXPECT_EQ(dictationFieldFromString(QStringLiteral("dataai")), std::nullopt);
    EXPECT_EQ(promptPhrase(DictationField::DataAI), QStringLiteral("data science and AI"));
    EXPECT_EQ(promptPhrase(DictationField::Other), std::nullopt);
}

// ---------------------------------------------------------------------------------------------
// The cleanup context.

struct ContextCase {
    const char *name;
    DictationField field;
    QString fieldName;
    QString about;
    CleanupContext expected;
};
void PrintTo(const ContextCase &c, std::ostream *os) {
    *os << c.name;
}

class CleanupContextTest : public ::testing::TestWithParam<ContextCase> {};

TEST_P(CleanupContextTest, IsBuiltCleanedAndCut) {
    Defaults defaults{QString{}};
    DictationContext context(defaults);
    context.setField(GetParam().field);
    context.setFieldName(GetParam().fieldName);
    context.setAbout(GetParam().about);
    context.setVocabulary({QStringLiteral("  spaced  ")});
    CleanupContext expected = GetParam().expected;
    expected.vocabulary = {QStringLiteral("  spaced  ")};
    EXPECT_EQ(context.cleanupContext(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, CleanupContextTest,
    ::testing::Values(ContextCase{"Unspecified", DictationField::Unspecified, QStringLiteral("ignored"), {}, {}},
                      ContextCase{"PhraseIgnoresTheName",
                                  DictationField::Design,
                                  QStringLiteral("Typography"),
                                  {},
                                  {QStringLiteral("design"), {}, {}}},
                      ContextCase{"OtherUsesTheNameOnOneLine",
                                  DictationField::Other,
                                  QStringLiteral("  Marine\r\n\nbiology \t"),
                                  {},
                                  {QStringLiteral("Marine biology"), {}, {}}},
                      ContextCase{"OtherWithABlankName", DictationField::Other, QStringLiteral(" \n\t "), {}, {}},
                      ContextCase{"OtherNameCutAtSixty",
                                  DictationField::Other,
                                  QString(70, QLatin1Char('n')),
                                  {},
                                  {QString(60, QLatin1Char('n')), {}, {}}},
                      ContextCase{"AboutCutAtThreeHundredThenTrimmed",
                                  DictationField::Unspecified,
                                  {},
                                  QString(299, QLatin1Char('a')) + QStringLiteral(" ") + QString(100, QLatin1Char('b')),
                                  {{}, QString(299, QLatin1Char('a')), {}}},
                      ContextCase{"AboutCountsCharactersNotCodeUnits",
                                  DictationField::Unspecified,
                                  {},
                                  QString(QStringLiteral("e\u0301")).repeated(400),
                                  {{}, QString(QStringLiteral("e\u0301")).repeated(300), {}}}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(DictationSanitizeTest, JoinsLinesAndDropsEmptyOnes) {
    EXPECT_EQ(DictationContext::sanitize(QStringLiteral("one\n\n two \r\nthree"), 100),
              QStringLiteral("one  two  three"));
    EXPECT_EQ(DictationContext::sanitize(QStringLiteral("\n\n"), 10), std::nullopt);
}

} // namespace
