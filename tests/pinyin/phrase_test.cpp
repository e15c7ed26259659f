// Tests of the phrase-aware readings: segmentation, surnames, traditional forms, the quieter
// manual mode, and a py.db without phrase tables.
#include <algorithm>
#include <gtest/gtest.h>

#include <memory>

#include "codepage/codepage.h"
#include "pinyin/annotate.h"
#include "pinyin/fixtures.h"
#include "pinyin/lookup.h"
#include "pinyin/phrase.h"
#include "pinyin/table.h"

namespace pinyin {
namespace {

using testing::ScriptedChooser;
using testing::TempDb;

const char* const kPinYin = R"(
CREATE TABLE PinYin(hz TEXT, Py1 TEXT);
INSERT INTO PinYin VALUES ('在','Zai'),('行','Xing Hang'),('动','Dong'),('银','Yin'),
  ('銀','Yin'),('的','De Di'),('确','Que'),('定','Ding'),('性','Xing'),('看','Kan'),
  ('到','Dao'),('了','Le Liao'),('我','Wo'),('们','Men'),('都','Dou Du'),('会','Hui Kuai'),
  ('去','Qu'),('单','Dan Shan Chan'),('位','Wei'),('曾','Ceng Zeng'),('经','Jing'),
  ('国','Guo'),('藩','Fan'),('尉','Wei Yu'),('迟','Chi'),('恭','Gong'),('于','Yu'),
  ('重','Zhong Chong'),('庆','Qing'),('慶','Qing'),('长','Zhang Chang'),('沙','Sha'),
  ('長','Chang Zhang'),('大','Da'),('於','Yu Wu'),('閤','Ge He'),('合','He'),
  ('王','Wang'),('田','Tian'),('芳','Fang'),('传','Chuan Zhuan'),('傳','Chuan Zhuan'),
  ('李','Li'),('白','Bai'),('苏','Su'),('东','Dong'),('坡','Po'),('流','Liu'),('宣','Xuan'),
  ('广','Guang'),('为','Wei'),('统','Tong'),('口','Kou'),('诗','Shi'),('选','Xuan'),
  ('查','Cha Zha'),('尔','Er'),('斯','Si'),('柏','Bai Bo'),('格','Ge'),('森','Sen'),('杨','Yang'),
  ('塔','Ta Da'),('瓦','Wa'),('拉','La'),('什','Shen Shi'),('欧','Ou'),('树','Shu');
)";

const char* const kPhrases = R"(
CREATE TABLE Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER NOT NULL);
INSERT INTO Phrase VALUES
  ('在',NULL,-500),('在行','Zai Hang',-1200),('行动',NULL,-900),('动',NULL,-800),
  ('的',NULL,-500),('的确','Di Que',-1100),('确',NULL,-900),('确定',NULL,-1000),
  ('确定性',NULL,-1300),('定',NULL,-800),('性',NULL,-700),
  ('看',NULL,-700),('看到',NULL,-900),('到',NULL,-600),('了',NULL,-400),
  ('到了','Dao Liao',-2000),('我们',NULL,-600),('都',NULL,-550),('会',NULL,-650),
  ('都会','Du Hui',-1800),('去',NULL,-600),
  ('银行','Yin Hang',-900),('单位',NULL,-1000),
  ('重庆','Chong Qing',-1000),('长沙','Chang Sha',-1000),('長','Chang',-700),('长大',NULL,-900),
  ('长','Chang',-700),('曾经','Ceng Jing',-1000),('传','Chuan',-900),('流传',NULL,-1100),
  ('宣传',NULL,-1000),('传统',NULL,-1000),('查尔斯',NULL,-1300),('柏格森','Bo Ge Sen',-1500),
  ('单田芳',NULL,-1400),('塔',NULL,-900),('塔瓦',NULL,-1500),('瓦斯',NULL,-1000),
  ('塔拉','Da La',-1500),('拉斯',NULL,-1000);
CREATE TABLE Surname(name TEXT PRIMARY KEY, py TEXT NOT NULL);
INSERT INTO Surname VALUES ('单','Shan'),('曾','Zeng'),('尉迟','Yu Chi'),('单于','Chan Yu'),
  ('李','Li'),('苏','Su'),('广','Guang'),('宣','Xuan'),('王','Wang'),('查','Zha'),('柏','Bai');
