// The cataloguer's word list: reading files, the lines it refuses, its precedence in every mode,
// and entries appended to a file.
#include "pinyin/words.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <utility>

#include "fixtures.h"
#include "pinyin/lookup.h"
#include "support/errors.h"
#include "support/files.h"

namespace pinyin {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedChooser;
using testing::TempDb;

/// The problem a word list of `text` called words.txt is refused with.
problem::Problem problemOf(const std::string& text) {
    UserWords w;
    return testerrors::problemOf<WordsError>([&] { w.parse(text, "words.txt"); });
}

TEST(UserWords, ReadsCommentsBlankLinesAndTheLastEntryOfAWordWins) {
    UserWords w;
    w.parse(
        "\xEF\xBB\xBF# 本馆用词\r\n"
        "\n"
        "行长\thang zhang   # the bank's head\r\n"
        "  长乐\t chang  yue \n"
        "A行\thang\n"      // a Latin letter of a word takes no syllable
        "长乐\tchang le",  // no line end at the end; replaces the earlier entry
        "words.txt");
    EXPECT_EQ(w.size(), 3u);
    UserWords more;
    more.parse("# nothing but comments\n\n", "empty.txt");
    EXPECT_TRUE(more.empty());
}

TEST(UserWords, ALineThatDoesNotFitNamesTheFileAndTheLine) {
    // The line and, technical and not translated, what is wrong with it.
    const std::tuple<std::string, long long, std::string> cases[] = {
        {"行长\thang zhang\n行长 hang zhang\n", 2, "expected a word, a tab and its syllables"},
        {"# one\n行长\thang\n", 2, "1 syllable for 2 Chinese characters in \"行长\""},
        {"行\thang zhang\n", 1, "2 syllables for 1 Chinese character in \"行\""},
        {"行\t\n", 1, "0 syllables for 1 Chinese character in \"行\""},
        {"\n\n行长\thang zhǎng\n", 3, "\"zhǎng\" is no pinyin syllable"},
        {"行长\tHang zhang\n", 1, "\"Hang\" is no pinyin syllable"},
        {"绿\tlü\n", 1, "\"lü\" is no pinyin syllable"},
        {"行长\thang zhang2\n", 1, "\"zhang2\" is no pinyin syllable"},
        {"ABC\ta b c\n", 1, "\"ABC\" holds no Chinese character"},
        {" \tzhang\n", 1, "\"\" holds no Chinese character"},
        {"\xD0\xD0\tzhang\n", 1, "the word is not valid UTF-8"},  // GBK, not UTF-8
    };
    for (const auto& [text, line, what] : cases) {
        const problem::Problem p = problemOf(text);
        EXPECT_EQ(p.kind, problem::Kind::WordsInvalid) << text;
        EXPECT_EQ(p.path, "words.txt") << text;
        EXPECT_EQ(p.value, line) << text;
        EXPECT_EQ(p.detail.substr(0, what.size()), what) << text;
    }
    EXPECT_TRUE(isSyllable("lv") && isSyllable("nve") && isSyllable("zhuang") && isSyllable("ng"));
    EXPECT_FALSE(isSyllable("lu:") || isSyllable("") || isSyllable("zhuan ") || isSyllable("xx"));

    UserWords w;
    for (const auto& [path, err] : {std::pair<std::string, int>{"/nonexistent/words.txt", ENOENT},
                                    std::pair<std::string, int>{::testing::TempDir(), EISDIR}}) {
        const problem::Problem p = testerrors::problemOf<WordsError>([&] { w.load(path); });
        EXPECT_EQ(p.kind, problem::Kind::WordsCannotRead) << path;
        EXPECT_EQ(p.path, path);
        EXPECT_EQ(p.osError, err);
    }
}

class ListedWords : public ::testing::Test {
protected:
    ListedWords() {
        testing::fillSmallTable(table);
        words.parse("行长\thang zhang\n长乐中\tchang yue zhong\nA行\thang\n丙\tbing\n", "words.txt");
    }
    std::string romanise(std::string_view text, Chooser* chooser = nullptr) {
        Romaniser r(table, settings, chooser);
        r.setWords(&words);
        return r.pinyin(text);
    }
    PinyinTable table;
    RunSettings settings;
    UserWords words;
};

TEST_F(ListedWords, TheListWinsInTheAutomaticModesLongestWordFirst) {
    for (Polyphone mode : {Polyphone::Automatic, Polyphone::Phrase}) {
        settings.polyphone = mode;
        EXPECT_EQ(romanise("中行长国"), "zhong hang zhang guo ");
        // 长乐中 is longer than 行长, so 行 stands alone and takes its first reading.
        EXPECT_EQ(romanise("行长乐中"), "xing chang yue zhong ");
        EXPECT_EQ(romanise("A行长"), "Ahang chang ");
        EXPECT_EQ(romanise("中丙"), "zhong bing ");  // a listed character py.db has no row for
        EXPECT_EQ(romanise("长行"), "chang xing ");  // the listed words in another order: not them
        // Broken UTF-8 around a listed word: counted alike by the list and the lookup.
        EXPECT_EQ(romanise("\xE8\x80行长\xE0\x80\x80行长\xFF"),
                  "\uFFFD\uFFFDhang zhang \uFFFD\uFFFD\uFFFDhang zhang \uFFFD")
            << "mode " << static_cast<int>(mode);
    }
    settings.letterCase = LetterCase::Capitalised;
    EXPECT_EQ(romanise("行长"), "Hang Zhang ");
}

TEST_F(ListedWords, ACoveredCharacterIsNeverAskedAbout) {
    settings.polyphone = Polyphone::Manual;
    for (bool unsureOnly : {false, true}) {
        settings.askOnlyWhenUnsure = unsureOnly;
        ScriptedChooser chooser({"Le"});
        Romaniser r(table, settings, &chooser);
        r.setWords(&words);
        EXPECT_EQ(r.pinyin("行长乐"), "hang zhang le ");
        ASSERT_EQ(chooser.asked.size(), 1u);
        EXPECT_EQ(chooser.asked[0].character, "乐");
        EXPECT_EQ(r.lastReading, "Le");

        // A word listed again while a text is romanised: its new readings, read safely.
        ScriptedChooser relisting({"Le"});
        relisting.onAsk = [&](const ChooserRequest&) { words.add("行长", "xing chang"); };
        r.setChooser(&relisting);
        EXPECT_EQ(r.pinyin("乐行长"), "le xing chang ");
        words.add("行长", "hang zhang");
        r.setChooser(&chooser);

        // A word added while the run goes on applies from the next text on.
        UserWords grown;
        grown.add("乐", "yue");
        r.setWords(&grown);
        EXPECT_EQ(r.pinyin("乐"), "yue ");
        EXPECT_EQ(r.lastReading, "Yue");
        EXPECT_EQ(chooser.asked.size(), 1u);
    }
}

TEST_F(ListedWords, TheListWinsOverThePhraseData) {
    TempDb db(R"(
        CREATE TABLE PinYin(hz TEXT, Py1 TEXT);
        INSERT INTO PinYin VALUES ('银','Yin'),('行','Xing Hang'),('长','Zhang Chang');
        CREATE TABLE Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER NOT NULL);
        INSERT INTO Phrase VALUES ('银行','Yin Hang',-900),('行长','Hang Zhang',-900);
    )");
    auto loaded = PinyinTable::load(db.path());
    settings.polyphone = Polyphone::Phrase;
    Romaniser r(*loaded, settings, nullptr);
    EXPECT_EQ(r.pinyin("银行长"), "yin hang zhang ");
    UserWords mine;
    mine.add("银行", "yin xing");
    r.setWords(&mine);
    EXPECT_EQ(r.pinyin("银行长"), "yin xing zhang ");