CREATE TABLE Dominant(hz TEXT PRIMARY KEY, py TEXT NOT NULL, share REAL NOT NULL);
INSERT INTO Dominant VALUES ('什','Shen',1.0),('的','De',0.997),('了','Le',0.98),('都','Dou',0.8);
CREATE TABLE Variant(hz TEXT PRIMARY KEY, simplified TEXT NOT NULL);
INSERT INTO Variant VALUES ('銀','银'),('慶','庆'),('長','长'),('於','于'),('閤','合'),
  ('傳','传');
)";

std::string romanise(const PinyinTable& table, std::string_view text, Polyphone mode = Polyphone::Phrase,
                     std::string_view tag = {}, Chooser* chooser = nullptr, bool askUnsure = false) {
    RunSettings settings;
    settings.polyphone = mode;
    settings.askOnlyWhenUnsure = askUnsure;
    Romaniser r(table, settings, chooser);
    std::string out = r.pinyin(text, tag);
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

class PhraseTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = std::make_unique<TempDb>(std::string(kPinYin) + kPhrases);
        table_ = PinyinTable::load(db_->path());
        ASSERT_NE(table_->phrases(), nullptr);
    }
    std::string phrase(std::string_view text, std::string_view tag = {}) const {
        return romanise(*table_, text, Polyphone::Phrase, tag);
    }

    std::unique_ptr<TempDb> db_;
    std::shared_ptr<const PinyinTable> table_;
};

TEST_F(PhraseTest, SegmentsByWeightNotByLongestMatch) {
    EXPECT_EQ(phrase("在行动"), "zai xing dong");       // 在 + 行动, not 在行 + 动
    EXPECT_EQ(phrase("的确定性"), "de que ding xing");  // 的 + 确定性, not 的确 + 定性
    EXPECT_EQ(phrase("的确"), "di que");
    EXPECT_EQ(phrase("银行"), "yin hang");
    // Word boundaries do not cross punctuation, ASCII or characters without a row.
    EXPECT_EQ(phrase("银，行"), "yin xing");
    EXPECT_EQ(phrase("银x行"), "yin xxing");
}

TEST_F(PhraseTest, RareHomographsDoNotBeatCommonReadings) {
    EXPECT_EQ(phrase("看到了"), "kan dao le");
    EXPECT_EQ(phrase("我们都会去"), "wo men dou hui qu");
}

TEST_F(PhraseTest, OnlyTheChoiceAmongReadingsChanges) {
    // Case scheme, spacing and copied characters stay as the plain modes make them.
    RunSettings settings;
    settings.polyphone = Polyphone::Phrase;
    settings.letterCase = LetterCase::Capitalised;
    Romaniser r(*table_, settings, nullptr);
    EXPECT_EQ(r.pinyin("A银行2"), "AYin Hang 2");
    // A character alone takes its own entry's reading (长 Chang), else the first.
    EXPECT_EQ(phrase("长"), "chang");
    EXPECT_EQ(phrase("会"), "hui");
}

TEST_F(PhraseTest, TraditionalFormsAreReadThroughTheirSimplifiedOnes) {
    EXPECT_EQ(phrase("銀行"), "yin hang");
    EXPECT_EQ(phrase("重慶"), "chong qing");
    EXPECT_EQ(phrase("重慶銀行"), "chong qing yin hang");
    EXPECT_EQ(phrase("銀行长"), "yin hang chang");  // mixed scripts
    // A word stored without readings confirms the simplified form's first reading, whatever
    // order the traditional character's own row keeps.
    EXPECT_EQ(phrase("長大"), "zhang da");
    EXPECT_EQ(phrase("长大"), "zhang da");
}

TEST_F(PhraseTest, SurnameOnlyAtTheStartOfANameField) {
    EXPECT_EQ(phrase("曾国藩", "701"), "zeng guo fan");
    EXPECT_EQ(phrase("单位", "200"), "dan wei");
    EXPECT_EQ(phrase("单位"), "dan wei");
    EXPECT_EQ(phrase("曾经", "200"), "ceng jing");
    EXPECT_EQ(phrase("王单", "701"), "wang dan");  // not the first character
    // Double surnames win over their first character's single reading.
    EXPECT_EQ(phrase("尉迟恭", "701"), "yu chi gong");
    EXPECT_EQ(phrase("单于", "701"), "chan yu");
    // The automatic mode knows nothing of names.
    EXPECT_EQ(romanise(*table_, "曾国藩", Polyphone::Automatic, "701"), "ceng guo fan");
}

TEST_F(PhraseTest, AKnownWordAtTheStartOfANameBeatsTheSurname) {
    EXPECT_EQ(phrase("查尔斯", "701"), "cha er si");  // the word's first readings
    EXPECT_EQ(phrase("柏格森", "701"), "bo ge sen");
    EXPECT_EQ(phrase(" 柏格森", "701"), " bo ge sen");
    EXPECT_EQ(phrase("查尔斯·李", "701"), "cha er si li");  // a run of its own before the mark
    // The surname rule where no known word starts at the first character.
    EXPECT_EQ(phrase("查尔", "701"), "zha er");
    EXPECT_EQ(phrase("柏杨", "701"), "bai yang");
    EXPECT_EQ(phrase("王查尔斯", "701"), "wang cha er si");
    // A known word that reads the surname otherwise, without a character of transcription,
    // is a Chinese name the word list misreads.
    EXPECT_EQ(phrase("单田芳", "701"), "shan tian fang");
    EXPECT_EQ(phrase("单田芳", "200"), "dan tian fang");
    // A life of him is still a life.
    EXPECT_EQ(phrase("柏格森传", "701"), "bo ge sen zhuan");
}

TEST_F(PhraseTest, ZhuanWhereATitleIsANameAnd传) {
    // A surname, a given name of one or two characters, 传 last: a life.
    for (const auto& [text, expected] : std::vector<std::pair<const char*, const char*>>{
             {"李白传", "li bai zhuan"},
             {"苏东坡传", "su dong po zhuan"},
             {"李白傳", "li bai zhuan"},     // traditional
             {"李白传/", "li bai zhuan /"},  // the title's punctuation after it
             {"《李白传》", "li bai zhuan"},
             {"尉迟恭传", "wei chi gong zhuan"},  // a double surname (read so in a name field)
             // Elsewhere 传 keeps its words' reading, or its own.
             {"传统", "chuan tong"},
             {"宣传", "xuan chuan"},         // 宣 is a surname too
             {"王宣传", "wang xuan chuan"},  // 传 in a word
             {"广为流传", "guang wei liu chuan"},
             {"口传", "kou chuan"},                      // no surname
             {"李传", "li chuan"},                       // no given name
             {"诗李白传", "shi li bai chuan"},           // not a name: 诗 is no surname
             {"苏东坡白传", "su dong po bai chuan"},     // a given name of three characters
             {"李白传，诗选", "li bai chuan shi xuan"},  // not at the end
         })
        EXPECT_EQ(phrase(text), expected) << text;
    // Settled: the quieter manual mode does not ask, the plain one suggests zhuan with the
    // name as the word around it.
    ScriptedChooser quiet({});
    EXPECT_EQ(romanise(*table_, "李白传", Polyphone::Manual, {}, &quiet, true), "li bai zhuan");
    EXPECT_TRUE(quiet.asked.empty());
    ScriptedChooser plain({std::string("Zhuan")});
    romanise(*table_, "李白传", Polyphone::Manual, {}, &plain);
    ASSERT_EQ(plain.asked.size(), 1u);
    EXPECT_EQ(plain.asked[0].suggested, 1);
    // The automatic mode takes the first reading.
    EXPECT_EQ(romanise(*table_, "李白传", Polyphone::Automatic), "li bai chuan");
}

TEST_F(PhraseTest, NameRuleThroughARecord) {
    RunSettings settings;
    settings.polyphone = Polyphone::Phrase;
    Romaniser r(*table_, settings, nullptr);
    const std::string marc =
        "200 1 |a单位|f单田芳著\r\n"
        "701  0|a单田芳|4著\r\n";
    const std::string out = annotateRecord(marc, settings, r);
    EXPECT_NE(out.find("|a单位|Adan wei|f"), std::string::npos) << out;
    EXPECT_NE(out.find("|a单田芳|Ashan tian fang|4"), std::string::npos) << out;
}

TEST_F(PhraseTest, AnalyseGivesOneSuggestionPerCodePoint) {
    const PhraseModel& m = *table_->phrases();
    const auto s = m.analyse("A长，银行x", false, *table_);
    ASSERT_EQ(s.size(), 6u);
    EXPECT_TRUE(s[0].reading.empty());
    EXPECT_EQ(s[1].reading, "Chang");  // alone: its own entry's reading, not sure
    EXPECT_FALSE(s[1].sure);
    EXPECT_TRUE(s[3].reading.empty());  // 银 has one reading: nothing to say
    EXPECT_EQ(s[4].reading, "Hang");
    EXPECT_TRUE(s[4].sure);
    EXPECT_TRUE(m.analyse("", true, *table_).empty());
}