    // Where each character's pinyin starts, for the check of existing pinyin.
    std::vector<std::size_t> starts;
    r.setStarts(&starts);
    EXPECT_EQ(r.pinyin("银A行"), "yin Axing ");
    EXPECT_EQ(starts, (std::vector<std::size_t>{0, 4, 5, 10}));
}

TEST(AppendWord, WritesAnEntryTheNextLoadReads) {
    const fs::path folder = fs::path(::testing::TempDir()) / ("words_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    const std::string path = (folder / "marc-pinyin" / "words.txt").string();

    appendWord(path, "传记", "Zhuan Ji");  // py.db's form, in a folder that does not exist yet
    std::ofstream(path, std::ios::app) << "# by hand, no line end";
    appendWord(path, "吕", "Lǘ");
    EXPECT_EQ(testfiles::slurp(path), "传记\tzhuan ji\n# by hand, no line end\n吕\tlv\n");
    // Refused with the list it was meant for and what keeps the word out; nothing written.
    for (const auto& [word, syllables] : {std::pair<std::string, std::string>{"传记", "zhuan"},
                                          std::pair<std::string, std::string>{"C#传", "zhuan"}}) {
        const problem::Problem p =
            testerrors::problemOf<WordsError>([&] { appendWord(path, word, syllables); });
        EXPECT_EQ(p.kind, problem::Kind::WordsCannotRead) << word;
        EXPECT_EQ(p.path, path);
        EXPECT_EQ(p.osError, 0);
        EXPECT_FALSE(p.detail.empty());
    }
    // A list the system will not let us write names the list and the system's reason.
    const problem::Problem p =
        testerrors::problemOf<WordsError>([] { appendWord("/dev/null/words.txt", "传记", "zhuan ji"); });
    EXPECT_EQ(p.kind, problem::Kind::WordsCannotRead);
    EXPECT_EQ(p.path, "/dev/null/words.txt");
    EXPECT_NE(p.osError, 0);
    UserWords w;
    w.load(path);
    EXPECT_EQ(w.size(), 2u);
    fs::remove_all(folder);
}

TEST(WordToRemember, TheMarkedCharactersElseThePhraseWordElseTheCharacterAlone) {
    TempDb db(R"(
        CREATE TABLE PinYin(hz TEXT, Py1 TEXT);
        INSERT INTO PinYin VALUES ('银','Yin'),('行','Xing Hang'),('长','Zhang Chang'),('城','Cheng');
        CREATE TABLE Phrase(word TEXT PRIMARY KEY, py TEXT, weight INTEGER NOT NULL);
        INSERT INTO Phrase VALUES ('银行','Yin Hang',-900),('长城','Chang Cheng',-900);
    )");
    auto table = PinyinTable::load(db.path());
    RunSettings settings;  // plain manual: every polyphonic character asked, words found all the same
    ScriptedChooser chooser({"Hang", "Chang"});
    Romaniser r(*table, settings, &chooser);
    EXPECT_EQ(r.pinyin("A银行长城"), "Ayin hang chang cheng ");
    ASSERT_EQ(chooser.asked.size(), 2u);
    const ChooserRequest& hang = chooser.asked[0];
    EXPECT_EQ(hang.word, "银行");
    EXPECT_EQ(hang.wordAt, 2);
    EXPECT_EQ(hang.textReadings, (std::vector<std::string>{"", "Yin", "Hang", "Chang", "Cheng"}));
    EXPECT_EQ(chooser.asked[1].word, "长城");

    const auto entry = [](const std::optional<WordEntry>& e) {
        return e ? e->word + "\t" + e->syllables : std::string("none");
    };
    EXPECT_EQ(entry(wordToRemember(hang, "Hang")), "银行\tyin hang");
    EXPECT_EQ(entry(wordToRemember(hang, "Xing", 3, 4)), "行长\txing chang");  // marked by the user
    EXPECT_EQ(entry(wordToRemember(hang, "Hang", 1, 3)), "A银行\tyin hang");
    EXPECT_EQ(entry(wordToRemember(hang, "Hang", 4, 5)), "银行\tyin hang");  // misses the character

    // A lone character is never remembered: it would take the reading in every word.
    ChooserRequest alone = hang;
    alone.word.clear();
    EXPECT_EQ(entry(wordToRemember(alone, "Hang")), "none");
    EXPECT_EQ(entry(wordToRemember(alone, "Hang", 3, 3)), "none");  // marked alone
    EXPECT_EQ(entry(wordToRemember(alone, "Hang", 2, 3)), "银行\tyin hang");
    alone.textReadings[1].clear();  // a character without a reading cannot be listed
    EXPECT_EQ(entry(wordToRemember(alone, "Hang", 2, 3)), "none");
}

// A word the chooser adds while a text is romanised holds for the rest of that text at once.
TEST(WordToRemember, ARememberedWordHoldsForTheRestOfTheText) {
    TempDb db(R"(
        CREATE TABLE PinYin(hz TEXT, Py1 TEXT);
        INSERT INTO PinYin VALUES ('音','Yin'),('乐','Le Yue'),('会','Hui Kuai');
    )");
    auto table = PinyinTable::load(db.path());
    RunSettings settings;
    UserWords words;
    struct Adding : Chooser {
        UserWords* words;
        int asked = 0;
        std::optional<std::string> choose(const ChooserRequest&) override {
            ++asked;
            words->add("音乐会", "yin yue hui");
            return "Yue";
        }
    } chooser;
    chooser.words = &words;
    Romaniser r(*table, settings, &chooser);
    r.setWords(&words);
    EXPECT_EQ(r.pinyin("音乐会"), "yin yue hui ");
    EXPECT_EQ(chooser.asked, 1);
    EXPECT_EQ(words.lone(), std::vector<std::string>{});
    words.add("会", "kuai");
    words.add("A乐", "le");
    EXPECT_EQ(words.lone(), (std::vector<std::string>{"A乐", "会"}));
}

}  // namespace
}  // namespace pinyin