TEST_F(PhraseTest, OddTextsKeepOneSuggestionPerCodePoint) {
    const PhraseModel& m = *table_->phrases();
    // A long run, broken UTF-8, a character outside the BMP and one without a row.
    std::string longRun;
    for (int k = 0; k < 400; ++k) longRun += "在行动";
    EXPECT_EQ(m.analyse(longRun, false, *table_).size(), 1200u);
    EXPECT_EQ(phrase(longRun).substr(0, 27), "zai xing dong zai xing dong");
    const std::string odd = "行\xE8\x80银行\xF0\xA0\x80\x80长\xFF";
    std::size_t points = 0;
    for (std::size_t i = 0; i < odd.size(); ++points) codepage::utf8::next(odd, i);
    const auto s = m.analyse(odd, true, *table_);
    EXPECT_EQ(s.size(), points);
    EXPECT_EQ(m.analyse("ABC", true, *table_).size(), 3u);
}

TEST_F(PhraseTest, ManualChoiceAsksEveryOneWithTheSuggestionAndTheField) {
    // Without "ask only when unsure" even a character the words settle is asked, with the
    // reading they call for as the suggestion and the field it stands in.
    ScriptedChooser chooser({std::string("Hang")});
    EXPECT_EQ(romanise(*table_, "银行", Polyphone::Manual, "200", &chooser), "yin hang");
    ASSERT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(chooser.asked[0].tag, "200");
    const std::string& readings = chooser.asked[0].readings;
    const std::size_t at = readings.find("Hang");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(chooser.asked[0].suggested, std::count(readings.begin(), readings.begin() + at, ' '));
}

TEST_F(PhraseTest, AskOnlyWhenUnsure) {
    ScriptedChooser chooser({std::string("Zhang")});
    // 的 alone is settled by its dominant reading, 行 by the word 银行, 长 alone is asked.
    EXPECT_EQ(romanise(*table_, "的银行长", Polyphone::Manual, {}, &chooser, true), "de yin hang zhang");
    ASSERT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(chooser.asked[0].character, "长");
    EXPECT_EQ(chooser.asked[0].suggested, 1);  // Chang, in the stored order "Zhang Chang"
    EXPECT_EQ(chooser.asked[0].readings, "Zhang Chang");
    // 都 alone is not dominant enough to settle.
    ScriptedChooser second({std::nullopt});
    romanise(*table_, "都", Polyphone::Manual, {}, &second, true);
    EXPECT_EQ(second.asked.size(), 1u);
    // A traditional character whose simplified form has one reading, its own first, is
    // settled; when its own first reading differs, it is asked.
    ScriptedChooser folded({std::string("He")});
    EXPECT_EQ(romanise(*table_, "於，閤", Polyphone::Manual, {}, &folded, true), "yu he");
    ASSERT_EQ(folded.asked.size(), 1u);
    EXPECT_EQ(folded.asked[0].character, "閤");
    // The plain manual mode still asks for every polyphonic character.
    ScriptedChooser plain({std::string("De"), std::string("Hang")});
    EXPECT_EQ(romanise(*table_, "的行", Polyphone::Manual, {}, &plain, false), "de hang");
    EXPECT_EQ(plain.asked.size(), 2u);
}

TEST_F(PhraseTest, AskUnsureSettlesACharacterEveryWordAroundReadsAlike) {
    // 塔 stands alone beside 瓦斯, which beats 塔瓦; 塔瓦 reads it as it reads alone, so the
    // text says ta however it is cut. 塔拉 reads it da: that one is asked.
    ScriptedChooser chooser({std::string("Ta")});
    EXPECT_EQ(romanise(*table_, "塔瓦斯", Polyphone::Manual, {}, &chooser, true), "ta wa si");
    EXPECT_TRUE(chooser.asked.empty());
    EXPECT_EQ(romanise(*table_, "塔拉斯", Polyphone::Manual, {}, &chooser, true), "ta la si");
    ASSERT_EQ(chooser.asked.size(), 1u);
    EXPECT_EQ(chooser.asked[0].character, "塔");
    // Alone, with no word around it, it is asked as before.
    ScriptedChooser alone({std::string("Ta")});
    romanise(*table_, "塔", Polyphone::Manual, {}, &alone, true);
    EXPECT_EQ(alone.asked.size(), 1u);
    // The phrase mode writes what it wrote.
    EXPECT_EQ(phrase("塔瓦斯"), "ta wa si");
    EXPECT_EQ(phrase("塔拉斯"), "ta la si");
}

TEST_F(PhraseTest, ForeignNamesOutsideAnyWordReadAsTranscriptions) {
    // Beside another character of transcription, a polyphonic one that no word holds takes
    // the transcription's reading, even over a dominant one (什 shen): 欧什, 欧柏.
    EXPECT_EQ(phrase("欧什"), "ou shi");
    EXPECT_EQ(phrase("欧柏，柏树"), "ou bo bai shu");
    // A surname that starts a text may start a Chinese name, which reads 柏 bai.
    EXPECT_EQ(phrase("柏拉"), "bai la");
    EXPECT_EQ(phrase("什"), "shen");
    ScriptedChooser none({});
    EXPECT_EQ(romanise(*table_, "欧什", Polyphone::Manual, {}, &none, true), "ou shi");
    EXPECT_TRUE(none.asked.empty());
    // A surname the name rule reads stays; a known word keeps its reading.
    EXPECT_EQ(phrase("柏拉", "700"), "bai la");
    EXPECT_EQ(phrase("柏格森"), "bo ge sen");
}

TEST(PhraseData, WithoutPhraseTablesTheModesStayPlain) {
    TempDb db(kPinYin);
    const auto table = PinyinTable::load(db.path());
    EXPECT_EQ(table->phrases(), nullptr);
    for (const char* text : {"在行动", "的确定性", "重庆银行", "曾国藩"}) {
        EXPECT_EQ(romanise(*table, text, Polyphone::Phrase, "701"),
                  romanise(*table, text, Polyphone::Automatic, "701"))
            << text;
    }
    EXPECT_EQ(romanise(*table, "在行动", Polyphone::Phrase), "zai xing dong");
    EXPECT_EQ(romanise(*table, "行长", Polyphone::Phrase), "xing zhang");
    // With nothing to settle it, the quieter manual mode asks like the plain one.
    ScriptedChooser chooser({std::string("Hang"), std::string("Zhang")});
    EXPECT_EQ(romanise(*table, "行长", Polyphone::Manual, {}, &chooser, true), "hang zhang");
    EXPECT_EQ(chooser.asked.size(), 2u);
}

// Phrase data that cannot be read: a Phrase table without the columns stops the load; rows that
// pass that check but fail as they are read (the view's condition overflows) fail every call that
// asks for them, which tries again, whenever they are built.
TEST(PhraseData, UnreadablePhraseDataStopsTheLoadOrEveryAsk) {
    EXPECT_THROW(PinyinTable::load(TempDb(std::string(kPinYin) + "CREATE TABLE Phrase(x TEXT);").path()),
                 DbError);
    TempDb db(
        std::string(kPinYin) +
        "CREATE TABLE words(word TEXT, py TEXT, weight INTEGER);"
        "INSERT INTO words VALUES ('长大','Zhang Da',-900);"
        "CREATE VIEW Phrase AS SELECT word, py, weight FROM words WHERE abs(-9223372036854775807 - 1) > 0;");
    for (const auto when : {PinyinTable::Phrases::WhenFirstAsked, PinyinTable::Phrases::Alongside}) {
        const auto table = PinyinTable::load(db.path(), when);
        EXPECT_THROW(table->phrases(), DbError);
        EXPECT_THROW(table->phrases(), DbError);
        EXPECT_EQ(romanise(*table, "长大", Polyphone::Automatic), "zhang da");
    }
}

TEST(PhraseData, OptionalTablesMayBeMissingAndAnyTableIsFoundAsAQueryFindsIt) {
    // Without Surname, Dominant and Variant; then with Phrase named in lower case and Surname a
    // view, which SELECT ... FROM Phrase and FROM Surname read alike.
    const std::string surnameView =
        "CREATE TABLE names(name TEXT, py TEXT);"
        "INSERT INTO names VALUES ('曾','Zeng');"
        "CREATE VIEW Surname AS SELECT name, py FROM names;";
    for (const bool asViewAndLowerCase : {false, true}) {
        TempDb db(std::string(kPinYin) +
                  (asViewAndLowerCase ? "CREATE TABLE phrase" : "CREATE TABLE Phrase") +
                  "(word TEXT PRIMARY KEY, py TEXT, weight INTEGER);"
                  "INSERT INTO Phrase VALUES ('银行','Yin Hang',-900),('行长','Hang Zhang',-1200),"
                  "('长',NULL,-700),('单','Shan',-800);" +
                  (asViewAndLowerCase ? surnameView : ""));
        const auto table = PinyinTable::load(db.path());
        ASSERT_NE(table->phrases(), nullptr);
        EXPECT_EQ(romanise(*table, "银行行长"), "yin hang hang zhang");
        EXPECT_EQ(romanise(*table, "单田芳", Polyphone::Phrase, "701"), "shan tian fang");
        EXPECT_EQ(romanise(*table, "曾国藩", Polyphone::Phrase, "701"),
                  asViewAndLowerCase ? "zeng guo fan" : "ceng guo fan");
    }
}

TEST(PhraseData, WordReadingsOutsideTheTableAreIgnored) {
    // The word list may know a reading that PinYin lacks; the first reading stands then.
    TempDb db(std::string(kPinYin) +
              "CREATE TABLE Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER);"
              "INSERT INTO Phrase VALUES ('行动','Heng Dong',-900),('长沙','Chong Sha',-900);");
    const auto table = PinyinTable::load(db.path());
    EXPECT_EQ(romanise(*table, "行动"), "xing dong");
    EXPECT_EQ(romanise(*table, "长沙"), "zhang sha");
    EXPECT_EQ(romanise(*table, "沙长沙"), "sha zhang sha");
}

TEST(PhraseData, LargeFamiliesDeepWordsAndRowsOutOfOrder) {
    // 大 starts forty words and 大学 twenty more, enough that their children are hashed and
    // halved (an even number of them, where an off-by-one in halving shows); the rows come out of order, with
    // one word twice; one word has a character beyond the BMP.
    std::string sql =
        "CREATE TABLE PinYin(hz TEXT, Py1 TEXT);"
        "INSERT INTO PinYin VALUES ('大','Da Dai'),('夫','Fu'),('学','Xue'),('行','Xing Hang'),"
        "('长','Zhang Chang'),('\xF0\xA0\x80\x80','Qiu');"
        "CREATE TABLE Phrase(word TEXT, py TEXT, weight INTEGER);"
        "INSERT INTO Phrase VALUES ('长大','Zhang Da',-900),('长大','Chang Da',-900),"
        "('大夫','Dai Fu',-900),('大学行','Da Xue Hang',-1000),"
        "('\xF0\xA0\x80\x80行','Qiu Hang',-900);";
    std::string filler;
    for (char32_t c = 0x4E10; c < 0x4E10 + 40; ++c) {
        std::string hz;
        codepage::utf8::append(hz, c);
        filler += hz;
        sql += "INSERT INTO PinYin VALUES ('" + hz + "','Yi');";
        sql += "INSERT INTO Phrase VALUES ('大" + hz + "',NULL,-1000);";
        if (c < 0x4E10 + 19) sql += "INSERT INTO Phrase VALUES ('大学" + hz + "',NULL,-1100);";
    }
    TempDb db(sql);
    const auto table = PinyinTable::load(db.path());
    ASSERT_NE(table->phrases(), nullptr);
    EXPECT_EQ(table->phrases()->size(), 63u);  // the repeated word once
    EXPECT_EQ(romanise(*table, "大夫"), "dai fu");
    EXPECT_EQ(romanise(*table, "大行"), "da xing");  // no such word: the first readings
    EXPECT_EQ(romanise(*table, "大学行"), "da xue hang");
    EXPECT_EQ(romanise(*table, "长大"), "zhang da");  // the first of the two rows
    EXPECT_EQ(romanise(*table, "\xF0\xA0\x80\x80行"), "\xF0\xA0\x80\x80hang");
    // Every word of the families is found, wherever it sits in its family: 大 is settled
    // only inside a word.
    for (std::size_t k = 0; k < filler.size(); k += 3) {
        const std::string hz = filler.substr(k, 3);
        for (const std::string& word : {"大" + hz, "大学" + hz}) {
            if (word.size() > 6 && k >= 19 * 3) continue;
            const auto s = table->phrases()->analyse(word, false, *table);
            ASSERT_FALSE(s.empty());
            EXPECT_TRUE(s[0].sure && s[0].reading == "Da") << word;
        }
    }
    EXPECT_FALSE(table->phrases()->analyse("大学", false, *table)[0].sure);
}

TEST(PhraseData, RowsInOrderOrNotReadTheSameWhenFirstAskedOrAlongside) {
    // In order, as the table's key keeps them, with a word twice; then a word before one it
    // begins, which is out of order.
    for (const char* rows : {"('长','Chang',-700),('长大','Zhang Da',-900),('长大','Chang Da',-900),"
                             "('长沙','Chang Sha',-900)",
                             "('长大','Zhang Da',-900),('长','Chang',-700),('长沙','Chang Sha',-900),"
                             "('长大','Chang Da',-900)"}) {
        TempDb db(std::string(kPinYin) +
                  "CREATE TABLE Phrase(word TEXT, py TEXT, weight INTEGER);"
                  "INSERT INTO Phrase VALUES " +
                  rows + ";");
        for (const auto when : {PinyinTable::Phrases::WhenFirstAsked, PinyinTable::Phrases::Alongside}) {
            const auto table = PinyinTable::load(db.path(), when);
            ASSERT_NE(table->phrases(), nullptr);
            EXPECT_EQ(table->phrases()->size(), 3u) << rows;
            EXPECT_EQ(romanise(*table, "长大，长沙，长"), "zhang da chang sha chang") << rows;
        }
    }
}

/// Checks against the py.db the program ships; skipped while it has no phrase tables.
class ShippedData : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string path = std::string(MARCPY_SOURCE_DIR) + "/data/py.db";
        if (std::filesystem::exists(path)) table_ = PinyinTable::load(path);
    }
    static void TearDownTestSuite() { table_.reset(); }
    void SetUp() override {
        if (!table_ || !table_->phrases()) GTEST_SKIP() << "data/py.db has no phrase tables";
    }
    static inline std::shared_ptr<const PinyinTable> table_;
};

// What the phrase mode reads with the shipped data, text by text.
TEST_F(ShippedData, Readings) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        // Words and places.
        {"在行动", "zai xing dong"},
        {"的确定性", "de que ding xing"},
        {"中国银行", "zhong guo yin hang"},
        {"重庆", "chong qing"},
        {"长沙", "chang sha"},
        {"厦门", "xia men"},
        {"六安", "lu an"},
        {"蚌埠", "beng bu"},
        {"乐亭", "lao ting"},
        {"长城", "chang cheng"},
        {"看到了", "kan dao le"},
        {"我们都会去", "wo men dou hui qu"},
        {"銀行", "yin hang"},
        {"重慶", "chong qing"},
        {"長沙", "chang sha"},
        {"单位", "dan wei"},
        // Names and set phrases of the dictionary, added where the word list lacks them; a word it
        // has keeps its reading (佛罗里达 fo, where the dictionary has fu).
        {"春秋左氏传", "chun qiu zuo shi zhuan"},
        {"喀什噶尔", "ka shi ga er"},
        {"李适", "li kuo"},
        {"一物降一物", "yi wu xiang yi wu"},
        {"佛罗里达", "fo luo li da"},
        // 的 dí and dì, 没 mò, 行 héng: rare in running text, but words every dictionary gives.
        // The first reading stays first, and a common word beside them keeps its own.
        {"众矢之的", "zhong shi zhi di"},
        {"的士", "di shi"},
        {"的确", "di que"},
        {"目标的", "mu biao de"},
        {"我的书", "wo de shu"},
        {"没收", "mo shou"},
        {"道行", "dao heng"},
        {"没有", "mei you"},
        // A known word is not broken by a word overlapping it.
        {"列女传译注", "lie nv zhuan yi zhu"},
        {"宣传译文", "xuan chuan yi wen"},
        {"我不了解", "wo bu liao jie"},
        // The small words of running text.
        // 地 after an adverbial and before a verb; a place elsewhere.
        {"高兴地说", "gao xing de shuo"},
        {"慢慢地走", "man man de zou"},
        {"小心翼翼地打开", "xiao xin yi yi de da kai"},
        {"中国地图", "zhong guo di tu"},
        {"在这块土地上", "zai zhe kuai tu di shang"},
        {"当地人说", "dang di ren shuo"},
        // 得 must; got; the complement.
        {"我得走了", "wo dei zou le"},
        {"他得了冠军", "ta de le guan jun"},
        {"跑得快", "pao de kuai"},
        {"这件事得慢慢来", "zhe jian shi dei man man lai"},
        {"你得好好想想", "ni dei hao hao xiang xiang"},
        {"日子过得好好的", "ri zi guo de hao hao de"},
        {"说得清清楚楚", "shuo de qing qing chu chu"},
        // 着 after a verb; worn as a noun; reached.
        {"她穿着大衣", "ta chuan zhe da yi"},
        {"看着我", "kan zhe wo"},
        {"她的穿着", "ta de chuan zhuo"},
        {"睡不着", "shui bu zhao"},
        {"着急", "zhao ji"},
        // 了 can or cannot at a clause's end.
        {"吃不了", "chi bu liao"},
        {"走不了了", "zou bu liao le"},
        {"不得了", "bu de liao"},
        {"头发长长了", "tou fa zhang chang le"},
        {"他长高了", "ta zhang gao le"},
        {"孩子长胖起来", "hai zi zhang pang qi lai"},
        {"长高度", "chang gao du"},
        // 宿 counting nights and naming a lunar mansion; a lodging elsewhere.
        {"住了一宿", "zhu le yi xiu"},
        {"东方七宿", "dong fang qi xiu"},
        {"尾宿", "wei xiu"},
        {"住宿", "zhu su"},
        {"宿舍", "su she"},
        // 咳 a cough beside another character, a sigh standing as a clause of its own.
        {"久咳不止", "jiu ke bu zhi"},
        {"咳出", "ke chu"},
        {"咳，算了", "hai suan le"},
        {"咳嗽", "ke sou"},
        // 幢 counted, else the pillar; 率 leading troops, else the rate.
        {"第三幢楼", "di san zhuang lou"},
        {"4000幢", "4000zhuang"},
        {"铁幢倒塌", "tie chuang dao ta"},
        {"装错的幢身", "zhuang cuo de chuang shen"},
        {"他率军出征", "ta shuai jun chu zheng"},
        {"效率很高", "xiao lv hen gao"},
        // Foreign names read as transcriptions.
        {"欧什市", "ou shi shi"},
        {"马加什", "ma jia shi"},
        {"欧文伯林", "ou wen bo lin"},
        {"什么", "shen me"},
        {"柏树", "bai shu"},
        {"大伯", "da bo"},
        {"佩茜", "pei xi"},
        {"茜拉", "xi la"},
        // A surname that starts a text starts a Chinese name as likely as a foreign one.
        {"林茜的诗", "lin qian de shi"},
        {"胡茜", "hu qian"},
        // Zhuan after a name, chuan elsewhere.
        {"李白传", "li bai zhuan"},
        {"苏东坡传", "su dong po zhuan"},
        {"司马迁传", "si ma qian zhuan"},
        {"水浒传", "shui hu zhuan"},
        {"传统", "chuan tong"},
        {"传播", "chuan bo"},
        {"宣传", "xuan chuan"},
        {"流传", "liu chuan"},
        {"口传", "kou chuan"},
        {"广为流传", "guang wei liu chuan"},
        {"代代相传", "dai dai xiang chuan"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(romanise(*table_, text), expected) << text;
    EXPECT_EQ(romanise(*table_, "的", Polyphone::Automatic), "de");
}

TEST_F(ShippedData, Surnames) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"曾国藩", "zeng guo fan"},
        {"单田芳", "shan tian fang"},
        {"解缙", "xie jin"},
        {"区", "ou"},
        {"仇英", "qiu ying"},
        {"查良镛", "zha liang yong"},
        {"翟志刚", "zhai zhi gang"},
        {"尉迟恭", "yu chi gong"},
        {"万俟卨", "mo qi xie"},
        {"单于", "chan yu"},
        {"长孙无忌", "zhang sun wu ji"},
        {"查尔斯", "cha er si"},
        {"盖茨", "gai ci"},
        {"柏拉图", "bo la tu"},
        {"曾参", "zeng shen"},
        // Chinese names the word list reads with the everyday reading of their surname.
        {"单霁翔", "shan ji xiang"},
        {"种师道", "chong shi dao"},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(romanise(*table_, text, Polyphone::Phrase, "701"), expected) << text;
    EXPECT_EQ(romanise(*table_, "曾经", Polyphone::Phrase, "200"), "ceng jing");
}

TEST_F(ShippedData, AskUnsureSettlesTheCommonParticles) {
    ScriptedChooser chooser({});
    EXPECT_EQ(romanise(*table_, "我的书，看了", Polyphone::Manual, {}, &chooser, true), "wo de shu kan le");
    EXPECT_TRUE(chooser.asked.empty());
    // A character left alone by a common word beside it, which every word around reads alike.
    ScriptedChooser around({});
    EXPECT_EQ(romanise(*table_, "塔瓦斯科", Polyphone::Manual, {}, &around, true), "ta wa si ke");
    EXPECT_EQ(romanise(*table_, "有所得必有所失", Polyphone::Manual, {}, &around, true),
              "you suo de bi you suo shi");
    EXPECT_TRUE(around.asked.empty());
}

}  // namespace
}  // namespace pinyin
